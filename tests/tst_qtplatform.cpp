// The Qt implementations of the dialogs: how a classic message box style
// becomes a QMessageBox and its answer, how a file filter is translated, and
// how the conversion's progress stays live while the work runs elsewhere.

#include "platform/controls/QtConversionProgress.h"
#include "platform/controls/QtFileDialog.h"
#include "platform/controls/QtMessageBox.h"

#include <QApplication>
#include <QMessageBox>
#include <QProgressBar>
#include <QProgressDialog>
#include <QPushButton>
#include <QTest>
#include <QThread>
#include <QTimer>

#include <atomic>

using namespace Qt::Literals::StringLiterals;
using ondiva::MessageBox;
using ondiva::QtFileDialog;
using ondiva::QtMessageBox;

class TestQtPlatform : public QObject {
    Q_OBJECT

private slots:
    void cleanup();
    void messageBox_data();
    void messageBox();
    void progressKeepsTheWindowAlive();
    void closingTheProgressStopsTheWorkFirst_data();
    void closingTheProgressStopsTheWorkFirst();
};

void TestQtPlatform::cleanup() { QVERIFY(!QApplication::activeModalWidget()); }

void TestQtPlatform::messageBox_data()
{
    QTest::addColumn<int>("style");
    QTest::addColumn<QList<int>>("buttons"); // QMessageBox::StandardButton, in order
    QTest::addColumn<int>("icon");
    QTest::addColumn<int>("defaultButton");
    QTest::addColumn<int>("press"); // a button, or 0 to close the box with Escape
    QTest::addColumn<int>("answer");

    const QList<int> ok{QMessageBox::Ok};
    const QList<int> yesNo{QMessageBox::Yes, QMessageBox::No};
    QTest::newRow("ok, critical") << (MessageBox::Ok | MessageBox::IconCritical) << ok << int(QMessageBox::Critical)
                                  << int(QMessageBox::Ok) << int(QMessageBox::Ok) << int(MessageBox::AnswerOk);
    QTest::newRow("ok closed") << (MessageBox::Ok | MessageBox::IconInformation) << ok << int(QMessageBox::Information)
                               << int(QMessageBox::Ok) << 0 << int(MessageBox::AnswerOk);
    QTest::newRow("yes/no, yes") << (MessageBox::YesNo | MessageBox::IconQuestion) << yesNo
                                 << int(QMessageBox::Question) << int(QMessageBox::Yes) << int(QMessageBox::Yes)
                                 << int(MessageBox::AnswerYes);
    QTest::newRow("yes/no, no") << (MessageBox::YesNo | MessageBox::IconQuestion) << yesNo << int(QMessageBox::Question)
                                << int(QMessageBox::Yes) << int(QMessageBox::No) << int(MessageBox::AnswerNo);
    QTest::newRow("yes/no, second default, closed")
        << (MessageBox::YesNo | MessageBox::IconExclamation | MessageBox::DefaultButton2) << yesNo
        << int(QMessageBox::Warning) << int(QMessageBox::No) << 0 << int(MessageBox::AnswerNo);
    QTest::newRow("cancel/try/continue as ok")
        << (MessageBox::CancelTryContinue | MessageBox::IconExclamation) << ok << int(QMessageBox::Warning)
        << int(QMessageBox::Ok) << int(QMessageBox::Ok) << int(MessageBox::AnswerOk);
    QTest::newRow("no icon") << int(MessageBox::Ok) << ok << int(QMessageBox::NoIcon) << int(QMessageBox::Ok)
                             << int(QMessageBox::Ok) << int(MessageBox::AnswerOk);
}

void TestQtPlatform::messageBox()
{
    QFETCH(int, style);
    QFETCH(QList<int>, buttons);
    QFETCH(int, icon);
    QFETCH(int, defaultButton);
    QFETCH(int, press);
    QFETCH(int, answer);

    QString text;
    QString title;
    QList<int> shownButtons;
    int shownIcon = -1;
    int shownDefault = -1;
    QTimer::singleShot(0, this, [&] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        QVERIFY(box);
        text = box->text();
        title = box->windowTitle();
        for (QAbstractButton* button : box->buttons())
            shownButtons << int(box->standardButton(button));
        shownIcon = int(box->icon());
        shownDefault = int(box->standardButton(box->defaultButton()));
        if (press)
            box->button(QMessageBox::StandardButton(press))->click();
        else
            QTest::keyClick(box, Qt::Key_Escape);
    });

    QtMessageBox messages;
    QCOMPARE(messages.show(u"Il file non esiste."_s, style, u"Ondiva"_s), answer);
    QCOMPARE(text, u"Il file non esiste."_s);
    QCOMPARE(title, u"Ondiva"_s);
    std::sort(shownButtons.begin(), shownButtons.end());
    std::sort(buttons.begin(), buttons.end());
    QCOMPARE(shownButtons, buttons);
    QCOMPARE(shownIcon, icon);
    QCOMPARE(shownDefault, defaultButton);
}

