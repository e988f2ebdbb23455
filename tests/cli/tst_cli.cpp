// The real trackling-cli, run on files the tests make: its command lines and exit statuses, dry
// runs that change no byte, the same bytes as the window's commands, JSON Lines, names that are
// not UTF-8, one undo journal with the window, and a stop by signal.
#include "clitest.h"
#include "folderscan.h"
#include "id3v2bytes.h"
#include "memoryfilelist.h"
#include "playlist.h"
#include "questions.h"
#include "reporttext.h"
#include "session.h"
#include "testfiles.h"

#include <QDir>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>
#include <csignal>
#include <sys/stat.h>
#include <thread>

using namespace clitest;

namespace
{

const QByteArray kAlbum = "Music/Band - Album";

// The files most tests start from: an album folder (a tagged file, two without a tag, one with
// a title too long for a tag, one with only an ID3v2 tag) beside a second folder, both in Music.
Tree albumTree()
{
    const QByteArray audio = mp3();
    return {
        {"Music", "<dir>"},
        {kAlbum, "<dir>"},
        {kAlbum + "/01. First song.mp3",
         audio + testfiles::id3v1("Old title", "Old artist", "", "1999", "", 17)},
        {kAlbum + "/02_second_song.MP3", audio},
        {kAlbum + "/03. A title much longer than thirty characters.mp3", audio},
        {kAlbum + "/04 - tagged in v2.mp3", id3v2Tag("V2 title", "V2 artist") + audio},
        {"Music/Other", "<dir>"},
        {"Music/Other/Solo - Tune.mp3", audio},
    };
}

// The variations of the tables' rows, added to the album.
Tree setupTree(const QString &setup)
{
    Tree files = albumTree();
    const QByteArray audio = mp3();
    if (setup == QLatin1String("tidy")) {
        files["t"] = "<dir>";
        files["t/01. Song.mp3"] = audio;
        files["t/02. Other.mp3"] = audio;
    } else if (setup == QLatin1String("collide")) {
        files["t"] = "<dir>";
        files["t/01 song.mp3"] = audio;
        files["t/01_song.mp3"] = audio;
    } else if (setup == QLatin1String("tiny")) {
        files["t"] = "<dir>";
        files["t/a.mp3"] = audio;
        files["t/b.mp3"] = "tiny";
        files["t/c.mp3"] = audio;
    } else if (setup == QLatin1String("dash")) {
        files["-dash.mp3"] = audio;
    } else if (setup == QLatin1String("nested")) {
        files["top"] = "<dir>";
        files["top/a.mp3"] = audio;
        files["top/sub"] = "<dir>";
        files["top/sub/b.mp3"] = audio;
    } else if (setup == QLatin1String("empty")) {
        files["e"] = "<dir>";
    } else if (setup == QLatin1String("v2")) {
        // ID3v2 tags within the first bytes the tag reader reads, and one beyond them.
        files["t"] = "<dir>";
        files["t/small.mp3"] = id3v2Tag("Small title", "Band") + audio;
        files["t/big.mp3"] =
            tag(3, frame(3, "PRIV", QByteArray(6000, 'x')) + textFrame(3, "TIT2", "Big title")) +
            audio;
        files["t/both.mp3"] =
            id3v2Tag("V2 title", "Band") + audio + testfiles::id3v1("V1 title", "Band");
    }
    return files;
}

// What the window's questions answer for a command run as the CLI runs it: the fields typed into
// the edit dialog, the name typed into the prompt, Cancel in the restricted dialog, the proposed
// playlist or a chosen one, Yes to undo.
struct WindowAnswers : CommandQuestions {
    std::optional<QString> title, genre, comment, year;
    QString newName;
    std::optional<QString> chosen;

    std::optional<QString> askText(const QString &, const QString &, const QString &, int) override
    {
        return newName;
    }
    std::optional<TagTexts> editTag(const TagEditView &view) override
    {
        TagTexts tag = view.tag;
        tag.title = title.value_or(tag.title);
        tag.genre = genre.value_or(tag.genre);
        tag.comment = comment.value_or(tag.comment);
        tag.year = year.value_or(tag.year);
        return tag;
    }
    std::optional<LongTitleAnswer> askLongTitle(const LongTitleQuestion &) override
    {
        return std::nullopt;
    }
    std::optional<QString> askSaveFileName(const QString &, const QString &proposed,
                                           const QString &, const QString &) override
    {
        return chosen.value_or(proposed);
    }
    std::optional<QString> askExistingDirectory(const QString &, const QString &start) override
    {
        return chosen.value_or(start);
    }
    void showError(const QString &) override {}
    bool confirm(const QString &) override { return true; }
};

// How the window runs the command that a row runs through the CLI.
struct WindowCommand {
    int kind = -1;    // a CommandKind; -1: the command changes nothing
    QString folder;   // below the work folder
    QStringList only; // the files selected; empty: all
    NamingOptions naming;
    int tidyPattern = 0;
    bool noDriveLetter = false;
    WindowAnswers answers;
};

} // namespace

