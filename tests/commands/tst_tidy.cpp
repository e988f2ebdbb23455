#include "memoryfilelist.h"
#include "testfiles.h"
#include "tidy.h"

#include <QFile>
#include <QtTest>

class TestTidy : public QObject
{
    Q_OBJECT

private slots:
    void tidyName_data();
    void tidyName();
    void renamesSelectedFiles();
    void competingNames();
};

void TestTidy::tidyName_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<int>("pattern");
    QTest::addColumn<QString>("tidy");

    QTest::newRow("underscores, hyphen, extension") << "01_-_my_song.MP3" << 0 << "01. My Song.mp3";
    QTest::newRow("blank hyphen blank") << "01 - my song.mp3" << 1 << "01. My Song.mp3";
    QTest::newRow("pattern 2 keeps the number") << "01 - my song.mp3" << 2 << "01 - My Song.mp3";
    QTest::newRow("point third") << "01. my song.mp3" << 0 << "01. My Song.mp3";
    QTest::newRow("point third, no blank") << "01.my_song.mp3" << 0 << "01.My Song.mp3";
    QTest::newRow("letter third") << "01my song.mp3" << 0 << "01. My Song.mp3";
    QTest::newRow("hyphen third") << "01-my song.mp3" << 0 << "01. -My Song.mp3";
    QTest::newRow("blank underscore") << "01 _song.mp3" << 0 << "01.  Song.mp3";
    QTest::newRow("10cc, pattern 2")
        << "10cc - rubber_bullets.mp3" << 2 << "10cc - Rubber Bullets.mp3";
    QTest::newRow("10cc, pattern 0")
        << "10cc - rubber_bullets.mp3" << 0 << "10. Cc - Rubber Bullets.mp3";
    QTest::newRow("brackets and hash")
        << "THE BEST (LIVE) [REMIX] #1.mp3" << 0 << "The Best (Live) [Remix] #1.mp3";
    QTest::newRow("hyphens and points") << "the-end.of.it.mp3" << 0 << "The-End.Of.It.mp3";
    QTest::newRow("a and o umlaut") << "äänet ja öljy.mp3" << 0 << "Äänet Ja Öljy.mp3";
    QTest::newRow("a ring") << "01 - åsa.mp3" << 1 << "01. Åsa.mp3";
    QTest::newRow("capitals lowered") << "ÄÖÅ ÖLJY.mp3" << 0 << "Äöå Öljy.mp3";
    QTest::newRow("e acute unchanged") << "12 - élan vital.mp3" << 0 << "12. élan Vital.mp3";
    QTest::newRow("other accents unchanged") << "ÉCOLE ÜBER.mp3" << 0 << "École Über.mp3";
    QTest::newRow("one digit") << "7 - song.mp3" << 0 << "7 - Song.mp3";
    QTest::newRow("empty body") << ".mp3" << 0 << ".mp3";
    QTest::newRow("extension Mp3") << "song.Mp3" << 0 << "Song.mp3";
    QTest::newRow("digit uses the capital") << "2nd_song.mp3" << 0 << "2nd Song.mp3";
    QTest::newRow("apostrophe and closing brackets")
        << "don't (a)b [c]d.mp3" << 0 << "Don't (A)b [C]d.mp3";
    QTest::newRow("already tidy") << "01. My Song.mp3" << 0 << "01. My Song.mp3";
    QTest::newRow("outside Latin-1") << "01 - 日本 🎵song.mp3" << 0 << "01. 日本 🎵song.mp3";
}

void TestTidy::tidyName()
{
    QFETCH(QString, name);
    QFETCH(int, pattern);
    QFETCH(QString, tidy);
    QCOMPARE(::tidyName(name, pattern), tidy);
}

void TestTidy::renamesSelectedFiles()
{
    WorkingFolder folder;
    QVERIFY(folder.isValid());
    const QStringList names = {"01_-_first.mp3", "02 - second.MP3", "MY SONG.mp3",
                               "unselected_one.mp3", "Zed.mp3"};
    for (const QString &name : names)
        QVERIFY(testfiles::writeFile(name, name.toUtf8()));
    MemoryFileList list;
    QCOMPARE(list.items(), names);
    for (int row : {0, 1, 2, 4})
        list.select(row);

    const WalkReport report = tidyFileNames(here(), list, 0);
    list.reread();

    QCOMPARE(report.done, 3);
    QCOMPARE(report.reasons(), (std::vector<std::pair<QString, int>>{{"name already tidy", 1}}));
    QCOMPARE(list.items(), QStringList({"01. First.mp3", "02. Second.mp3", "My Song.mp3",
                                        "unselected_one.mp3", "Zed.mp3"}));
    // Each file keeps its own bytes under its new name.
    QCOMPARE(testfiles::readFile("02. Second.mp3"), QByteArray("02 - second.MP3"));
    QCOMPARE(testfiles::readFile("My Song.mp3"), QByteArray("MY SONG.mp3"));
}

void TestTidy::competingNames()
{
    WorkingFolder folder;
    QVERIFY(testfiles::writeFile("01 - my song.mp3", "first"));
    QVERIFY(testfiles::writeFile("01_-_my_song.mp3", "second"));
    MemoryFileList list;
    list.selectAll();

    tidyFileNames(here(), list, 0);

    QCOMPARE(testfiles::readFile("01. My Song.mp3"), QByteArray("first"));
    QCOMPARE(testfiles::readFile("01_-_my_song.mp3"), QByteArray("second"));
    QCOMPARE(list.count(), 2);
}

QTEST_GUILESS_MAIN(TestTidy)
#include "tst_tidy.moc"
