// Failures of the file system met through the real main window: a full disk, files that cannot
// be written or read, files that vanish during a walk, things that are not files, a file over
// 2 GiB. Afterwards every file must still be there with its audio unchanged.
#include "commandrunner.h"
#include "faulttest.h"
#include "questions.h"
#include "session.h"
#include "testfiles.h"
#include "tform1.h"
#include "tform2.h"
#include "uitest.h"

#include <QAbstractButton>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRadioButton>
#include <QTemporaryDir>
#include <QTest>
#include <csignal>
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

class TestFaults : public QObject
{
    Q_OBJECT
private slots:
    void diskFullWhileEditing_data();
    void diskFullWhileEditing();
    void fileSizeLimitDoesNotKillProgram();
    void unwritableFile();
    void unreadableFile();
    void vanishedDuringWalk_data();
    void vanishedDuringWalk();
    void thingsThatAreNotFiles();
    void sparseFileOver2GiB_data();
    void sparseFileOver2GiB();
    void diskFullWhileTagging();
    void vanishedWhileTagging();
    void failedPlaylistKeepsOldOne_data();
    void failedPlaylistKeepsOldOne();
    void bigCommandCutShort_data();
    void bigCommandCutShort();
};

namespace
{

const QStringList abc = {"a.mp3", "b.mp3", "c.mp3"};

// An edit dialog answer: an optional step first, then the title set and Save.
std::function<int(QDialog &)> saveTitle(const QString &title, std::function<void()> before = {})
{
    return [title, before](QDialog &) {
        if (before)
            before();
        Form2->Edit1->setText(title);
        return int(TForm2::SaveResult);
    };
}

QByteArray titleOf(const QByteArray &file)
{
    return file.right(128).mid(3, 30).trimmed();
}

} // namespace

void TestFaults::diskFullWhileEditing_data()
{
    QTest::addColumn<int>("room");
    QTest::newRow("no room at all") << 0;
    QTest::newRow("room for part of the tag") << 50;
}

void TestFaults::diskFullWhileEditing()
{
    QFETCH(int, room);
    WindowsInFolder folder;
    const QByteArray plain = mp3();
    for (const QString &name : abc)
        QVERIFY(testfiles::writeFile(folder.file(name), plain));
    folder.start();
    const Snapshot before = snapshot(folder.path());
    FileSizeLimit limit;
    FakeQuestions questions;
    // The disk fills while the second file's dialog is open.
    questions.dialogAnswers = {saveTitle("A"),
                               saveTitle("B", [&] { limit.set(plain.size() + room); })};
    Form1->FileListBox1->selectAllFiles();
    Form1->Button7->click();

    QCOMPARE(questions.criticals, QStringList{"Disk full."});
    QCOMPARE(listSelection(), std::vector<bool>({false, false, true}));
    QCOMPARE(titleOf(testfiles::readFile(folder.file("a.mp3"))), QByteArray("A"));
    QCOMPARE(testfiles::readFile(folder.file("b.mp3")), plain);
    QCOMPARE(testfiles::readFile(folder.file("c.mp3")), plain);
    QVERIFY2(lostOrChanged(before, snapshot(folder.path())).isEmpty(),
             qPrintable(lostOrChanged(before, snapshot(folder.path()))));
}

void TestFaults::fileSizeLimitDoesNotKillProgram()
{
    // The real program, started the way a shell with "ulimit -f" or a service with LimitFSIZE
    // starts it: under a file-size limit, with SIGXFSZ at its default action (which ends the
    // process). A write that reaches the limit raises that signal; the program must ignore it
    // so that the write fails with EFBIG and "Disk full." is shown.
    QTemporaryDir home;
    QProcess program;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    env.insert(QStringLiteral("HOME"), home.path());
    program.setProcessEnvironment(env);
    program.setWorkingDirectory(home.path());
    program.setChildProcessModifier([] {
        std::signal(SIGXFSZ, SIG_DFL);
        rlimit limit{4096, 4096};
        ::setrlimit(RLIMIT_FSIZE, &limit);
    });
    program.start(QStringLiteral(TRACKLING_EXE), {});
    QVERIFY(program.waitForStarted());
    const QString status = QStringLiteral("/proc/%1/status").arg(program.processId());
    auto ignoresSigxfsz = [&] {
        QFile file(status);
        if (!file.open(QIODevice::ReadOnly))
            return false;
        for (const QByteArray &line : file.readAll().split('\n'))
            if (line.startsWith("SigIgn:"))
                return ((line.mid(7).trimmed().toULongLong(nullptr, 16) >> (SIGXFSZ - 1)) & 1) != 0;
        return false;
    };
    QTRY_VERIFY_WITH_TIMEOUT(ignoresSigxfsz() || program.state() == QProcess::NotRunning, 10000);
    QVERIFY(ignoresSigxfsz());
    // The signal a write beyond the limit raises leaves the program running.
    QCOMPARE(::kill(pid_t(program.processId()), SIGXFSZ), 0);
    QVERIFY(!program.waitForFinished(1000));
    QCOMPARE(program.state(), QProcess::Running);
    program.kill();
    program.waitForFinished();
}

