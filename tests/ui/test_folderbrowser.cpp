// The folder browser: items, order, what is left out, opening folders and the working
// directory, volumes; and the selection walk over the real file list.
#include "directorylistbox.h"
#include "drivecombobox.h"
#include "filelistbox.h"
#include "folderscan.h"
#include "startup.h"
#include "testfiles.h"
#include "tform1.h"
#include "uitest.h"
#include "walk.h"

#include <QDir>
#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <algorithm>
#include <fcntl.h>
#include <stdexcept>
#include <sys/stat.h>
#include <unistd.h>

class TestFolderBrowser : public QObject
{
    Q_OBJECT
private slots:
    void fileListShowsOnlyMp3Files();
    void nameOrder_data();
    void nameOrder();
    void namesWhileMerging();
    void folderReadAhead();
    void directoryItems();
    void openingFolderByEnterAndDoubleClick();
    void folderThatCannotBeEntered_data();
    void folderThatCannotBeEntered();
    void volumeThatCannotBeEntered();
    void volumesListCurrentOne();
    void volumesListed_data();
    void volumesListed();
    void longNamesInTooltips_data();
    void longNamesInTooltips();
    void emptyFolder();
    void walkOrderAndUnselectBeforeAction();
    void failureEndsWalk();
    void rereadDropsSelection();
    void walkOverTenThousandFiles();

private:
    static QStringList items(const TFileListBox *list);
    static QStringList items(const TDirectoryListBox *list);
};

QStringList TestFolderBrowser::items(const TFileListBox *list)
{
    QStringList out;
    for (int i = 0; i < list->count(); ++i)
        out << list->itemText(i);
    return out;
}

QStringList TestFolderBrowser::items(const TDirectoryListBox *list)
{
    QStringList out;
    for (int i = 0; i < list->count(); ++i)
        out << list->item(i)->text();
    return out;
}

void TestFolderBrowser::fileListShowsOnlyMp3Files()
{
    WindowsInFolder folder;
    for (const char *name :
         {"b.MP3", "A.mp3", "c.Mp3", "c.mp3.txt", ".hidden.mp3", "notes.txt", "Ärger.mp3"})
        QVERIFY(testfiles::writeFile(folder.file(QString::fromUtf8(name)), mp3()));
    QVERIFY(QDir().mkdir(folder.file("folder.mp3")));
    QCOMPARE(::mkfifo(QFile::encodeName(folder.file("pipe.mp3")).constData(), 0644), 0);
    QVERIFY(QFile::link(folder.file("missing"), folder.file("broken.mp3")));
    QVERIFY(QFile::link(folder.file("pipe.mp3"), folder.file("to-pipe.mp3")));
    QVERIFY(QFile::link(folder.file("A.mp3"), folder.file("link.mp3")));
    folder.start();
    QCOMPARE(items(Form1->FileListBox1),
             (QStringList{"A.mp3", "b.MP3", "c.Mp3", "link.mp3", QString::fromUtf8("Ärger.mp3")}));
    QCOMPARE(Form1->FileListBox1->selectionMode(), QAbstractItemView::ExtendedSelection);
}

