// Undo and redo in the main window: the keys, the notice's buttons and the questions.
#include "test_commands.h"

#include "commandrunner.h"
#include "faulttest.h"
#include "filenames.h"
#include "journal.h"
#include "resultnotice.h"
#include "startup.h"
#include "testfiles.h"
#include "tform1.h"
#include "tform2.h"
#include "uitest.h"
#include "undo.h"

#include <QApplication>
#include <QDir>
#include <QKeyEvent>
#include <QLabel>
#include <QMap>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <fcntl.h>
#include <tuple>

using namespace commandtest;

// Ctrl+Z takes a command back where the file list has the focus, and Ctrl+Shift+Z makes it
// again; in a text field Ctrl+Z stays the field's own.
void TestCommands::undoAndRedoKeys()
{
    StateHome state;
    WindowsInFolder folder;
    QVERIFY(testfiles::writeFile(folder.file("a - b.mp3"), mp3()));
    QVERIFY(testfiles::writeFile(folder.file("c - d.mp3"), mp3(testfiles::id3v1("Old"))));
    folder.start();
    showMainWindow();
    FakeQuestions questions;
    choosePattern(2);
    const QByteArray before = testfiles::readFile(folder.file("a - b.mp3")) +
                              testfiles::readFile(folder.file("c - d.mp3"));
    Form1->Button2Click();
    QTest::mouseClick(Form1->BitBtn1, Qt::LeftButton);
    const QByteArray tagged = testfiles::readFile(folder.file("a - b.mp3")) +
                              testfiles::readFile(folder.file("c - d.mp3"));
    QVERIFY(tagged != before);

    Form1->Edit2->setFocus();
    QTest::keyClick(Form1->Edit2, Qt::Key_Z, Qt::ControlModifier);
    QCOMPARE(testfiles::readFile(folder.file("a - b.mp3")) +
                 testfiles::readFile(folder.file("c - d.mp3")),
             tagged);

    Form1->FileListBox1->setFocus();
    QTest::keyClick(Form1->FileListBox1, Qt::Key_Z, Qt::ControlModifier);
    QCOMPARE(testfiles::readFile(folder.file("a - b.mp3")) +
                 testfiles::readFile(folder.file("c - d.mp3")),
             before);
    QVERIFY(questions.questions.isEmpty());
    QCOMPARE(Form1->lastUndoReport()->command, QStringLiteral("TAG'EM!"));
    QCOMPARE(Form1->lastUndoReport()->done.size(), 2u);
    QCOMPARE(noticeText(), QStringLiteral("Undone TAG'EM!: 2 files restored"));

    QTest::keyClick(Form1->FileListBox1, Qt::Key_Z, Qt::ControlModifier | Qt::ShiftModifier);
    QCOMPARE(testfiles::readFile(folder.file("a - b.mp3")) +
                 testfiles::readFile(folder.file("c - d.mp3")),
             tagged);
    QCOMPARE(noticeText(), QStringLiteral("Redone TAG'EM!: 2 files changed again"));

    // The notice after a command offers "Undo", which takes that command back.
    Form1->MaskEdit1->setText("1999");
    Form1->Button2Click();
    QTest::mouseClick(Form1->BitBtn1, Qt::LeftButton);
    QCOMPARE(noticeText(), QStringLiteral("2 files tagged"));
    ResultNotice &notice = Form1->notice();
    QVERIFY(notice.undoButton()->isVisibleTo(&notice));
    QTest::mouseClick(notice.undoButton(), Qt::LeftButton);
    QCOMPARE(testfiles::readFile(folder.file("a - b.mp3")) +
                 testfiles::readFile(folder.file("c - d.mp3")),
             tagged);
    QVERIFY(questions.criticals.isEmpty());
}

// A command of an earlier run is undone only once the question naming it is answered Yes.
void TestCommands::undoOfAnEarlierRunAsks()
{
    StateHome state;
    WindowsInFolder folder;
    QVERIFY(testfiles::writeFile(folder.file("x.mp3"), mp3()));
    const QByteArray here = encodeFileName(folder.path());
    {
        Journal earlier;
        const std::uint64_t id = earlier.beginCommand(QStringLiteral("Trim filename(s)"), here);
        FileStatus st;
        QCOMPARE(statusAt(AT_FDCWD, (here + "/x.mp3").constData(), false, st), 0);
        earlier.record(id, {JournalRename{here, "y.mp3", "x.mp3", st.identity}});
    }
    folder.start();
    FakeQuestions questions;
    questions.questionAnswers = {false, true};

    QVERIFY(!Form1->Undo());
    QCOMPARE(questions.questions.size(), 1);
    QVERIFY2(questions.questions[0].startsWith("Undo \"Trim filename(s)\", made by an earlier run"),
             qPrintable(questions.questions[0]));
    QCOMPARE(listItems(), QStringList{"x.mp3"});

    QVERIFY(Form1->Undo());
    QCOMPARE(questions.questions.size(), 2);
    QCOMPARE(listItems(), QStringList{"y.mp3"});
}

