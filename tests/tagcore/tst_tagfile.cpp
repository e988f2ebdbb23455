#include "ioerror.h"
#include "tagfile.h"
#include "tagworkspace.h"
#include "tagwritehook.h"
#include "testfiles.h"

#include <QCryptographicHash>
#include <QDir>
#include <QTemporaryDir>
#include <QtTest>
#include <csignal>
#include <fcntl.h>
#include <functional>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace testfiles;

namespace
{

const char k128[] = "\xFF\xFB\x90\x44";

std::string enc(const QString &path)
{
    return QFile::encodeName(path).toStdString();
}

// Runs f and returns the failure's message, or "" when nothing was thrown.
template <typename F> QString failureOf(F f)
{
    try {
        f();
    } catch (const IoError &e) {
        return QString::fromStdString(e.what());
    }
    return {};
}

int openDescriptors()
{
    return int(QDir("/proc/self/fd").entryList(QDir::NoDotAndDotDot | QDir::AllEntries).size());
}

QByteArray audioHash(const QByteArray &file, qint64 audioLength)
{
    return QCryptographicHash::hash(file.left(audioLength), QCryptographicHash::Sha256);
}

void setWorkspaceTag(const char *title, const char *artist, const char *album, const char *year,
                     const char *comment, const char *genre)
{
    TagWorkspace &ws = tagWorkspace();
    ws.SongTitle = title;
    ws.SongArtist = artist;
    ws.SongAlbum = album;
    ws.SongYear = year;
    ws.SongComment = comment;
    ws.SongGenre = genre;
}

// Stands for another program that appends to the file once, when the writer reaches `stage`.
struct OtherAppender {
    OtherAppender(const QString &path, TagWriteStage stage, QByteArray data)
        : path(path), data(std::move(data))
    {
        setTagWriteHook([this, stage](TagWriteStage now, int) {
            if (now == stage && !done)
                append();
        });
    }
    ~OtherAppender() { setTagWriteHook({}); }
    void append()
    {
        done = true;
        if (before)
            before();
        const int fd = ::open(enc(path).c_str(), O_WRONLY | O_APPEND | O_CLOEXEC);
        ok = fd >= 0 && ::write(fd, data.constData(), size_t(data.size())) == data.size();
        ::close(fd);
        if (after)
            after();
    }

    QString path;
    QByteArray data;
    std::function<void()> before, after;
    bool done = false;
    bool ok = false;
};

} // namespace

class TestTagFile : public QObject
{
    Q_OBJECT
private slots:
    void init();
    void readFields_data();
    void readFields();
    void readWithoutTagKeepsFields();
    void readAudioInformation_data();
    void readAudioInformation();
    void readFailures_data();
    void readFailures();
    void readerSeesTheEndAsTheWriterWill_data();
    void readerSeesTheEndAsTheWriterWill();
    void writeLayout_data();
    void writeLayout();
    void writeKeepsAudioAndGrowsOnce();
    void writeMissingFileIsSilent();
    void writeClearsReadOnly();
    void writeFailures_data();
    void writeFailures();
    void failedAppendIsUndone_data();
    void failedAppendIsUndone();
    void anotherProgramAppends_data();
    void anotherProgramAppends();
    void untaggedFileSavedWithoutGenreGetsNone();
    void filesOverTwoGiB();
    void descriptorsReleasedOnEveryPath();
    void readingLeavesTheAccessTime_data();
    void readingLeavesTheAccessTime();
    void othersFilesReadAsUsual();

private:
    QString path(const QString &name) const { return m_dir.filePath(name); }
    QTemporaryDir m_dir;
};

void TestTagFile::init()
{
    QVERIFY(m_dir.isValid());
}