void TestFolderBrowser::nameOrder_data()
{
    QTest::addColumn<QStringList>("names");
    QTest::addColumn<QStringList>("expected");
    QTest::newRow("long common start")
        << QStringList{"Artist - Song B.mp3", "artist - song a.mp3", "ARTIST - Song c.mp3"}
        << QStringList{"artist - song a.mp3", "Artist - Song B.mp3", "ARTIST - Song c.mp3"};
    QTest::newRow("case only") << QStringList{"abc.mp3", "ABC.mp3", "Abc.mp3"}
                               << QStringList{"ABC.mp3", "Abc.mp3", "abc.mp3"};
    QTest::newRow("shorter first") << QStringList{"Song10.mp3", "song1.mp3", "Song1.mp3", "S.mp3"}
                                   << QStringList{"S.mp3", "Song1.mp3", "song1.mp3", "Song10.mp3"};
    QTest::newRow("beyond ASCII") << QStringList{"Caf\u00e9 2.mp3", "cafe 1.mp3",
                                                 "CAF\u00c9 1.mp3", "caf\u00e9 3.mp3",
                                                 "\u00c4rger.mp3",  "zz.mp3"}
                                  << QStringList{"cafe 1.mp3",      "CAF\u00c9 1.mp3",
                                                 "Caf\u00e9 2.mp3", "caf\u00e9 3.mp3",
                                                 "zz.mp3",          "\u00c4rger.mp3"};
    QTest::newRow("signs beside the letters")
        << QStringList{"Track_1.mp3", "track {1.mp3", "TRACK `1.mp3", "Track [1].mp3",
                       "track @1.mp3"}
        << QStringList{"track @1.mp3", "Track [1].mp3", "TRACK `1.mp3", "track {1.mp3",
                       "Track_1.mp3"};
    // Thousands of names with long shared starts, in several letter cases and lengths, some
    // beyond ASCII, given in a scrambled order: sorted in runs and merged (five runs), they must
    // come out as one sort of them all would have them.
    QStringList many;
    for (int i = 0; i < 17000; ++i) {
        const int n = (i * 7919) % 17000; // every number once, scrambled
        const QString artist = n % 3 == 0   ? QStringLiteral("ARTIST")
                               : n % 3 == 1 ? QStringLiteral("Artist")
                                            : QStringLiteral("art\u00efst");
        many << QStringLiteral("01. %1 Name - Song %2.mp3").arg(artist).arg(n / 3);
    }
    QStringList manySorted = many;
    std::sort(manySorted.begin(), manySorted.end(), [](const QString &a, const QString &b) {
        const int c = a.compare(b, Qt::CaseInsensitive);
        return c != 0 ? c < 0 : a < b;
    });
    QTest::newRow("thousands, shared starts") << many << manySorted;
}

void TestFolderBrowser::nameOrder()
{
    QFETCH(QStringList, names);
    QFETCH(QStringList, expected);
    EncodedNames sorted(names);
    sorted.sort();
    QCOMPARE(sorted.toStringList(), expected);
    for (int i = 0; i < expected.size(); ++i)
        QCOMPARE(sorted.at(i), expected.at(i));
    // Unsorted, the names stay in the order they were given.
    QCOMPARE(EncodedNames(names).toStringList(), names);
    QCOMPARE(EncodedNames(names).at(int(names.size()) - 1), names.last());
}

void TestFolderBrowser::namesWhileMerging()
{
    // Sorted names are handed back before their runs are merged: read, moved, replaced and
    // destroyed at once, they behave as if merged already.
    QStringList names;
    for (int i = 0; i < 40000; ++i)
        names << QStringLiteral("Track %1.mp3").arg((i * 7919) % 40000, 5, 10, QLatin1Char('0'));
    auto sorted = [&] {
        EncodedNames list(names);
        list.sort();
        return list;
    };
    EncodedNames first = sorted();
    QCOMPARE(first.size(), 40000);
    QCOMPARE(first.at(39999), QStringLiteral("Track 39999.mp3")); // the last group waited for
    EncodedNames moved = std::move(first);
    QCOMPARE(moved.at(0), QStringLiteral("Track 00000.mp3"));
    moved = sorted(); // replaced while both may still be merging
    {
        EncodedNames gone = sorted();
    }                          // destroyed while merging
    moved.append("zz.mp3", 6); // changed once all is there
    QCOMPARE(moved.size(), 40001);
    QCOMPARE(moved.at(20000), QStringLiteral("Track 20000.mp3"));
    QCOMPARE(moved.at(40000), QStringLiteral("zz.mp3"));
}

