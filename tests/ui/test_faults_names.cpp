// Names and tags that could steer the program wrong, through the real main window: names that
// are not valid UTF-8, hold line breaks or are 255 bytes long; tags holding "/", ".." or
// control characters; renames that compete for one name or run in a cycle. No file may be
// lost, replaced or moved out of its folder.
#include "faulttest.h"
#include "filenames.h"
#include "testfiles.h"
#include "tform1.h"
#include "tform2.h"
#include "uitest.h"

#include <QTest>
#include <dirent.h>
#include <sys/stat.h>

class TestFaultNames : public QObject
{
    Q_OBJECT
private slots:
    void oddNamesAreListed();
    void startedInAnOddlyNamedFolder();
    void oddNamesEditTags();
    void oddNamesTrimAndRename();
    void oddNamesInPlaylist();
    void oddFolderNamesNamePlaylists_data();
    void oddFolderNamesNamePlaylists();
    void tagsNeverLeaveTheFolder_data();
    void tagsNeverLeaveTheFolder();
    void competingForOneName_data();
    void competingForOneName();
};

namespace
{

// Qt's own decoding of the first name; a file under that name must never be touched in its
// place.
const QByteArray notUtf8 = "caf\xE9_song.mp3";
const QByteArray decoy = "caf\xEF\xBF\xBD_song.mp3";

QList<QByteArray> oddNames()
{
    return {notUtf8,
            decoy,
            "\xFF\xFE.mp3",
            "two\nlines.mp3",
            "carriage\rreturn.mp3",
            QByteArray(251, 'a') + ".mp3",
            QByteArray(125 * 2, 'x').replace("xx", "\xC3\xA9") + "z.mp3"};
}

QList<QByteArray> listedNames()
{
    QList<QByteArray> names;
    for (int row = 0; row < Form1->FileListBox1->count(); ++row)
        names << encodeFileName(Form1->FileListBox1->itemText(row));
    std::sort(names.begin(), names.end());
    return names;
}

QByteArray titleOf(const QByteArray &file)
{
    return file.right(128).mid(3, 30).trimmed();
}

// The names (raw) of the entries of a folder.
QList<QByteArray> entries(const QString &folder)
{
    QList<QByteArray> names;
    if (DIR *dir = ::opendir(encodeFileName(folder).constData())) {
        while (const dirent *e = ::readdir(dir)) {
            const QByteArray name(e->d_name);
            if (name != "." && name != "..")
                names << name;
        }
        ::closedir(dir);
    }
    std::sort(names.begin(), names.end());
    return names;
}

void makeOddFiles(const QString &folder)
{
    const QList<QByteArray> names = oddNames();
    for (int i = 0; i < names.size(); ++i) {
        QVERIFY(names[i].size() <= 255);
        QVERIFY(writeRaw(folder, names[i],
                         mp3(testfiles::id3v1("t" + QByteArray::number(i), "Artist"))));
    }
}

} // namespace

void TestFaultNames::oddNamesAreListed()
{
    WindowsInFolder folder;
    RemoveContents cleanup(folder.path());
    makeOddFiles(folder.path());
    folder.start();
    QList<QByteArray> expected = oddNames();
    std::sort(expected.begin(), expected.end());
    QCOMPARE(listedNames(), expected);
}

void TestFaultNames::startedInAnOddlyNamedFolder()
{
    WindowsInFolder folder;
    RemoveContents cleanup(folder.path());
    const QByteArray inner = rawPath(folder.path(), "caf\xE9 album");
    QCOMPARE(::mkdir(inner.constData(), 0755), 0);
    QVERIFY(writeRaw(decodeFileName(inner), "01. Song.mp3", mp3()));
    QCOMPARE(::chdir(inner.constData()), 0);
    folder.start();

    // The start folder is the one the program was started in, byte for byte, with its file.
    QCOMPARE(encodeFileName(Form1->DirectoryListBox1->directory()), inner);
    QCOMPARE(Form1->FileListBox1->count(), 1);
    FakeQuestions questions;
    questions.dialogAnswers.push_back([](QDialog &) { return int(TForm2::SaveResult); });
    Form1->FileListBox1->selectAllFiles();
    Form1->Button7->click();
    QCOMPARE(questions.criticals, QStringList());
    QCOMPARE(readRaw(decodeFileName(inner), "01. Song.mp3").right(128).left(3), QByteArray("TAG"));
}

