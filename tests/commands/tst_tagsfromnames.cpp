#include "ioerror.h"
#include "memoryfilelist.h"
#include "scriptedquestions.h"
#include "tagsfromnames.h"
#include "tagtext.h"
#include "tagworkspace.h"
#include "testfiles.h"

#include <QFile>
#include <QtTest>

using testfiles::id3v1;

namespace
{

const char kHeader[4] = {char(0xFF), char(0xFB), char(0x90), char(0x00)};

QByteArray audio()
{
    return testfiles::frames(kHeader, 2);
}

QByteArray lastTag(const QString &name)
{
    return testfiles::readFile(name).right(128);
}

QString ws(const std::string &text)
{
    return fromTagText(text);
}

NamingOptions albumOptions(int pattern = PatternTrackSong)
{
    NamingOptions o;
    o.pattern = pattern;
    o.artist = QStringLiteral("Field Artist");
    o.album = QStringLiteral("The Album");
    o.year = QStringLiteral("1999");
    o.comment = QStringLiteral("From the window");
    o.genre = QStringLiteral("Rock");
    return o;
}

} // namespace

class TestTagsFromNames : public QObject
{
    Q_OBJECT

private slots:
    void tagText_data();
    void tagText();
    void everyByteRoundTrips();
    void titleAndArtist_data();
    void titleAndArtist();
    void folderGuess_data();
    void folderGuess();
    void writesEverySelectedFile();
    void longTitle_data();
    void longTitle();
    void longTitlesPromptInListOrder();
    void writeFailureEndsWalk();
};

void TestTagsFromNames::titleAndArtist_data()
{
    QTest::addColumn<int>("pattern");
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("artist");
    QTest::addColumn<QString>("title");

    QTest::newRow("0: track and song") << 0 << "01. Song.mp3"
                                       << "Field"
                                       << "Song";
    QTest::newRow("0: one digit loses a letter") << 0 << "7. Song.mp3"
                                                 << "Field"
                                                 << "ong";
    QTest::newRow("0: eight characters") << 0 << "Song.mp3"
                                         << "Field"
                                         << "";
    QTest::newRow("0: underscores kept") << 0 << "01._My_Song.mp3"
                                         << "Field"
                                         << "My_Song";
    QTest::newRow("0: blanks kept") << 0 << "01.  Song .mp3"
                                    << "Field"
                                    << " Song ";
    QTest::newRow("0: upper-case extension") << 0 << "01. Song.MP3"
                                             << "Field"
                                             << "Song";
    QTest::newRow("1: track, artist, song") << 1 << "01. Artist - Song.mp3"
                                            << "Artist"
                                            << "Song";
    QTest::newRow("1: one digit") << 1 << "1. Artist - Song.mp3"
                                  << "rtist"
                                  << "Song";
    QTest::newRow("1: no separator") << 1 << "01. Song.mp3"
                                     << ""
                                     << "Song";
    QTest::newRow("2: first separator") << 2 << "A - B - C.mp3"
                                        << "A"
                                        << "B - C";
    QTest::newRow("2: extra blanks kept") << 2 << "Band  -  Song.MP3"
                                          << "Band "
                                          << " Song";
    QTest::newRow("2: no separator") << 2 << "Song.mp3"
                                     << ""
                                     << "Song";
    QTest::newRow("2: separator first") << 2 << " - Song.mp3"
                                        << ""
                                        << "Song";
    QTest::newRow("2: Latin-1 letters") << 2 << "Björk - Jóga.mp3"
                                        << "Björk"
                                        << "Jóga";
    QTest::newRow("2: outside Latin-1") << 2 << "Ψ - 日本🎵.mp3"
                                        << "?"
                                        << "???";
    QTest::newRow("2: decomposed letters") << 2 << QString::fromUtf8("Sjo\u0308 - Lo\u0301a.mp3")
                                           << QString::fromUtf8("Sjö") << QString::fromUtf8("Lóa");
    QTest::newRow("0: code page 1252") << 0 << QString::fromUtf8("01. Don’t Stop – Live.mp3")
                                       << "Field" << QString::fromUtf8("Don’t Stop – Live");
}

