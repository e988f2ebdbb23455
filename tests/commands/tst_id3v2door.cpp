// The ID3v2 door and "ID3v2 from ID3v1": what it writes, and that a kill or a failed system call
// at any point of writing or of undoing leaves every file with its old bytes or its new bytes,
// whole, and nothing else behind after the next write in its folder.
#include "folder.h"
#include "id3v2bytes.h"
#include "id3v2door.h"
#include "id3v2fromid3v1.h"
#include "ioerror.h"
#include "journal.h"
#include "memoryfilelist.h"
#include "scriptedquestions.h"
#include "session.h"
#include "testfiles.h"
#include "undo.h"

#include <QCryptographicHash>
#include <QDir>
#include <QTemporaryDir>
#include <QtTest>
#include <sys/stat.h>
#include <sys/wait.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <id3v2tag.h>
#include <mpegfile.h>
#include <tbytevectorstream.h>

namespace
{

const char kHeader[4] = {char(0xFF), char(0xFB), char(0x90), char(0x44)};

// A file as another tagger leaves it: an ID3v2.3 tag (with padding or without), the audio, an
// ID3v1 tag whose title differs from the ID3v2 one.
QByteArray taggedFile(int padding, int major = 3)
{
    const QByteArray frames =
        textFrame(major, "TIT2", "Old title") + textFrame(major, "TPE1", "Artist") +
        frame(major, "APIC",
              '\0' + QByteArray("image/png\0", 10) + '\3' + '\0' + QByteArray(3000, 'p')) +
        frame(major, "XYZQ", "an unknown frame");
    return tag(major, frames + QByteArray(padding, '\0')) + testfiles::frames(kHeader, 8) +
           testfiles::id3v1("A new and longer title", "Artist");
}

QByteArray readAll(const QString &path)
{
    return testfiles::readFile(path);
}

// The one MP3 file's bytes and the folder's names, everything else left out.
QStringList namesIn(const QString &folder)
{
    return QDir(folder).entryList(QDir::Files | QDir::Hidden | QDir::System, QDir::Name);
}

// Runs "ID3v2 from ID3v1" on the folder's MP3 files, recorded in the journal of state.
WalkReport tagV2(const QString &folder, const QByteArray &state)
{
    CommandSession session(state);
    MemoryFileList list(MemoryFileList::itemsOf(folder));
    list.selectAll();
    ScriptedQuestions questions;
    CommandRequest request;
    request.kind = CommandKind::Id3v2FromId3v1;
    request.folder = Folder::open(folder);
    request.files = &list;
    return session.run(request, questions);
}

std::optional<UndoReport> undoLastCommand(const QByteArray &state)
{
    Journal journal(state);
    return undoLast(journal, [](const QString &) { return true; });
}

TagLib::ID3v2::Tag *readBack(TagLib::ByteVectorStream &stream,
                             std::unique_ptr<TagLib::MPEG::File> &file)
{
    file = std::make_unique<TagLib::MPEG::File>(&stream, TagLib::ID3v2::FrameFactory::instance());
    return file->ID3v2Tag();
}

} // namespace

class TestId3v2Door : public QObject
{
    Q_OBJECT

private slots:
    void init()
    {
        m_dir.emplace();
        m_files = m_dir->filePath("music");
        m_state = QFile::encodeName(m_dir->filePath("state"));
        QVERIFY(QDir().mkpath(m_files));
    }
    void cleanup() { setId3v2WriteHook({}); }