void TestTagFile::readFields_data()
{
    QTest::addColumn<QByteArray>("tag");
    QTest::addColumn<QByteArray>("title");
    QTest::addColumn<QByteArray>("year");
    QTest::addColumn<QByteArray>("genre");
    QTest::addColumn<int>("genreByte");

    QByteArray zeros = id3v1("", "Band", "", "1999", "", 17);
    zeros.replace(3, 30, QByteArray("Song") + QByteArray(26, '\0'));
    QTest::newRow("zero padding trimmed")
        << zeros << QByteArray("Song") << QByteArray("1999") << QByteArray("Rock") << 17;
    QTest::newRow("blank field is empty") << id3v1("", "", "", "2001", "", 0) << QByteArray()
                                          << QByteArray("2001") << QByteArray("Blues") << 0;
    QTest::newRow("blanks both sides trimmed")
        << id3v1("  Song  ", "", "", "1999", "", 17) << QByteArray("Song") << QByteArray("1999")
        << QByteArray("Rock") << 17;
    QByteArray inner = id3v1("", "", "", "1999", "", 144);
    inner.replace(3, 30, QByteArray("Song\0abcd", 9) + QByteArray(21, '\0'));
    QTest::newRow("zero byte inside kept")
        << inner << QByteArray("Song\0abcd", 9) << QByteArray("1999") << QByteArray("Trash Metal")
        << 144;
    QByteArray zeroYear = id3v1("Song", "", "", "", "", 200);
    zeroYear.replace(93, 4, QByteArray(4, '\0'));
    QTest::newRow("zero year kept raw, unnamed genre")
        << zeroYear << QByteArray("Song") << QByteArray(4, '\0') << QByteArray("caller") << 200;
    QTest::newRow("genre 255 reads as no name")
        << id3v1("Song", "", "", "1999", "", 255) << QByteArray("Song") << QByteArray("1999")
        << QByteArray("caller") << 255;
    QTest::newRow("latin-1 bytes one for one")
        << id3v1("\xE4\xF6\xE5", "", "", "1999", "", 1) << QByteArray("\xE4\xF6\xE5")
        << QByteArray("1999") << QByteArray("Classic Rock") << 1;
}

void TestTagFile::readFields()
{
    QFETCH(QByteArray, tag);
    QVERIFY(writeFile(path("a.mp3"), frames(k128, 3) + tag));
    TagWorkspace &ws = tagWorkspace();
    ws.SongGenre = "caller";
    ReadTagFile(enc(path("a.mp3")));
    QTEST(QByteArray::fromStdString(ws.SongTitle), "title");
    QTEST(QByteArray::fromStdString(ws.SongYear), "year");
    QTEST(QByteArray::fromStdString(ws.SongGenre), "genre");
    QTEST(int(ws.SongGenreByte), "genreByte");
    QCOMPARE(ws.SongArtist, std::string(tag.mid(33, 4) == "Band" ? "Band" : ""));
}

void TestTagFile::readWithoutTagKeepsFields()
{
    // A marker in lower case, or "TAG" anywhere else, is no tag.
    QByteArray lower = id3v1("Other", "Other", "", "2000", "", 3);
    lower[0] = 't';
    lower[1] = 'a';
    lower[2] = 'g';
    QVERIFY(writeFile(path("b.mp3"), "TAG" + frames(k128, 3) + lower));
    TagWorkspace &ws = tagWorkspace();
    setWorkspaceTag("keep", "keep", "keep", "keep", "keep", "keep");
    ws.SongGenreByte = 42;
    ReadTagFile(enc(path("b.mp3")));
    QCOMPARE(ws.SongTitle, std::string("keep"));
    QCOMPARE(ws.SongYear, std::string("keep"));
    QCOMPARE(ws.SongGenre, std::string("keep"));
    QCOMPARE(int(ws.SongGenreByte), 42);
    QCOMPARE(ws.InfoSize, std::to_string(3 + 3 * 417 + 128));
}