void TestFolderBrowser::folderReadAhead()
{
    QTemporaryDir a;
    QTemporaryDir b;
    QVERIFY(testfiles::writeFile(a.filePath("in-a.mp3"), mp3()));
    QVERIFY(testfiles::writeFile(b.filePath("in-b.mp3"), mp3()));
    const QString mask = QStringLiteral("*.mp3");
    // Taken when asked for the same folder and mask...
    readFolderAhead(a.path(), mask);
    QCOMPARE(readFolder(a.path(), mask).files.toStringList(), QStringList{"in-a.mp3"});
    // ...and only once: a file added since is seen by the next reading.
    QVERIFY(testfiles::writeFile(a.filePath("later.mp3"), mp3()));
    QCOMPARE(readFolder(a.path(), mask).files.toStringList(),
             (QStringList{"in-a.mp3", "later.mp3"}));
    // Another folder or mask is read afresh.
    readFolderAhead(a.path(), mask);
    QCOMPARE(readFolder(b.path(), mask).files.toStringList(), QStringList{"in-b.mp3"});
    readFolderAhead(a.path(), mask);
    QCOMPARE(readFolder(a.path(), QStringLiteral("*.txt")).files.size(), 0);

    // A big folder, whose reading the asking thread joins: every entry once, in order, the
    // subfolders too.
    QTemporaryDir big;
    for (int i = 0; i < 12000; ++i) {
        const QString name = QStringLiteral("%1 Song %2.mp3").arg(i % 3 ? "B" : "a").arg(i);
        const int fd = ::open(QFile::encodeName(big.filePath(name)).constData(),
                              O_WRONLY | O_CREAT | O_EXCL, 0644);
        QVERIFY(fd >= 0);
        ::close(fd);
    }
    for (const char *folder : {"z", "Y", "x"})
        QVERIFY(QDir(big.path()).mkdir(QString::fromLatin1(folder)));
    const FolderScan alone = scanFolder(big.path(), mask);
    QCOMPARE(alone.files.size(), 12000);
    for (int round = 0; round < 3; ++round) {
        readFolderAhead(big.path(), mask);
        const FolderScan joined = readFolder(big.path(), mask);
        QCOMPARE(joined.files.toStringList(), alone.files.toStringList());
        QCOMPARE(joined.folders, (QStringList{"x", "Y", "z"}));
    }
}

void TestFolderBrowser::directoryItems()
{
    WindowsInFolder folder;
    for (const char *name : {"beta", "Alpha", ".hidden", "gamma", "Beta2"})
        QVERIFY(QDir(folder.path()).mkdir(QString::fromLatin1(name)));
    QVERIFY(testfiles::writeFile(folder.file("file"), {}));
    folder.start();
    const TDirectoryListBox *dirs = Form1->DirectoryListBox1;
    const QStringList parts = folder.path().split(u'/', Qt::SkipEmptyParts);
    QStringList expected{"/"};
    expected << parts << QStringList{"Alpha", "beta", "Beta2", "gamma"};
    QCOMPARE(items(dirs), expected);
    QCOMPARE(dirs->itemIndex(), int(parts.size()));
    QCOMPARE(dirs->itemPath(0), QStringLiteral("/"));
    QCOMPARE(dirs->itemPath(int(parts.size())), folder.path());
    QCOMPARE(dirs->itemPath(int(parts.size()) + 1), folder.file("Alpha"));
    QCOMPARE(QDir::currentPath(), folder.path());
}