    void writesWhatDiffers_data()
    {
        QTest::addColumn<int>("padding");
        QTest::addColumn<int>("major");
        QTest::addColumn<QString>("path");
        QTest::newRow("2.3, room for it: in place") << 4096 << 3 << "in place";
        QTest::newRow("2.4, room for it: in place") << 4096 << 4 << "in place";
        QTest::newRow("2.3, no room: a new file") << 0 << 3 << "new file";
        QTest::newRow("no ID3v2 tag: a new file") << -1 << 3 << "new file";
    }
    // The title that differs is written, the artist that agrees stays; the picture and the
    // unknown frame stay byte for byte; the audio and the ID3v1 tag are the same bytes; mode and
    // extended attributes go with a new file; undo gives back the file byte for byte.
    void writesWhatDiffers()
    {
        QFETCH(int, padding);
        QFETCH(int, major);
        QFETCH(QString, path);
        const QString mp3 = m_files + "/a.mp3";
        const QByteArray audio =
            testfiles::frames(kHeader, 8) + testfiles::id3v1("A new and longer title", "Artist");
        const QByteArray before = padding < 0 ? audio : taggedFile(padding, major);
        QVERIFY(testfiles::writeFile(mp3, before));
        QCOMPARE(::chmod(QFile::encodeName(mp3).constData(), 0640), 0);
        const bool xattrs =
            ::setxattr(QFile::encodeName(mp3).constData(), "user.note", "kept", 4, 0) == 0;
        struct stat st;
        ::stat(QFile::encodeName(mp3).constData(), &st);
        const ino_t inode = st.st_ino;

        const WalkReport report = tagV2(m_files, m_state);
        QCOMPARE(report.done, 1);
        const QByteArray after = readAll(mp3);
        QVERIFY(after.endsWith(audio));
        ::stat(QFile::encodeName(mp3).constData(), &st);
        QCOMPARE(st.st_ino == inode, path == "in place");
        QCOMPARE(st.st_mode & 07777, mode_t(0640));
        if (path == "in place")
            QCOMPARE(after.size(), before.size());
        char note[8] = {};
        if (xattrs)
            QCOMPARE(::getxattr(QFile::encodeName(mp3).constData(), "user.note", note, sizeof note),
                     ssize_t(4));

        TagLib::ByteVector bytes(after.constData(), unsigned(after.size()));
        TagLib::ByteVectorStream stream(bytes);
        std::unique_ptr<TagLib::MPEG::File> file;
        TagLib::ID3v2::Tag *v2 = readBack(stream, file);
        QVERIFY(v2);
        QCOMPARE(QString::fromStdString(v2->title().to8Bit(true)),
                 QStringLiteral("A new and longer title"));
        QCOMPARE(QString::fromStdString(v2->artist().to8Bit(true)), QStringLiteral("Artist"));
        if (padding >= 0) {
            QCOMPARE(v2->frameListMap()["APIC"].size(), 1u);
            QVERIFY(after.contains(frame(major, "XYZQ", "an unknown frame")));
            QVERIFY(after.contains(QByteArray(3000, 'p')));
        }
        QCOMPARE(tagV2(m_files, m_state).left.front().reason, QStringLiteral("already in step"));

        QVERIFY(undoLastCommand(m_state));
        QCOMPARE(readAll(mp3), before);
        QCOMPARE(namesIn(m_files), QStringList{"a.mp3"});
    }

    void leftWithItsReason_data()
    {
        QTest::addColumn<QString>("shape");
        QTest::addColumn<QString>("reason");
        QTest::newRow("no ID3v1 tag") << "no v1"
                                      << "no ID3v1 tag";
        QTest::newRow("version 2.2") << "2.2"
                                     << "ID3v2.2 is not written";
        QTest::newRow("a link, no room") << "link"
                                         << "is a link";
        QTest::newRow("other hard links, no room") << "hardlink"
                                                   << "has other hard links";
    }
    void leftWithItsReason()
    {
        QFETCH(QString, shape);
        QFETCH(QString, reason);
        const QString mp3 = m_files + "/a.mp3";
        QByteArray bytes = taggedFile(0);
        if (shape == "no v1")
            bytes.chop(128);
        else if (shape == "2.2")
            bytes = tag(2, textFrame(2, "TT2", "Old")) + testfiles::frames(kHeader, 4) +
                    testfiles::id3v1("New");
        const QString real =
            shape == "link" || shape == "hardlink" ? m_dir->filePath("real.mp3") : mp3;
        QVERIFY(testfiles::writeFile(real, bytes));
        if (shape == "link")
            QCOMPARE(
                ::symlink(QFile::encodeName(real).constData(), QFile::encodeName(mp3).constData()),
                0);
        else if (shape == "hardlink")
            QCOMPARE(
                ::link(QFile::encodeName(real).constData(), QFile::encodeName(mp3).constData()), 0);
        const WalkReport report = tagV2(m_files, m_state);
        QCOMPARE(report.done, 0);
        QCOMPARE(report.left.front().reason, reason);
        QCOMPARE(readAll(real), bytes);
    }

