#include "ioerror.h"
#include "memoryfilelist.h"
#include "rename.h"
#include "scriptedquestions.h"
#include "tagworkspace.h"
#include "testfiles.h"

#include <QDir>
#include <QFile>
#include <QtTest>
#include <unistd.h>

using testfiles::id3v1;

namespace
{

const char kHeader[4] = {char(0xFF), char(0xFB), char(0x90), char(0x00)};

QByteArray audio()
{
    return testfiles::frames(kHeader, 2);
}

QStringList folderEntries()
{
    return QDir::current().entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden,
                                     QDir::Name);
}

} // namespace

class TestRename : public QObject
{
    Q_OBJECT

private slots:
    void refusals_data();
    void refusals();
    void renames_data();
    void renames();
    void sameFileUnderTwoNames();
    void byPrompt();
    void fromTags();
    void readerFailureEndsWalk_data();
    void readerFailureEndsWalk();
};

void TestRename::refusals_data()
{
    QTest::addColumn<QString>("to");
    QTest::newRow("empty") << "";
    QTest::newRow("point") << ".";
    QTest::newRow("two points") << "..";
    QTest::newRow("hidden name") << ".b.mp3";
    QTest::newRow("into a subfolder") << "sub/b.mp3";
    QTest::newRow("to the parent") << "../b.mp3";
    QTest::newRow("absolute") << "/tmp/b.mp3";
    QTest::newRow("slash at the end") << "b.mp3/";
    QTest::newRow("NUL") << QStringLiteral("b.mp3") + QChar(0) + QStringLiteral("x");
    QTest::newRow("existing file") << "taken.mp3";
    QTest::newRow("existing file, other case") << "TAKEN.mp3";
    QTest::newRow("existing folder") << "sub";
    QTest::newRow("same name") << "a.mp3";
}

void TestRename::refusals()
{
    QFETCH(QString, to);
    WorkingFolder folder;
    QVERIFY(QDir().mkpath("work/sub"));
    QVERIFY(QDir::setCurrent("work"));
    QVERIFY(testfiles::writeFile("a.mp3", "a"));
    QVERIFY(testfiles::writeFile("taken.mp3", "taken"));
    QVERIFY(testfiles::writeFile("TAKEN.mp3", "TAKEN"));
    const QStringList before = folderEntries();

    QVERIFY(!renameNoReplace(here(), "a.mp3", to));

    QCOMPARE(folderEntries(), before);
    QCOMPARE(testfiles::readFile("a.mp3"), QByteArray("a"));
    QCOMPARE(testfiles::readFile("taken.mp3"), QByteArray("taken"));
    QCOMPARE(testfiles::readFile("TAKEN.mp3"), QByteArray("TAKEN"));
    QVERIFY(QDir("sub").isEmpty());
    QCOMPARE(QDir("..").entryList(QDir::AllEntries | QDir::NoDotAndDotDot), QStringList("work"));
    QVERIFY(QDir::setCurrent(folder.path()));
}

void TestRename::renames_data()
{
    QTest::addColumn<QString>("from");
    QTest::addColumn<QString>("to");
    QTest::newRow("plain") << "a.mp3"
                           << "b.mp3";
    QTest::newRow("letter case only") << "MY SONG.mp3"
                                      << "My Song.mp3";
    QTest::newRow("no extension") << "a.mp3"
                                  << "a";
    QTest::newRow("outside Latin-1") << "a.mp3"
                                     << "日本 🎵.mp3";
    QTest::newRow("255 bytes") << "a.mp3" << QString(251, QLatin1Char('n')) + ".mp3";
}

void TestRename::renames()
{
    QFETCH(QString, from);
    QFETCH(QString, to);
    WorkingFolder folder;
    QVERIFY(testfiles::writeFile(from, "content"));

    QVERIFY(renameNoReplace(here(), from, to));

    QCOMPARE(folderEntries(), QStringList(to));
    QCOMPARE(testfiles::readFile(to), QByteArray("content"));
}

void TestRename::sameFileUnderTwoNames()
{
    // Two links to one file: the second name must survive a rename of the first onto it.
    WorkingFolder folder;
    QVERIFY(testfiles::writeFile("a.mp3", "content"));
    QCOMPARE(::link("a.mp3", "b.mp3"), 0);

    QVERIFY(!renameNoReplace(here(), "a.mp3", "b.mp3"));

    QCOMPARE(folderEntries(), QStringList({"a.mp3", "b.mp3"}));
}