Q_DECLARE_METATYPE(WindowCommand)

class TestCli : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void commandLines_data();
    void commandLines();
    void everyCommand_data();
    void everyCommand();
    void nameNotUtf8();
    void undoAcrossFrontEnds();
    void stopBySignal_data();
    void stopBySignal();

private:
    QByteArray work() const { return m_root + "/work"; }
    QByteArray state() const { return m_root + "/state"; }
    Result cli(const QByteArrayList &args) { return run(args, work(), state()); }
    Result cli(const QStringList &args)
    {
        QByteArrayList bytes;
        for (const QString &arg : args)
            bytes << arg.toUtf8();
        return cli(bytes);
    }
    void runInWindow(WindowCommand command, const QByteArray &journal);

    QTemporaryDir m_dir;
    QByteArray m_root;
};

void TestCli::init()
{
    QVERIFY(m_dir.isValid());
    m_root = QFile::encodeName(m_dir.path()) + "/" + QTest::currentTestFunction();
    if (const char *tag = QTest::currentDataTag())
        m_root += '-' + QByteArray::number(qHash(QByteArray(tag)));
    removeTree(m_root);
    QCOMPARE(::mkdir(m_root.constData(), 0755), 0);
}

void TestCli::cleanup()
{
    removeTree(m_root); // also names that are not UTF-8
}