void TestTagFile::readAudioInformation_data()
{
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<QString>("size");
    QTest::addColumn<QString>("length");
    QTest::addColumn<QString>("version");
    QTest::addColumn<QString>("bitrate");
    QTest::addColumn<bool>("countFrames"); // read as the tag editor does

    // 431 frames of 417 bytes at 128 kbit: 179,727 bytes, 11.2 s.
    const QByteArray audio = frames(k128, 431);
    QTest::newRow("tagged: tag not counted")
        << audio + id3v1("T") << QString::number(audio.size() + 128) << "0:11"
        << "Version: MPEG-1 layer 3"
        << "Bitrate: 128 kbit" << false;
    QTest::newRow("untagged") << audio << QString::number(audio.size()) << "0:11"
                              << "Version: MPEG-1 layer 3"
                              << "Bitrate: 128 kbit" << false;
    // An ID3v2 tag of 2 MB would add two minutes if it were taken for audio.
    QTest::newRow("id3v2 not counted as audio")
        << id3v2(2000000) + audio << QString::number(2000010 + audio.size()) << "0:11"
        << "Version: MPEG-1 layer 3"
        << "Bitrate: 128 kbit" << false;
    const char m2[] = "\xFF\xF3\x80\xC4";
    QTest::newRow("mpeg-2 after id3v2") << id3v2(300) + frames(m2, 2000) + id3v1("x")
                                        << QString::number(310 + 2000 * 208 + 128) << "0:52"
                                        << "Version: MPEG-2 layer 3"
                                        << "Bitrate: 64 kbit" << false;
    QTest::newRow("exactly a tag: assumed header, no audio") << id3v1("Song") << "128"
                                                             << "0:00"
                                                             << "Version: MPEG-1 layer 3"
                                                             << "Bitrate: 128 kbit" << false;
    QTest::newRow("vbr: length from frame count")
        << xingFrame(k128, "Xing", 22050, 4000000) + frames(k128, 10) << QString::number(11 * 417)
        << "9:36"
        << "Version: MPEG-1 layer 3"
        << "Bitrate: 56 kbit (VBR)" << false;
    // Free format: 200 kbit at 44.1 kHz gives frames of 653 bytes, every second one padded.
    const char free200[] = "\xFF\xFB\x00\x44";
    const QByteArray freeStream = freeFormatFrames(free200, 653, 115);
    QTest::newRow("free format: bitrate from the frame length")
        << freeStream + id3v1("T") << QString::number(freeStream.size() + 128) << "0:03"
        << "Version: MPEG-1 layer 3"
        << "Bitrate: 200 kbit" << false;
    // A chance sync in the audio whose frame length leads to another chance sync.
    QByteArray chance = freeStream;
    chance.replace(100, 4, QByteArray::fromHex("FFFFEAFE"));
    chance.replace(776, 4, QByteArray::fromHex("FFFFEAFE"));
    QTest::newRow("free format: a chance sync in the first frame is not taken")
        << chance << QString::number(chance.size()) << "0:03"
        << "Version: MPEG-1 layer 3"
        << "Bitrate: 200 kbit" << false;
    // An Info header (frame count only) in the first free-format frame: 1000 frames, 26.1 s.
    QByteArray freeInfo = freeStream;
    freeInfo.replace(36, 12, QByteArray("Info") + QByteArray::fromHex("00000001000003E8"));
    QTest::newRow("free format: length from an Info header's frame count")
        << freeInfo << QString::number(freeInfo.size()) << "0:26"
        << "Version: MPEG-1 layer 3"
        << "Bitrate: 200 kbit" << false;
    QTest::newRow("free format: a lone header is still that header")
        << QByteArray::fromHex("FFFB0044") + QByteArray(200, '\0') << "204"
        << "-:--"
        << "Version: MPEG-1 layer 3"
        << "Bitrate: free format" << false;
    // Without a VBR header: 100 frames at 128 kbit, then 100 at 320 kbit, 5.2 s.
    const QByteArray variable = frames(k128, 100) + frames("\xFF\xFB\xE0\x44", 100);
    QTest::newRow("vbr without header: batch reads estimate")
        << variable << QString::number(variable.size()) << "0:09"
        << "Version: MPEG-1 layer 3"
        << "Bitrate: 128 kbit" << false;
    QTest::newRow("vbr without header: the editor counts frames")
        << variable + id3v1("T") << QString::number(variable.size() + 128) << "0:05"
        << "Version: MPEG-1 layer 3"
        << "Bitrate: 224 kbit (VBR)" << true;
    // Longer than the reader's first read: the frames on both sides of its end are counted.
    const QByteArray longVariable = frames(k128, 800) + frames("\xFF\xFB\xE0\x44", 800);
    QTest::newRow("vbr without header, longer than the first read: every frame counted")
        << id3v2(300) + longVariable + id3v1("T")
        << QString::number(310 + longVariable.size() + 128) << "0:41"
        << "Version: MPEG-1 layer 3"
        << "Bitrate: 224 kbit (VBR)" << true;
    QTest::newRow("one bitrate: counting keeps the estimate")
        << audio << QString::number(audio.size()) << "0:11"
        << "Version: MPEG-1 layer 3"
        << "Bitrate: 128 kbit" << true;
}