void TestTagsFromNames::titleAndArtist()
{
    QFETCH(int, pattern);
    QFETCH(QString, name);
    QFETCH(QString, artist);
    QFETCH(QString, title);

    TagWorkspace &w = tagWorkspace();
    w.SongArtist = "stale";
    w.SongTitle = "stale";
    titleAndArtistFromName(name, pattern, QStringLiteral("Field"));
    QCOMPARE(ws(w.SongArtist), artist);
    QCOMPARE(ws(w.SongTitle), title);
}

void TestTagsFromNames::folderGuess_data()
{
    QTest::addColumn<bool>("checked");
    QTest::addColumn<int>("pattern");
    QTest::addColumn<QString>("path");
    QTest::addColumn<bool>("hasFiles");
    QTest::addColumn<bool>("changes");
    QTest::addColumn<QString>("artist");
    QTest::addColumn<QString>("album");

    const QString long40 = QString(40, QLatin1Char('x'));
    QTest::newRow("artist - album")
        << true << 0 << "/mp3/Artist - Album" << true << true << "Artist"
        << "Album";
    QTest::newRow("first separator") << true << 0 << "/mp3/X - Y - Z" << true << true << "X"
                                     << "Y - Z";
    QTest::newRow("root") << true << 0 << "/" << true << true << ""
                          << "";
    QTest::newRow("no separator") << true << 0 << "/mp3/Album" << true << true << ""
                                  << "";
    QTest::newRow("separator in a parent") << true << 0 << "/A - B/Album" << true << true << ""
                                           << "";
    QTest::newRow("no files") << true << 0 << "/mp3/Artist - Album" << false << true << ""
                              << "";
    QTest::newRow("long parts") << true << 0 << "/mp3/" + long40 + " - " + long40 << true << true
                                << long40.left(30) << long40.left(30);
    QTest::newRow("option off") << false << 0 << "/mp3/Artist - Album" << true << false << ""
                                << "";
    QTest::newRow("pattern 1") << true << 1 << "/mp3/Artist - Album" << true << false << ""
                               << "";
    QTest::newRow("pattern 2") << true << 2 << "/mp3/Artist - Album" << true << false << ""
                               << "";
}

void TestTagsFromNames::folderGuess()
{
    QFETCH(bool, checked);
    QFETCH(int, pattern);
    QFETCH(QString, path);
    QFETCH(bool, hasFiles);
    QFETCH(bool, changes);
    QFETCH(QString, artist);
    QFETCH(QString, album);

    const auto guess = guessFromDirectoryName(checked, pattern, path, hasFiles);
    QCOMPARE(guess.has_value(), changes);
    if (guess) {
        QCOMPARE(guess->artist, artist);
        QCOMPARE(guess->album, album);
    }
}

void TestTagsFromNames::writesEverySelectedFile()
{
    WorkingFolder folder;
    QVERIFY(folder.isValid());
    QVERIFY(testfiles::writeFile("01. Alpha.mp3", audio()));
    QVERIFY(testfiles::writeFile("02. Beta.mp3", audio() + id3v1("Old", "Old", "Old")));
    QVERIFY(testfiles::writeFile("03. Gamma.mp3", audio()));
    QVERIFY(testfiles::writeFile("04. Ñandú ☂.mp3", audio()));
    MemoryFileList list;
    QCOMPARE(list.count(), 4);
    list.select(0);
    list.select(1);
    list.select(3);

    ScriptedQuestions script;
    tagsFromFileNames(here(), list, albumOptions(), script);

    QVERIFY(script.titlesAsked.isEmpty());
    const QByteArray album = "The Album", comment = "From the window";
    QCOMPARE(lastTag("01. Alpha.mp3"), id3v1("Alpha", "Field Artist", album, "1999", comment, 17));
    QCOMPARE(testfiles::readFile("01. Alpha.mp3").size(), audio().size() + 128);
    // An existing tag is overwritten in place.
    QCOMPARE(testfiles::readFile("02. Beta.mp3").size(), audio().size() + 128);
    QCOMPARE(lastTag("02. Beta.mp3"), id3v1("Beta", "Field Artist", album, "1999", comment, 17));
    QCOMPARE(testfiles::readFile("03. Gamma.mp3"), audio());
    QCOMPARE(lastTag("04. Ñandú ☂.mp3"), id3v1("\xD1"
                                               "and\xFA ?",
                                               "Field Artist", album, "1999", comment, 17));
    for (int row = 0; row < list.count(); ++row)
        QVERIFY(!list.isSelected(row));
    QCOMPARE(list.rereadCount(), 0);
}