// The command lines, with what each gives back: the exit status, lines standard output must
// hold in this order (regular expressions), and what standard error says ("" for nothing).
void TestCli::commandLines_data()
{
    QTest::addColumn<QString>("setup");
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<int>("status");
    QTest::addColumn<QStringList>("out");
    QTest::addColumn<QString>("err");
    const QString album = QString::fromUtf8(kAlbum);
    const auto row = [](const char *name, const char *setup, const QStringList &args, int status,
                        const QStringList &out, const char *err = "") {
        QTest::newRow(name) << QString::fromUtf8(setup) << args << status << out
                            << QString::fromUtf8(err);
    };
    const QString help = QStringLiteral("\\(see trackling-cli %1--help\\)$");

    // Mistakes in the command line: status 2, one line saying what and where the help is.
    row("no command", "album", {}, 2, {},
        "^trackling-cli: no command given \\(see trackling-cli --help\\)$");
    row("unknown command", "album", {"frobnicate"}, 2, {},
        "^trackling-cli: unknown command 'frobnicate' \\(see trackling-cli --help\\)$");
    row("unknown option", "album", {"tag", "--bogus", album}, 2, {},
        "unknown option '--bogus' for tag \\(see trackling-cli tag --help\\)");
    row("unknown short option", "album", {"show", "-x", album}, 2, {},
        "unknown option '-x' for show");
    row("missing value", "album", {"tag", album, "--format"}, 2, {},
        "option '--format' needs a value \\(0\\|1\\|2\\)");
    row("value of a flag", "album", {"--json=yes", "show", album}, 2, {},
        "option '--json' takes no value");
    row("missing operand", "album", {"tidy"}, 2, {}, "tidy needs FILE\\|FOLDER...");
    row("too many operands", "album", {"rename", "a", "b", "c"}, 2, {},
        "rename takes only FILE NEWNAME, but was also given 'c'");
    row("operand to undo", "album", {"undo", "x"}, 2, {}, "undo takes no operand");
    row("format 3", "album", {"tidy", "--format", "3", album}, 2, {}, "--format takes 0, 1 or 2");
    row("year of letters", "album", {"edit", "--year", "19x9", album}, 2, {},
        "--year takes up to four digits");
    row("year of five digits", "album", {"edit", "--year=12345", album}, 2, {},
        "--year takes up to four digits");
    row("title of 31", "album", {"edit", "--title", QString(31, u'x'), album}, 2, {},
        "--title takes at most 30 characters");
    row("artist in format 1", "album", {"tag", "--format", "1", "--artist", "A", album}, 2, {},
        "--artist is for format 0");
    row("unknown genre", "album", {"edit", "--genre", "Polka2", album}, 2, {},
        "no genre of the list is named or numbered 'Polka2' \\(trackling-cli genres lists them\\)");
    row("genre 145", "album", {"edit", "--genre", "145", album}, 2, {}, "numbered '145'");
    row("rename a folder", "album", {"rename", album, "x"}, 2, {},
        "rename takes a FILE, not a folder");
    row("playlist of a file", "album", {"playlist", album + "/02_second_song.MP3"}, 2, {},
        "playlist takes a FOLDER, not a file");
    row("a name like an option", "dash", {"show", "-dash.mp3"}, 2, {},
        "unknown option '-d' for show");

    // Help and version: status 0, nothing else done.
    row("help", "album", {"--help"}, 0,
        {"^Usage: trackling-cli \\[GLOBAL OPTIONS\\] COMMAND", "^  tag  "});
    row("command help", "album", {"tag", "--title", "-h"}, 0,
        {"^Usage: trackling-cli \\[GLOBAL OPTIONS\\] tag \\[OPTIONS\\] \\[--\\] FILE\\|FOLDER...$",
         "--from-folder-name"});
    row("help wins", "album", {"tidy", "--bogus", "--help"}, 0, {"^Usage: .* tidy "});
    row("version", "album", {"-v"}, 0,
        {"^trackling-cli \\(Trackling\\) \\d+\\.\\d+$", "GNU GPL version 3"});
    row("genres", "album", {"genres"}, 0, {"^255  \\(none\\)$", "^ 17  Rock$", "^146 genres$"});

    // Done, left, nothing to do.
    row("tag", "album", {"tag", "--genre", "ROCK", album}, 0,
        {"^Music/Band - Album/01\\. First song\\.mp3: tagged: title \"Old title\" -> \"First "
         "song\", "
         "artist \"Old artist\" -> \"\", year \"1999\" -> \"    \"$",
         "^Music/Band - Album/02_second_song\\.MP3: tagged \\(new tag\\): title \"econd_song\", "
         "genre \"Rock\" \\(17\\)$",
         "^Music/Band - Album/03\\. .*: tagged \\(new tag\\): title \"A title much longer than "
         "thirt\", genre \"Rock\" \\(17\\); title cut to its first 30 characters$",
         "^4 files tagged$"});
    row("a file named twice counts once", "album",
        {"-q", "--json", "tag", album + "/02_second_song.MP3", album,
         "./" + album + "/02_second_song.MP3"},
        0, {"\"done\":4,\"left\":0,\"total\":4,"});
    row("tidy", "album", {"tidy", album}, 0,
        {"^Music/Band - Album/01\\. First song\\.mp3: renamed to \"01\\. First Song\\.mp3\"$",
         "^Music/Band - Album/02_second_song\\.MP3: renamed to \"02\\. Second Song\\.mp3\"$",
         "^4 files renamed$"});
    row("tidy what is tidy", "tidy", {"tidy", "t"}, 0,
        {"^t/01\\. Song\\.mp3: left as it was: name already tidy$",
         "^0 files renamed, 2 left as they were: name already tidy \\(2\\)$"});
    row("tidy to a name taken", "collide", {"tidy", "t"}, 1,
        {"^t/01 song\\.mp3: renamed to \"01\\. Song\\.mp3\"$",
         "^t/01_song\\.mp3: left as it was: name already taken \\(\"01\\. Song\\.mp3\"\\)$",
         "^1 file renamed, 1 left as it was: name already taken \\(1\\)$"});
    row("rename to a name taken", "album",
        {"rename", album + "/02_second_song.MP3", "01. First song.mp3"}, 1,
        {": left as it was: name already taken", "^0 files renamed, 1 left as it was"});
    row("rename out of the folder", "album", {"rename", album + "/02_second_song.MP3", "../x.mp3"},
        1, {"left as it was: name not allowed"});
    row("rename from tags", "album", {"rename-from-tags", album}, 1,
        {"01\\. First song\\.mp3: renamed to \"Old artist - Old title\\.mp3\"$",
         "02_second_song\\.MP3: left as it was: no artist or title in the tag$",
         "04 - tagged in v2\\.mp3: left as it was: no ID3v1 tag \\(ID3v1 from ID3v2 makes one\\)$",
         "^1 file renamed, 3 left as they were: no artist or title in the tag \\(2\\), no ID3v1 "
         "tag \\(ID3v1 from ID3v2 makes one\\) \\(1\\)$"});
    row("v1 from v2", "album", {"v1-from-v2", album}, 1,
        {"04 - tagged in v2\\.mp3: tagged \\(new tag\\): title \"V2 title\", artist \"V2 artist\"",
         "^1 file tagged, 3 left as they were: no ID3v2 tag \\(3\\)$"});
    row("v2 from v1", "album", {"v2-from-v1", album}, 1,
        {"01\\. First song\\.mp3: written; new file$",
         "04 - tagged in v2\\.mp3: left as it was: no ID3v1 tag$",
         "^1 ID3v2 tag written, 3 left as they were: no ID3v1 tag \\(3\\)$"});
    row("playlist", "album", {"playlist", album}, 0,
        {"/Music/Band - Album/Band - Album\\.m3u: written \\(new\\)$", "^1 playlist written$"});
    row("show fields from ID3v2", "v2", {"show", "t/small.mp3", "t/big.mp3", "t/both.mp3"}, 0,
        {"^t/small\\.mp3$", "^  ID3v1:   none$", "^  Title:   Small title$", "^  Artist:  Band$",
         "^  ID3v2\\.3: [0-9]+ bytes$", "^  Fields from the ID3v2 tag$", "^t/big\\.mp3$",
         "^  Title:   Big title$", "^  ID3v2\\.3: 6,0[0-9]{2} bytes$", "^t/both\\.mp3$",
         "^  ID3v1:   tag$", "^  Title:   V1 title$", "^  ID3v2\\.3: ", "^3 files shown$"});
    row("show recursive", "nested", {"show", "-r", "top"}, 0,
        {"^top/a\\.mp3$", "^top/sub/b\\.mp3$", "^2 files shown$"});
    row("show not recursive", "nested", {"show", "top"}, 0, {"^top/a\\.mp3$", "^1 file shown$"});
    row("a dash name after --", "dash", {"show", "--", "-dash.mp3"}, 0, {"^-dash\\.mp3$"});
    row("a folder without files", "empty", {"tag", "e"}, 0,
        {"^0 files tagged: no MP3 files found$"});
    row("quiet", "album", {"-q", "tidy", album}, 0, {});
    row("joined flags", "album", {"tidy", "-nq", album}, 0, {});
    row("dry run after the command", "album", {"tidy", album, "--dry-run"}, 0,
        {"would be renamed to \"01\\. First Song\\.mp3\"$",
         "^dry run, nothing changed: 4 files renamed$"});
    row("nothing to undo", "album", {"undo"}, 0, {"^Nothing to undo$"});
    row("nothing to redo", "album", {"--json", "redo"}, 0, {"\"summary\":\"Nothing to redo\""});
    row("empty history", "album", {"history"}, 0, {"^Nothing to undo$"});

    // An I/O failure stops the command: status 3, the files before it done, its message.
    row("a file not there", "album", {"tag", album, "nothere.mp3"}, 3, {},
        "^trackling-cli: nothere.mp3: File not found\\.$");
    row("a file too short for a tag", "tiny", {"tag", "t"}, 3,
        {"^t/a\\.mp3: tagged \\(new tag\\)",
         "^1 file tagged; stopped by an error: I/O error 22\\.$"},
        "^trackling-cli: t/b\\.mp3: I/O error 22\\.$");
    row("show stops too", "tiny", {"show", "t"}, 3,
        {"^t/a\\.mp3$", "^1 file shown; stopped by an error"}, "t/b\\.mp3: ");
    row("a FIFO named", "fifo", {"show", "t/pipe.mp3"}, 3, {},
        "^trackling-cli: t/pipe\\.mp3: File access denied\\.$");
    row("a FIFO in a folder", "fifo", {"tag", "t"}, 0, {"^0 files tagged: no MP3 files found$"});
    row("failure in JSON", "album", {"--json", "show", "nothere"}, 3,
        {"\"error\":\"nothere: File not found\\.\".*\"exitStatus\":3}$"},
        "nothere: File not found");
}