// The work runs on another thread while the event thread shows its progress;
// Annulla reaches the work, which the dialog outlives.
void TestQtPlatform::progressKeepsTheWindowAlive()
{
    ondiva::QtConversionProgress progress(u"Ondiva"_s);
    std::atomic<bool> offEventThread = false;
    std::atomic<bool> stopped = false;
    QStringList seen;
    int ticks = 0;
    QTimer watcher;
    watcher.setInterval(20);
    QObject::connect(&watcher, &QTimer::timeout, [&] {
        ++ticks;
        auto* dialog = qobject_cast<QProgressDialog*>(QApplication::activeModalWidget());
        if (!dialog)
            return;
        if (!seen.contains(dialog->labelText()))
            seen << dialog->labelText();
        if (dialog->findChild<QProgressBar*>()->value() >= 50 && !seen.last().startsWith(u"Annullamento"_s)) {
            dialog->findChild<QPushButton*>()->click();
            seen << dialog->labelText();
        }
    });
    watcher.start();
    progress.runWhileShown([&] {
        offEventThread = QThread::currentThread() != qApp->thread();
        progress.start(100);
        for (qint64 done = 1; progress.advance(done); done = std::min<qint64>(done + 1, 100))
            QThread::msleep(5);
        stopped = true;
    });
    QVERIFY(offEventThread);
    QVERIFY(stopped);
    QVERIFY2(ticks > 5, "the event thread stood still while the work ran");
    // Counts that moved on while the work ran, then the cancelling.
    const auto counts = std::count_if(seen.begin(), seen.end(), [](const QString& label) {
        return label.startsWith(u"Conversione del catalogo nel nuovo formato: "_s) && label.endsWith(u" su 100."_s);
    });
    QVERIFY2(counts > 1 && seen.last() == u"Annullamento della conversione…"_s, qPrintable(seen.join(u'\n')));
}

void TestQtPlatform::closingTheProgressStopsTheWorkFirst_data()
{
    QTest::addColumn<QString>("how");
    QTest::newRow("Annulla") << u"Annulla"_s;
    QTest::newRow("Esc") << u"Esc"_s;
    QTest::newRow("title bar's button, Alt+F4") << u"close"_s;
}

// However the user closes the progress, the work is asked to stop, and the
// dialog stays on screen, saying so, until the work has really stopped.
void TestQtPlatform::closingTheProgressStopsTheWorkFirst()
{
    QFETCH(QString, how);
    ondiva::QtConversionProgress progress(u"Ondiva"_s);
    std::atomic<bool> asked = false; // the work was asked to stop
    std::atomic<bool> stopping = false;
    std::atomic<bool> stopped = false;
    bool closed = false;
    int shownWhileStopping = 0;
    QString saidWhileStopping;
    QString hiddenEarly;
    QTimer watcher;
    watcher.setInterval(10);
    QObject::connect(&watcher, &QTimer::timeout, [&] {
        QProgressDialog* dialog = nullptr;
        for (QWidget* widget : QApplication::topLevelWidgets()) {
            if (widget->objectName() == u"conversionProgress"_s)
                dialog = qobject_cast<QProgressDialog*>(widget);
        }
        if (!dialog || stopped)
            return;
        if (!dialog->isVisible()) {
            if (closed)
                hiddenEarly = dialog->labelText();
            return;
        }
        if (stopping) {
            ++shownWhileStopping;
            saidWhileStopping = dialog->labelText();
        }
        if (closed)
            return;
        closed = true;
        if (how == u"Annulla"_s)
            dialog->findChild<QPushButton*>()->click();
        else if (how == u"Esc"_s)
            QTest::keyClick(dialog, Qt::Key_Escape);
        else
            dialog->close();
    });
    watcher.start();
    progress.runWhileShown([&] {
        progress.start(100);
        for (int tick = 0; tick < 1000 && !asked; ++tick) {
            asked = !progress.advance(1);
            QThread::msleep(5);
        }
        // Ending the reader and removing the new file take a moment.
        stopping = true;
        QThread::msleep(300);
        stopped = true;
    });
    QVERIFY(closed);
    QVERIFY2(hiddenEarly.isEmpty(), qPrintable(u"hidden while the work went on: "_s + hiddenEarly));
    QVERIFY2(asked, "the work was not asked to stop");
    QVERIFY2(shownWhileStopping > 3, "the dialog was not seen while the work stopped");
    QCOMPARE(saidWhileStopping, u"Annullamento della conversione…"_s);
}

QTEST_MAIN(TestQtPlatform)
#include "tst_qtplatform.moc"
