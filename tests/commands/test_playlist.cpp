#include "ioerror.h"
#include "pathinfolder.h"
#include "playlist.h"
#include "scriptedquestions.h"
#include "testfiles.h"

#include <QDir>
#include <QDirIterator>
#include <QStorageInfo>
#include <QTemporaryDir>
#include <QtTest>
#include <atomic>
#include <cerrno>

namespace
{

// A folder browser over the real file system, listing as the window's lists do.
class DiskBrowser : public PlaylistFolderBrowser
{
public:
    explicit DiskBrowser(const QString &folder) : m_folder(folder) {}

    QString currentFolder() const override { return m_folder; }
    QStringList subfolderNames() const override
    {
        return QDir(m_folder).entryList(QDir::Dirs | QDir::NoDotAndDotDot,
                                        QDir::Name | QDir::IgnoreCase);
    }
    void openFolder(const QString &path) override
    {
        if (path == failAt || !QFileInfo(path).isDir())
            throw IoError::fromErrno(ENOENT);
        m_folder = path;
        opened << path;
    }
    QStringList fileNames() const override
    {
        return QDir(m_folder).entryList({QStringLiteral("*.mp3")}, QDir::Files,
                                        QDir::Name | QDir::IgnoreCase);
    }

    QStringList opened;
    QString failAt;

private:
    QString m_folder;
};

struct Answers : ScriptedQuestions {
    std::optional<QString> saveAs;
    std::optional<QString> folder;
    QStringList asked;     // what each question showed, one text per call
    QStringList startedIn; // the folder each folder browser opened in

    std::optional<QString> askSaveFileName(const QString &title, const QString &proposed,
                                           const QString &filter, const QString &suffix) override
    {
        asked << title + '|' + proposed + '|' + filter + '|' + suffix;
        return saveAs;
    }
    std::optional<QString> askExistingDirectory(const QString &title, const QString &start) override
    {
        asked << title;
        startedIn << start;
        return folder;
    }
    Answers &questions() { return *this; }
};

void makeFiles(const QString &folder, const QStringList &names)
{
    QVERIFY(QDir().mkpath(folder));
    for (const QString &name : names)
        QVERIFY(testfiles::writeFile(pathInFolder(folder, name), "x"));
}

// A temporary folder on a volume mounted somewhere other than "/", where the machine has one.
std::optional<QString> otherVolumeBase()
{
    const QStorageInfo shm(QStringLiteral("/dev/shm"));
    if (shm.isValid() && shm.rootPath() == QLatin1String("/dev/shm") &&
        QFileInfo(QStringLiteral("/dev/shm")).isWritable())
        return QStringLiteral("/dev/shm");
    return std::nullopt;
}

} // namespace

class TestPlaylist : public QObject
{
    Q_OBJECT

private slots:
    void line_data();
    void line();
    void fixedVolumeKeptWhole();
    void movableVolumes_data();
    void movableVolumes();
    void singleFolder_data();
    void singleFolder();
    void emptyFolderGivesEmptyPlaylist();
    void cancelWritesNothing();
    void lineBreakNameLeftOut();
    void perSubfolder();
    void perSubfolderStopped();
    void perSubfolderFailure_data();
    void perSubfolderFailure();
    void saveFailure_data();
    void saveFailure();
};

