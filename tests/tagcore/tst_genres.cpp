#include "genres.h"
#include "tagworkspace.h"

#include <QtTest>
#include <algorithm>
#include <set>

class TestGenres : public QObject
{
    Q_OBJECT
private slots:
    void tableHasEveryByteOnce();
    void nameToByte_data();
    void nameToByte();
    void byteToName_data();
    void byteToName();
    void dropDownOrder_data();
    void dropDownOrder();
    void dropDownHoldsExactlyTheTable();
};

void TestGenres::tableHasEveryByteOnce()
{
    const auto &table = GenreTable();
    QCOMPARE(table.size(), std::size_t(146));
    std::set<int> bytes;
    std::set<std::string> names;
    for (const GenreRow &row : table) {
        bytes.insert(row.byte);
        names.insert(row.name);
    }
    QCOMPARE(bytes.size(), std::size_t(146));
    QCOMPARE(names.size(), std::size_t(146));
    QCOMPARE(*bytes.rbegin(), 255);
    QCOMPARE(std::string(table.back().name), std::string("(none)"));
}

void TestGenres::nameToByte_data()
{
    QTest::addColumn<QByteArray>("genre");
    QTest::addColumn<int>("before");
    QTest::addColumn<int>("after");
    QTest::newRow("first") << QByteArray("Blues") << 7 << 0;
    QTest::newRow("rock") << QByteArray("Rock") << 7 << 17;
    QTest::newRow("last numbered") << QByteArray("Trash Metal") << 7 << 144;
    QTest::newRow("none") << QByteArray("(none)") << 7 << 255;
    QTest::newRow("case differs: unchanged") << QByteArray("blues") << 7 << 7;
    QTest::newRow("trailing blank: unchanged") << QByteArray("Rock ") << 7 << 7;
    QTest::newRow("empty: unchanged") << QByteArray("") << 200 << 200;
}

void TestGenres::nameToByte()
{
    QFETCH(QByteArray, genre);
    QFETCH(int, before);
    QFETCH(int, after);
    TagWorkspace &ws = tagWorkspace();
    ws.SongGenre = genre.toStdString();
    ws.SongGenreByte = std::uint8_t(before);
    GenreNameToByte();
    QCOMPARE(int(ws.SongGenreByte), after);
    QCOMPARE(ws.SongGenre, genre.toStdString());
}

void TestGenres::byteToName_data()
{
    QTest::addColumn<int>("byte");
    QTest::addColumn<QByteArray>("name");
    QTest::newRow("0") << 0 << QByteArray("Blues");
    QTest::newRow("127") << 127 << QByteArray("Drum & Bass");
    QTest::newRow("128 (signed-byte trap)") << 128 << QByteArray("Club-House");
    QTest::newRow("144") << 144 << QByteArray("Trash Metal");
    QTest::newRow("145 unnamed") << 145 << QByteArray("keep");
    QTest::newRow("200 unnamed") << 200 << QByteArray("keep");
    QTest::newRow("255 reads back as no name") << 255 << QByteArray("keep");
}

void TestGenres::byteToName()
{
    QFETCH(int, byte);
    QFETCH(QByteArray, name);
    TagWorkspace &ws = tagWorkspace();
    ws.SongGenre = "keep";
    ws.SongGenreByte = std::uint8_t(byte);
    GenreByteToName();
    QCOMPARE(QByteArray::fromStdString(ws.SongGenre), name);
    QCOMPARE(int(ws.SongGenreByte), byte);
}

void TestGenres::dropDownOrder_data()
{
    QTest::addColumn<QByteArray>("earlier");
    QTest::addColumn<QByteArray>("later");
    QTest::newRow("blank before letter") << QByteArray("Hard Rock") << QByteArray("Hardcore");
    QTest::newRow("ampersand before letter") << QByteArray("R&B") << QByteArray("Rap");
    QTest::newRow("hyphen ignored 1") << QByteArray("Eurodance") << QByteArray("Euro-House");
    QTest::newRow("hyphen ignored 2") << QByteArray("Eurodance") << QByteArray("Euro-Techno");
    QTest::newRow("hyphen ignored 3") << QByteArray("Folklore") << QByteArray("Folk-Rock");
    QTest::newRow("slash before hyphenated") << QByteArray("Pop/Funk") << QByteArray("Pop-Folk");
    QTest::newRow("prefix first") << QByteArray("Pop") << QByteArray("Pop/Funk");
    QTest::newRow("case ignored") << QByteArray("BritPop") << QByteArray("Cabaret");
    QTest::newRow("digits before letters") << QByteArray("Top 40") << QByteArray("Trance");
}

void TestGenres::dropDownOrder()
{
    QFETCH(QByteArray, earlier);
    QFETCH(QByteArray, later);
    const auto &names = genreDropDownNames();
    const auto a = std::find(names.begin(), names.end(), earlier.toStdString());
    const auto b = std::find(names.begin(), names.end(), later.toStdString());
    QVERIFY(a != names.end());
    QVERIFY(b != names.end());
    QVERIFY2(a < b, earlier + " should come before " + later);
}

void TestGenres::dropDownHoldsExactlyTheTable()
{
    const auto &names = genreDropDownNames();
    QCOMPARE(names.size(), std::size_t(146));
    QCOMPARE(names.front(), std::string("(none)"));
    std::set<std::string> fromTable;
    for (const GenreRow &row : GenreTable())
        fromTable.insert(row.name);
    QCOMPARE(std::set<std::string>(names.begin(), names.end()), fromTable);
    QVERIFY(std::is_sorted(names.begin(), names.end(), wordSortLess));
}

QTEST_APPLESS_MAIN(TestGenres)
#include "tst_genres.moc"
