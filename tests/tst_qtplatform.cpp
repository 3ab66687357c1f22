// The Qt implementations of the dialogs: how a classic message box style
// becomes a QMessageBox and its answer, and how a file filter is translated.

#include "platform/QtFileDialog.h"
#include "platform/QtMessageBox.h"

#include <QApplication>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>
#include <QTimer>

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

QTEST_MAIN(TestQtPlatform)
#include "tst_qtplatform.moc"