void TestPlaylist::line_data()
{
    QTest::addColumn<QString>("folder");
    QTest::addColumn<QString>("name");
    QTest::addColumn<bool>("noDriveLetter");
    QTest::addColumn<QByteArray>("expected"); // empty: left out

    QTest::newRow("plain") << "/music/Rock"
                           << "01. Song.mp3" << false << QByteArray("/music/Rock/01. Song.mp3\r\n");
    QTest::newRow("root volume unchanged")
        << "/music/Rock"
        << "a.mp3" << true << QByteArray("/music/Rock/a.mp3\r\n");
    QTest::newRow("root folder") << "/"
                                 << "a.mp3" << false << QByteArray("/a.mp3\r\n");
    QTest::newRow("root folder, option") << "/"
                                         << "a.mp3" << true << QByteArray("/a.mp3\r\n");
    QTest::newRow("drive letter") << "C:/Music"
                                  << "a.mp3" << true << QByteArray("/Music/a.mp3\r\n");
    QTest::newRow("drive letter kept") << "C:/Music"
                                       << "a.mp3" << false << QByteArray("C:/Music/a.mp3\r\n");
    QTest::newRow("file-system bytes")
        << "/m" << QString::fromUtf8("Mot\xc3\xb6rhead \xe2\x80\x93 \xce\xa9.mp3") << false
        << QByteArray("/m/Mot\xc3\xb6rhead \xe2\x80\x93 \xce\xa9.mp3\r\n");
    QTest::newRow("LF in name") << "/m"
                                << "a\nb.mp3" << false << QByteArray();
    QTest::newRow("CR in name") << "/m"
                                << "a\rb.mp3" << false << QByteArray();
    QTest::newRow("LF in folder") << "/m\nx"
                                  << "a.mp3" << false << QByteArray();
}

void TestPlaylist::line()
{
    QFETCH(QString, folder);
    QFETCH(QString, name);
    QFETCH(bool, noDriveLetter);
    QFETCH(QByteArray, expected);
    const auto line = playlistLine(playlistFolderText(folder, noDriveLetter), name);
    QCOMPARE(line.value_or(QByteArray()), expected);
}

void TestPlaylist::fixedVolumeKeptWhole()
{
    const auto base = otherVolumeBase();
    if (!base)
        QSKIP("no writable volume mounted at /dev/shm on this machine");
    QTemporaryDir volumeDir(*base + QStringLiteral("/trackling-XXXXXX"));
    QVERIFY(volumeDir.isValid());
    const QString music = volumeDir.path() + QStringLiteral("/Music");
    QVERIFY(QDir().mkpath(music));

    // A fixed volume (not under /media, /run/media or /mnt, not a network one) keeps its mount
    // point: without it the path would resolve nowhere.
    QCOMPARE(playlistFolderText(music, true), music + '/');
    QCOMPARE(playlistFolderText(music, false), music + '/');
    QCOMPARE(playlistFolderText(*base, true), *base + '/');
    QCOMPARE(movableMountPoint(music), std::nullopt);

    // Reached through a link from the root volume, the path is kept as it was given.
    QTemporaryDir rootDir;
    const QString link = rootDir.path() + QStringLiteral("/link");
    QVERIFY(QFile::link(music, link));
    QCOMPARE(playlistFolderText(link, true), link + '/');
}

void TestPlaylist::movableVolumes_data()
{
    QTest::addColumn<QString>("mountPoint");
    QTest::addColumn<QByteArray>("type");
    QTest::addColumn<bool>("movable");
    QTest::newRow("root") << "/" << QByteArray("ext4") << false;
    QTest::newRow("home partition") << "/home" << QByteArray("ext4") << false;
    QTest::newRow("srv partition") << "/srv" << QByteArray("xfs") << false;
    QTest::newRow("tmpfs") << "/dev/shm" << QByteArray("tmpfs") << false;
    QTest::newRow("/media") << "/media/usb" << QByteArray("vfat") << true;
    QTest::newRow("udisks") << "/run/media/anna/STICK" << QByteArray("exfat") << true;
    QTest::newRow("/mnt") << "/mnt/disk" << QByteArray("ext4") << true;
    QTest::newRow("/mnt itself") << "/mnt" << QByteArray("ext4") << true;
    QTest::newRow("not /mnt") << "/mntx" << QByteArray("ext4") << false;
    QTest::newRow("not /run/media") << "/run/user/1000" << QByteArray("tmpfs") << false;
    QTest::newRow("nfs") << "/home" << QByteArray("nfs") << true;
    QTest::newRow("nfs4") << "/srv/music" << QByteArray("nfs4") << true;
    QTest::newRow("cifs") << "/data" << QByteArray("cifs") << true;
    QTest::newRow("smb3") << "/data" << QByteArray("smb3") << true;
    QTest::newRow("sshfs") << "/home/anna/remote" << QByteArray("fuse.sshfs") << true;
}