void TestCli::commandLines()
{
    QFETCH(QString, setup);
    QFETCH(QStringList, args);
    QFETCH(int, status);
    QFETCH(QStringList, out);
    QFETCH(QString, err);
    makeTree(work(), setupTree(setup));
    if (setup == QLatin1String("fifo")) { // never opened: it would block
        QCOMPARE(::mkdir(work() + "/t", 0755), 0);
        QCOMPARE(::mkfifo(work() + "/t/pipe.mp3", 0644), 0);
    }

    const Result result = cli(args);
    const QString errText = QString::fromUtf8(result.err).trimmed();
    if (err.isEmpty())
        QVERIFY2(result.err.isEmpty(), result.err.constData());
    else
        QVERIFY2(QRegularExpression(err).match(errText).hasMatch(), qPrintable(errText));
    if (status == 2)
        QVERIFY2(!errText.contains(u'\n'), "a mistake in the command line takes one line");
    // The lines expected, in this order.
    const QByteArrayList lines = result.lines();
    qsizetype at = 0;
    for (const QString &pattern : out) {
        const QRegularExpression expected(pattern);
        while (at < lines.size() && !expected.match(QString::fromUtf8(lines[at])).hasMatch())
            ++at;
        QVERIFY2(at < lines.size(), qPrintable(QStringLiteral("no line matches %1 in:\n%2")
                                                   .arg(pattern, QString::fromUtf8(result.out))));
        ++at;
    }
    if (out.isEmpty() && status != 3)
        QVERIFY2(result.out.isEmpty(), result.out.constData());
    QCOMPARE(result.status, status);
}