void TestTagFile::readAudioInformation()
{
    QFETCH(QByteArray, file);
    QFETCH(bool, countFrames);
    QVERIFY(writeFile(path("c.mp3"), file));
    ReadTagFile(enc(path("c.mp3")), countFrames ? AudioLength::CountFrames : AudioLength::Estimate);
    const TagWorkspace &ws = tagWorkspace();
    QTEST(QString::fromStdString(ws.InfoSize), "size");
    QTEST(QString::fromStdString(ws.InfoLength), "length");
    QTEST(QString::fromStdString(ws.InfoVersion), "version");
    QTEST(QString::fromStdString(ws.InfoBitrate), "bitrate");
}

void TestTagFile::readFailures_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("message");
    QTest::newRow("missing") << "missing.mp3"
                             << "File not found.";
    QTest::newRow("three bytes") << "short3.mp3"
                                 << "Read beyond end of file.";
    QTest::newRow("starts with R, 50 bytes") << "r50.mp3"
                                             << "Read beyond end of file.";
    QTest::newRow("shorter than a tag") << "short100.mp3"
                                        << "I/O error 22.";
    QTest::newRow("folder") << "folder.mp3"
                            << "File access denied.";
    QTest::newRow("fifo") << "fifo.mp3"
                          << "File access denied.";
    QTest::newRow("socket") << "socket.mp3"
                            << "File access denied.";
    QTest::newRow("broken link") << "broken.mp3"
                                 << "File not found.";
    QTest::newRow("through a file") << "short100.mp3/x.mp3"
                                    << "Invalid filename.";
    QTest::newRow("name too long") << QString(300, 'n') << "Invalid filename.";
}

static void makeSpecialFiles(const QTemporaryDir &dir)
{
    writeFile(dir.filePath("short3.mp3"), "\xFF\xFB\x90");
    writeFile(dir.filePath("r50.mp3"), "R" + QByteArray(49, 'x'));
    writeFile(dir.filePath("short100.mp3"), QByteArray(100, 'x'));
    QDir(dir.path()).mkdir("folder.mp3");
    ::mkfifo(QFile::encodeName(dir.filePath("fifo.mp3")).constData(), 0644);
    ::symlink("nowhere.mp3", QFile::encodeName(dir.filePath("broken.mp3")).constData());
    const int s = ::socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    const QByteArray sp = QFile::encodeName(dir.filePath("socket.mp3"));
    if (sp.size() < int(sizeof addr.sun_path)) {
        std::memcpy(addr.sun_path, sp.constData(), sp.size());
        ::bind(s, reinterpret_cast<sockaddr *>(&addr), sizeof addr);
    }
    ::close(s);
}

void TestTagFile::readFailures()
{
    QFETCH(QString, name);
    makeSpecialFiles(m_dir);
    QTEST(failureOf([&] { ReadTagFile(enc(path(name))); }), "message");
}

// The end the reader saw, handed on so that a tag write is foreseen without a second look, is the
// end the writer's own look finds, whatever the file's size beside the reader's reads.
void TestTagFile::readerSeesTheEndAsTheWriterWill_data()
{
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<bool>("countFrames");
    for (const bool count : {false, true}) {
        const char *how = count ? "counting" : "estimating";
        for (const int size : {128, 200, 4095, 4096, 4097, 262143, 262144, 262145, 300000}) {
            const QByteArray audio = frames(k128, size / 417 + 1).left(size - 128);
            QTest::addRow("%s, %d bytes, tagged", how, size) << audio + id3v1("T") << count;
            QTest::addRow("%s, %d bytes, untagged", how, size)
                << id3v2(20) + frames(k128, size / 417 + 1).left(size - 30) << count;
        }
    }
}