void TestFolderBrowser::openingFolderByEnterAndDoubleClick()
{
    WindowsInFolder folder;
    QVERIFY(QDir(folder.path()).mkdir("Sub"));
    QVERIFY(testfiles::writeFile(folder.file("Sub/in-sub.mp3"), mp3()));
    QVERIFY(testfiles::writeFile(folder.file("top.mp3"), mp3()));
    folder.start();
    showMainWindow();
    QVERIFY(QTest::qWaitForWindowExposed(Form1));
    TDirectoryListBox *dirs = Form1->DirectoryListBox1;
    Form1->FileListBox1->selectAllFiles();

    // The change comes last: the working directory, the items and the file list are new then.
    QStringList atChange;
    connect(dirs, &TDirectoryListBox::changed, this, [&] {
        atChange << QDir::currentPath() << dirs->item(dirs->itemIndex())->text()
                 << items(Form1->FileListBox1).join(u',');
    });
    const int sub = int(items(dirs).indexOf("Sub"));
    dirs->setItemIndex(sub); // a click only moves the selection
    QCOMPARE(QDir::currentPath(), folder.path());
    QTest::keyClick(dirs, Qt::Key_Return);
    QCOMPARE(atChange, (QStringList{folder.file("Sub"), "Sub", "in-sub.mp3"}));
    QCOMPARE(dirs->directory(), folder.file("Sub"));
    QCOMPARE(listSelection(), std::vector<bool>({false}));

    // A double click on the parent's item goes back up.
    atChange.clear();
    const int parent = dirs->itemIndex() - 1;
    const QRect rect = dirs->visualItemRect(dirs->item(parent));
    QTest::mouseClick(dirs->viewport(), Qt::LeftButton, {}, rect.center());
    QCOMPARE(atChange, QStringList());
    QTest::mouseDClick(dirs->viewport(), Qt::LeftButton, {}, rect.center());
    QCOMPARE(atChange, (QStringList{folder.path(), QDir(folder.path()).dirName(), "top.mp3"}));
}

void TestFolderBrowser::folderThatCannotBeEntered_data()
{
    QTest::addColumn<int>("readError"); // 0: the folder is gone; else its reading fails
    QTest::addColumn<QString>("message");
    QTest::newRow("gone") << 0 << "File not found.";
    // A failing disk, or a network share gone stale, part-way through the listing.
    QTest::newRow("I/O error while reading") << EIO << "I/O error 5.";
    QTest::newRow("stale while reading") << ESTALE << "I/O error 116.";
}

void TestFolderBrowser::folderThatCannotBeEntered()
{
    QFETCH(int, readError);
    QFETCH(QString, message);
    WindowsInFolder folder;
    QVERIFY(QDir(folder.path()).mkdir("gone"));
    for (int i = 0; i < 3000; ++i) // more than one batch of entries
        QVERIFY(testfiles::writeFile(folder.file(QStringLiteral("gone/%1.mp3").arg(i)), mp3()));
    QVERIFY(testfiles::writeFile(folder.file("top.mp3"), mp3()));
    folder.start();
    FakeQuestions questions;
    TDirectoryListBox *dirs = Form1->DirectoryListBox1;
    QSignalSpy changed(dirs, &TDirectoryListBox::changed);
    dirs->setItemIndex(int(items(dirs).indexOf("gone")));
    if (readError)
        setFolderReadFault(readError);
    else
        QVERIFY(QDir(folder.file("gone")).removeRecursively());
    dirs->openSelected();
    setFolderReadFault(0);
    QCOMPARE(questions.criticals, QStringList{message});
    QCOMPARE(changed.count(), 0);
    QCOMPARE(QDir::currentPath(), folder.path());
    QCOMPARE(dirs->directory(), folder.path());
    QCOMPARE(items(Form1->FileListBox1), QStringList{"top.mp3"});
}

void TestFolderBrowser::volumeThatCannotBeEntered()
{
    WindowsInFolder folder;
    folder.start();
    FakeQuestions questions;
    TDriveComboBox *drives = Form1->DriveComboBox1;
    drives->addItem(QStringLiteral("/no-such-volume"), QStringLiteral("/no-such-volume"));
    const int chosen = drives->count() - 1;
    drives->setCurrentIndex(chosen);
    emit drives->activated(chosen);
    QCOMPARE(questions.criticals, QStringList{"File not found."});
    QCOMPARE(QDir::currentPath(), folder.path());
    QCOMPARE(Form1->DirectoryListBox1->directory(), folder.path());
    QCOMPARE(drives->currentIndex(), chosen);
}