namespace
{

// Every regular file of a folder: name -> bytes.
QMap<QString, QByteArray> contentsOf(const QString &path)
{
    QMap<QString, QByteArray> contents;
    for (const QString &name : QDir(path).entryList(QDir::Files | QDir::Hidden))
        contents.insert(name, testfiles::readFile(path + u'/' + name));
    return contents;
}

void pressUndoKey(bool redo = false)
{
    Form1->FileListBox1->setFocus();
    QTest::keyClick(Form1->FileListBox1, Qt::Key_Z,
                    redo ? Qt::ControlModifier | Qt::ShiftModifier : Qt::ControlModifier);
}

// The key's release goes to the question's own window, as with a real message box.
void releaseKeyElsewhere()
{
    QKeyEvent release(QEvent::KeyRelease, Qt::Key_Z, Qt::ControlModifier);
    QApplication::sendEvent(Form2, &release);
}

} // namespace

void TestCommands::undoAndRedoNotices_data()
{
    // command: what is done before Ctrl+Z; the notices of the command, of Ctrl+Z and of Redo
    // (on the notice; Ctrl+Shift+Z where there is nothing to redo), and the files undo left.
    QTest::addColumn<QString>("command");
    QTest::addColumn<QString>("done");
    QTest::addColumn<QString>("undone");
    QTest::addColumn<QString>("left");
    QTest::addColumn<QString>("redone");
    QTest::newRow("nothing to undo or redo") << ""
                                             << ""
                                             << "Nothing to undo"
                                             << ""
                                             << "Nothing to redo";
    QTest::newRow("one file tagged, one restored") << "TAG'EM!"
                                                   << "1 file tagged"
                                                   << "Undone TAG'EM!: 1 file restored"
                                                   << ""
                                                   << "Redone TAG'EM!: 1 file changed again";
    // Redo makes what the command made: the answer, not the first 30 characters.
    QTest::newRow("redo after a long-title answer") << "TAG'EM! long title"
                                                    << "1 file tagged"
                                                    << "Undone TAG'EM!: 1 file restored"
                                                    << ""
                                                    << "Redone TAG'EM!: 1 file changed again";
    QTest::newRow("stopped after 7 of 300 files, 7 restored")
        << "TAG'EM! stopped"
        << "7 files tagged, stopped after 7 of 300"
        << "Undone TAG'EM!: 7 files restored"
        << ""
        << "Redone TAG'EM!: 7 files changed again";
    // Only the file undo really left is listed, by bare name: not the one the command left.
    QTest::newRow("rename from tags, one renamed since")
        << "Rename from tags"
        << "2 files renamed, 1 left as it was: no artist or title in the tag (1)"
        << "Undone Rename from tags: 1 file restored, 1 left as it was: no longer there (1)"
        << "Band - Two.mp3: no longer there"
        << "Redone Rename from tags: 1 file changed again";
}