void TestFaultNames::oddNamesEditTags()
{
    WindowsInFolder folder;
    RemoveContents cleanup(folder.path());
    makeOddFiles(folder.path());
    folder.start();
    const Snapshot before = snapshot(folder.path());
    const QList<QByteArray> names = oddNames();
    FakeQuestions questions;
    // Each dialog sets the title to the number of the file it shows; each file must get its own.
    QList<QByteArray> read;
    for (int i = 0; i < names.size(); ++i)
        questions.dialogAnswers.push_back([&](QDialog &) {
            const QByteArray name = encodeFileName(Form2->Panel6->text());
            read << Form2->Edit1->text().toLatin1();
            Form2->Edit1->setText(QStringLiteral("new %1").arg(names.indexOf(name)));
            return int(TForm2::SaveResult);
        });
    Form1->FileListBox1->selectAllFiles();
    Form1->Button7->click();

    QCOMPARE(questions.criticals, QStringList());
    QCOMPARE(read.size(), names.size());
    for (int i = 0; i < names.size(); ++i)
        QCOMPARE(titleOf(readRaw(folder.path(), names[i])), "new " + QByteArray::number(i));
    QCOMPARE(lostOrChanged(before, snapshot(folder.path())), QString());
}

void TestFaultNames::oddNamesTrimAndRename()
{
    WindowsInFolder folder;
    RemoveContents cleanup(folder.path());
    makeOddFiles(folder.path());
    folder.start();
    const Snapshot original = snapshot(folder.path());
    FakeQuestions questions;

    // Trimming renames the undecodable name keeping its bytes.
    Form1->FileListBox1->selectAllFiles();
    Form1->Button3->click();
    QCOMPARE(questions.criticals, QStringList());
    const Snapshot trimmed = snapshot(folder.path());
    QCOMPARE(lostOrChanged(original, trimmed), QString());
    QVERIFY(trimmed.count("Caf\xE9 Song.mp3"));
    QVERIFY(trimmed.count("Two\nlines.mp3"));
    QCOMPARE(trimmed.at("Caf\xE9 Song.mp3").inode, original.at(notUtf8).inode);
    QCOMPARE(Form1->FileListBox1->count(), int(original.size()));

    // Renaming from the tags gives each file "Artist - tN.mp3" from its own tag.
    Form1->FileListBox1->selectAllFiles();
    Form1->Button6->click();
    QCOMPARE(questions.criticals, QStringList());
    const Snapshot renamed = snapshot(folder.path());
    QCOMPARE(lostOrChanged(original, renamed), QString());
    const QList<QByteArray> names = oddNames();
    for (int i = 0; i < names.size(); ++i) {
        const QByteArray name = "Artist - t" + QByteArray::number(i) + ".mp3";
        QVERIFY2(renamed.count(name), name.constData());
        QCOMPARE(renamed.at(name).inode, original.at(names[i]).inode);
    }
}

void TestFaultNames::oddNamesInPlaylist()
{
    WindowsInFolder folder;
    RemoveContents cleanup(folder.path());
    makeOddFiles(folder.path());
    folder.start();
    FakeQuestions questions;
    questions.saveAnswers = {folder.file("list.m3u")};
    Form1->Button5->click();
    QCOMPARE(questions.criticals, QStringList());

    // Every file once, as its bytes; the names with a line break cannot be a line and are left
    // out.
    QList<QByteArray> expected;
    for (const QByteArray &name : oddNames()) {
        if (!name.contains('\n') && !name.contains('\r'))
            expected << encodeFileName(Form1->DirectoryListBox1->directory()) + '/' + name;
    }
    QList<QByteArray> lines = readRaw(folder.path(), "list.m3u").split('\n');
    QCOMPARE(lines.takeLast(), QByteArray());
    for (QByteArray &line : lines) {
        QVERIFY(line.endsWith('\r'));
        line.chop(1);
    }
    std::sort(lines.begin(), lines.end());
    std::sort(expected.begin(), expected.end());
    QCOMPARE(lines, expected);
}