void TestTagFile::readerSeesTheEndAsTheWriterWill()
{
    QFETCH(QByteArray, file);
    QFETCH(bool, countFrames);
    QVERIFY(writeFile(path("e.mp3"), file));
    std::optional<TagFileState> seen;
    ReadTagFileAt(AT_FDCWD, enc(path("e.mp3")),
                  countFrames ? AudioLength::CountFrames : AudioLength::Estimate, nullptr, nullptr,
                  &seen);
    const std::optional<TagFileState> looked = readTagFileState(AT_FDCWD, enc(path("e.mp3")));
    QVERIFY(seen && looked);
    QCOMPARE(seen->size, file.size());
    QCOMPARE(seen->size, looked->size);
    QVERIFY(seen->identity == looked->identity);
    QVERIFY(seen->last == looked->last);
    QVERIFY(seen->first == looked->first);
    QCOMPARE(seen->hasTag(), file.right(128).startsWith("TAG"));
}

void TestTagFile::writeLayout_data()
{
    QTest::addColumn<QByteArray>("existingTag");
    QTest::addColumn<QByteArray>("expected");
    const QByteArray expected =
        id3v1("A title of thirty-five characters..", "Artist", "", "19  ", "Comment", 17)
            .replace(3, 30, "A title of thirty-five charact");
    QTest::newRow("appended") << QByteArray() << expected;
    QTest::newRow("overwritten") << id3v1("old", "old", "old", "1900", "old", 3) << expected;
}

void TestTagFile::writeLayout()
{
    QFETCH(QByteArray, existingTag);
    QFETCH(QByteArray, expected);
    const QByteArray audio = frames(k128, 5);
    QVERIFY(writeFile(path("w.mp3"), audio + existingTag));
    setWorkspaceTag("A title of thirty-five characters..", "Artist", "", "19", "Comment", "Rock");
    WriteTagFile(enc(path("w.mp3")));
    const QByteArray after = readFile(path("w.mp3"));
    QCOMPARE(after.size(), audio.size() + 128);
    QCOMPARE(after.left(audio.size()), audio);
    QCOMPARE(after.mid(audio.size()), expected);
    QCOMPARE(after.mid(audio.size() + 63, 30), QByteArray(30, ' ')); // blanks, never zeros
}

void TestTagFile::writeKeepsAudioAndGrowsOnce()
{
    const QByteArray audio = frames(k128, 7);
    QVERIFY(writeFile(path("g.mp3"), audio));
    setWorkspaceTag("Song", "Band", "Album", "12345", "c", "(none)");
    WriteTagFile(enc(path("g.mp3")));
    WriteTagFile(enc(path("g.mp3")));
    const QByteArray after = readFile(path("g.mp3"));
    QCOMPARE(after.size(), audio.size() + 128);
    QCOMPARE(audioHash(after, audio.size()), audioHash(audio, audio.size()));
    QCOMPARE(after.mid(audio.size() + 93, 4), QByteArray("1234"));
    QCOMPARE(quint8(after.back()), quint8(255));

    // A file of exactly 128 bytes that is a tag is overwritten whole.
    QVERIFY(writeFile(path("t.mp3"), id3v1("old")));
    WriteTagFile(enc(path("t.mp3")));
    QCOMPARE(readFile(path("t.mp3")), id3v1("Song", "Band", "Album", "1234", "c", 255));

    // Audio that happens to hold "TAG" 128 bytes from its end is taken for a tag.
    QByteArray lookalike = audio;
    lookalike.replace(lookalike.size() - 128, 3, "TAG");
    QVERIFY(writeFile(path("l.mp3"), lookalike));
    WriteTagFile(enc(path("l.mp3")));
    QCOMPARE(readFile(path("l.mp3")).size(), lookalike.size());
}

void TestTagFile::writeMissingFileIsSilent()
{
    setWorkspaceTag("Song", "", "", "", "", "Rock");
    QCOMPARE(failureOf([&] { WriteTagFile(enc(path("nothing.mp3"))); }), QString());
    QVERIFY(!QFile::exists(path("nothing.mp3")));
    makeSpecialFiles(m_dir);
    QCOMPARE(failureOf([&] { WriteTagFile(enc(path("broken.mp3"))); }), QString());
    QVERIFY(!QFile::exists(path("nowhere.mp3")));
}