void TestCommands::undoAndRedoNotices()
{
    QFETCH(QString, command);
    QFETCH(QString, done);
    QFETCH(QString, undone);
    QFETCH(QString, left);
    QFETCH(QString, redone);
    StateHome state;
    WindowsInFolder folder;
    const bool stopped = command == "TAG'EM! stopped";
    if (command == "TAG'EM!") {
        QVERIFY(testfiles::writeFile(folder.file("Band - Song.mp3"), mp3(testfiles::id3v1("Old"))));
    } else if (command == "TAG'EM! long title") {
        QVERIFY(testfiles::writeFile(folder.file("Band - A Song Title Of Thirty-One Chars.mp3"),
                                     mp3(testfiles::id3v1("Old"))));
    } else if (stopped) {
        for (int i = 1; i <= 300; ++i)
            QVERIFY(testfiles::writeFile(
                folder.file(QStringLiteral("Band - Song %1.mp3").arg(i, 3, 10, QChar(u'0'))),
                mp3(i % 2 ? testfiles::id3v1("Old") : QByteArray())));
    } else if (command == "Rename from tags") {
        QVERIFY(testfiles::writeFile(folder.file("01.mp3"), mp3(testfiles::id3v1("One", "Band"))));
        QVERIFY(testfiles::writeFile(folder.file("02.mp3"), mp3()));
        QVERIFY(testfiles::writeFile(folder.file("03.mp3"), mp3(testfiles::id3v1("Two", "Band"))));
    }
    folder.start();
    showMainWindow();
    FakeQuestions questions;
    Form1->commandRunner().setTurnInterval(0);
    Form1->commandRunner().setProgressDelay(0);
    const QMap<QString, QByteArray> before = contentsOf(folder.path());
    choosePattern(2);
    Form1->FileListBox1->selectAllFiles();
    if (command == "TAG'EM! long title") {
        Form1->CheckBox1->setChecked(true);
        questions.dialogAnswers = {[](QDialog &) {
            Form2->Edit1->setText("Short");
            return int(TForm2::SaveResult);
        }};
    }
    if (stopped) {
        Form1->commandRunner().setProgressHook([](int visited) {
            if (visited == 7)
                QTest::keyClick(Form1->FileListBox1, Qt::Key_Escape);
        });
    }
    if (command.startsWith("TAG'EM!"))
        QTest::mouseClick(Form1->BitBtn1, Qt::LeftButton);
    else if (command == "Rename from tags")
        QTest::mouseClick(Form1->Button6, Qt::LeftButton);
    Form1->commandRunner().setProgressHook({});
    QCOMPARE(noticeText(), done);
    QMap<QString, QByteArray> made = contentsOf(folder.path());
    QMap<QString, QByteArray> expectUndone = before;
    if (command == "TAG'EM! long title")
        QCOMPARE(tagOf(folder.file("Band - A Song Title Of Thirty-One Chars.mp3")).mid(3, 30),
                 field("Short", 30));
    if (command == "Rename from tags") {
        // Renamed since by another program: undo leaves it.
        QVERIFY(QFile::rename(folder.file("Band - Two.mp3"), folder.file("moved.mp3")));
        made.insert("moved.mp3", made.take("Band - Two.mp3"));
        expectUndone.insert("moved.mp3", expectUndone.take("03.mp3"));
    }

    pressUndoKey();
    QCOMPARE(noticeText(), undone);
    QCOMPARE(Form1->notice().detailsList()->text(), left);
    QCOMPARE(contentsOf(folder.path()), expectUndone);

    QPushButton *redo = Form1->notice().undoButton();
    if (redone.startsWith("Nothing")) {
        QVERIFY(!redo->isVisibleTo(&Form1->notice()));
        pressUndoKey(true);
    } else {
        // The notice after undo offers "Redo", which makes the command again.
        QVERIFY(redo->isVisibleTo(&Form1->notice()));
        QCOMPARE(redo->text(), QStringLiteral("Redo"));
        QTest::mouseClick(redo, Qt::LeftButton);
    }
    QCOMPARE(noticeText(), redone);
    QCOMPARE(contentsOf(folder.path()), made);
    QVERIFY(questions.questions.isEmpty());
    QVERIFY(questions.criticals.isEmpty());
}

void TestCommands::undoAsksOncePerKey_data()
{
    // madeBy: "an earlier run" (two commands of it in the journal, in the folder shown, which the
    // question does not name) or "another folder" (this run's command in a subfolder, the window
    // back in the folder above, which it names); the question's start ("%1" the folder) and end.
    QTest::addColumn<QString>("madeBy");
    QTest::addColumn<bool>("yes");
    QTest::addColumn<QString>("start");
    QTest::addColumn<QString>("end");
    const QString earlier = "Undo \"Rename from tags\", made by an earlier run of Trackling on";
    const QString other = "Undo \"TAG'EM!\" in %1/other, made in this window";
    QTest::newRow("earlier run, No") << "an earlier run" << false << earlier << "(1 file)?";
    QTest::newRow("earlier run, Yes") << "an earlier run" << true << earlier << "(1 file)?";
    QTest::newRow("another folder, No") << "another folder" << false << other << "(2 files)?";
    QTest::newRow("another folder, Yes") << "another folder" << true << other << "(2 files)?";
}