void TestFolderBrowser::volumesListCurrentOne()
{
    WindowsInFolder folder;
    folder.start();
    const TDriveComboBox *drives = Form1->DriveComboBox1;
    QVERIFY(drives->currentIndex() >= 0);
    const QString shown = drives->volumePath(drives->currentIndex());
    QVERIFY(folder.path() == shown ||
            folder.path().startsWith(shown.endsWith(u'/') ? shown : shown + u'/'));
    for (int i = 0; i < drives->count(); ++i) {
        const QString v = drives->volumePath(i);
        QVERIFY2(!v.startsWith("/proc") && !v.startsWith("/sys"), qPrintable(v));
    }
}

void TestFolderBrowser::volumesListed_data()
{
    QTest::addColumn<QString>("root");
    QTest::addColumn<QByteArray>("type");
    QTest::addColumn<bool>("listed");
    QTest::newRow("root") << "/" << QByteArray("ext4") << true;
    QTest::newRow("home partition") << "/home" << QByteArray("xfs") << true;
    QTest::newRow("udisks") << "/run/media/anna/USB STICK" << QByteArray("vfat") << true;
    QTest::newRow("/media") << "/media/cdrom" << QByteArray("iso9660") << true;
    QTest::newRow("network") << "/srv/share" << QByteArray("nfs4") << true;
    QTest::newRow("user runtime") << "/run/user/1000" << QByteArray("tmpfs") << false;
    QTest::newRow("/run itself") << "/run" << QByteArray("tmpfs") << false;
    QTest::newRow("not /run/media") << "/run/mediafoo" << QByteArray("ext4") << false;
    QTest::newRow("shared memory") << "/dev/shm" << QByteArray("tmpfs") << false;
    QTest::newRow("proc") << "/proc" << QByteArray("proc") << false;
    QTest::newRow("cgroup") << "/sys/fs/cgroup" << QByteArray("cgroup2") << false;
    QTest::newRow("pseudo anywhere") << "/media/x" << QByteArray("sysfs") << false;
}

void TestFolderBrowser::volumesListed()
{
    QFETCH(QString, root);
    QFETCH(QByteArray, type);
    QFETCH(bool, listed);
    QCOMPARE(TDriveComboBox::isBrowsable(root, type), listed);
}

void TestFolderBrowser::longNamesInTooltips_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<bool>("elided");
    const QString longPart =
        QStringLiteral(" a name much too long for the width of its list, whichever font it has");
    QTest::newRow("short") << "Rock & Roll.mp3" << false;
    QTest::newRow("long") << "01." + longPart + ".mp3" << true;
    QTest::newRow("long markup") << "<b>Loud" + longPart + ".mp3" << true;
}

void TestFolderBrowser::longNamesInTooltips()
{
    QFETCH(QString, name);
    QFETCH(bool, elided);
    WindowsInFolder folder;
    QVERIFY(testfiles::writeFile(folder.file(name), mp3()));
    QVERIFY(QDir().mkdir(folder.file(QString(name).chopped(4))));
    folder.start();
    showMainWindow();
    QVERIFY(QTest::qWaitForWindowExposed(Form1));
    // The whole name in a tooltip where the item shows only part of it; none otherwise.
    TFileListBox *files = Form1->FileListBox1;
    const QPoint fileAt = files->visualRect(files->model()->index(0, 0)).center();
    QCOMPARE(toolTipAt(files->viewport(), fileAt), elided ? name : QString());
    TDirectoryListBox *folders = Form1->DirectoryListBox1;
    const int last = folders->count() - 1;
    QCOMPARE(folders->item(last)->text(), QString(name).chopped(4));
    const QPoint folderAt = folders->visualRect(folders->model()->index(last, 0)).center();
    QCOMPARE(toolTipAt(folders->viewport(), folderAt),
             elided ? QString(name).chopped(4) : QString());
}