void TestTagFile::writeClearsReadOnly()
{
    QVERIFY(writeFile(path("ro.mp3"), frames(k128, 3)));
    const QByteArray p = QFile::encodeName(path("ro.mp3"));
    QCOMPARE(::chmod(p.constData(), 0444), 0);
    setWorkspaceTag("Song", "", "", "", "", "Rock");
    WriteTagFile(p.toStdString());
    struct stat st;
    QCOMPARE(::stat(p.constData(), &st), 0);
    QCOMPARE(int(st.st_mode & 07777), 0644);
    QCOMPARE(readFile(path("ro.mp3")).right(128).left(7), QByteArray("TAGSong"));
}

void TestTagFile::writeFailures_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("message");
    QTest::newRow("shorter than a tag") << "short100.mp3"
                                        << "I/O error 22.";
    QTest::newRow("folder") << "folder.mp3"
                            << "File access denied.";
    QTest::newRow("fifo") << "fifo.mp3"
                          << "File access denied.";
    QTest::newRow("socket") << "socket.mp3"
                            << "File access denied.";
}

void TestTagFile::writeFailures()
{
    QFETCH(QString, name);
    makeSpecialFiles(m_dir);
    const QByteArray before = readFile(path(name));
    setWorkspaceTag("Song", "", "", "", "", "Rock");
    QTEST(failureOf([&] { WriteTagFile(enc(path(name))); }), "message");
    QCOMPARE(readFile(path(name)), before);
}

void TestTagFile::failedAppendIsUndone_data()
{
    QTest::addColumn<int>("room");
    QTest::addColumn<int>("stage");    // when another program appends, -1 for never
    QTest::addColumn<int>("appended"); // how many bytes it appends
    QTest::addColumn<int>("kept");     // bytes of the failed tag that must stay
    QTest::newRow("no room at all") << 0 << -1 << 0 << 0;
    QTest::newRow("room for part of the tag") << 50 << -1 << 0 << 0;
    QTest::newRow("another program appended before the write")
        << 50 << int(TagWriteStage::BeforeWrite) << 300 << 0;
    // Cutting the part-written tag off would cut the other program's bytes too.
    QTest::newRow("another program appended after the failed write")
        << 50 << int(TagWriteStage::AfterFailure) << 300 << 50;
}

void TestTagFile::failedAppendIsUndone()
{
    QFETCH(int, room);
    QFETCH(int, stage);
    QFETCH(int, appended);
    QFETCH(int, kept);
    const QByteArray audio = frames(k128, 9);
    QVERIFY(writeFile(path("full.mp3"), audio));
    setWorkspaceTag("Song", "", "", "", "", "Rock");

    // A file-size limit stands in for a full disk.
    struct rlimit old;
    QCOMPARE(::getrlimit(RLIMIT_FSIZE, &old), 0);
    const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    auto limitTo = [&](qint64 bytes) {
        struct rlimit limit = old;
        limit.rlim_cur = rlim_t(bytes);
        ::setrlimit(RLIMIT_FSIZE, &limit);
    };
    const QByteArray other(appended, '\x55');
    OtherAppender appender(path("full.mp3"), TagWriteStage(stage), other);
    appender.before = [&] { ::setrlimit(RLIMIT_FSIZE, &old); };
    appender.after = [&] {
        if (stage == int(TagWriteStage::BeforeWrite))
            limitTo(audio.size() + appended + room);
    };
    limitTo(audio.size() + room);
    const QString message = failureOf([&] { WriteTagFile(enc(path("full.mp3"))); });
    ::setrlimit(RLIMIT_FSIZE, &old);
    std::signal(SIGXFSZ, oldHandler);

    QCOMPARE(message, QString("Disk full."));
    QCOMPARE(appender.done, stage >= 0);
    const QByteArray tag = id3v1("Song", "", "", "", "", 17);
    if (stage == int(TagWriteStage::AfterFailure))
        QCOMPARE(readFile(path("full.mp3")), audio + tag.left(kept) + other);
    else
        QCOMPARE(readFile(path("full.mp3")), audio + other);
}