// Every command once as a dry run (nothing on disk changes, byte for byte, the journal included)
// and once for real (the bytes the window's command writes, run by the window's code on the same
// files), both with JSON Lines that a JSON parser reads.
void TestCli::everyCommand_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<WindowCommand>("window");
    const QString album = QString::fromUtf8(kAlbum);
    const auto command = [&](CommandKind kind) {
        WindowCommand c;
        c.kind = int(kind);
        c.folder = album;
        return c;
    };

    QTest::newRow("show") << QStringList{"show", "-r", "Music"} << WindowCommand{};
    WindowCommand edit = command(CommandKind::EditTags);
    edit.answers.title = QStringLiteral("New title");
    edit.answers.genre = QStringLiteral("Rock");
    edit.answers.year = QStringLiteral("02  ");
    QTest::newRow("edit") << QStringList{"edit", "--title", "New title", "--genre",
                                         "rock", "--year",  "02",        album}
                          << edit;
    WindowCommand editOne = command(CommandKind::EditTags);
    editOne.only = {QStringLiteral("02_second_song.MP3")};
    editOne.answers.comment = QStringLiteral("naïve € “quoted”");
    QTest::newRow("edit one file")
        << QStringList{"edit", "--comment", "naïve € “quoted”", album + "/02_second_song.MP3"}
        << editOne;
    WindowCommand tag0 = command(CommandKind::TagsFromNames);
    tag0.naming.artist = QStringLiteral("Band"); // the folder option fills Artist and Album
    tag0.naming.album = QStringLiteral("Album");
    tag0.naming.year = QStringLiteral("1999");
    tag0.naming.genre = QStringLiteral("Rock");
    tag0.naming.comment = QStringLiteral("c");
    QTest::newRow("tag from the folder's name")
        << QStringList{"tag", "--from-folder-name", "--year", "1999", "--genre",
                       "17",  "--comment",          "c",      album}
        << tag0;
    WindowCommand tag1 = command(CommandKind::TagsFromNames);
    tag1.naming.pattern = 1;
    tag1.naming.album = QStringLiteral("X");
    tag1.naming.genre = QStringLiteral("(none)");
    tag1.naming.year = QStringLiteral("    ");
    QTest::newRow("tag format 1") << QStringList{"tag", "--format", "1", "--album", "X", album}
                                  << tag1;
    WindowCommand tag2 = tag1;
    tag2.naming.pattern = 2;
    tag2.naming.album.clear();
    QTest::newRow("tag format 2") << QStringList{"tag", "--format=2", album} << tag2;
    QTest::newRow("tidy") << QStringList{"tidy", album} << command(CommandKind::TidyNames);
    WindowCommand tidy2 = command(CommandKind::TidyNames);
    tidy2.tidyPattern = 2;
    QTest::newRow("tidy format 2") << QStringList{"tidy", "--format", "2", album} << tidy2;
    WindowCommand rename = command(CommandKind::RenameByPrompt);
    rename.only = {QStringLiteral("02_second_song.MP3")};
    rename.answers.newName = QStringLiteral("Zweites Lied.mp3");
    QTest::newRow("rename") << QStringList{"rename", album + "/02_second_song.MP3",
                                           "Zweites Lied.mp3"}
                            << rename;
    QTest::newRow("rename from tags")
        << QStringList{"rename-from-tags", album} << command(CommandKind::RenameFromTags);
    QTest::newRow("v1 from v2") << QStringList{"v1-from-v2", album}
                                << command(CommandKind::Id3v1FromId3v2);
    QTest::newRow("v2 from v1") << QStringList{"v2-from-v1", album}
                                << command(CommandKind::Id3v2FromId3v1);
    QTest::newRow("playlist") << QStringList{"playlist", album}
                              << command(CommandKind::CreatePlaylists);
    WindowCommand lists = command(CommandKind::CreatePlaylists);
    lists.folder = QStringLiteral("Music");
    lists.answers.chosen = QStringLiteral("Music/Other"); // below the work folder
    lists.noDriveLetter = true;
    QTest::newRow("playlists of subfolders")
        << QStringList{"playlist", "--no-drive-letter", "--output", "Music/Other", "Music"}
        << lists;
}