void TestFaultNames::oddFolderNamesNamePlaylists_data()
{
    QTest::addColumn<bool>("subfolders");
    QTest::newRow("one playlist, proposed name") << false;
    QTest::newRow("one playlist per subfolder") << true;
}

void TestFaultNames::oddFolderNamesNamePlaylists()
{
    // Folders whose names are not valid UTF-8 name their playlists byte for byte; Qt's own
    // decoding would give both the same name, and that of an unrelated file.
    QFETCH(bool, subfolders);
    WindowsInFolder root;
    RemoveContents cleanup(root.path());
    const QByteArray base = QFile::encodeName(root.path());
    const QByteArray lists = base + "/lists";
    const QByteArray music = base + "/music";
    QVERIFY(::mkdir(lists.constData(), 0755) == 0 && ::mkdir(music.constData(), 0755) == 0);
    QVERIFY(writeRaw(decodeFileName(lists), "b\xEF\xBF\xBDr.m3u", "unrelated"));
    const QList<QByteArray> folders = {"b\xE4r", "b\xF6r"};
    for (const QByteArray &name : folders) {
        QVERIFY(::mkdir((music + '/' + name).constData(), 0755) == 0);
        QVERIFY(writeRaw(decodeFileName(music + '/' + name), "song.mp3", mp3()));
    }
    root.start();
    FakeQuestions questions;
    if (subfolders) {
        Form1->DirectoryListBox1->setDirectory(decodeFileName(music));
        questions.directoryAnswers = {decodeFileName(lists)};
        Form1->Button5->click();
    } else {
        for (const QByteArray &name : folders) {
            Form1->DirectoryListBox1->setDirectory(decodeFileName(music + '/' + name));
            // The save dialog's answer as Qt's decoding gives it back.
            questions.saveAnswers = {QString::fromUtf8(lists + '/' + name + ".m3u")};
            Form1->Button5->click();
        }
    }
    QCOMPARE(questions.criticals, QStringList());
    QCOMPARE(readRaw(decodeFileName(lists), "b\xEF\xBF\xBDr.m3u"), QByteArray("unrelated"));
    for (const QByteArray &name : folders)
        QCOMPARE(readRaw(decodeFileName(lists), name + ".m3u"),
                 music + '/' + name + "/song.mp3\r\n");
}

void TestFaultNames::tagsNeverLeaveTheFolder_data()
{
    QTest::addColumn<QByteArray>("artist");
    QTest::addColumn<QByteArray>("title");
    QTest::newRow("slash") << QByteArray("AC/DC") << QByteArray("Back");
    QTest::newRow("slash in title") << QByteArray("Band") << QByteArray("../../x");
    QTest::newRow("absolute") << QByteArray("/tmp") << QByteArray("x");
    QTest::newRow("dot dot") << QByteArray("..") << QByteArray("..");
    QTest::newRow("dot") << QByteArray(".") << QByteArray(".");
    QTest::newRow("line break") << QByteArray("a\nb") << QByteArray("c\rd");
    QTest::newRow("control characters") << QByteArray("a\x01\x1b[2J") << QByteArray("\x7f\x08t");
    QTest::newRow("NUL inside") << QByteArray("a\0b", 3) << QByteArray("c");
}

