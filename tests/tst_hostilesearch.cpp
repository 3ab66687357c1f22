// Hostile search terms and catalogue values: whatever the text, a search
// returns exactly the rows the Like rules select, and the catalogue stays intact.

#include "LikeReference.h"
#include "TestCatalogue.h"
#include "fakes/FakeControls.h"
#include "search/PaneSearch.h"

#include <QTest>

#include <algorithm>
#include <functional>

using namespace ondiva;
using namespace ondiva::fakes;
using ondiva::testing::TestCatalogue;

namespace {

// Values stored as raw bytes, some of them not UTF-8 at all.
std::vector<QByteArray> hostileValues()
{
    std::vector<QByteArray> values{
        "D'Angelo",
        "L'arte dell'eco",
        "\"virgolette\"",
        "back\\slash",
        "a;b",
        "x'); drop table ARTICOLI; --",
        "/* commento */",
        "-- commento",
        "100% suono",
        "nome_con_trattino",
        "tab\tdentro",
        QByteArray("nul\0dentro", 11),
        "caff\xe8 latino",
        "\xff\xfe",
        "CAFFÈ",
        "caffè",
        "ſ e \u212A",
        "",
        "   ",
    };
    values.push_back(QByteArray(100000, 'a') + "fine");
    return values;
}

QStringList hostileTerms()
{
    return {QStringLiteral("'"),         QStringLiteral("''"),    QStringLiteral("\""),
            QStringLiteral("\\"),        QStringLiteral(";"),     QStringLiteral("--"),
            QStringLiteral("/*"),        QStringLiteral("%"),     QStringLiteral("_"),
            QStringLiteral("100%"),      QStringLiteral("e_c"),   QStringLiteral("\t"),
            QString(QChar(0)),           QStringLiteral("caffè"), QStringLiteral("CAFF"),
            QStringLiteral("x'); drop"), QStringLiteral("S"),     QStringLiteral("k"),
            QString(100000, u'a'),       QString(100001, u'a'),   QStringLiteral("' or '1'='1"),
            QStringLiteral("%' --")};
}

} // namespace

class TestHostileSearch : public QObject {
    Q_OBJECT

private slots:
    void searchReturnsExactlyTheLikeRows_data();
    void searchReturnsExactlyTheLikeRows();
};

void TestHostileSearch::searchReturnsExactlyTheLikeRows_data()
{
    QTest::addColumn<QString>("term");
    for (const QString& term : hostileTerms())
        QTest::newRow(qPrintable(QString::fromLatin1(term.left(12).toUtf8().toHex()))) << term;
}

void TestHostileSearch::searchReturnsExactlyTheLikeRows()
{
    QFETCH(QString, term);
    TestCatalogue catalogue;
    const std::vector<QByteArray> values = hostileValues();
    {
        sqlite::Database db;
        QCOMPARE(db.open(catalogue.path(), true), SQLITE_OK);
        sqlite::Statement insert = db.prepare("insert into GROOVES (GROOVE, ONDIVA) values (?1, '7')");
        for (const QByteArray& value : values) {
            insert.reset();
            sqlite3_bind_text(insert.get(), 1, value.constData(), int(value.size()), SQLITE_TRANSIENT);
            QCOMPARE(insert.step(), SQLITE_DONE);
        }
    }

    FakeMessageBox messages;
    search::PaneSearch search(catalogue.path(), messages, QStringLiteral("t"));
    FakeTextBox box;
    box.value = term;
    FakeOption option;
    option.selected = true;
    FakeResultList list;
    FakeLabel count;
    search.run(search::kGroovesPane, {box, {&option, nullptr, nullptr}, list, count});

    QCOMPARE(messages.shown.size(), 0);
    const QByteArray pattern = '%' + term.toUtf8() + '%';
    // The reference Like is quadratic; a very long plain term is checked as
    // containment of the reference's folded characters.
    const bool longPlainTerm = term.size() > 1000 && !term.contains(u'%') && !term.contains(u'_');
    const std::string termBytes = term.toStdString();
    const std::vector<char32_t> foldedTerm = testing::referenceFold(termBytes);
    const std::boyer_moore_horspool_searcher contains(foldedTerm.begin(), foldedTerm.end());
    QStringList expected;
    for (const QByteArray& value : values) {
        const std::string_view bytes(value.constData(), size_t(value.size()));
        bool match = false;
        if (longPlainTerm) {
            const std::vector<char32_t> foldedValue = testing::referenceFold(bytes);
            match = std::search(foldedValue.begin(), foldedValue.end(), contains) != foldedValue.end();
        } else {
            match = testing::referenceLike({pattern.constData(), size_t(pattern.size())}, bytes);
        }
        if (match)
            expected << QString::fromUtf8(value + "\t7\t");
    }
    QCOMPARE(list.rows.size(), expected.size());
    QCOMPARE(list.rows, expected);
    QCOMPARE(count.caption, QString::number(expected.size()));
    QCOMPARE(catalogue.rowCount(QStringLiteral("GROOVES")), qsizetype(values.size()));
    QCOMPARE(catalogue.rowCount(QStringLiteral("ARTICOLI")), 0);
}

QTEST_GUILESS_MAIN(TestHostileSearch)
#include "tst_hostilesearch.moc"
