// Qt's own texts follow the locale: the standard buttons of the message
// boxes come from Qt's installed translations.

#include "shell/QtTranslations.h"

#include <QApplication>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>
#include <QTranslator>

using namespace Qt::Literals::StringLiterals;

class TestQtTranslations : public QObject {
    Q_OBJECT

private slots:
    void cleanup();
    void standardButtons_data();
    void standardButtons();
};

void TestQtTranslations::cleanup()
{
    for (QTranslator* translator : qApp->findChildren<QTranslator*>()) {
        QCoreApplication::removeTranslator(translator);
        delete translator;
    }
}

void TestQtTranslations::standardButtons_data()
{
    QTest::addColumn<QString>("locale");
    QTest::addColumn<bool>("found");
    QTest::addColumn<QStringList>("buttons"); // Yes, No, OK
    QTest::newRow("Italian") << u"it_IT"_s << true << QStringList{u"&Sì"_s, u"&No"_s, u"OK"_s};
    QTest::newRow("Swiss Italian") << u"it_CH"_s << true << QStringList{u"&Sì"_s, u"&No"_s, u"OK"_s};
    QTest::newRow("English") << u"en_GB"_s << true << QStringList{u"&Yes"_s, u"&No"_s, u"OK"_s};
    QTest::newRow("no translation") << u"C"_s << false << QStringList{u"&Yes"_s, u"&No"_s, u"OK"_s};
}

void TestQtTranslations::standardButtons()
{
    QFETCH(QString, locale);
    QFETCH(bool, found);
    QFETCH(QStringList, buttons);
    QCOMPARE(ondiva::shell::installQtTranslations(QLocale(locale)), found);
    QMessageBox box;
    QStringList shown;
    for (QMessageBox::StandardButton button : {QMessageBox::Yes, QMessageBox::No, QMessageBox::Ok})
        shown << box.addButton(button)->text();
    QCOMPARE(shown, buttons);
}

QTEST_MAIN(TestQtTranslations)
#include "tst_qttranslations.moc"