namespace
{

// Create playlist(s)' folder browser as the window's directory list shows the folders.
class Browser : public PlaylistFolderBrowser
{
public:
    explicit Browser(const QString &folder) : m_folder(folder) {}
    QString currentFolder() const override { return m_folder; }
    QStringList subfolderNames() const override
    {
        return scanFolder(m_folder, QStringLiteral("*.mp3")).folders;
    }
    void openFolder(const QString &path) override { m_folder = path; }
    QStringList fileNames() const override
    {
        return scanFolder(m_folder, QStringLiteral("*.mp3")).files.toStringList();
    }

private:
    QString m_folder;
};

// Each line of a run's output is one JSON object; the last is the summary.
QList<QJsonObject> jsonLines(const Result &result)
{
    QList<QJsonObject> objects;
    for (const QByteArray &line : result.lines()) {
        QJsonParseError error;
        const QJsonDocument document = QJsonDocument::fromJson(line, &error);
        if (error.error != QJsonParseError::NoError || !document.isObject()) {
            QTest::qFail(
                qPrintable(QStringLiteral("not a JSON object: ") + QString::fromUtf8(line)),
                __FILE__, __LINE__);
            return {};
        }
        objects << document.object();
    }
    return objects;
}

} // namespace

void TestCli::runInWindow(WindowCommand command, const QByteArray &journal)
{
    const QString folder = QFile::decodeName(work()) + QLatin1Char('/') + command.folder;
    QStringList items = scanFolder(folder, QStringLiteral("*.mp3")).files.toStringList();
    MemoryFileList list(items);
    for (int row = 0; row < list.count(); ++row) {
        if (command.only.isEmpty() || command.only.contains(list.itemText(row)))
            list.select(row);
    }
    if (command.answers.chosen)
        command.answers.chosen =
            QFile::decodeName(work()) + QLatin1Char('/') + *command.answers.chosen;
    Browser browser(folder);
    CommandSession session(journal);
    CommandRequest request;
    request.kind = CommandKind(command.kind);
    request.folder = Folder::open(folder);
    request.files = &list;
    request.browser = &browser;
    request.naming = command.naming;
    request.tidyPattern = command.tidyPattern;
    request.noDriveLetter = command.noDriveLetter;
    session.run(request, command.answers);
}