void TestTagFile::anotherProgramAppends_data()
{
    // Another program (a download, a copy) appends to the file while the tag is written.
    QTest::addColumn<QByteArray>("oldTag");
    QTest::addColumn<int>("stage");
    QTest::addColumn<QByteArray>("appended");
    QTest::addColumn<QByteArray>("expected"); // what follows the audio
    QTest::addColumn<bool>("plannedAhead");   // its end looked at before: is the plan still right?

    const QByteArray tag = id3v1("Song", "", "", "", "", 17);
    const QByteArray more(1000, '\x55');
    QTest::newRow("new tag goes after the appended bytes")
        << QByteArray() << int(TagWriteStage::BeforeWrite) << more << more + tag << false;
    QTest::newRow("appended before the end is read, with a tag of its own")
        << QByteArray() << int(TagWriteStage::SizeRead) << more + id3v1("Other") << more + tag
        << false;
    QTest::newRow("appended before the end is read, shorter than a tag")
        << QByteArray() << int(TagWriteStage::SizeRead) << QByteArray(60, '\x55')
        << QByteArray(60, '\x55') + tag << false;
    QTest::newRow("old tag overwritten where it was read")
        << id3v1("Old") << int(TagWriteStage::BeforeWrite) << more << tag + more << false;
    // Planned ahead: what the write finds differs from the plan once bytes came before its read.
    QTest::newRow("planned ahead, old tag, appended since it was looked at")
        << id3v1("Old") << int(TagWriteStage::SizeRead) << more << id3v1("Old") + more + tag
        << true;
    QTest::newRow("planned ahead, no tag, appended since it was looked at")
        << QByteArray() << int(TagWriteStage::SizeRead) << more + id3v1("Other") << more + tag
        << true;
    QTest::newRow("planned ahead, old tag overwritten where it was looked at")
        << id3v1("Old") << int(TagWriteStage::BeforeWrite) << more << tag + more << true;
}

void TestTagFile::anotherProgramAppends()
{
    QFETCH(QByteArray, oldTag);
    QFETCH(int, stage);
    QFETCH(QByteArray, appended);
    const QByteArray audio = frames(k128, 6);
    QVERIFY(writeFile(path("growing.mp3"), audio + oldTag));
    QFETCH(bool, plannedAhead);
    const auto planned = readTagFileState(AT_FDCWD, enc(path("growing.mp3")));
    QVERIFY(planned);
    setWorkspaceTag("Song", "", "", "", "", "Rock");
    OtherAppender appender(path("growing.mp3"), TagWriteStage(stage), appended);
    const TagWriteOutcome write = writeTagFileReporting(enc(path("growing.mp3")));
    QVERIFY(appender.ok);
    if (plannedAhead) {
        const bool asPlanned = write.oldSize == planned->size && write.oldBytes == planned->last &&
                               write.identity.sameFile(planned->identity);
        QCOMPARE(asPlanned, TagWriteStage(stage) == TagWriteStage::BeforeWrite);
    }
    const QByteArray after = readFile(path("growing.mp3"));
    QCOMPARE(after.left(audio.size()), audio);
    QTEST(after.mid(audio.size()), "expected");
}

void TestTagFile::untaggedFileSavedWithoutGenreGetsNone()
{
    QVERIFY(writeFile(path("tagged.mp3"), frames(k128, 3) + id3v1("x", "", "", "", "", 17)));
    QVERIFY(writeFile(path("plain.mp3"), frames(k128, 3)));
    TagWorkspace &ws = tagWorkspace();
    ws.clearForEdit();
    ReadTagFile(enc(path("tagged.mp3")));
    QCOMPARE(int(ws.SongGenreByte), 17);
    ws.clearForEdit();
    ReadTagFile(enc(path("plain.mp3")));
    WriteTagFile(enc(path("plain.mp3"))); // no genre chosen
    QCOMPARE(quint8(readFile(path("plain.mp3")).back()), quint8(255));
}