void TestTagsFromNames::tagText_data()
{
    // The one conversion between shown text and tag bytes, both ways.
    QTest::addColumn<QString>("text");
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("readBack");
    QTest::newRow("ascii") << "Song 1" << QByteArray("Song 1") << "Song 1";
    QTest::newRow("latin-1") << "Bj\u00F6rk" << QByteArray("Bj\xF6rk") << "Bj\u00F6rk";
    QTest::newRow("outside the character set") << "Sun \u2602" << QByteArray("Sun ?") << "Sun ?";
    QTest::newRow("emoji is one character") << "Hi \U0001F600!" << QByteArray("Hi ?!") << "Hi ?!";
    // Windows code page 1252: its 27 characters at 0x80-0x9F, both ways.
    const QString defined = QString::fromUtf8("€‚ƒ„…†‡ˆ‰Š‹ŒŽ‘’“”•–—˜™š›œžŸ");
    QTest::newRow("code page 1252") << defined
                                    << QByteArray("\x80\x82\x83\x84\x85\x86\x87\x88\x89\x8A"
                                                  "\x8B\x8C\x8E\x91\x92\x93\x94\x95\x96\x97"
                                                  "\x98\x99\x9A\x9B\x9C\x9E\x9F")
                                    << defined;
    QTest::newRow("curly apostrophe")
        << QString::fromUtf8("It’s") << QByteArray("It\x92s") << QString::fromUtf8("It’s");
    const QString undefined = QStringLiteral("\u0081\u008D\u008F\u0090\u009D");
    QTest::newRow("undefined bytes kept")
        << undefined << QByteArray("\x81\x8D\x8F\x90\x9D") << undefined;
    QTest::newRow("other C1 controls")
        << QStringLiteral("a\u0080\u009Fb") << QByteArray("a??b") << "a??b";
    QTest::newRow("decomposed name") << QString::fromUtf8("Sjo\u0308 - Lo\u0301a")
                                     << QByteArray("Sj\xF6 - L\xF3"
                                                   "a")
                                     << QString::fromUtf8("Sjö - Lóa");
    QTest::newRow("combining mark with no composed form")
        << QString::fromUtf8("q\u0308") << QByteArray("q?") << "q?";
}

void TestTagsFromNames::everyByteRoundTrips()
{
    for (int b = 1; b < 256; ++b) {
        const std::string byte(1, char(b));
        const QString text = fromTagText(byte);
        QCOMPARE(text.size(), 1);
        QCOMPARE(toTagText(text), byte);
    }
}

void TestTagsFromNames::tagText()
{
    QFETCH(QString, text);
    QFETCH(QByteArray, bytes);
    QFETCH(QString, readBack);
    QCOMPARE(QByteArray::fromStdString(toTagText(text)), bytes);
    QCOMPARE(fromTagText(bytes.toStdString()), readBack);
}

void TestTagsFromNames::longTitle_data()
{
    QTest::addColumn<QString>("title");
    QTest::addColumn<bool>("ask");
    QTest::addColumn<bool>("save");
    QTest::addColumn<bool>("prompted");
    QTest::addColumn<QByteArray>("storedTitle");
    QTest::addColumn<QByteArray>("storedComment");

    const QString t30 = QString(30, QLatin1Char('t'));
    const QString t31 = QString(27, QLatin1Char('t')) + QStringLiteral("wxyz");
    const QByteArray window = "From the window";
    QTest::newRow("30 characters") << t30 << true << true << false << t30.toLatin1() << window;
    QTest::newRow("30 characters, 31 UTF-16 units")
        << QString(29, QLatin1Char('t')) + QStringLiteral("🎵") << true << true << false
        << QByteArray(29, 't') + "?" << window;
    QTest::newRow("31, Save") << t31 << true << true << true << QByteArray("Short")
                              << QByteArray("Typed");
    QTest::newRow("31, Cancel") << t31 << true << false << true << t31.left(30).toLatin1()
                                << window;
    QTest::newRow("31, option off")
        << t31 << false << true << false << t31.left(30).toLatin1() << window;
}