void TestPlaylist::movableVolumes()
{
    QFETCH(QString, mountPoint);
    QFETCH(QByteArray, type);
    QFETCH(bool, movable);
    QCOMPARE(isMovableVolume(mountPoint, type), movable);
}

void TestPlaylist::singleFolder_data()
{
    QTest::addColumn<bool>("otherVolume");
    QTest::addColumn<bool>("noDriveLetter");
    QTest::newRow("option off") << false << false;
    QTest::newRow("option on, root volume") << false << true;
    QTest::newRow("option off, fixed volume") << true << false;
    QTest::newRow("option on, fixed volume") << true << true;
}

void TestPlaylist::singleFolder()
{
    QFETCH(bool, otherVolume);
    QFETCH(bool, noDriveLetter);
    QString base = QDir::tempPath();
    if (otherVolume) {
        const auto other = otherVolumeBase();
        if (!other)
            QSKIP("no writable volume mounted at /dev/shm on this machine");
        base = *other;
    }
    QTemporaryDir dir(base + QStringLiteral("/trackling-XXXXXX"));
    QVERIFY(dir.isValid());
    const QString rock = dir.path() + QStringLiteral("/Rock");
    makeFiles(rock, {"b.mp3", "A.mp3", "c.MP3.txt", "01. Song.mp3"});
    const QString out = dir.path() + QStringLiteral("/out.m3u");

    DiskBrowser browser(rock);
    Answers answers;
    answers.saveAs = out;
    createPlaylists(browser, noDriveLetter, answers.questions());

    QCOMPARE(answers.asked, QStringList{QStringLiteral("Save playlist|%1/Rock.m3u|"
                                                       "M3U Playlist (*.m3u)|m3u")
                                            .arg(rock)});
    // Neither the root nor a fixed volume such as /dev/shm loses its mount point.
    const QByteArray p = QFile::encodeName(rock);
    QCOMPARE(testfiles::readFile(out),
             p + "/01. Song.mp3\r\n" + p + "/A.mp3\r\n" + p + "/b.mp3\r\n");
    QVERIFY(browser.opened.isEmpty());
    QCOMPARE(browser.currentFolder(), rock);
}

void TestPlaylist::emptyFolderGivesEmptyPlaylist()
{
    QTemporaryDir dir;
    const QString out = dir.path() + QStringLiteral("/empty.m3u");
    QVERIFY(testfiles::writeFile(out, "old contents\r\n"));
    DiskBrowser browser(dir.path());
    Answers answers;
    answers.saveAs = out;
    createPlaylists(browser, false, answers.questions());
    QVERIFY(QFileInfo::exists(out));
    QCOMPARE(QFileInfo(out).size(), 0);
}

void TestPlaylist::cancelWritesNothing()
{
    QTemporaryDir dir;
    makeFiles(dir.path() + QStringLiteral("/Flat"), {"a.mp3"});
    DiskBrowser flat(dir.path() + QStringLiteral("/Flat"));
    Answers answers;
    createPlaylists(flat, false, answers.questions());
    QCOMPARE(answers.asked.size(), 1);

    makeFiles(dir.path() + QStringLiteral("/Tree/A"), {"a.mp3"});
    DiskBrowser tree(dir.path() + QStringLiteral("/Tree"));
    createPlaylists(tree, false, answers.questions());
    QCOMPARE(answers.asked.last(), QStringLiteral("Select directory for playlists"));
    QVERIFY(tree.opened.isEmpty());

    QDirIterator it(dir.path(), {QStringLiteral("*.m3u")}, QDir::Files | QDir::Hidden,
                    QDirIterator::Subdirectories);
    QVERIFY(!it.hasNext());
}