    // The commands that write the ID3v1 tag tell of files whose ID3v2 tag (what players show)
    // then says otherwise; Rename from tags tells a file with only an ID3v2 tag how to get one.
    void theOtherTagIsNamed()
    {
        QVERIFY(testfiles::writeFile(m_files + "/Band - Old title.mp3", taggedFile(0)));
        QVERIFY(testfiles::writeFile(
            m_files + "/Band - Same.mp3",
            tag(3, textFrame(3, "TIT2", "Same") + textFrame(3, "TPE1", "Band")) +
                testfiles::frames(kHeader, 4)));
        QVERIFY(testfiles::writeFile(m_files + "/Band - Plain.mp3", testfiles::frames(kHeader, 4)));
        CommandSession session(m_state);
        MemoryFileList list(MemoryFileList::itemsOf(m_files));
        list.selectAll();
        ScriptedQuestions questions;
        CommandRequest request;
        request.kind = CommandKind::TagsFromNames;
        request.folder = Folder::open(m_files);
        request.files = &list;
        request.naming.pattern = PatternArtistSong;
        request.naming.artist = "Band";
        // Old title: the ID3v2 artist "Artist" and title differ from "Band", "Old title".
        const WalkReport tagged = session.run(request, questions);
        QCOMPARE(tagged.done, 3);
        QCOMPARE(tagged.id3v2Differs, std::vector<QString>{"Band - Old title.mp3"});

        QVERIFY(testfiles::writeFile(m_files + "/v2 only.mp3", tag(3, textFrame(3, "TIT2", "T")) +
                                                                   testfiles::frames(kHeader, 4)));
        MemoryFileList only(QStringList{"v2 only.mp3"});
        only.selectAll();
        request.kind = CommandKind::RenameFromTags;
        request.files = &only;
        QCOMPARE(session.run(request, questions).left.front().reason,
                 QStringLiteral("no ID3v1 tag (ID3v1 from ID3v2 makes one)"));
    }