void TestFaults::unwritableFile()
{
    WindowsInFolder folder;
    for (const QString &name : abc)
        QVERIFY(testfiles::writeFile(folder.file(name), mp3(testfiles::id3v1("old"))));
    Immutable immutable;
    if (!immutable.set(rawPath(folder.path(), "b.mp3")))
        QSKIP("the file system or the privileges do not allow immutable files");
    folder.start();
    const Snapshot before = snapshot(folder.path());
    const QByteArray bBefore = testfiles::readFile(folder.file("b.mp3"));
    FakeQuestions questions;
    questions.dialogAnswers = {saveTitle("A"), saveTitle("B")};
    Form1->FileListBox1->selectAllFiles();
    Form1->Button7->click();

    QCOMPARE(questions.criticals, QStringList{"File access denied."});
    QCOMPARE(listSelection(), std::vector<bool>({false, false, true}));
    QCOMPARE(titleOf(testfiles::readFile(folder.file("a.mp3"))), QByteArray("A"));
    QCOMPARE(testfiles::readFile(folder.file("b.mp3")), bBefore);
    QCOMPARE(titleOf(testfiles::readFile(folder.file("c.mp3"))), QByteArray("old"));
    QCOMPARE(lostOrChanged(before, snapshot(folder.path())), QString());
}

void TestFaults::unreadableFile()
{
    // Permission bits stop no one as root: the scenario runs as nobody.
    if (runningAsRoot()) {
        runAsNobody("unreadableFile");
        return;
    }
    WindowsInFolder folder;
    for (const QString &name : abc)
        QVERIFY(testfiles::writeFile(folder.file(name), mp3(testfiles::id3v1("old"))));
    QVERIFY(::chmod(rawPath(folder.path(), "b.mp3").constData(), 0) == 0);
    // Read-only to its owner: the writer gives the owner write permission back, as intended.
    QVERIFY(::chmod(rawPath(folder.path(), "a.mp3").constData(), 0444) == 0);
    folder.start();
    FakeQuestions questions;
    questions.dialogAnswers = {saveTitle("A")};
    Form1->FileListBox1->selectAllFiles();
    Form1->Button7->click();
    QVERIFY(::chmod(rawPath(folder.path(), "b.mp3").constData(), 0644) == 0);

    QCOMPARE(questions.dialogs, 1);
    QCOMPARE(questions.criticals, QStringList{"File access denied."});
    QCOMPARE(listSelection(), std::vector<bool>({false, false, true}));
    QCOMPARE(titleOf(testfiles::readFile(folder.file("a.mp3"))), QByteArray("A"));
    QCOMPARE(titleOf(testfiles::readFile(folder.file("b.mp3"))), QByteArray("old"));
}

void TestFaults::vanishedDuringWalk_data()
{
    QTest::addColumn<QString>("change");
    QTest::addColumn<QString>("message");
    QTest::newRow("deleted") << "delete"
                             << "File not found.";
    QTest::newRow("replaced by a folder") << "folder"
                                          << "File access denied.";
    QTest::newRow("replaced by a FIFO") << "fifo"
                                        << "File access denied.";
    QTest::newRow("replaced by a broken link") << "link"
                                               << "File not found.";
}