void TestPlaylist::lineBreakNameLeftOut()
{
    QTemporaryDir dir;
    makeFiles(dir.path(), {"a.mp3", "b\nc.mp3", "d.mp3"});
    DiskBrowser browser(dir.path());
    Answers answers;
    answers.saveAs = dir.path() + QStringLiteral("/x.m3u");
    createPlaylists(browser, false, answers.questions());
    const QByteArray p = QFile::encodeName(dir.path());
    QCOMPARE(testfiles::readFile(*answers.saveAs), p + "/a.mp3\r\n" + p + "/d.mp3\r\n");
}

void TestPlaylist::perSubfolder()
{
    QTemporaryDir dir;
    const QString start = dir.path() + QStringLiteral("/Collection");
    makeFiles(start, {"own.mp3"});
    makeFiles(start + "/a", {"2.mp3", "1.mp3"});
    makeFiles(start + "/a/Deeper", {"deep.mp3"});
    makeFiles(start + "/B", {});
    makeFiles(start + "/C", {"c.mp3"});
    const QString target = dir.path() + QStringLiteral("/Lists");
    makeFiles(target, {});
    QVERIFY(testfiles::writeFile(target + "/a.m3u", "old\r\n"));
    QVERIFY(testfiles::writeFile(target + "/_All.m3u", "old\r\n"));

    DiskBrowser browser(start);
    Answers answers;
    answers.folder = target;
    createPlaylists(browser, false, answers.questions());

    QCOMPARE(answers.asked, QStringList{QStringLiteral("Select directory for playlists")});
    QCOMPARE(answers.startedIn, QStringList{start}); // the browser opens in the current folder
    const QByteArray s = QFile::encodeName(start);
    const QByteArray a = s + "/a/1.mp3\r\n" + s + "/a/2.mp3\r\n";
    const QByteArray c = s + "/C/c.mp3\r\n";
    QCOMPARE(testfiles::readFile(target + "/a.m3u"), a);
    QVERIFY(QFileInfo::exists(target + "/B.m3u"));
    QCOMPARE(testfiles::readFile(target + "/B.m3u"), QByteArray());
    QCOMPARE(testfiles::readFile(target + "/C.m3u"), c);
    QCOMPARE(testfiles::readFile(target + "/_All.m3u"), a + c);
    QCOMPARE(QDir(target).entryList(QDir::Files | QDir::Hidden).size(), 4);

    QCOMPARE(browser.opened,
             (QStringList{start + "/a", start, start + "/B", start, start + "/C", start}));
    QCOMPARE(browser.currentFolder(), start);
}

// Stopped after the first subfolder: its playlist is written, the rest and "_All.m3u" are not.
void TestPlaylist::perSubfolderStopped()
{
    QTemporaryDir dir;
    const QString start = dir.path() + QStringLiteral("/Collection");
    makeFiles(start + "/a", {"1.mp3"});
    makeFiles(start + "/b", {"2.mp3"});
    const QString target = dir.path() + QStringLiteral("/Lists");
    makeFiles(target, {});
    QVERIFY(testfiles::writeFile(target + "/_All.m3u", "old\r\n"));

    DiskBrowser browser(start);
    Answers answers;
    answers.folder = target;
    std::atomic<bool> stop{false};
    QList<int> progress;
    WalkControl control;
    control.progress = [&](int visited, int total) {
        progress << visited << total;
        stop = true;
    };
    control.stop = &stop;
    const WalkReport report = createPlaylists(browser, false, answers.questions(), control);

    QCOMPARE(progress, (QList<int>{1, 3}));
    QVERIFY(report.stopped);
    QCOMPARE(report.done, 1);
    QVERIFY(QFileInfo::exists(target + "/a.m3u"));
    QVERIFY(!QFileInfo::exists(target + "/b.m3u"));
    QCOMPARE(testfiles::readFile(target + "/_All.m3u"), QByteArray("old\r\n"));
    QCOMPARE(browser.currentFolder(), start);
}