    void faultAtEveryCall_data()
    {
        QTest::addColumn<bool>("inPlace");
        QTest::addColumn<bool>("inUndo");
        QTest::addColumn<int>("call");  // which of the door's calls that change a file
        QTest::addColumn<int>("fault"); // 0: the process is killed; else the call's errno
        for (const bool inPlace : {true, false}) {
            for (const bool inUndo : {false, true}) {
                const QStringList calls = callsOf(inPlace, inUndo);
                for (int call = 0; call < calls.size(); ++call) {
                    for (const int fault : {0, ENOSPC, EIO, EXDEV}) {
                        QTest::newRow(
                            qPrintable(QStringLiteral("%1, %2, %3 %4: %5")
                                           .arg(inPlace ? "in place" : "new file")
                                           .arg(inUndo ? "undo" : "write")
                                           .arg(calls[call])
                                           .arg(call)
                                           .arg(fault ? strerrorname_np(fault) : "SIGKILL")))
                            << inPlace << inUndo << call << fault;
                    }
                }
            }
        }
    }
    void faultAtEveryCall()
    {
        QFETCH(bool, inPlace);
        QFETCH(bool, inUndo);
        QFETCH(int, call);
        QFETCH(int, fault);
#ifdef __SANITIZE_THREAD__
        if (fault == 0)
            QSKIP("ThreadSanitizer cannot start threads in a child forked from a threaded process");
#endif
        const QString mp3 = m_files + "/a.mp3";
        const QByteArray old = taggedFile(inPlace ? 4096 : 0);
        QVERIFY(testfiles::writeFile(mp3, old));
        QVERIFY(testfiles::writeFile(m_files + "/b.mp3", old)); // for the next write
        QByteArray written;
        {
            // What the write makes, in a scratch folder.
            const QString scratch = m_dir->filePath("scratch");
            QVERIFY(QDir().mkpath(scratch));
            QVERIFY(testfiles::writeFile(scratch + "/a.mp3", old));
            QCOMPARE(tagV2(scratch, QFile::encodeName(m_dir->filePath("scratch-state"))).done, 1);
            written = readAll(scratch + "/a.mp3");
        }
        MemoryFileList one(QStringList{"a.mp3"});
        one.selectAll();
        const auto write = [&] {
            CommandSession session(m_state);
            ScriptedQuestions questions;
            CommandRequest request;
            request.kind = CommandKind::Id3v2FromId3v1;
            request.folder = Folder::open(m_files);
            request.files = &one;
            session.run(request, questions);
        };
        if (inUndo)
            write();
        const auto operation = [&] {
            if (inUndo)
                (void)undoLastCommand(m_state);
            else
                write();
        };
        int seen = 0;
        const auto hook = [&, call, fault](const char *) {
            if (seen++ != call)
                return 0;
            if (fault == 0)
                ::_exit(0); // killed here
            return fault;
        };
        if (fault == 0) {
            const pid_t child = ::fork();
            if (child == 0) {
                setId3v2WriteHook(hook);
                operation();
                ::_exit(1);
            }
            int status = 0;
            ::waitpid(child, &status, 0);
        } else {
            setId3v2WriteHook(hook);
            try {
                operation();
            } catch (const std::exception &) {
            }
            setId3v2WriteHook({});
        }
        const QByteArray now = readAll(mp3);
        QVERIFY2(now == old || now == written, "neither the old bytes nor the new ones");
        // The next write in the folder takes away what the program left there.
        {
            MemoryFileList other(QStringList{"b.mp3"});
            other.selectAll();
            CommandSession session(QFile::encodeName(m_dir->filePath("other-state")));
            ScriptedQuestions questions;
            CommandRequest request;
            request.kind = CommandKind::Id3v2FromId3v1;
            request.folder = Folder::open(m_files);
            request.files = &other;
            session.run(request, questions);
        }
        QCOMPARE(namesIn(m_files), (QStringList{"a.mp3", "b.mp3"}));
        // Whatever the fault left, undo (or the undo finished) gives back the old bytes.
        (void)undoLastCommand(m_state);
        QCOMPARE(readAll(mp3), old);
    }

private:
    // The calls that change files on one path, found by running it once.
    static QStringList callsOf(bool inPlace, bool inUndo)
    {
        QTemporaryDir dir;
        const QString files = dir.filePath("music");
        QDir().mkpath(files);
        testfiles::writeFile(files + "/a.mp3", taggedFile(inPlace ? 4096 : 0));
        const QByteArray state = QFile::encodeName(dir.filePath("state"));
        QStringList calls;
        const auto record = [&](const char *name) {
            calls << QString::fromLatin1(name);
            return 0;
        };
        if (!inUndo)
            setId3v2WriteHook(record);
        tagV2(files, state);
        if (inUndo)
            setId3v2WriteHook(record);
        if (inUndo)
            (void)undoLastCommand(state);
        setId3v2WriteHook({});
        return calls;
    }

    std::optional<QTemporaryDir> m_dir;
    QString m_files;
    QByteArray m_state;
};

QTEST_GUILESS_MAIN(TestId3v2Door)
#include "tst_id3v2door.moc"
