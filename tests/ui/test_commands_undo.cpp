// Undo and redo in the main window: the keys, the notice's buttons and the questions.
#include "test_commands.h"

#include "filenames.h"
#include "journal.h"
#include "resultnotice.h"
#include "startup.h"
#include "testfiles.h"
#include "tform1.h"
#include "uitest.h"
#include "undo.h"

#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <fcntl.h>

using namespace commandtest;

// Ctrl+Z takes a command back where the file list has the focus, and Ctrl+Shift+Z makes it
// again; in a text field Ctrl+Z stays the field's own.
void TestCommands::undoAndRedoKeys()
{
    QTemporaryDir state;
    qputenv("XDG_STATE_HOME", QFile::encodeName(state.path()));
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
    qunsetenv("XDG_STATE_HOME");
}

// A command of an earlier run is undone only once the question naming it is answered Yes.
void TestCommands::undoOfAnEarlierRunAsks()
{
    QTemporaryDir state;
    qputenv("XDG_STATE_HOME", QFile::encodeName(state.path()));
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
    QVERIFY2(questions.questions[0].startsWith("Undo \"Trim filename(s)\" in " + folder.path() +
                                               ", made by an earlier run"),
             qPrintable(questions.questions[0]));
    QCOMPARE(listItems(), QStringList{"x.mp3"});

    QVERIFY(Form1->Undo());
    QCOMPARE(questions.questions.size(), 2);
    QCOMPARE(listItems(), QStringList{"y.mp3"});
    qunsetenv("XDG_STATE_HOME");
}