void TestCli::everyCommand()
{
    QFETCH(QStringList, args);
    QFETCH(WindowCommand, window);
    const Tree files = albumTree();
    makeTree(work(), files);
    // A journal with a command in it already, which neither the dry run nor show may touch.
    QCOMPARE(cli(QStringList{"tag", QString::fromUtf8(kAlbum) + "/02_second_song.MP3"}).status, 0);
    const Tree before = tree(work());
    const Tree journal = tree(state());
    QVERIFY(!journal.empty());

    Result dry = cli(QStringList{"--dry-run", "--json"} + args);
    QVERIFY2(dry.err.isEmpty(), dry.err.constData());
    QCOMPARE(difference(before, tree(work())), QString());
    QCOMPARE(difference(journal, tree(state())), QString());
    QList<QJsonObject> objects = jsonLines(dry);
    QVERIFY(!objects.isEmpty());
    const QJsonObject summary = objects.takeLast();
    QCOMPARE(summary.value("dryRun").toBool(), true);
    QCOMPARE(summary.value("exitStatus").toInt(), dry.status);
    QCOMPARE(summary.value("done").toInt() + summary.value("left").toInt(), int(objects.size()));
    for (const QJsonObject &file : objects) {
        QVERIFY(file.value("path").toString().startsWith(QFile::decodeName(work()) + u'/'));
        if (file.contains("action"))
            QCOMPARE(file.value("dryRun").toBool(), true);
        if (file.value("action") == QLatin1String("tagged"))
            QVERIFY(file.value("after").isObject());
        if (file.value("action") == QLatin1String("left"))
            QVERIFY(!file.value("reason").toString().isEmpty());
    }

    const Result real = cli(QStringList{"--json"} + args);
    QCOMPARE(real.status, dry.status);
    QCOMPARE(real.lines().size(), dry.lines().size()); // the dry run said what would be done
    const Tree byCli = tree(work());
    if (window.kind < 0) {
        QCOMPARE(difference(before, byCli), QString());
        return;
    }
    QVERIFY(difference(before, byCli) != QString());

    // The window's command on the very same files, at the very same paths.
    removeTree(work());
    makeTree(work(), before);
    QCOMPARE(::mkdir(m_root + "/window-state", 0700), 0);
    runInWindow(window, m_root + "/window-state/trackling");
    QCOMPARE(difference(tree(work()), byCli), QString());
}

// A name that is not UTF-8 (Latin-1 "é") goes through show --json, tidy and undo byte for byte.
void TestCli::nameNotUtf8()
{
    const QByteArray name = "caf\xe9_song.mp3";
    makeTree(work(), {{"d", "<dir>"}, {"d/" + name, mp3()}});

    Result show = cli(QByteArrayList{"--json", "show", "d/" + name});
    QCOMPARE(show.status, 0);
    const QList<QJsonObject> objects = jsonLines(show);
    QCOMPARE(objects.size(), 2);
    QCOMPARE(objects[0].value("nameHex").toString().toLatin1(), name.toHex());
    QCOMPARE(objects[0].value("name").toString(), QStringLiteral("caf\uFFFD_song.mp3"));
    QVERIFY(objects[0].value("pathHex").toString().endsWith(QString::fromLatin1(name.toHex())));

    const Result tidy = cli(QByteArrayList{"tidy", "d"});
    QCOMPARE(tidy.status, 0);
    QCOMPARE(tidy.lines().value(0),
             QByteArray("d/caf\\xe9_song.mp3: renamed to \"Caf\\xe9 Song.mp3\""));
    QCOMPARE(tree(work() + "/d").count("Caf\xe9 Song.mp3"), std::size_t(1));

    const Result undo = cli(QByteArrayList{"undo"});
    QCOMPARE(undo.status, 0);
    QCOMPARE(undo.lines().last(), QByteArray("Undone Trim filename(s): 1 file restored"));
    const Tree after = tree(work() + "/d");
    QCOMPARE(after.size(), std::size_t(1));
    QCOMPARE(after.begin()->first, name);
}