void TestTagFile::filesOverTwoGiB()
{
    const QString big = path("big.mp3");
    const qint64 size = qint64(3) * 1024 * 1024 * 1024 + 5;
    QVERIFY(writeFile(big, frames(k128, 4)));
    QFile f(big);
    QVERIFY(f.open(QIODevice::ReadWrite));
    if (!f.resize(size))
        QSKIP("no room for a sparse file here");
    f.close();

    setWorkspaceTag("Big", "", "", "", "", "Rock");
    WriteTagFile(enc(big));
    QCOMPARE(QFileInfo(big).size(), size + 128);
    tagWorkspace().SongTitle.clear();
    ReadTagFile(enc(big));
    QCOMPARE(tagWorkspace().SongTitle, std::string("Big"));
    QCOMPARE(tagWorkspace().InfoSize, std::to_string(size + 128));
    QCOMPARE(tagWorkspace().InfoLength, std::string("55:55:26"));
    WriteTagFile(enc(big)); // overwritten at the true end
    QCOMPARE(QFileInfo(big).size(), size + 128);
    QVERIFY(f.open(QIODevice::ReadOnly));
    QVERIFY(f.seek(size));
    QCOMPARE(f.read(6), QByteArray("TAGBig"));
}

void TestTagFile::descriptorsReleasedOnEveryPath()
{
    makeSpecialFiles(m_dir);
    QVERIFY(writeFile(path("ok.mp3"), frames(k128, 3)));
    const int before = openDescriptors();
    for (const char *name : {"ok.mp3", "short3.mp3", "short100.mp3", "r50.mp3", "folder.mp3",
                             "fifo.mp3", "missing.mp3"}) {
        failureOf([&] { ReadTagFile(enc(path(name))); });
        failureOf([&] { WriteTagFile(enc(path(name))); });
    }
    QCOMPARE(openDescriptors(), before);
}

void TestTagFile::readingLeavesTheAccessTime_data()
{
    QTest::addColumn<int>("reader");
    QTest::newRow("tag, length estimated") << 0;
    QTest::newRow("tag, frames counted") << 1;
    QTest::newRow("the end, for a write") << 2;
}

// Looking at a file's tag is no access to its music: an access time older than the last change
// (which the system would bring up to date on the next read) stays as it was.
void TestTagFile::readingLeavesTheAccessTime()
{
    QFETCH(int, reader);
    const QString name = path("song.mp3");
    QVERIFY(writeFile(name, frames(k128, 40) + id3v1("Title", "Artist")));
    const timespec times[2] = {{1000000, 0}, {UTIME_OMIT, UTIME_OMIT}};
    QCOMPARE(::utimensat(AT_FDCWD, enc(name).c_str(), times, 0), 0);
    if (reader == 2) {
        QVERIFY(readTagFileState(AT_FDCWD, enc(name)).has_value());
    } else {
        ReadTagFile(enc(name), reader == 1 ? AudioLength::CountFrames : AudioLength::Estimate);
        QCOMPARE(QByteArray::fromStdString(tagWorkspace().SongTitle), QByteArray("Title"));
    }
    struct stat st;
    QCOMPARE(::stat(enc(name).c_str(), &st), 0);
    QCOMPARE(qint64(st.st_atim.tv_sec), qint64(1000000));
}

// Another user's file (a shared folder on a NAS) is read as any reader may: the access time is
// only left alone where the system allows it. Here the program started as root and reads on as
// nobody, so the system refuses what it allowed before.
void TestTagFile::othersFilesReadAsUsual()
{
    if (::geteuid() != 0)
        QSKIP("needs root, to read on as another user");
    const QString name = path("shared.mp3");
    QVERIFY(writeFile(name, frames(k128, 40) + id3v1("Shared", "Artist")));
    QCOMPARE(::chmod(enc(m_dir.path()).c_str(), 0755), 0);
    ReadTagFile(enc(name)); // as root
    const pid_t child = ::fork();
    if (child == 0) {
        if (::setresgid(65534, 65534, 65534) != 0 || ::setresuid(65534, 65534, 65534) != 0)
            ::_exit(2);
        try {
            ReadTagFile(enc(name));
        } catch (const IoError &) {
            ::_exit(1);
        }
        ::_exit(tagWorkspace().SongTitle == "Shared" ? 0 : 3);
    }
    int status = -1;
    QCOMPARE(::waitpid(child, &status, 0), child);
    QVERIFY(WIFEXITED(status));
    QCOMPARE(WEXITSTATUS(status), 0);
}

QTEST_APPLESS_MAIN(TestTagFile)
#include "tst_tagfile.moc"