void TestFolderBrowser::emptyFolder()
{
    WindowsInFolder folder;
    QVERIFY(testfiles::writeFile(folder.file("notes.txt"), "x"));
    folder.start();
    FakeQuestions questions;
    QCOMPARE(Form1->FileListBox1->count(), 0);
    Form1->Button2->click();
    Form1->Button1->click();
    Form1->Button7->click();
    QCOMPARE(questions.dialogs, 0);
    QVERIFY(questions.criticals.isEmpty());
}

void TestFolderBrowser::walkOrderAndUnselectBeforeAction()
{
    WindowsInFolder folder;
    for (const char *name : {"0.mp3", "1.mp3", "2.mp3", "3.mp3", "4.mp3"})
        QVERIFY(testfiles::writeFile(folder.file(name), mp3()));
    folder.start();
    TFileListBox *list = Form1->FileListBox1;
    for (int row : {1, 3, 4})
        list->setSelected(row, true);
    QStringList seen;
    walkSelection(*list, [&](const QString &name) {
        seen << name;
        const int row = name.left(1).toInt();
        [&] { QVERIFY(!list->isSelected(row)); }();
        if (row == 1)
            list->setSelected(2, true); // the walk does not read the selection again
        return FileOutcome::changed();
    });
    QCOMPARE(seen, (QStringList{"1.mp3", "3.mp3", "4.mp3"}));
    QCOMPARE(listSelection(), std::vector<bool>({false, false, true, false, false}));
}

void TestFolderBrowser::failureEndsWalk()
{
    WindowsInFolder folder;
    for (const char *name : {"0.mp3", "1.mp3", "2.mp3", "3.mp3"})
        QVERIFY(testfiles::writeFile(folder.file(name), mp3()));
    folder.start();
    TFileListBox *list = Form1->FileListBox1;
    list->selectAllFiles();
    QStringList seen;
    QVERIFY_THROWS_EXCEPTION(std::runtime_error, walkSelection(*list, [&](const QString &name) {
                                 seen << name;
                                 if (name == QLatin1String("1.mp3"))
                                     throw std::runtime_error("stop");
                                 return FileOutcome::changed();
                             }));
    QCOMPARE(seen, (QStringList{"0.mp3", "1.mp3"}));
    QCOMPARE(listSelection(), std::vector<bool>({false, false, true, true}));
}

void TestFolderBrowser::rereadDropsSelection()
{
    WindowsInFolder folder;
    QVERIFY(testfiles::writeFile(folder.file("a.mp3"), mp3()));
    folder.start();
    TFileListBox *list = Form1->FileListBox1;
    list->selectAllFiles();
    QVERIFY(QFile::rename(folder.file("a.mp3"), folder.file("b.mp3")));
    list->reread();
    QCOMPARE(items(list), QStringList{"b.mp3"});
    QCOMPARE(listSelection(), std::vector<bool>({false}));
}

void TestFolderBrowser::walkOverTenThousandFiles()
{
    WindowsInFolder folder;
    for (int i = 0; i < 10000; ++i) {
        QFile f(folder.file(QStringLiteral("%1.mp3").arg(i, 5, 10, QLatin1Char('0'))));
        QVERIFY(f.open(QIODevice::WriteOnly));
    }
    folder.start();
    TFileListBox *list = Form1->FileListBox1;
    QCOMPARE(list->count(), 10000);
    list->selectAllFiles();
    for (int row = 5000; row < 5010; ++row)
        list->setSelected(row, false);
    int walked = 0;
    walkSelection(*list, [&](const QString &) {
        ++walked;
        return FileOutcome::changed();
    });
    QCOMPARE(walked, 9990);
    list->flushPendingUnselect();
    QVERIFY(list->selectionModel()->selectedRows().isEmpty());
}

QTEST_MAIN(TestFolderBrowser)
#include "test_folderbrowser.moc"