void TestTagsFromNames::longTitle()
{
    QFETCH(QString, title);
    QFETCH(bool, ask);
    QFETCH(bool, save);
    QFETCH(bool, prompted);
    QFETCH(QByteArray, storedTitle);
    QFETCH(QByteArray, storedComment);

    WorkingFolder folder;
    const QString name = "05. " + title + ".mp3";
    QVERIFY(testfiles::writeFile(name, audio()));
    MemoryFileList list;
    list.selectAll();
    NamingOptions options = albumOptions();
    options.askForLongTitles = ask;
    ScriptedQuestions script;
    if (save)
        script.titleAnswers.append(LongTitleAnswer{"Short", "Typed"});

    tagsFromFileNames(here(), list, options, script);

    QCOMPARE(script.titlesAsked.size(), prompted ? 1 : 0);
    if (prompted) {
        const LongTitleQuestion &q = script.titlesAsked.first();
        QCOMPARE(q.fileName, name);
        QCOMPARE(q.title, title.left(30));
        QCOMPARE(q.artist, QStringLiteral("Field Artist"));
        QCOMPARE(q.album, QStringLiteral("The Album"));
        QCOMPARE(q.year, QStringLiteral("1999"));
        QCOMPARE(q.comment, QStringLiteral("From the window"));
        QCOMPARE(q.genre, QStringLiteral("Rock"));
    }
    QCOMPARE(lastTag(name),
             id3v1(storedTitle, "Field Artist", "The Album", "1999", storedComment, 17));
}

void TestTagsFromNames::longTitlesPromptInListOrder()
{
    WorkingFolder folder;
    const QString pad(30, QLatin1Char('x'));
    const QStringList names = {"Band - A" + pad + ".mp3", "Band - B" + pad + ".mp3", "Band - C.mp3",
                               "Band - D" + pad + ".mp3"};
    for (const QString &name : names)
        QVERIFY(testfiles::writeFile(name, audio()));
    MemoryFileList list;
    QCOMPARE(list.items(), names);
    list.selectAll();
    ScriptedQuestions script;
    script.titleAnswers = {LongTitleAnswer{"First", "Note one"}, std::nullopt,
                           LongTitleAnswer{"Fourth", "Note four"}};

    tagsFromFileNames(here(), list, albumOptions(PatternArtistSong), script);

    QCOMPARE(script.titlesAsked.size(), 3);
    QCOMPARE(script.titlesAsked[0].fileName, names[0]);
    QCOMPARE(script.titlesAsked[1].fileName, names[1]);
    QCOMPARE(script.titlesAsked[2].fileName, names[3]);
    QCOMPARE(script.titlesAsked[2].comment, QStringLiteral("From the window"));
    QCOMPARE(lastTag(names[0]), id3v1("First", "Band", "The Album", "1999", "Note one", 17));
    QCOMPARE(lastTag(names[1]), id3v1(("B" + pad).left(30).toLatin1(), "Band", "The Album", "1999",
                                      "From the window", 17));
    QCOMPARE(lastTag(names[2]), id3v1("C", "Band", "The Album", "1999", "From the window", 17));
    QCOMPARE(lastTag(names[3]), id3v1("Fourth", "Band", "The Album", "1999", "Note four", 17));
}

void TestTagsFromNames::writeFailureEndsWalk()
{
    WorkingFolder folder;
    QVERIFY(testfiles::writeFile("01. A.mp3", audio()));
    QVERIFY(QDir().mkdir("02. B.mp3"));
    QVERIFY(testfiles::writeFile("03. C.mp3", audio()));
    MemoryFileList list({"01. A.mp3", "02. B.mp3", "03. C.mp3"});
    list.selectAll();
    ScriptedQuestions none;

    try {
        tagsFromFileNames(here(), list, albumOptions(), none);
        QFAIL("no failure");
    } catch (const IoError &e) {
        QCOMPARE(e.errorNumber(), 5);
    }
    QCOMPARE(lastTag("01. A.mp3").left(4), QByteArray("TAGA"));
    QCOMPARE(testfiles::readFile("03. C.mp3"), audio());
    QVERIFY(!list.isSelected(0));
    QVERIFY(!list.isSelected(1));
    QVERIFY(list.isSelected(2));
}

QTEST_GUILESS_MAIN(TestTagsFromNames)
#include "tst_tagsfromnames.moc"