void TestFaults::vanishedDuringWalk()
{
    QFETCH(QString, change);
    QFETCH(QString, message);
    WindowsInFolder folder;
    for (const QString &name : abc)
        QVERIFY(testfiles::writeFile(folder.file(name), mp3(testfiles::id3v1("old"))));
    folder.start();
    const QByteArray cBefore = testfiles::readFile(folder.file("c.mp3"));
    Snapshot before = snapshot(folder.path());
    before.erase("b.mp3");
    const QByteArray b = rawPath(folder.path(), "b.mp3");
    FakeQuestions questions;
    // Between the listing and its turn, the second file goes.
    questions.dialogAnswers = {saveTitle("A", [&] {
        QVERIFY(::unlink(b.constData()) == 0);
        if (change == "folder")
            QVERIFY(::mkdir(b.constData(), 0755) == 0);
        else if (change == "fifo")
            QVERIFY(::mkfifo(b.constData(), 0644) == 0);
        else if (change == "link")
            QVERIFY(::symlink("nowhere.mp3", b.constData()) == 0);
    })};
    Form1->FileListBox1->selectAllFiles();
    Form1->Button7->click();

    QCOMPARE(questions.dialogs, 1);
    QCOMPARE(questions.criticals, QStringList{message});
    QCOMPARE(listSelection(), std::vector<bool>({false, false, true}));
    QCOMPARE(titleOf(testfiles::readFile(folder.file("a.mp3"))), QByteArray("A"));
    QCOMPARE(testfiles::readFile(folder.file("c.mp3")), cBefore);
    QCOMPARE(lostOrChanged(before, snapshot(folder.path())), QString());
}