void TestPlaylist::perSubfolderFailure_data()
{
    QTest::addColumn<QString>("failure"); // "open B" or "C.m3u is a folder"
    QTest::addColumn<QString>("message");
    QTest::addColumn<QStringList>("written"); // playlists holding new contents
    QTest::newRow("subfolder cannot be opened") << "open B"
                                                << "File not found." << QStringList{"A.m3u"};
    QTest::newRow("playlist cannot be written")
        << "C.m3u is a folder"
        << "File access denied." << QStringList{"A.m3u", "B.m3u"};
}

void TestPlaylist::perSubfolderFailure()
{
    QFETCH(QString, failure);
    QFETCH(QString, message);
    QFETCH(QStringList, written);
    QTemporaryDir dir;
    const QString start = dir.path() + QStringLiteral("/Collection");
    makeFiles(start + "/A", {"a.mp3"});
    makeFiles(start + "/B", {"b.mp3"});
    makeFiles(start + "/C", {"c.mp3"});
    const QString target = dir.path() + QStringLiteral("/Lists");
    for (const char *name : {"A.m3u", "B.m3u", "_All.m3u"}) {
        makeFiles(target, {});
        QVERIFY(testfiles::writeFile(target + '/' + name, "good old playlist\r\n"));
    }
    DiskBrowser browser(start);
    if (failure == QLatin1String("open B"))
        browser.failAt = start + "/B";
    else
        QVERIFY(QDir().mkdir(target + "/C.m3u"));

    Answers answers;
    answers.folder = target;
    try {
        createPlaylists(browser, false, answers.questions());
        QFAIL("no failure reported");
    } catch (const IoError &e) {
        QCOMPARE(QString::fromStdString(e.message()), message);
    }
    QCOMPARE(browser.currentFolder(), start);
    QCOMPARE(browser.opened.last(), start);
    for (const char *name : {"A.m3u", "B.m3u", "_All.m3u"}) {
        const QByteArray contents = testfiles::readFile(target + '/' + name);
        QCOMPARE(contents.startsWith("good old"), !written.contains(name));
    }
    // No temporary file is left behind.
    QCOMPARE(QDir(target).entryList(QDir::Files | QDir::Hidden).size(), 3);
}

void TestPlaylist::saveFailure_data()
{
    QTest::addColumn<bool>("subfolders");
    QTest::addColumn<QString>("chosen"); // relative to the temporary folder
    QTest::addColumn<QString>("message");
    QTest::newRow("missing folder") << false << "missing/x.m3u"
                                    << "File not found.";
    QTest::newRow("folder is a file") << false << "file/x.m3u"
                                      << "Invalid filename.";
    QTest::newRow("name is a folder") << false << "Tree"
                                      << "File access denied.";
    QTest::newRow("playlist folder is a file") << true << "file"
                                               << "Invalid filename.";
    QTest::newRow("playlist folder missing") << true << "missing"
                                             << "File not found.";
}

void TestPlaylist::saveFailure()
{
    QFETCH(bool, subfolders);
    QFETCH(QString, chosen);
    QFETCH(QString, message);
    QTemporaryDir dir;
    QVERIFY(testfiles::writeFile(dir.path() + "/file", "a regular file"));
    const QString start = dir.path() + QStringLiteral("/Tree");
    makeFiles(subfolders ? start + "/Sub" : start, {"a.mp3"});
    DiskBrowser browser(start);
    Answers answers;
    answers.saveAs = answers.folder = dir.path() + '/' + chosen;
    try {
        createPlaylists(browser, false, answers.questions());
        QFAIL("no failure reported");
    } catch (const IoError &e) {
        QCOMPARE(QString::fromStdString(e.message()), message);
    }
    // An unusable playlist folder is found before any subfolder is visited.
    QVERIFY(browser.opened.isEmpty());
    QCOMPARE(QFileInfo(dir.path() + "/file").size(), 14);
}

QTEST_GUILESS_MAIN(TestPlaylist)
#include "test_playlist.moc"