// One journal: what the CLI did, the window's undo takes back, and the other way round.
void TestCli::undoAcrossFrontEnds()
{
    const Tree original = albumTree();
    makeTree(work(), original);
    const QByteArray journal = state() + "/trackling";

    QCOMPARE(cli(QStringList{"tag", "--album", "A", QString::fromUtf8(kAlbum)}).status, 0);
    QVERIFY(difference(original, tree(work())) != QString());
    {
        CommandSession window(journal);
        WindowAnswers yes;
        const auto report = window.undo({}, yes);
        QVERIFY(report);
        QCOMPARE(report->command, QStringLiteral("TAG'EM!"));
        QCOMPARE(int(report->done.size()), 4);
    }
    QCOMPARE(difference(original, tree(work())), QString());

    WindowCommand tidy;
    tidy.kind = int(CommandKind::TidyNames);
    tidy.folder = QString::fromUtf8(kAlbum);
    runInWindow(tidy, journal);
    const Tree tidied = tree(work());
    QVERIFY(difference(original, tidied) != QString());
    const Result history = cli(QStringList{"--json", "history"});
    QCOMPARE(history.status, 0);
    const QList<QJsonObject> commands = jsonLines(history);
    QCOMPARE(commands.size(), 2);
    QCOMPARE(commands[0].value("command").toString(), QStringLiteral("Trim filename(s)"));
    QCOMPARE(commands[0].value("files").toInt(), 4);
    QCOMPARE(commands[0].value("number").toInt(), 1);

    // A dry run says what undo (and then redo) would do, and changes nothing, the journal included.
    const auto dryRun = [&](const char *command, const QString &summary) {
        const Tree journalBefore = tree(state());
        const Tree filesBefore = tree(work());
        const Result dry = cli(QStringList{"--dry-run", "--json", command});
        QCOMPARE(dry.status, 0);
        QList<QJsonObject> objects = jsonLines(dry);
        QCOMPARE(objects.takeLast().value("summary").toString(), summary);
        QCOMPARE(objects.size(), 4);
        for (const QJsonObject &file : objects)
            QCOMPARE(file.value("dryRun").toBool(), true);
        QCOMPARE(difference(filesBefore, tree(work())), QString());
        QCOMPARE(difference(journalBefore, tree(state())), QString());
    };
    dryRun("undo", QStringLiteral("dry run, nothing changed: Undone Trim filename(s): 4 files "
                                  "restored"));
    const Result undo = cli(QStringList{"undo"});
    QCOMPARE(undo.status, 0);
    QCOMPARE(undo.lines().last(), QByteArray("Undone Trim filename(s): 4 files restored"));
    QCOMPARE(difference(original, tree(work())), QString());
    dryRun("redo", QStringLiteral("dry run, nothing changed: Redone Trim filename(s): 4 files "
                                  "changed again"));
    QCOMPARE(cli(QStringList{"redo"}).status, 0);
    QCOMPARE(difference(tidied, tree(work())), QString());
}

// Ctrl+C (or SIGTERM) during TAG'EM! on 5,000 files: it stops after the file in hand, the files
// before it tagged and recorded, the others untouched, the summary saying how far it got.
void TestCli::stopBySignal_data()
{
    QTest::addColumn<int>("signal");
    QTest::addColumn<int>("status");
    QTest::newRow("SIGINT") << SIGINT << 130;
    QTest::newRow("SIGTERM") << SIGTERM << 143;
}

void TestCli::stopBySignal()
{
    QFETCH(int, signal);
    QFETCH(int, status);
    constexpr int kFiles = 5000;
    Tree files{{"big", "<dir>"}};
    const QByteArray audio = mp3(1);
    for (int i = 0; i < kFiles; ++i)
        files["big/" + QByteArray::number(10000 + i) + " song.mp3"] = audio;
    makeTree(work(), files);

    Process process({"--json", "tag", "big"}, work(), state());
    QVERIFY(process.started());
    // Its output is not read: once the pipe is full, the program waits in the middle of the
    // command, where the signal reaches it.
    const int full = process.outputCapacity() - 4096;
    for (int waited = 0; process.pendingOutput() < full; ++waited) {
        QVERIFY2(waited < 60000, "the command wrote too little");
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    QCOMPARE(::kill(process.pid(), signal), 0);
    const Result result = process.finish();
    QCOMPARE(result.status, status);

    QList<QJsonObject> objects = jsonLines(result);
    const QJsonObject summary = objects.takeLast();
    const int done = summary.value("done").toInt();
    QVERIFY(done > 0 && done < kFiles);
    QCOMPARE(int(objects.size()), done);
    QCOMPARE(summary.value("stopped").toBool(), true);
    QVERIFY(summary.value("summary").toString().endsWith(
        QStringLiteral("stopped after %1 of 5,000").arg(countText(done))));
    const Tree after = tree(work());
    int tagged = 0;
    for (int i = 0; i < kFiles; ++i) {
        const QByteArray &data = after.at("big/" + QByteArray::number(10000 + i) + " song.mp3");
        const bool hasTag = data.size() == audio.size() + 128;
        QCOMPARE(hasTag, i < done); // the first ones, in list order, and no other
        tagged += hasTag;
    }
    QCOMPARE(tagged, done);

    const Result undo = cli(QStringList{"undo"});
    QCOMPARE(undo.status, 0);
    QCOMPARE(undo.lines().last(),
             "Undone TAG'EM!: " + countText(done).toUtf8() + " files restored");
    QCOMPARE(difference(files, tree(work())), QString());
}

QTEST_GUILESS_MAIN(TestCli)
#include "tst_cli.moc"
