#include "changes.h"
#include "folder.h"
#include "ioerror.h"
#include "journal.h"
#include "journalformat.h"
#include "memoryfilelist.h"
#include "playlist.h"
#include "rename.h"
#include "scriptedquestions.h"
#include "session.h"
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
#include <malloc.h>
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
        FileStatus st;
        statusAt(AT_FDCWD, mp3.constData(), false, st);
        JournalTag c{mp3, old.size(), old.right(128), kind == TagAppended, newTag, st.identity};
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
        FileStatus st;
        statusAt(AT_FDCWD, (folder + '/' + from).constData(), false, st);
        const JournalRename c{folder, from, to, st.identity};
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

        undone = undoCommand(journal, *journal.nextRedo()); // nothing more to take back
        QVERIFY(undone.done.empty() && undone.left.empty());

        const UndoReport redone = redoCommand(journal, *journal.nextRedo());
        QCOMPARE(redone.done.size(), 1u);
        QCOMPARE(snapshot(m_files, inodes), after);
        QCOMPARE(journal.nextUndo()->id, command.id);
    }

    void refusesFileChangedSince_data()
    {
        QTest::addColumn<int>("kind");
        QTest::addColumn<QString>("world"); // what happened to the file since; empty: see scenario
        const std::pair<const char *, Kind> kinds[] = {
            {"tag overwritten", TagOverwritten},
            {"tag appended", TagAppended},
            {"rename", Renamed},
            {"rename, names not UTF-8 and beyond U+FFFF", RenamedRawBytes},
            {"playlist replaced", PlaylistReplaced},
            {"playlist new", PlaylistNew}};
        for (const auto &[name, kind] : kinds)
            QTest::newRow(name) << int(kind) << "";
        // The file is not the one the command left, though its bytes or name may say so.
        QTest::newRow("tag, the file now a link to a copy") << int(TagOverwritten) << "link";
        QTest::newRow("tag, another file with the same bytes") << int(TagAppended) << "copy";
        QTest::newRow("rename, deleted and another made under the name") << int(Renamed) << "copy";
        QTest::newRow("new playlist, now a link") << int(PlaylistNew) << "link";
        QTest::newRow("replaced playlist, now a link") << int(PlaylistReplaced) << "link";
    }
    void refusesFileChangedSince()
    {
        QFETCH(int, kind);
        QFETCH(QString, world);
        Journal journal(m_state);
        const Scenario s = scenario(Kind(kind), m_files);
        const JournalCommand command = recordOne(journal, s.change);
        s.make();
        if (world.isEmpty()) {
            s.meddle();
        } else {
            // The file the command left (the first of the folder's entries) goes; a copy of its
            // bytes comes in its place, or elsewhere with a link to it in its place.
            const QByteArray name = snapshot(m_files).begin()->first;
            const QByteArray path = m_files + '/' + name;
            const QByteArray bytes = readAll(path);
            QCOMPARE(::unlink(path.constData()), 0);
            if (world == "link") {
                const QByteArray copy = QFile::encodeName(m_dir->path()) + "/copy";
                writeBytes(copy, bytes);
                QCOMPARE(::symlink(copy.constData(), path.constData()), 0);
            } else {
                writeBytes(path, bytes);
            }
        }
        const Snapshot meddled = snapshot(m_files);
        const QByteArray copy = readAll(QFile::encodeName(m_dir->path()) + "/copy");

        const UndoReport undone = undoCommand(journal, command);
        QVERIFY(undone.done.empty());
        QCOMPARE(undone.left.size(), 1u);
        QCOMPARE(undone.left.front().reason,
                 world.isEmpty() ? s.refusal : QString::fromUtf16(kUndoChangedSince));
        QCOMPARE(snapshot(m_files), meddled);
        QCOMPARE(readAll(QFile::encodeName(m_dir->path()) + "/copy"), copy);
    }

    // A redo that meets a full disk leaves the file exactly as undo left it.
    void failedWriteLeavesFileAsFound()
    {
        Journal journal(m_state);
        const Scenario s = scenario(TagAppended, m_files);
        const JournalCommand command = recordOne(journal, s.change);
        s.make();
        QCOMPARE(undoCommand(journal, command).done.size(), 1u);
        const Snapshot before = snapshot(m_files);
        const auto oldSize = std::get<JournalTag>(s.change).oldSize;

        struct rlimit saved;
        ::getrlimit(RLIMIT_FSIZE, &saved);
        const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
        struct rlimit limit = saved;
        limit.rlim_cur = rlim_t(oldSize + 10);
        ::setrlimit(RLIMIT_FSIZE, &limit);
        const UndoReport redone = redoCommand(journal, *journal.nextRedo());
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
        QVERIFY(undoLast(journal, [&](const QString &question) {
                    asked << question;
                    return false;
                })->declined);
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

    // A change recorded ahead costs its door nothing more when the file is still as foreseen;
    // one found otherwise (another file under the name, other bytes at its end, a question that
    // changed the tag) is recorded anew and replaces it, so undo restores what the write replaced.
    void plannedChangesCheckedAtTheWrite_data()
    {
        QTest::addColumn<QString>("meanwhile");
        QTest::newRow("as foreseen") << "";
        QTest::newRow("replaced by another file") << "replace";
        QTest::newRow("tag rewritten in place") << "rewrite";
    }
    // A change recorded ahead costs its door nothing more when the file is still as foreseen;
    // one found otherwise (another file under the name, other bytes at its end) is recorded
    // anew before the write: the file under the name is the one written, and undo restores what
    // the write replaced.
    void plannedChangesCheckedAtTheWrite()
    {
        QFETCH(QString, meanwhile);
        // TAG'EM! of 1,000 files; when it reaches file 450, file 500 (of a block prepared and
        // recorded already) is replaced by a new file, or its tag rewritten by another program.
        constexpr int kFiles = 1000, kMeddled = 500;
        const QByteArray audio = testfiles::frames(kHeader, 2);
        const auto name = [](int i) {
            return "band - song " + QByteArray::number(1000 + i) + ".mp3";
        };
        for (int i = 0; i < kFiles; ++i)
            writeBytes(m_files + '/' + name(i), audio + testfiles::id3v1("Old"));
        const QByteArray meddled = m_files + '/' + name(kMeddled);
        QByteArray meddledBytes = audio + testfiles::id3v1("Old");
        {
            CommandSession session(m_state);
            MemoryFileList list(MemoryFileList::itemsOf(QFile::decodeName(m_files)));
            list.selectAll();
            ScriptedQuestions questions;
            CommandRequest request;
            request.kind = CommandKind::TagsFromNames;
            request.folder = Folder::open(m_files);
            request.files = &list;
            request.naming.pattern = PatternArtistSong;
            WalkControl control;
            control.progress = [&](int visited, int) {
                if (visited != 450)
                    return;
                if (meanwhile == "replace") { // a download finishing: a new file takes the name
                    meddledBytes = audio + testfiles::id3v1("Other");
                    writeBytes(m_files + "/new.tmp", meddledBytes);
                    QCOMPARE(::rename((m_files + "/new.tmp").constData(), meddled.constData()), 0);
                } else if (meanwhile == "rewrite") {
                    meddledBytes = audio + testfiles::id3v1("Rewritten");
                    pwriteAt(meddled, testfiles::id3v1("Rewritten"), audio.size());
                }
            };
            QCOMPARE(session.run(request, questions, control).done, kFiles);
        }
        // The file under the name now is the one tagged.
        QCOMPARE(readAll(meddled).right(128).mid(3, 30).trimmed(),
                 "song " + QByteArray::number(1000 + kMeddled));
        Journal journal(m_state);
        const UndoReport undone = undoCommand(journal, *journal.nextUndo());
        QCOMPARE(int(undone.done.size()), kFiles);
        QVERIFY(undone.left.empty());
        for (int i = 0; i < kFiles; ++i)
            QCOMPARE(readAll(m_files + '/' + name(i)),
                     i == kMeddled ? meddledBytes : audio + testfiles::id3v1("Old"));
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
            WalkControl control;
            control.recorder = journal.startCommand(command, here);
            MemoryFileList list;
            list.selectAll();
            ScriptedQuestions questions;
            questions.titleAnswers << LongTitleAnswer{"Short", "c"};
            NamingOptions options;
            options.pattern = PatternArtistSong;
            const Folder in = Folder::open(here);
            if (command == "TAG'EM!")
                tagsFromFileNames(in, list, options, questions, control);
            else if (command == "Trim filename(s)")
                tidyFileNames(in, list, PatternArtistSong, control);
            else if (command == "Rename from tags")
                renameFromTags(in, list, control);
            else
                writePlaylist(control.recorder.get(), folder.path() + "/list.m3u", "new\r\n");
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
        const qint64 record = name(0).size() + 128 * 2 + 80;
        struct rlimit old;
        QVERIFY(::getrlimit(RLIMIT_FSIZE, &old) == 0);
        struct rlimit limit = old;
        limit.rlim_cur = rlim_t(100 * record + 1024);
        const auto previous = std::signal(SIGXFSZ, SIG_IGN);
        QVERIFY(::setrlimit(RLIMIT_FSIZE, &limit) == 0);
        bool failed = false;
        {
            WalkControl control;
            control.recorder = journal.startCommand(QStringLiteral("TAG'EM!"), here);
            MemoryFileList list;
            list.selectAll();
            ScriptedQuestions questions;
            NamingOptions options;
            options.pattern = PatternArtistSong;
            try {
                tagsFromFileNames(Folder::open(here), list, options, questions, control);
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

    // Changes that hold whole ID3v2 tags (cover art and all) make shorter blocks: what is held
    // for the files prepared and not yet changed stays some tens of megabytes, however many
    // files the command has; every file is still changed once, in order.
    void largeChangesKeepBlocksSmall()
    {
        const int files = 200;
        QStringList names;
        for (int i = 0; i < files; ++i)
            names << QStringLiteral("song %1.mp3").arg(i);
        MemoryFileList list(names);
        list.selectAll();
        const QByteArray tag(1 << 20, 'a'); // each change holds 1 MiB of old tag and 1 of new
        std::atomic<qint64> held{0}, most{0};
        std::vector<int> order;
        const WalkReport report = walkInBlocks(
            Folder(), list,
            [tag, &held, &most](const Folder &, PreparedFile &file) {
                JournalId3v2 change;
                change.oldTag = tag;
                change.newTag = tag;
                file.change = change;
                const qint64 now = held += 2 * tag.size();
                for (qint64 seen = most; now > seen && !most.compare_exchange_weak(seen, now);) {
                }
            },
            [&](PreparedFile &file, const ChangeContext &) {
                order.push_back(file.index);
                held -= 2 * tag.size();
                return FileOutcome::changed();
            },
            {});
        QCOMPARE(report.done, files);
        QCOMPARE(int(order.size()), files);
        QVERIFY(std::is_sorted(order.begin(), order.end()));
        QCOMPARE(order.back(), files - 1);
        QVERIFY2(most <= qint64(40) << 20, qPrintable(QString::number(most >> 20) + " MiB held"));
    }

    // A command of whole ID3v2 tags (cover art and all) loads without them: they stay in its
    // file, and each is read back as undo comes to it.
    void largeCommandsLoadInLittleMemory()
    {
        Journal journal(m_state);
        const std::uint64_t id = journal.beginCommand(QStringLiteral("ID3v2 from ID3v1"), "/m");
        std::vector<JournalChange> changes;
        for (int i = 0; i < 16; ++i) {
            JournalId3v2 change;
            change.path = "/m/song " + QByteArray::number(i) + ".mp3";
            change.oldTag = QByteArray(1 << 20, char('a' + i));
            change.newTag = QByteArray(1 << 20, 'z');
            changes.push_back(change);
        }
        journal.record(id, changes);
        changes.clear();
        const qint64 before = qint64(::mallinfo2().uordblks);
        const JournalCommand loaded = *journal.nextUndo();
        const qint64 held = qint64(::mallinfo2().uordblks) - before;
        QVERIFY2(held < (4 << 20), qPrintable(QString::number(held >> 20) + " MiB held"));
        QCOMPARE(loaded.changes.size(), std::size_t(16));
        const auto whole = std::get<JournalId3v2>(wholeChange(loaded, 5));
        QCOMPARE(whole.path, QByteArray("/m/song 5.mp3"));
        QCOMPARE(whole.oldTag, QByteArray(1 << 20, 'f'));
        QCOMPARE(whole.newTag, QByteArray(1 << 20, 'z'));
    }

    void damagedRecords_data()
    {
        QTest::addColumn<QString>("where");
        QTest::addColumn<int>("undoable"); // of the three commands, after the damage
        QTest::addColumn<QString>("refusal");
        QTest::newRow("last record cut short") << "torn" << 3 << "";
        QTest::newRow("last record's bytes changed") << "end" << 3 << "";
        QTest::newRow("a record in the middle changed")
            << "middle" << 2 << "cannot be undone: its record is damaged";
        QTest::newRow("the first record changed")
            << "begin" << 2 << "cannot be undone: its record is damaged";
    }
    // A torn last write is ignored; a damaged record costs its command only: undo names it, puts
    // it aside, and every other command, later ones too, stays undoable.
    void damagedRecords()
    {
        QFETCH(QString, where);
        QByteArray damaged;
        {
            Journal journal(m_state);
            recordOne(journal, JournalRename{"/m", "a", "b"});
            const std::uint64_t second = journal.beginCommand("Rename from tags", "/m");
            journal.record(second, {JournalRename{"/m", "c", "d"}, JournalRename{"/m", "e", "f"}});
            damaged = journal.changesPath(journal.commands().front().file);
            recordOne(journal, JournalRename{"/m", "g", "h"}); // later than the damaged one
        }
        QFile file(QFile::decodeName(damaged));
        const qint64 size = file.size();
        if (where == "torn") {
            QVERIFY(file.resize(size - 3));
        } else {
            QVERIFY(file.open(QIODevice::ReadWrite));
            file.seek(where == "end" ? size - 2 : where == "begin" ? 20 : size / 2 + 20);
            file.write("zz");
            file.close();
        }
        Journal journal(m_state);
        QFETCH(int, undoable);
        QFETCH(QString, refusal);
        QCOMPARE(std::get<JournalRename>(journal.nextUndo()->changes.front()).newName,
                 QByteArray("h"));
        journal.markUndone(journal.nextUndo()->id);
        const auto next = undoLast(journal, [](const QString &) { return true; });
        QVERIFY(next);
        // A command whose first record is damaged cannot even be named.
        QCOMPARE(next->command, where == "begin" ? QStringLiteral("A command")
                                                 : QStringLiteral("Rename from tags"));
        QCOMPARE(next->refused, refusal);
        if (refusal.isEmpty())
            QCOMPARE(next->left.size(), 2u); // both names gone, each looked at
        else
            QCOMPARE(journal.undoable().size(), std::size_t(undoable - 1));
        const auto oldest = journal.undoable();
        QVERIFY(!oldest.empty());
        QCOMPARE(std::get<JournalRename>(journal.load(oldest.front()).changes.front()).newName,
                 QByteArray("b"));
    }

    void id3v2TagsKeptByteForByte_data()
    {
        QTest::addColumn<QByteArray>("tag");
        const QByteArray frames = "ID3\x03" + QByteArray(6, '\0') + "TIT2\x01x";
        QTest::newRow("empty") << QByteArray();
        QTest::newRow("no padding") << frames;
        QTest::newRow("all zeros") << QByteArray(13, '\0');
        for (const int zeros : {1, 7, 8, 9, 15, 16, 17, 4096})
            QTest::newRow(qPrintable(QStringLiteral("%1 bytes of padding").arg(zeros)))
                << frames + QByteArray(zeros, '\0');
        QTest::newRow("a zero inside the frames")
            << frames + QByteArray(3, '\0') + "y" + QByteArray(12, '\0');
    }
    // The padding of an ID3v2 tag is recorded as a count; the tag read back is the tag recorded,
    // wherever its last byte that is not zero falls.
    void id3v2TagsKeptByteForByte()
    {
        QFETCH(QByteArray, tag);
        JournalCommand command;
        command.id = 7;
        command.name = QStringLiteral("ID3v2 from ID3v1");
        JournalId3v2 change;
        change.path = "/m/a.mp3";
        change.oldTag = tag;
        change.newTag = tag + QByteArray(5, '\0');
        QByteArray bytes =
            QByteArray(journalformat::kCommandMagic) + journalformat::beginRecord(command);
        journalformat::appendChangeRecord(bytes, 0, change);
        JournalCommand read;
        QCOMPARE(journalformat::readCommand(bytes, read, false), journalformat::ReadEnd::Whole);
        QCOMPARE(read.changes.size(), std::size_t(1));
        QCOMPARE(std::get<JournalId3v2>(read.changes.front()), change);
    }

    // Only the last commands are kept, whole: older ones are deleted when a command begins.
    void boundedToTheLastCommands()
    {
        {
            Journal journal(m_state, 20);
            for (int i = 0; i < 60; ++i) {
                const std::uint64_t id = journal.beginCommand(QString::number(i), "/m");
                journal.record(id, {JournalRename{"/m", fakeRename(i), fakeRename(i + 1)},
                                    JournalRename{"/m", fakeRename(i + 1), fakeRename(i + 2)}});
            }
        }
        const std::vector<JournalCommand> kept = Journal(m_state, 20).undoable();
        QCOMPARE(kept.size(), 20u);
        Journal journal(m_state, 20);
        for (std::size_t k = 0; k < kept.size(); ++k) {
            QCOMPARE(kept[k].name, QString::number(40 + int(k)));
            QCOMPARE(journal.load(kept[k]).changes.size(), 2u);
        }
    }

    void unsafeStateFoldersRefused_data()
    {
        QTest::addColumn<QString>("how");
        QTest::addColumn<QString>("why");
        QTest::newRow("no HOME nor XDG_STATE_HOME") << "unset"
                                                    << "neither XDG_STATE_HOME nor HOME is set";
        QTest::newRow("the folder is a symbolic link") << "link"
                                                       << "it is a symbolic link";
        QTest::newRow("another user's folder") << "foreign"
                                               << "it belongs to another user";
        QTest::newRow("its lock a hard link to a file of the user's") << "hardlink"
                                                                      << "File access denied";
        QTest::newRow("a file where the folder should be") << "file"
                                                           << "Invalid filename";
    }
    // A journal it cannot trust is refused, with the reason, and nothing of the user's is
    // written through it; a command file planted as a hard link is taken for damaged.
    void unsafeStateFoldersRefused()
    {
        QFETCH(QString, how);
        QFETCH(QString, why);
        const QByteArray mine = QFile::encodeName(m_dir->path()) + "/mine";
        writeBytes(mine, "the user's own bytes");
        QByteArray folder = m_state;
        if (how == "unset") {
            folder = {};
        } else if (how == "link") {
            QCOMPARE(::mkdir((m_state + ".real").constData(), 0700), 0);
            QCOMPARE(::symlink((m_state + ".real").constData(), m_state.constData()), 0);
        } else if (how == "foreign") {
            QCOMPARE(::mkdir(m_state.constData(), 0700), 0);
            if (::geteuid() != 0 || ::chown(m_state.constData(), 65534, 65534) != 0)
                QSKIP("changing a folder's owner needs root");
        } else if (how == "hardlink") {
            QCOMPARE(::mkdir(m_state.constData(), 0700), 0);
            QCOMPARE(::link(mine.constData(), (m_state + "/lock").constData()), 0);
        } else {
            writeBytes(m_state, "not a folder");
        }
        try {
            Journal journal(folder);
            QFAIL("the journal was opened");
        } catch (const IoError &e) {
            QVERIFY2(QString::fromStdString(e.message()).contains(why), e.what());
            QVERIFY2(QString::fromStdString(e.message()).startsWith("The undo journal"), e.what());
        }
        QCOMPARE(readAll(mine), QByteArray("the user's own bytes"));
    }

    // A command's file planted as a hard link to a file of the user's: never written through,
    // offered as damaged.
    void hardLinkedCommandFileRefused()
    {
        const QByteArray mine = QFile::encodeName(m_dir->path()) + "/mine";
        writeBytes(mine, "the user's own bytes");
        QByteArray file;
        {
            Journal journal(m_state);
            recordOne(journal, JournalRename{"/m", "a", "b"});
            file = journal.changesPath(journal.commands().front().file);
        }
        QCOMPARE(::unlink(file.constData()), 0);
        QCOMPARE(::link(mine.constData(), file.constData()), 0);
        Journal journal(m_state);
        const auto undone = undoLast(journal, [](const QString &) { return true; });
        QVERIFY(undone);
        QCOMPARE(undone->refused, QStringLiteral("cannot be undone: its record is damaged"));
        QCOMPARE(readAll(mine), QByteArray("the user's own bytes"));
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
        const auto command = Journal(folder).commands().front();
        for (const QByteArray &path :
             {folder + "/lock", Journal(folder).changesPath(command.file)}) {
            QCOMPARE(::stat(path.constData(), &st), 0);
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

    void killedAtEveryPoint_data()
    {
        QTest::addColumn<QString>("command");
        QTest::addColumn<bool>("inUndo"); // else the command itself is killed
        QTest::addColumn<int>("at");      // files done, or undo's steps (2 a file: before, after)
        for (const char *command :
             {"TAG'EM!", "Trim filename(s)", "Rename from tags", "Create playlist(s)"}) {
            for (int at = 1; at < kKillFiles; ++at)
                QTest::newRow(
                    qPrintable(QStringLiteral("%1 killed after %2 files").arg(command).arg(at)))
                    << QString(command) << false << at;
            for (int at = 0; at < 2 * kKillFiles; ++at)
                QTest::newRow(qPrintable(
                    QStringLiteral("%1, its undo killed at step %2").arg(command).arg(at)))
                    << QString(command) << true << at;
        }
    }
    // A kill at any point: of a command, then its undo and redo give back exactly what it made;
    // of an undo, the next undo finishes it, and redo then makes all of it again. Nothing of the
    // program's is left in the folder after its next write.
    void killedAtEveryPoint()
    {
#ifdef __SANITIZE_THREAD__
        QSKIP("ThreadSanitizer cannot start threads in a child forked from a threaded process");
#endif
        QFETCH(QString, command);
        QFETCH(bool, inUndo);
        QFETCH(int, at);
        const QByteArray audio = testfiles::frames(kHeader, 2);
        for (int i = 0; i < kKillFiles; ++i) // every other one with a tag to overwrite
            writeBytes(m_files + "/band - song " + QByteArray::number(i) + ".mp3",
                       i % 2 ? audio
                             : audio + testfiles::id3v1("Old " + QByteArray::number(i), "Someone"));
        for (const char *list : {"/list0.m3u", "/list1.m3u"})
            writeBytes(m_files + list, "old\r\n");
        const bool inodes = command != "Create playlist(s)"; // a playlist is written anew
        const Snapshot before = snapshot(m_files, inodes);
        // Runs the command, ending the process (as a kill does) once `stopAt` files are done.
        const auto run = [&](int stopAt) {
            CommandSession session(m_state);
            MemoryFileList list(MemoryFileList::itemsOf(QFile::decodeName(m_files)));
            list.selectAll();
            ScriptedQuestions questions;
            CommandRequest request;
            request.folder = Folder::open(m_files);
            request.files = &list;
            request.naming.pattern = PatternArtistSong;
            request.tidyPattern = PatternArtistSong;
            WalkControl control;
            control.progress = [&](int visited, int) {
                if (visited == stopAt)
                    ::_exit(0);
            };
            if (command == "Create playlist(s)") {
                auto log = session.journal()->startCommand(command, m_files);
                for (int i = 0; i < kKillFiles; ++i) {
                    writePlaylist(log.get(),
                                  QFile::decodeName(m_files) + QStringLiteral("/list%1.m3u").arg(i),
                                  "/m/" + QByteArray::number(i) + "\r\n");
                    if (i + 1 == stopAt)
                        ::_exit(0);
                }
                return;
            }
            request.kind = command == "TAG'EM!"            ? CommandKind::TagsFromNames
                           : command == "Trim filename(s)" ? CommandKind::TidyNames
                                                           : CommandKind::RenameFromTags;
            session.run(request, questions, control);
        };
        // Whether the child ended by the kill (exit 0) rather than running to its end (1).
        const auto inChild = [](const std::function<void()> &work) {
            const pid_t child = ::fork();
            if (child == 0) {
                work();
                ::_exit(1);
            }
            int status = 0;
            ::waitpid(child, &status, 0);
            return WIFEXITED(status) && WEXITSTATUS(status) == 0;
        };
        const auto undo = [&] {
            Journal journal(m_state);
            return undoLast(journal, [](const QString &) { return true; });
        };
        const auto redo = [&] {
            Journal journal(m_state);
            return redoLast(journal);
        };
        if (!inUndo) {
            inChild([&] { run(at); });
            const Snapshot killed = snapshot(m_files, inodes);
            QVERIFY(killed != before);
            QVERIFY(undo());
            QCOMPARE(snapshot(m_files, inodes), before);
            QVERIFY(redo()); // exactly what the command had made, nothing it never reached
            QCOMPARE(snapshot(m_files, inodes), killed);
            return;
        }
        inChild([&] { run(-1); });
        const Snapshot after = snapshot(m_files, inodes);
        const bool killed = inChild([&] {
            setUndoStepHook([at](int changed, bool afterChange) {
                if (2 * changed + (afterChange ? 0 : 1) > at)
                    ::_exit(0);
            });
            (void)undo();
        });
        if (killed) { // the undo cut short is finished, not the one before it
            const auto finished = undo();
            QVERIFY(finished);
            QCOMPARE(finished->command, command);
            QVERIFY(finished->left.empty());
        }
        QCOMPARE(snapshot(m_files, inodes), before);
        QVERIFY(redo());
        QCOMPARE(snapshot(m_files, inodes), after);
        QVERIFY(undo());
        QCOMPARE(snapshot(m_files, inodes), before);
        // A playlist killed mid-write left its temporary file; the next write removes it.
        if (!inodes) {
            writePlaylist(nullptr, QFile::decodeName(m_files) + "/list0.m3u", "old\r\n");
            const Snapshot cleaned = snapshot(m_files, false);
            for (const auto &[name, state] : cleaned)
                QVERIFY2(!name.contains(".trackling-"), name.constData());
        }
    }

private:
    static constexpr int kKillFiles = 4;
    std::optional<QTemporaryDir> m_dir;
    QByteArray m_files;
    QByteArray m_state;
};

QTEST_GUILESS_MAIN(TestJournal)
#include "tst_journal.moc"