void TestRename::byPrompt()
{
    WorkingFolder folder;
    const QStringList names = {"a.mp3", "b.mp3", "c.mp3", "d.mp3", "e.mp3"};
    for (const QString &name : names)
        QVERIFY(testfiles::writeFile(name, name.toLatin1()));
    MemoryFileList list;
    for (int row : {0, 1, 2, 4})
        list.select(row);
    ScriptedQuestions script;
    script.textAnswers = {QStringLiteral("First.mp3"), std::nullopt, QStringLiteral("third"),
                          QStringLiteral("e.mp3")};

    const WalkReport report = renameByPrompt(here(), list, script);
    list.reread();

    QCOMPARE(script.textsAsked.size(), 4);
    const QStringList expectedOrder = {"a.mp3", "b.mp3", "c.mp3", "e.mp3"};
    for (int i = 0; i < 4; ++i) {
        QCOMPARE(script.textsAsked[i].caption, QStringLiteral("Rename"));
        QCOMPARE(script.textsAsked[i].label, expectedOrder[i]);
        QCOMPARE(script.textsAsked[i].initial, expectedOrder[i]);
        QCOMPARE(script.textsAsked[i].maxLength, 255);
    }
    QCOMPARE(report.done, 2);
    QCOMPARE(report.reasons(),
             (std::vector<std::pair<QString, int>>{{"cancelled", 1}, {"name unchanged", 1}}));
    // 'third' has no extension: renamed, and gone from the list.
    QCOMPARE(list.items(), QStringList({"b.mp3", "d.mp3", "e.mp3", "First.mp3"}));
    QCOMPARE(testfiles::readFile("third"), QByteArray("c.mp3"));
    QCOMPARE(testfiles::readFile("First.mp3"), QByteArray("a.mp3"));
}

void TestRename::fromTags()
{
    WorkingFolder folder;
    struct File {
        QString name;
        QByteArray tag;
    };
    const QList<File> files = {
        {"01.mp3", id3v1("Song", "Band")},
        {"02.mp3", {}}, // no tag: the artist read before must not name it
        {"03.mp3", id3v1("", "Band")},
        {"04.mp3", id3v1("Title", "   ")},
        {"05.mp3", id3v1("Twin", "Same")},
        {"06.mp3", id3v1("Twin", "Same")},
        {"07.mp3", id3v1("J\xF3ga", "Bj\xF6rk")},
        {"08.mp3", id3v1("../../escape", "Band")},
        {"09.mp3", id3v1("AC/DC", "Band")},
        {"10.mp3", id3v1("Song", "Band")}, // already taken by 01.mp3
        {"11.mp3", id3v1("Kept", "Unselected")},
        // Windows-1252: a curly apostrophe and a euro sign, not invisible control characters.
        {"12.mp3", id3v1("It\x92s \x80"
                         "5",
                         "Band")},
    };
    for (const File &f : files)
        QVERIFY(testfiles::writeFile(f.name, audio() + f.tag));
    MemoryFileList list;
    for (int row = 0; row < 10; ++row)
        list.select(row);
    list.select(11);

    const WalkReport report = renameFromTags(here(), list);
    list.reread();

    QCOMPARE(report.done, 4);
    QCOMPARE(report.reasons(),
             (std::vector<std::pair<QString, int>>{{"no artist or title in the tag", 3},
                                                   {"name already taken", 2},
                                                   {"name not allowed", 2}}));
    QCOMPARE(list.items(), QStringList({"02.mp3", "03.mp3", "04.mp3", "06.mp3", "08.mp3", "09.mp3",
                                        "10.mp3", "11.mp3", QString::fromUtf8("Band - It’s €5.mp3"),
                                        "Band - Song.mp3", "Björk - Jóga.mp3", "Same - Twin.mp3"}));
    QCOMPARE(testfiles::readFile("Band - Song.mp3"), audio() + files[0].tag);
    QCOMPARE(testfiles::readFile("Same - Twin.mp3"), audio() + files[4].tag);
    QCOMPARE(QDir("..").entryList({"escape*"}, QDir::AllEntries), QStringList());
}

void TestRename::readerFailureEndsWalk_data()
{
    QTest::addColumn<bool>("folderNamedMp3");
    QTest::addColumn<int>("errorNumber");
    QTest::newRow("file shorter than 4 bytes") << false << 100;
    QTest::newRow("folder named b.mp3") << true << 5;
}

void TestRename::readerFailureEndsWalk()
{
    QFETCH(bool, folderNamedMp3);
    QFETCH(int, errorNumber);
    WorkingFolder folder;
    QVERIFY(testfiles::writeFile("a.mp3", audio() + id3v1("One", "Band")));
    if (folderNamedMp3)
        QVERIFY(QDir().mkdir("b.mp3"));
    else
        QVERIFY(testfiles::writeFile("b.mp3", "ID"));
    QVERIFY(testfiles::writeFile("c.mp3", audio() + id3v1("Three", "Band")));
    MemoryFileList list({"a.mp3", "b.mp3", "c.mp3"});
    list.selectAll();

    try {
        renameFromTags(here(), list);
        QFAIL("no failure");
    } catch (const IoError &e) {
        QCOMPARE(e.errorNumber(), errorNumber);
    }
    QCOMPARE(list.items(), QStringList({"a.mp3", "b.mp3", "c.mp3"}));
    QVERIFY(!list.isSelected(1));
    QVERIFY(list.isSelected(2));
    QVERIFY(QFile::exists("Band - One.mp3"));
    QVERIFY(QFile::exists("c.mp3"));
}

QTEST_GUILESS_MAIN(TestRename)
#include "tst_rename.moc"