void TestFaultNames::tagsNeverLeaveTheFolder()
{
    QFETCH(QByteArray, artist);
    QFETCH(QByteArray, title);
    WindowsInFolder root;
    const QString inner = root.file("music/inner");
    QVERIFY(QDir().mkpath(inner));
    QVERIFY(writeRaw(inner, "song.mp3", mp3(testfiles::id3v1(title, artist))));
    QVERIFY(writeRaw(inner, "other.mp3", mp3(testfiles::id3v1("Other", "Band"))));
    root.start();
    Form1->DirectoryListBox1->setDirectory(inner);
    QCOMPARE(Form1->FileListBox1->count(), 2);
    const Snapshot before = snapshot(inner);
    FakeQuestions questions;
    Form1->FileListBox1->selectAllFiles();
    Form1->Button6->click();

    QCOMPARE(questions.criticals, QStringList());
    QCOMPARE(entries(root.path()), QList<QByteArray>{"music"});
    QCOMPARE(entries(root.file("music")), QList<QByteArray>{"inner"});
    const Snapshot after = snapshot(inner);
    QCOMPARE(after.size(), std::size_t(2));
    QCOMPARE(lostOrChanged(before, after), QString());
    QVERIFY(after.count("Band - Other.mp3"));
    // No tag hides a file: both are still listed.
    QCOMPARE(Form1->FileListBox1->count(), 2);
}

void TestFaultNames::competingForOneName_data()
{
    // Files (name, tag artist, tag title), the command, and the names afterwards.
    QTest::addColumn<QList<QByteArray>>("files");
    QTest::addColumn<QString>("command");
    QTest::addColumn<QList<QByteArray>>("after");
    QTest::newRow("two files, one name from tags")
        << QList<QByteArray>{"a.mp3", "X", "Y", "b.mp3", "X", "Y"} << "tags"
        << QList<QByteArray>{"X - Y.mp3", "b.mp3"};
    QTest::newRow("a cycle from tags")
        << QList<QByteArray>{"A - B.mp3", "C", "D", "C - D.mp3", "A", "B"} << "tags"
        << QList<QByteArray>{"A - B.mp3", "C - D.mp3"};
    QTest::newRow("name taken by a later file")
        << QList<QByteArray>{"a.mp3", "C", "D", "C - D.mp3", "E", "F"} << "tags"
        << QList<QByteArray>{"E - F.mp3", "a.mp3"};
    QTest::newRow("trimmed name exists")
        << QList<QByteArray>{"01_song.mp3", "", "", "01. Song.mp3", "", ""} << "trim"
        << QList<QByteArray>{"01. Song.mp3", "01_song.mp3"};
    QTest::newRow("two trim to one name")
        << QList<QByteArray>{"01_SONG.mp3", "", "", "01_song.mp3", "", ""} << "trim"
        << QList<QByteArray>{"01. Song.mp3", "01_song.mp3"};
    QTest::newRow("rename A to B while B exists")
        << QList<QByteArray>{"a.mp3", "", "", "b.mp3", "", ""} << "prompt"
        << QList<QByteArray>{"a.mp3", "b.mp3"};
}

void TestFaultNames::competingForOneName()
{
    QFETCH(QList<QByteArray>, files);
    QFETCH(QString, command);
    QFETCH(QList<QByteArray>, after);
    WindowsInFolder folder;
    for (int i = 0; i + 2 < files.size(); i += 3)
        QVERIFY(
            writeRaw(folder.path(), files[i],
                     mp3(files[i + 2].isEmpty() ? QByteArray()
                                                : testfiles::id3v1(files[i + 2], files[i + 1]))));
    folder.start();
    const Snapshot before = snapshot(folder.path());
    FakeQuestions questions;
    // The prompt renames the first file to the second's name, and the second to the first's.
    questions.textAnswers = {QString::fromLatin1(files.value(3)),
                             QString::fromLatin1(files.value(0))};
    Form1->FileListBox1->selectAllFiles();
    if (command == "tags")
        Form1->Button6->click();
    else if (command == "trim")
        Form1->Button3->click();
    else
        Form1->Button4->click();

    QCOMPARE(questions.criticals, QStringList());
    const Snapshot now = snapshot(folder.path());
    QCOMPARE(lostOrChanged(before, now), QString());
    QList<QByteArray> names;
    for (const auto &entry : now)
        names << entry.first;
    QCOMPARE(names, after);
}

QTEST_MAIN(TestFaultNames)
#include "test_faults_names.moc"
