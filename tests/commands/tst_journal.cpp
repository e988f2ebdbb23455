#include "changerecorder.h"
#include "changes.h"
#include "ioerror.h"
#include "journal.h"
#include "memoryfilelist.h"
#include "rename.h"
#include "scriptedquestions.h"
#include "tagsfromnames.h"
#include "testfiles.h"
#include "tidy.h"
#include "undo.h"
#include "walk.h"

#include <QCryptographicHash>
#include <QTemporaryDir>
#include <QtTest>
#include <csignal>
#include <dirent.h>
#include <fcntl.h>
#include <map>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace
{

const char kHeader[4] = {char(0xFF), char(0xFB), char(0x90), char(0x00)};

// Every entry of a folder by its name's bytes: inode and a hash of the content.
using Snapshot = std::map<QByteArray, std::pair<ino_t, QByteArray>>;

QByteArray readAll(const QByteArray &path)
{
    QFile file;
    const int fd = ::open(path.constData(), O_RDONLY);
    if (fd < 0 || !file.open(fd, QIODevice::ReadOnly, QFile::AutoCloseHandle))
        return {};
    return file.readAll();
}

// A playlist is replaced by a new file (a new inode) when written, so only its bytes count.
Snapshot snapshot(const QByteArray &folder, bool inodes = true)
{
    Snapshot out;
    DIR *dir = ::opendir(folder.constData());
    while (dirent *e = dir ? ::readdir(dir) : nullptr) {
        const QByteArray name(e->d_name);
        if (name == "." || name == "..")
            continue;
        struct stat st;
        ::lstat((folder + '/' + name).constData(), &st);
        out[name] = {inodes ? st.st_ino : 0, QCryptographicHash::hash(readAll(folder + '/' + name),
                                                                      QCryptographicHash::Sha256)};
    }
    if (dir)
        ::closedir(dir);
    return out;
}

void writeBytes(const QByteArray &path, const QByteArray &data)
{
    const int fd = ::open(path.constData(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    QVERIFY(fd >= 0);
    QCOMPARE(::write(fd, data.constData(), size_t(data.size())), ssize_t(data.size()));
    ::close(fd);
}

void pwriteAt(const QByteArray &path, const QByteArray &data, off_t at)
{
    const int fd = ::open(path.constData(), O_WRONLY);
    QVERIFY(fd >= 0);
    QCOMPARE(::pwrite(fd, data.constData(), size_t(data.size()), at), ssize_t(data.size()));
    ::close(fd);
}

enum Kind { TagOverwritten, TagAppended, Renamed, RenamedRawBytes, PlaylistReplaced, PlaylistNew };

// One change of each kind in a folder: the files before it, the change as recorded, the change
// made by hand, and a meddling by someone else after it, with the reason undo then gives.
struct Scenario {
    JournalChange change;
    std::function<void()> make;
    std::function<void()> meddle;
    QString refusal;
};

Scenario scenario(Kind kind, const QByteArray &folder)
{
    const QByteArray audio = testfiles::frames(kHeader, 2);
    const QByteArray mp3 = folder + "/a.mp3";
    const QByteArray newTag = testfiles::id3v1("New", "Artist");
    switch (kind) {
    case TagOverwritten:
    case TagAppended: {
        const QByteArray old = kind == TagAppended ? audio : audio + testfiles::id3v1("Old");
        writeBytes(mp3, old);
        JournalTag c{mp3, old.size(), old.right(128), kind == TagAppended, newTag};
        const qint64 at = c.appended ? old.size() : old.size() - 128;
        return {c, [=] { pwriteAt(mp3, newTag, at); },
                [=] { pwriteAt(mp3, testfiles::id3v1("Someone else"), at); },
                QString::fromUtf16(kUndoChangedSince)};
    }
    case Renamed:
    case RenamedRawBytes: {
        const bool raw = kind == RenamedRawBytes;
        const QByteArray from = raw ? "caf\xe9 \xff.mp3" : "old name.mp3";
        const QByteArray to = raw ? "Caf\xe9 - \xf0\x9f\x8e\xb5.mp3" : "Artist - Title.mp3";
        writeBytes(folder + '/' + from, audio);
        struct stat st;
        ::stat((folder + '/' + from).constData(), &st);
        const JournalRename c{folder, from, to, st.st_ino};
        const auto move = [=](const QByteArray &a, const QByteArray &b) {
            QCOMPARE(::rename((folder + '/' + a).constData(), (folder + '/' + b).constData()), 0);
        };
        if (raw) // the file moves on under another name: it is gone for undo
            return {c, [=] { move(from, to); }, [=] { move(to, "elsewhere.mp3"); },
                    QString::fromUtf16(kUndoGone)};
        return {c, [=] { move(from, to); }, [=] { writeBytes(folder + '/' + from, "other"); },
                QString::fromUtf16(kUndoNameTaken)};
    }
    case PlaylistReplaced:
    case PlaylistNew: {
        const QByteArray list = folder + "/list.m3u";
        JournalPlaylist c{list, std::nullopt, "/m/b.mp3\r\n/m/c.mp3\r\n"};
        if (kind == PlaylistReplaced) {
            c.oldContent = QByteArray("/m/a.mp3\r\n");
            writeBytes(list, *c.oldContent);
            ::chmod(list.constData(), 0640);
        }
        return {c, [=] { writeBytes(list, c.newContent); },
                [=] { writeBytes(list, c.newContent + "/m/mine.mp3\r\n"); },
                QString::fromUtf16(kUndoChangedSince)};
    }
    }
    return {};
}

// Records one change as a command of the journal and returns the command as the journal
// holds it.
JournalCommand recordOne(Journal &journal, const JournalChange &change,
                         const QString &name = "TAG'EM!")
{
    const std::uint64_t id = journal.beginCommand(name, "/music");
    journal.record(id, {change});
    return *journal.nextUndo();
}

QByteArray fakeRename(int i)
{
    return "n" + QByteArray::number(i);
}

} // namespace

class TestJournal : public QObject
{
    Q_OBJECT

private slots:
    void init()
    {
        m_dir.emplace();
        m_files = QFile::encodeName(m_dir->path()) + "/files";
        m_state = QFile::encodeName(m_dir->path()) + "/state";
        QCOMPARE(::mkdir(m_files.constData(), 0755), 0);
    }

    void undoRedo_data()
    {
        QTest::addColumn<int>("kind");
        QTest::newRow("tag overwritten") << int(TagOverwritten);
        QTest::newRow("tag appended") << int(TagAppended);
        QTest::newRow("rename") << int(Renamed);
        QTest::newRow("rename, names not UTF-8 and beyond U+FFFF") << int(RenamedRawBytes);
        QTest::newRow("playlist replaced") << int(PlaylistReplaced);
        QTest::newRow("playlist new") << int(PlaylistNew);
    }

    // Undo gives back the bytes, names and inodes; undo again finds nothing to do; redo makes
    // the change again.
    void undoRedo()
    {
        QFETCH(int, kind);
        Journal journal(m_state);
        const Scenario s = scenario(Kind(kind), m_files);
        const bool inodes = !std::holds_alternative<JournalPlaylist>(s.change);
        const Snapshot before = snapshot(m_files, inodes);
        const JournalCommand command = recordOne(journal, s.change);
        s.make();
        const Snapshot after = snapshot(m_files, inodes);
        QVERIFY(before != after);

        UndoReport undone = undoCommand(journal, command);
        QCOMPARE(undone.done.size(), 1u);
        QVERIFY(undone.left.empty());
        QCOMPARE(snapshot(m_files, inodes), before);
        QVERIFY(!journal.nextUndo());
        QCOMPARE(journal.nextRedo()->id, command.id);

        undone = undoCommand(journal, command);
        QCOMPARE(undone.alreadyAsWas, 1);
        QVERIFY(undone.done.empty() && undone.left.empty());

        const UndoReport redone = redoCommand(journal, command);
        QCOMPARE(redone.done.size(), 1u);
        QCOMPARE(snapshot(m_files, inodes), after);
        QCOMPARE(journal.nextUndo()->id, command.id);
    }

    void refusesFileChangedSince_data() { undoRedo_data(); }
    void refusesFileChangedSince()
    {
        QFETCH(int, kind);
        Journal journal(m_state);
        const Scenario s = scenario(Kind(kind), m_files);
        const JournalCommand command = recordOne(journal, s.change);
        s.make();
        s.meddle();
        const Snapshot meddled = snapshot(m_files);

        const UndoReport undone = undoCommand(journal, command);
        QVERIFY(undone.done.empty());
        QCOMPARE(undone.left.size(), 1u);
        QCOMPARE(undone.left.front().reason, s.refusal);
        QCOMPARE(snapshot(m_files), meddled);
    }

    // A redo that meets a full disk leaves the file exactly as undo left it.
    void failedWriteLeavesFileAsFound()
    {
        Journal journal(m_state);
        const Scenario s = scenario(TagAppended, m_files);
        const JournalCommand command = recordOne(journal, s.change);
        const Snapshot before = snapshot(m_files);
        const auto oldSize = std::get<JournalTag>(s.change).oldSize;

        struct rlimit saved;
        ::getrlimit(RLIMIT_FSIZE, &saved);
        const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
        struct rlimit limit = saved;
        limit.rlim_cur = rlim_t(oldSize + 10);
        ::setrlimit(RLIMIT_FSIZE, &limit);
        const UndoReport redone = redoCommand(journal, command);
        ::setrlimit(RLIMIT_FSIZE, &saved);
        std::signal(SIGXFSZ, oldHandler);

        QCOMPARE(redone.left.size(), 1u);
        QCOMPARE(redone.left.front().reason, QStringLiteral("Disk full."));
        QCOMPARE(snapshot(m_files), before);
    }

    // Undo and redo walk back and forth through the commands, across runs of the program;
    // a new command ends what redo can do; a command that changed nothing leaves no trace.
    void undoAndRedoStacks()
    {
        std::vector<std::uint64_t> ids;
        {
            Journal first(m_state);
            for (int i = 0; i < 3; ++i)
                ids.push_back(
                    recordOne(first, JournalRename{"/m", fakeRename(i), fakeRename(i + 1)}).id);
            first.beginCommand("Trim filename(s)", "/m");
            QVERIFY(!fromAnotherRun(first, *first.nextUndo()));
        }
        Journal journal(m_state);
        QVERIFY(fromAnotherRun(journal, *journal.nextUndo()));
        QStringList asked;
        QVERIFY(!undoLast(journal, [&](const QString &question) {
            asked << question;
            return false;
        }));
        QCOMPARE(asked.size(), 1);
        QVERIFY2(asked[0].startsWith("Undo \"TAG'EM!\" in /music, made by an earlier run of "
                                     "Trackling on 20"),
                 qPrintable(asked[0]));
        QCOMPARE(journal.nextUndo()->id, ids[2]);
        journal.markUndone(ids[2]);
        journal.markUndone(ids[1]);
        QCOMPARE(journal.nextUndo()->id, ids[0]);
        QCOMPARE(journal.nextRedo()->id, ids[1]);
        journal.markRedone(ids[1]);
        QCOMPARE(journal.nextRedo()->id, ids[2]);
        QCOMPARE(journal.nextUndo()->id, ids[1]);

        const std::uint64_t fresh = recordOne(journal, JournalRename{"/m", "x", "y"}).id;
        QVERIFY(!journal.nextRedo());
        QCOMPARE(journal.undoable().size(), 3u);
        QCOMPARE(journal.nextUndo()->id, fresh);
        QCOMPARE(journal.nextUndo()->name, QStringLiteral("TAG'EM!"));
        QCOMPARE(journal.nextUndo()->folder, QByteArray("/music"));
        const auto undone = undoLast(journal, [&](const QString &) { return false; });
        QVERIFY(undone); // this run's own command: no question
        QCOMPARE(undone->left.front().reason, QString::fromUtf16(kUndoGone));
        QCOMPARE(redoLast(journal)->command, QStringLiteral("TAG'EM!"));
        QVERIFY(!redoLast(journal));
    }

    // Changes recorded ahead are on disk already when their doors come; others get a flush.
    void recordAheadThenChange()
    {
        Journal journal(m_state);
        const QFile file(QString::fromLocal8Bit(journal.filePath()));
        ChangeRecorder recorder(journal, "Trim filename(s)", m_files);
        const JournalRename a{m_files, "a", "A"}, b{m_files, "b", "B"}, c{m_files, "c", "C"};
        recorder.recordAhead({a, b});
        const qint64 ahead = file.size();
        recorder.beforeChange(a);
        recorder.beforeChange(b);
        QCOMPARE(file.size(), ahead);
        recorder.beforeChange(c);
        recorder.beforeChange(a); // made twice: the second time is not ahead
        QVERIFY(file.size() > ahead);
        QCOMPARE(journal.nextUndo()->changes.size(), 4u);

        for (const Kind kind : {TagOverwritten, TagAppended}) {
            const Scenario s = scenario(kind, m_files);
            const JournalTag &expected = std::get<JournalTag>(s.change);
            const auto planned = plannedTagWrite(expected.path, expected.newTag);
            QVERIFY(planned);
            QCOMPARE(planned->appended, expected.appended);
            QCOMPARE(planned->oldSize, expected.oldSize);
            QCOMPARE(planned->oldLast, expected.oldLast);
        }
        QVERIFY(!plannedTagWrite(m_files + "/missing.mp3", {}));
        QVERIFY(!plannedTagWrite(m_files, {}));
        for (const Kind kind : {Renamed, PlaylistReplaced, PlaylistNew}) {
            const QByteArray folder = m_files + '/' + QByteArray::number(kind);
            QCOMPARE(::mkdir(folder.constData(), 0700), 0);
            const Scenario s = scenario(kind, folder);
            if (const auto *r = std::get_if<JournalRename>(&s.change))
                QVERIFY(plannedRename(folder, r->oldName, r->newName) == *r);
            else
                QVERIFY(plannedPlaylistWrite(std::get<JournalPlaylist>(s.change).path,
                                             std::get<JournalPlaylist>(s.change).newContent) ==
                        std::get<JournalPlaylist>(s.change));
        }
        QVERIFY(!plannedRename(m_files, "missing.mp3", "x.mp3"));
        QVERIFY(!plannedPlaylistWrite(m_files, "x"));
    }

    void commandsUndoneThroughTheirDoors_data()
    {
        QTest::addColumn<QString>("command");
        QTest::addColumn<int>("more"); // files beyond the first three, for several blocks
        QTest::newRow("TAG'EM!, a long title asked") << "TAG'EM!" << 0;
        QTest::newRow("TAG'EM!, blocks of files held open") << "TAG'EM!" << 700;
        QTest::newRow("Trim filename(s)") << "Trim filename(s)" << 0;
        QTest::newRow("Rename from tags") << "Rename from tags" << 0;
        QTest::newRow("playlist door, old playlist replaced") << "Create playlist(s)" << 0;
    }
    // A command run with a recorder: its doors record every change, and undo restores all.
    void commandsUndoneThroughTheirDoors()
    {
        QFETCH(QString, command);
        QFETCH(int, more);
        WorkingFolder folder;
        const QByteArray here = QFile::encodeName(folder.path());
        const QByteArray audio = testfiles::frames(kHeader, 2);
        for (int i = 0; i < more; ++i) // every other one with a tag to overwrite
            writeBytes(here + "/band - song " + QByteArray::number(i) + ".mp3",
                       i % 2 ? audio : audio + testfiles::id3v1("Old", "Someone"));
        writeBytes(here + "/band - song one.mp3", audio);
        writeBytes(here + "/band - song two.mp3", audio + testfiles::id3v1("Old", "Someone"));
        writeBytes(here + "/band - " + QByteArray(40, 'x') + ".mp3", audio);
        writeBytes(here + "/list.m3u", "old\r\n");
        const bool inodes = command != "Create playlist(s)"; // a playlist is written anew
        const Snapshot before = snapshot(here, inodes);

        Journal journal(m_state);
        {
            ChangeRecorder recorder(journal, command, here);
            RecorderScope scope(&recorder);
            MemoryFileList list;
            list.selectAll();
            ScriptedQuestions questions;
            questions.titleAnswers << LongTitleAnswer{"Short", "c"};
            NamingOptions options;
            options.pattern = PatternArtistSong;
            if (command == "TAG'EM!")
                tagsFromFileNames(list, options, questions);
            else if (command == "Trim filename(s)")
                tidyFileNames(list, PatternArtistSong);
            else if (command == "Rename from tags")
                renameFromTags(list);
            else
                writePlaylist(folder.path() + "/list.m3u", "new\r\n");
        }
        QVERIFY(snapshot(here, inodes) != before);
        for (int i = 0; i < more; ++i) { // each file got the tag of its own name
            const QByteArray tag =
                testfiles::readFile(
                    QFile::decodeName(here + "/band - song " + QByteArray::number(i) + ".mp3"))
                    .right(128);
            QCOMPARE(tag.mid(3, 30).trimmed(), "song " + QByteArray::number(i));
        }
        const auto done = journal.nextUndo();
        QCOMPARE(done->name, command);
        const UndoReport undone = undoCommand(journal, *done);
        QVERIFY(undone.left.empty());
        QCOMPARE(snapshot(here, inodes), before);
    }

    // The second block of TAG'EM! is recorded on another thread; when that fails (the file-size
    // limit stops the journal from growing), none of its files is changed and the walk stops.
    void unrecordedBlockLeavesItsFilesAlone()
    {
        WorkingFolder folder;
        const QByteArray here = QFile::encodeName(folder.path());
        const QByteArray audio = testfiles::frames(kHeader, 2) + testfiles::id3v1("Old");
        const int files = 300;
        const auto name = [&](int i) {
            return here + "/band - song " + QByteArray::number(1000 + i) + ".mp3";
        };
        for (int i = 0; i < files; ++i)
            writeBytes(name(i), audio); // tagged already: the tag writes do not grow the files
        Journal journal(m_state);
        // Room for the first block (64 files) and not for the second (128 more).
        const qint64 record = name(0).size() + 128 * 2 + 48;
        struct rlimit old;
        QVERIFY(::getrlimit(RLIMIT_FSIZE, &old) == 0);
        struct rlimit limit = old;
        limit.rlim_cur =
            rlim_t(QFileInfo(QFile::decodeName(journal.filePath())).size() + 100 * record + 1024);
        const auto previous = std::signal(SIGXFSZ, SIG_IGN);
        QVERIFY(::setrlimit(RLIMIT_FSIZE, &limit) == 0);
        bool failed = false;
        {
            ChangeRecorder recorder(journal, QStringLiteral("TAG'EM!"), here);
            RecorderScope scope(&recorder);
            MemoryFileList list;
            list.selectAll();
            ScriptedQuestions questions;
            NamingOptions options;
            options.pattern = PatternArtistSong;
            try {
                tagsFromFileNames(list, options, questions);
            } catch (const IoError &) {
                failed = true;
            }
        }
        ::setrlimit(RLIMIT_FSIZE, &old);
        std::signal(SIGXFSZ, previous);
        QVERIFY(failed);
        for (int i = 0; i < files; ++i) {
            const QByteArray tag = testfiles::readFile(QFile::decodeName(name(i))).right(128);
            QCOMPARE(tag.mid(3, 30).trimmed(),
                     i < 64 ? "song " + QByteArray::number(1000 + i) : QByteArray("Old"));
        }
    }

    void tornOrCorruptTailIgnored_data()
    {
        QTest::addColumn<bool>("torn");
        QTest::newRow("last record cut short") << true;
        QTest::newRow("last record's bytes changed") << false;
    }
    void tornOrCorruptTailIgnored()
    {
        QFETCH(bool, torn);
        QByteArray path;
        std::uint64_t second;
        {
            Journal journal(m_state);
            path = journal.filePath();
            recordOne(journal, JournalRename{"/m", "a", "b"});
            second = journal.beginCommand("Rename from tags", "/m");
            journal.record(second, {JournalRename{"/m", "c", "d"}, JournalRename{"/m", "e", "f"}});
        }
        QFile file(QString::fromLocal8Bit(path));
        const qint64 size = file.size();
        if (torn) {
            QVERIFY(file.resize(size - 3));
        } else {
            QVERIFY(file.open(QIODevice::ReadWrite));
            file.seek(size - 2);
            file.write("zz");
            file.close();
        }

        Journal journal(m_state);
        const auto last = journal.nextUndo();
        QCOMPARE(last->id, second);
        QCOMPARE(last->changes.size(), 1u);
        QCOMPARE(std::get<JournalRename>(last->changes.front()).newName, QByteArray("d"));

        // What comes after the bad record is written where it was, and read back.
        recordOne(journal, JournalRename{"/m", "g", "h"});
        Journal again(m_state);
        QCOMPARE(again.undoable().size(), 3u);
        QCOMPARE(std::get<JournalRename>(again.nextUndo()->changes.front()).newName,
                 QByteArray("h"));
    }

    // A command's plan gets the walk's own names, once and before the first file, so that the
    // names are read from the list once.
    void planSeesTheWalksNames()
    {
        MemoryFileList list({"a.mp3", "b.mp3", "c.mp3", "d.mp3"});
        list.select(1);
        list.select(3);
        QStringList events;
        WalkControl control;
        control.snapshot = [&](const QStringList &names) { events << "plan " + names.join(','); };
        walkSelection(
            list,
            [&](const QString &name) {
                events << name;
                return FileOutcome::changed();
            },
            control);
        QCOMPARE(events, (QStringList{"plan b.mp3,d.mp3", "b.mp3", "d.mp3"}));
    }

    // The note of where the journal ended (which spares reading it whole when opened) is used
    // only while it fits the journal: torn, or for a journal cut shorter since, it is ignored.
    void endNoteOnlyWhereItFits_data()
    {
        QTest::addColumn<bool>("cutJournal"); // else the note's bytes are changed
        QTest::newRow("note changed") << false;
        QTest::newRow("journal shorter than noted") << true;
    }
    void endNoteOnlyWhereItFits()
    {
        QFETCH(bool, cutJournal);
        QByteArray path;
        qint64 afterFirst = 0;
        {
            Journal journal(m_state);
            path = journal.filePath();
            recordOne(journal, JournalRename{"/m", "a", "b"});
            afterFirst = QFileInfo(QFile::decodeName(path)).size();
            recordOne(journal, JournalRename{"/m", "c", "d"});
        }
        if (cutJournal) {
            QVERIFY(QFile::resize(QFile::decodeName(path), afterFirst));
        } else {
            QFile note(QFile::decodeName(m_state + "/journal.end"));
            QVERIFY(note.open(QIODevice::ReadWrite));
            note.seek(9);
            note.write("\x7f");
        }
        Journal journal(m_state);
        recordOne(journal, JournalRename{"/m", "e", "f"});
        const std::vector<JournalCommand> read = Journal(m_state).undoable();
        QCOMPARE(read.size(), cutJournal ? 2u : 3u);
        QCOMPARE(std::get<JournalRename>(read.back().changes.front()).newName, QByteArray("f"));
    }

    // Only the last commands are kept, whole and in order.
    void boundedToTheLastCommands_data()
    {
        QTest::addColumn<bool>("later");
        QTest::newRow("at the next command's first change") << false;
        QTest::newRow("on another thread when a command ends") << true;
    }
    void boundedToTheLastCommands()
    {
        QFETCH(bool, later);
        Journal journal(m_state, 20);
        qint64 sizeAtMost = 0; // with 25 commands, the most kept between two compactions
        for (int i = 0; i < 60; ++i) {
            const std::uint64_t id = journal.beginCommand(QString::number(i), "/m");
            journal.record(id, {JournalRename{"/m", fakeRename(i), fakeRename(i + 1)},
                                JournalRename{"/m", fakeRename(i + 1), fakeRename(i + 2)}});
            if (i == 24)
                sizeAtMost = QFile(QString::fromLocal8Bit(journal.filePath())).size();
            if (later)
                journal.compactLater(); // as a command's recorder does when it ends
        }
        QVERIFY(QFile(QString::fromLocal8Bit(journal.filePath())).size() <= sizeAtMost * 11 / 10);
        const std::vector<JournalCommand> kept = Journal(m_state, 20).undoable();
        QVERIFY(kept.size() >= 20 && kept.size() <= 26);
        for (std::size_t k = 0; k < kept.size(); ++k) {
            QCOMPARE(kept[k].name, QString::number(60 - int(kept.size()) + int(k)));
            QCOMPARE(kept[k].changes.size(), 2u);
        }
    }

    // The journal is the user's alone, whatever the umask; the folder follows XDG_STATE_HOME.
    void privateToTheUser()
    {
        const QByteArray home = QFile::encodeName(m_dir->path()) + "/home";
        const QByteArray savedHome = qgetenv("HOME"), savedState = qgetenv("XDG_STATE_HOME");
        qputenv("HOME", home);
        qputenv("XDG_STATE_HOME", "relative/ignored");
        QCOMPARE(Journal::defaultFolder(), home + "/.local/state/trackling");
        qputenv("XDG_STATE_HOME", m_state + "/");
        const QByteArray folder = Journal::defaultFolder();
        qputenv("HOME", savedHome);
        qputenv("XDG_STATE_HOME", savedState);
        QCOMPARE(folder, m_state + "/trackling");

        const mode_t savedMask = ::umask(0);
        QCOMPARE(::mkdir(m_state.constData(), 0777), 0);
        QCOMPARE(::mkdir(folder.constData(), 0755), 0);
        {
            Journal journal(folder);
            recordOne(journal, JournalRename{"/m", "a", "b"});
        }
        ::umask(savedMask);
        struct stat st;
        QCOMPARE(::stat(folder.constData(), &st), 0);
        QCOMPARE(st.st_mode & 07777, mode_t(0700));
        for (const char *name : {"/journal", "/lock"}) {
            QCOMPARE(::stat((folder + name).constData(), &st), 0);
            QCOMPARE(st.st_mode & 07777, mode_t(0600));
        }
    }

    // A run killed mid-command: the next run's undo restores every change that reached the disk
    // and finds the others never made.
    void undoAfterKillMidCommand()
    {
        const int files = 5, madeBeforeKill = 3;
        std::vector<Scenario> changes;
        for (int i = 0; i < files; ++i) {
            const QByteArray sub = m_files + "/" + QByteArray::number(i);
            QCOMPARE(::mkdir(sub.constData(), 0755), 0);
            changes.push_back(scenario(TagOverwritten, sub));
        }
        std::map<int, Snapshot> before;
        for (int i = 0; i < files; ++i)
            before[i] = snapshot(m_files + "/" + QByteArray::number(i));

        int pipeFds[2];
        QCOMPARE(::pipe(pipeFds), 0);
        const pid_t child = ::fork();
        if (child == 0) {
            ::close(pipeFds[0]);
            Journal journal(m_state);
            const std::uint64_t id = journal.beginCommand("TAG'EM!", m_files);
            std::vector<JournalChange> block;
            for (const Scenario &s : changes)
                block.push_back(s.change);
            journal.record(id, block);
            for (int i = 0; i < madeBeforeKill; ++i) {
                changes[std::size_t(i)].make();
                (void)::write(pipeFds[1], "x", 1);
            }
            ::pause();
            ::_exit(0);
        }
        ::close(pipeFds[1]);
        char buf[files];
        int got = 0;
        while (got < madeBeforeKill) {
            const ssize_t n = ::read(pipeFds[0], buf, sizeof buf);
            QVERIFY(n > 0);
            got += int(n);
        }
        ::close(pipeFds[0]);
        ::kill(child, SIGKILL);
        int status = 0;
        ::waitpid(child, &status, 0);
        QVERIFY(WIFSIGNALED(status));

        Journal journal(m_state);
        const auto command = journal.nextUndo();
        QVERIFY(command && fromAnotherRun(journal, *command));
        QCOMPARE(command->changes.size(), std::size_t(files));
        const UndoReport undone = undoCommand(journal, *command);
        QCOMPARE(undone.done.size(), std::size_t(madeBeforeKill));
        QCOMPARE(undone.alreadyAsWas, files - madeBeforeKill);
        for (int i = 0; i < files; ++i)
            QCOMPARE(snapshot(m_files + "/" + QByteArray::number(i)), before[i]);
    }

private:
    std::optional<QTemporaryDir> m_dir;
    QByteArray m_files;
    QByteArray m_state;
};

QTEST_GUILESS_MAIN(TestJournal)
#include "tst_journal.moc"