// One question per press of Ctrl+Z, naming the command, its folder and how many files; Yes
// takes that command back and asks nothing about the one before it.
void TestCommands::undoAsksOncePerKey()
{
    QFETCH(QString, madeBy);
    QFETCH(bool, yes);
    QFETCH(QString, start);
    QFETCH(QString, end);
    StateHome state;
    WindowsInFolder folder;
    const QString other = folder.file("other");
    QVERIFY(QDir().mkpath(other));
    const QByteArray here = encodeFileName(folder.path());
    if (madeBy == "an earlier run") {
        QVERIFY(testfiles::writeFile(folder.file("q.mp3"), mp3()));
        QVERIFY(testfiles::writeFile(folder.file("x.mp3"), mp3()));
        Journal earlier;
        for (const auto &[name, from, to] : {std::tuple{"Trim filename(s)", "p.mp3", "q.mp3"},
                                             std::tuple{"Rename from tags", "y.mp3", "x.mp3"}}) {
            const std::uint64_t id = earlier.beginCommand(QString::fromLatin1(name), here);
            FileStatus st;
            QCOMPARE(statusAt(AT_FDCWD, (here + '/' + to).constData(), false, st), 0);
            earlier.record(id, {JournalRename{here, from, to, st.identity}});
        }
    } else {
        QVERIFY(testfiles::writeFile(folder.file("Band - Here.mp3"), mp3()));
        for (const char *name : {"Band - One.mp3", "Band - Two.mp3"})
            QVERIFY(testfiles::writeFile(other + u'/' + QLatin1String(name), mp3()));
    }
    folder.start();
    showMainWindow();
    FakeQuestions questions;
    if (madeBy == "another folder") {
        choosePattern(2);
        // An older command here, then the one in the subfolder.
        Form1->FileListBox1->selectAllFiles();
        QTest::mouseClick(Form1->BitBtn1, Qt::LeftButton);
        Form1->DirectoryListBox1->setDirectory(other);
        Form1->FileListBox1->selectAllFiles();
        QTest::mouseClick(Form1->BitBtn1, Qt::LeftButton);
        QCOMPARE(noticeText(), QStringLiteral("2 files tagged"));
        Form1->DirectoryListBox1->setDirectory(folder.path());
    }
    const QMap<QString, QByteArray> here0 = contentsOf(folder.path());
    const QMap<QString, QByteArray> other0 = contentsOf(other);
    questions.questionAnswers = {yes, yes};
    questions.whileAsking = releaseKeyElsewhere;

    pressUndoKey();

    QCOMPARE(questions.questions.size(), 1);
    const QString asked = questions.questions[0];
    const QString expected = start.contains(u"%1") ? start.arg(folder.path()) : start;
    QVERIFY2(asked.startsWith(expected) && asked.endsWith(end), qPrintable(asked));
    QCOMPARE(contentsOf(folder.path()).keys(),
             yes && madeBy == "an earlier run" ? (QStringList{"q.mp3", "y.mp3"}) : here0.keys());
    if (madeBy == "another folder") {
        QCOMPARE(contentsOf(folder.path()), here0); // the older command stays
        QCOMPARE(contentsOf(other) == other0, !yes);
        if (yes) {
            for (const QByteArray &bytes : contentsOf(other))
                QCOMPARE(bytes, mp3());
        }
    }
    QCOMPARE(noticeText().startsWith(QStringLiteral("Undone ")), yes);
    QVERIFY(questions.criticals.isEmpty());
}

void TestCommands::commandsWithoutJournal_data()
{
    // The state folder: "immutable" (an empty folder no one may write) or "file" (a regular
    // file); the reason the journal gives.
    QTest::addColumn<QString>("stateFolder");
    QTest::addColumn<QString>("reason");
    QTest::newRow("immutable empty folder") << "immutable"
                                            << "File access denied.";
    QTest::newRow("a regular file") << "file"
                                    << "Invalid filename.";
}

// A command whose changes cannot be recorded runs and says so, without Undo; Ctrl+Z and
// Ctrl+Shift+Z say why there is nothing to take back.
void TestCommands::commandsWithoutJournal()
{
    QFETCH(QString, stateFolder);
    QFETCH(QString, reason);
    QTemporaryDir scratch;
    const QByteArray base = QFile::encodeName(scratch.filePath("state"));
    Immutable immutable;
    if (stateFolder == "immutable") {
        QVERIFY(QDir().mkpath(scratch.filePath("state")));
        if (!immutable.set(base))
            QSKIP("the file system or the privileges refuse the immutable flag");
    } else {
        QVERIFY(testfiles::writeFile(scratch.filePath("state"), "not a folder"));
    }
    StateHome state(base);
    WindowsInFolder folder;
    QVERIFY(testfiles::writeFile(folder.file("Band - Song.mp3"), mp3()));
    folder.start();
    showMainWindow();
    FakeQuestions questions;
    choosePattern(2);
    Form1->FileListBox1->selectAllFiles();

    QTest::mouseClick(Form1->BitBtn1, Qt::LeftButton);

    const QString journal = QString::fromUtf8(base) + "/trackling";
    QString why = reason;
    why.chop(1);
    QCOMPARE(noticeText(), "1 file tagged; not recorded: the undo journal in " + journal +
                               " cannot be written: " + why);
    QVERIFY(!Form1->notice().undoButton()->isVisibleTo(&Form1->notice()));
    QCOMPARE(tagOf(folder.file("Band - Song.mp3")).mid(3, 4), QByteArray("Song"));

    const QString explained = "The undo journal in " + journal + " cannot be written: " + reason;
    pressUndoKey();
    QCOMPARE(noticeText(), "Nothing to undo: " + explained);
    QCOMPARE(tagOf(folder.file("Band - Song.mp3")).mid(3, 4), QByteArray("Song"));
    pressUndoKey(true);
    QCOMPARE(noticeText(), "Nothing to redo: " + explained);
    QVERIFY(questions.criticals.isEmpty());
}