void TestFaults::thingsThatAreNotFiles()
{
    WindowsInFolder folder;
    QVERIFY(testfiles::writeFile(folder.file("real.mp3"), mp3(testfiles::id3v1("real"))));
    QVERIFY(::mkfifo(rawPath(folder.path(), "fifo.mp3").constData(), 0644) == 0);
    QVERIFY(::symlink("nowhere.mp3", rawPath(folder.path(), "broken.mp3").constData()) == 0);
    QVERIFY(::symlink("fifo.mp3", rawPath(folder.path(), "link to fifo.mp3").constData()) == 0);
    QVERIFY(::mkdir(rawPath(folder.path(), "folder.mp3").constData(), 0755) == 0);
    const int sock = ::socket(AF_UNIX, SOCK_STREAM, 0);
    QVERIFY(sock >= 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    const QByteArray socketPath = rawPath(folder.path(), "socket.mp3");
    QVERIFY(socketPath.size() < qsizetype(sizeof address.sun_path));
    memcpy(address.sun_path, socketPath.constData(), size_t(socketPath.size()));
    QVERIFY(::bind(sock, reinterpret_cast<sockaddr *>(&address), sizeof address) == 0);
    folder.start();

    // Only the regular file is listed; selecting all and editing reaches it alone.
    QCOMPARE(Form1->FileListBox1->count(), 1);
    QCOMPARE(Form1->FileListBox1->itemText(0), QStringLiteral("real.mp3"));
    FakeQuestions questions;
    QStringList shown;
    questions.dialogAnswers = {[&](QDialog &) {
        shown << Form2->Panel6->text();
        return int(TForm2::CancelResult);
    }};
    Form1->FileListBox1->selectAllFiles();
    Form1->Button7->click();
    QCOMPARE(shown, QStringList{"real.mp3"});

    // Every other command with everything selected.
    for (QAbstractButton *button : {static_cast<QAbstractButton *>(Form1->BitBtn1),
                                    static_cast<QAbstractButton *>(Form1->Button3),
                                    static_cast<QAbstractButton *>(Form1->Button4),
                                    static_cast<QAbstractButton *>(Form1->Button6)}) {
        Form1->FileListBox1->selectAllFiles();
        button->click();
    }
    // The folder named like an MP3 file makes this the playlists-per-subfolder case.
    questions.directoryAnswers = {folder.path()};
    Form1->Button5->click();
    QVERIFY(questions.criticals.isEmpty());
    QCOMPARE(questions.texts.size(), 1); // the prompt of "Rename file(s)" for the one file
    QCOMPARE(testfiles::readFile(folder.file("_All.m3u")), QByteArray());
    QVERIFY(QFile::exists(folder.file("folder.mp3.m3u")));
    struct stat st;
    QVERIFY(::lstat(rawPath(folder.path(), "fifo.mp3").constData(), &st) == 0 &&
            S_ISFIFO(st.st_mode));
    QVERIFY(::lstat(rawPath(folder.path(), "socket.mp3").constData(), &st) == 0 &&
            S_ISSOCK(st.st_mode));
    QVERIFY(::lstat(rawPath(folder.path(), "broken.mp3").constData(), &st) == 0 &&
            S_ISLNK(st.st_mode));
    QVERIFY(::stat(rawPath(folder.path(), "folder.mp3").constData(), &st) == 0 &&
            S_ISDIR(st.st_mode));
    ::close(sock);
}

void TestFaults::sparseFileOver2GiB_data()
{
    QTest::addColumn<bool>("tagged");
    QTest::newRow("tag at its end") << true;
    QTest::newRow("no tag yet") << false;
}

void TestFaults::sparseFileOver2GiB()
{
    QFETCH(bool, tagged);
    WindowsInFolder folder;
    const QByteArray head = mp3();
    const qint64 size = (qint64(1) << 31) + 4096 + 128;
    const QByteArray path = rawPath(folder.path(), "big.mp3");
    QVERIFY(writeRaw(folder.path(), "big.mp3", head));
    {
        const int fd = ::open(path.constData(), O_RDWR | O_CLOEXEC);
        QVERIFY(fd >= 0);
        const bool grown = ::ftruncate(fd, size) == 0;
        if (grown && tagged) {
            const QByteArray tag = testfiles::id3v1("far away");
            QCOMPARE(::pwrite(fd, tag.constData(), 128, size - 128), ssize_t(128));
        }
        ::close(fd);
        if (!grown)
            QSKIP("the file system refuses a file of over 2 GiB");
    }
    folder.start();
    FakeQuestions questions;
    QString sizeLine, title;
    questions.dialogAnswers = {[&](QDialog &) {
        sizeLine = Form2->Memo1->toPlainText().section(u'\n', 0, 0);
        title = Form2->Edit1->text();
        Form2->Edit1->setText(QStringLiteral("new"));
        return int(TForm2::SaveResult);
    }};
    Form1->FileListBox1->setSelected(0, true);
    Form1->Button7->click();

    QVERIFY(questions.criticals.isEmpty());
    QCOMPARE(sizeLine, QStringLiteral("Size: %1 bytes").arg(size));
    QCOMPARE(title, tagged ? QStringLiteral("far away") : QString());
    const qint64 newSize = tagged ? size : size + 128;
    struct stat st;
    QVERIFY(::stat(path.constData(), &st) == 0);
    QCOMPARE(qint64(st.st_size), newSize);
    const int fd = ::open(path.constData(), O_RDONLY | O_CLOEXEC);
    QVERIFY(fd >= 0);
    QByteArray tag(128, 0), start(head.size(), 0), before(128, 'x');
    QCOMPARE(::pread(fd, tag.data(), 128, newSize - 128), ssize_t(128));
    QCOMPARE(::pread(fd, start.data(), size_t(head.size()), 0), ssize_t(head.size()));
    QCOMPARE(::pread(fd, before.data(), 128, newSize - 256), ssize_t(128));
    ::close(fd);
    QCOMPARE(tag, testfiles::id3v1("new"));
    QCOMPARE(start, head);
    QCOMPARE(before, QByteArray(128, '\0'));
}

void TestFaults::diskFullWhileTagging()
{
    WindowsInFolder folder;
    // The first file's tag is overwritten in place; the second needs room for a new one.
    const QByteArray tagged = mp3(testfiles::id3v1("old"));
    const QByteArray plain = mp3() + QByteArray(128, '\0');
    QVERIFY(testfiles::writeFile(folder.file("a.mp3"), tagged));
    QVERIFY(testfiles::writeFile(folder.file("b.mp3"), plain));
    QVERIFY(testfiles::writeFile(folder.file("c.mp3"), plain));
    folder.start();
    const Snapshot before = snapshot(folder.path());
    // The limit stands for a full music volume, not for the undo journal's: without a journal
    // (none can be made under a file) the writer meets the full disk itself.
    const QByteArray state = qgetenv("XDG_STATE_HOME");
    qputenv("XDG_STATE_HOME", QFile::encodeName(folder.file("a.mp3")));
    FileSizeLimit limit;
    limit.set(plain.size() + 60);
    FakeQuestions questions;
    Form1->FileListBox1->selectAllFiles();
    Form1->BitBtn1->click();
    qputenv("XDG_STATE_HOME", state);

    QCOMPARE(questions.criticals, QStringList{"Disk full."});
    QCOMPARE(listSelection(), std::vector<bool>({false, false, true}));
    QCOMPARE(testfiles::readFile(folder.file("a.mp3")).right(128).left(3), QByteArray("TAG"));
    QVERIFY(titleOf(testfiles::readFile(folder.file("a.mp3"))) != "old");
    QCOMPARE(testfiles::readFile(folder.file("b.mp3")), plain);
    QCOMPARE(testfiles::readFile(folder.file("c.mp3")), plain);
    QCOMPARE(lostOrChanged(before, snapshot(folder.path())), QString());
}

void TestFaults::vanishedWhileTagging()
{
    WindowsInFolder folder;
    for (const QString &name : abc)
        QVERIFY(testfiles::writeFile(folder.file(name), mp3(testfiles::id3v1("old"))));
    folder.start();
    QVERIFY(QFile::remove(folder.file("b.mp3")));
    Snapshot before = snapshot(folder.path());
    FakeQuestions questions;
    Form1->FileListBox1->selectAllFiles();
    Form1->BitBtn1->click();

    // A file gone since the listing is passed over silently; it is not made again.
    QVERIFY(questions.criticals.isEmpty());
    QCOMPARE(listSelection(), std::vector<bool>(3, false));
    QVERIFY(!QFile::exists(folder.file("b.mp3")));
    QVERIFY(titleOf(testfiles::readFile(folder.file("a.mp3"))) != "old");
    QVERIFY(titleOf(testfiles::readFile(folder.file("c.mp3"))) != "old");
    QCOMPARE(lostOrChanged(before, snapshot(folder.path())), QString());
}

void TestFaults::failedPlaylistKeepsOldOne_data()
{
    QTest::addColumn<QString>("failure");
    QTest::addColumn<QString>("message");
    QTest::newRow("disk full") << "full"
                               << "Disk full.";
    QTest::newRow("playlist immutable") << "immutable"
                                        << "File access denied.";
}

void TestFaults::failedPlaylistKeepsOldOne()
{
    QFETCH(QString, failure);
    QFETCH(QString, message);
    WindowsInFolder folder;
    for (const QString &name : abc)
        QVERIFY(testfiles::writeFile(folder.file(name), mp3()));
    const QByteArray old = "/old/list.mp3\r\n";
    QVERIFY(testfiles::writeFile(folder.file("list.m3u"), old));
    Immutable immutable;
    FileSizeLimit limit;
    if (failure == "immutable") {
        if (!immutable.set(rawPath(folder.path(), "list.m3u")))
            QSKIP("the file system or the privileges do not allow immutable files");
    } else {
        limit.set(old.size());
    }
    folder.start();
    FakeQuestions questions;
    questions.saveAnswers = {folder.file("list.m3u")};
    Form1->Button5->click();

    QCOMPARE(questions.criticals, QStringList{message});
    QCOMPARE(testfiles::readFile(folder.file("list.m3u")), old);
    // No half-written temporary file is left behind.
    QCOMPARE(QDir(folder.path()).entryList(QDir::Files | QDir::Hidden),
             (QStringList{"a.mp3", "b.mp3", "c.mp3", "list.m3u"}));
}

namespace
{

// Answers Yes to undo's question; no other question may come.
struct YesToUndo : CommandQuestions {
    std::optional<QString> askText(const QString &, const QString &, const QString &, int) override
    {
        return std::nullopt;
    }
    std::optional<TagTexts> editTag(const TagEditView &) override { return std::nullopt; }
    std::optional<LongTitleAnswer> askLongTitle(const LongTitleQuestion &) override
    {
        return std::nullopt;
    }
    std::optional<QString> askSaveFileName(const QString &, const QString &, const QString &,
                                           const QString &) override
    {
        return std::nullopt;
    }
    std::optional<QString> askExistingDirectory(const QString &, const QString &) override
    {
        return std::nullopt;
    }
    void showError(const QString &) override {}
    bool confirm(const QString &) override { return true; }
};

// A small ID3v2.3 tag holding a title, as another tagger writes one.
QByteArray id3v2Title(const QByteArray &title)
{
    QByteArray frame = "TIT2" + QByteArray(4, '\0') + QByteArray(2, '\0') + '\0' + title;
    const int body = int(frame.size()) - 10;
    for (int i = 0; i < 4; ++i)
        frame[4 + i] = char(body >> (8 * (3 - i)));
    QByteArray tag = "ID3" + QByteArray("\x03\x00\x00", 3) + QByteArray(4, '\0') + frame;
    const int size = int(frame.size());
    for (int i = 0; i < 4; ++i)
        tag[6 + i] = char((size >> (7 * (3 - i))) & 0x7f);
    return tag;
}

} // namespace

void TestFaults::bigCommandCutShort_data()
{
    QTest::addColumn<QString>("command");
    QTest::addColumn<QString>("end"); // stop, fail or close, at the second block's 37th file
    for (const char *command : {"TAG'EM!", "ID3v1 from ID3v2", "Rename from tags"}) {
        for (const char *end : {"stop", "fail", "close"})
            QTest::newRow(qPrintable(QStringLiteral("%1, %2").arg(command, end)))
                << QString(command) << QString(end);
    }
}

// A command over 1,200 files stopped (Esc), failing at a file (immutable) or with the window
// closed in the middle of its second block, while the next block is being prepared and recorded
// on the other thread: the files before are done, the later ones untouched, the worker joined,
// and undo gives back exactly the files changed, byte for byte.
void TestFaults::bigCommandCutShort()
{
    QFETCH(QString, command);
    QFETCH(QString, end);
    constexpr int kFiles = 1200, kAt = 100;
    QTemporaryDir state;
    const QByteArray savedState = qgetenv("XDG_STATE_HOME");
    qputenv("XDG_STATE_HOME", QFile::encodeName(state.path()));
    WindowsInFolder folder;
    const auto name = [](int i) { return QStringLiteral("band - song %1.mp3").arg(1000 + i); };
    for (int i = 0; i < kFiles; ++i) {
        const QByteArray tag = testfiles::id3v1("Title " + QByteArray::number(i), "Artist");
        const QByteArray data = command == "ID3v1 from ID3v2"
                                    ? id3v2Title("Song " + QByteArray::number(i)) + mp3(tag)
                                    : mp3(tag);
        QVERIFY(testfiles::writeFile(folder.file(name(i)), data));
    }
    Immutable immutable;
    if (end == "fail" && !immutable.set(rawPath(folder.path(), name(kAt).toUtf8())))
        QSKIP("the file system or the privileges do not allow immutable files");
    folder.start();
    const Snapshot before = snapshot(folder.path());
    std::map<QString, QByteArray> bytes;
    for (int i = 0; i < kFiles; ++i)
        bytes[name(i)] = testfiles::readFile(folder.file(name(i)));
    FakeQuestions questions;
    if (end != "fail") {
        Form1->commandRunner().setProgressHook([&](int visited) {
            if (visited != kAt)
                return;
            if (end == "stop")
                QTest::keyClick(Form1->FileListBox1, Qt::Key_Escape);
            else
                Form1->close();
        });
    }
    Form1->RadioGroup1->button(2)->setChecked(true); // "Artist - Song.mp3"
    Form1->FileListBox1->selectAllFiles();
    if (command == "TAG'EM!")
        Form1->BitBtn1->click();
    else if (command == "ID3v1 from ID3v2")
        Form1->ID3v1FromID3v21->trigger();
    else
        Form1->Button6->click();
    Form1->commandRunner().setProgressHook({});
    QTRY_VERIFY(!Form1->commandRunner().busy());

    // Which files changed: those before the end, and for Rename from tags all but the refused
    // one.
    const bool renames = command == "Rename from tags";
    const QStringList now = QDir(folder.path()).entryList(QDir::Files, QDir::Name);
    int changed = 0;
    for (int i = 0; i < kFiles; ++i) {
        const QString renamed = QStringLiteral("Artist - Title %1.mp3").arg(i);
        const bool expected = end == "fail" ? (renames ? i != kAt : i < kAt) : i < kAt;
        const bool isChanged = renames
                                   ? now.contains(renamed)
                                   : testfiles::readFile(folder.file(name(i))) != bytes[name(i)];
        QVERIFY2(isChanged == expected, qPrintable(QString::number(i)));
        changed += isChanged;
    }
    if (end == "fail" && !renames)
        QCOMPARE(questions.criticals, QStringList{"File access denied."});
    else
        QVERIFY(questions.criticals.isEmpty());
    QCOMPARE(lostOrChanged(before, snapshot(folder.path())), QString());

    // Undo by another run's session (the window may be closed), its question answered Yes.
    CommandSession session;
    YesToUndo yes;
    const auto undone = session.undo({}, yes);
    QVERIFY(undone && !undone->declined);
    QCOMPARE(int(undone->done.size()), changed);
    for (int i = 0; i < kFiles; ++i)
        QCOMPARE(testfiles::readFile(folder.file(name(i))), bytes[name(i)]);
    qputenv("XDG_STATE_HOME", savedState);
}

QTEST_MAIN(TestFaults)
#include "test_faults.moc"
