// "Edit tag(s)" end to end on files the tests make, with the dialog answered by a script; and the
// real dialog's keys and buttons.
#include "edittags.h"
#include "fieldstate.h"
#include "resultnotice.h"
#include "startup.h"
#include "testfiles.h"
#include "tform1.h"
#include "tform2.h"
#include "uitest.h"

#include <QApplication>
#include <QFile>
#include <QTest>
#include <QTimer>

class TestEditTags : public QObject
{
    Q_OBJECT
private slots:
    void threeFilesWithCancelInTheMiddle();
    void fileWithoutTag();
    void saveWritesTag();
    void readFailureEndsWalk();
    void restoresRestrictedDialog();
    void doubleClickEditsClickedFile();
    void yearPositions_data();
    void yearPositions();
    void dialogKeys_data();
    void dialogKeys();
};

namespace
{

struct Shown {
    QString caption, panel, title;
    std::vector<bool> selection;
};

// An answer that records what the dialog shows and the list's selection, optionally edits the
// title, and closes with result.
std::function<int(QDialog &)> answer(QList<Shown> &shown, int result, QString newTitle = {})
{
    return [&shown, result, newTitle](QDialog &d) {
        auto &dialog = static_cast<TForm2 &>(d);
        // What the list shows: its selection model, without flushing anything first.
        std::vector<bool> selection;
        for (int row = 0; row < Form1->FileListBox1->count(); ++row)
            selection.push_back(Form1->FileListBox1->selectionModel()->isSelected(
                Form1->FileListBox1->model()->index(row, 0)));
        shown.append(
            {dialog.windowTitle(), dialog.Panel6->text(), dialog.Edit1->text(), selection});
        if (!newTitle.isNull())
            dialog.Edit1->setText(newTitle);
        return result;
    };
}

QByteArray tagOf(const QString &path)
{
    return testfiles::readFile(path).right(128);
}

} // namespace

void TestEditTags::threeFilesWithCancelInTheMiddle()
{
    WindowsInFolder folder;
    for (const char *name : {"a.mp3", "b.mp3", "c.mp3", "d.mp3"})
        QVERIFY(testfiles::writeFile(folder.file(name),
                                     mp3(testfiles::id3v1(QByteArray("Old ") + name[0]))));
    folder.start();
    FakeQuestions questions;
    QList<Shown> shown;
    questions.dialogAnswers = {answer(shown, 1, "New a"), answer(shown, 2, "New b"),
                               answer(shown, 1, "New c")};
    const QByteArray bBefore = testfiles::readFile(folder.file("b.mp3"));
    TFileListBox *list = Form1->FileListBox1;
    for (int row : {0, 1, 2})
        list->setSelected(row, true);

    QTest::mouseClick(Form1->Button7, Qt::LeftButton);

    QCOMPARE(shown.size(), 3);
    const QStringList panels = {shown[0].panel, shown[1].panel, shown[2].panel};
    QCOMPARE(panels, (QStringList{"a.mp3", "b.mp3", "c.mp3"}));
    QCOMPARE(shown[1].caption, QStringLiteral("Edit tag"));
    QCOMPARE(shown[1].title, QStringLiteral("Old b"));
    // Each file is unselected before its dialog appears; the later ones are still selected.
    QCOMPARE(shown[0].selection, std::vector<bool>({false, true, true, false}));
    QCOMPARE(shown[1].selection, std::vector<bool>({false, false, true, false}));
    QCOMPARE(tagOf(folder.file("a.mp3")).mid(3, 30), QByteArray("New a").leftJustified(30, ' '));
    QCOMPARE(testfiles::readFile(folder.file("b.mp3")), bBefore);
    QCOMPARE(tagOf(folder.file("c.mp3")).mid(3, 30), QByteArray("New c").leftJustified(30, ' '));
    QCOMPARE(tagOf(folder.file("d.mp3")).mid(3, 30), QByteArray("Old d").leftJustified(30, ' '));
    QCOMPARE(listSelection(), std::vector<bool>(4, false));
    QVERIFY(questions.criticals.isEmpty());
    QCOMPARE(Form1->notice().text(),
             QStringLiteral("2 files tagged, 1 left as it was: not saved (1)"));
}

void TestEditTags::fileWithoutTag()
{
    WindowsInFolder folder;
    // A file with a tag of genre 17 (Rock) is read first; the untagged one must not inherit it.
    QVERIFY(testfiles::writeFile(folder.file("1.mp3"),
                                 mp3(testfiles::id3v1("Tagged", "Band", "Album", "1999", "", 17))));
    const QByteArray plain = mp3();
    QVERIFY(testfiles::writeFile(folder.file("2.mp3"), plain));
    folder.start();
    FakeQuestions questions;
    QStringList fields;
    int genreIndex = 0;
    questions.dialogAnswers = {[](QDialog &) { return 2; },
                               [&](QDialog &) {
                                   fields << Form2->Edit1->text() << Form2->Edit2->text()
                                          << Form2->Edit3->text() << Form2->MaskEdit1->displayText()
                                          << Form2->Edit4->text();
                                   genreIndex = Form2->ComboBox1->currentIndex();
                                   return 1;
                               }};
    Form1->FileListBox1->selectAllFiles();
    Form1->Button7->click();
    QCOMPARE(fields, (QStringList{"", "", "", "    ", ""}));
    QCOMPARE(genreIndex, -1);
    QCOMPARE(Form2->ComboBox1->currentText(), QString());
    const QByteArray after = testfiles::readFile(folder.file("2.mp3"));
    QCOMPARE(after.size(), plain.size() + 128);
    QCOMPARE(after.left(plain.size()), plain);
    QCOMPARE(after.right(128), testfiles::id3v1("", "", "", "    ", "", 255));
}

void TestEditTags::saveWritesTag()
{
    WindowsInFolder folder;
    const QByteArray data = mp3(testfiles::id3v1("Title", "Artist", "Album", "1998", "Note", 255));
    QVERIFY(testfiles::writeFile(folder.file("song.mp3"), data));
    folder.start();
    FakeQuestions questions;
    QStringList memo;
    int genreShown = 0;
    questions.dialogAnswers = {[&](QDialog &) {
        memo = Form2->Memo1->toPlainText().split(u'\n');
        genreShown = Form2->ComboBox1->currentIndex();
        Form2->Edit1->setText(QString::fromUtf8("Żółw café and more than thirty chars"));
        Form2->Edit2->setText(QStringLiteral("New Artist"));
        Form2->Edit3->clear();
        Form2->MaskEdit1->clear();
        QTest::keyClicks(Form2->MaskEdit1, QStringLiteral("20"));
        Form2->Edit4->setText(QStringLiteral("ok"));
        Form2->ComboBox1->setCurrentIndex(Form2->ComboBox1->findText(QStringLiteral("Jazz")));
        return 1;
    }};
    Form1->FileListBox1->setSelected(0, true);
    Form1->Button7->click();
    QVERIFY(questions.criticals.isEmpty());
    QCOMPARE(memo.size(), 7);
    QCOMPARE(memo[0], QStringLiteral("Size: %1 bytes").arg(data.size()));
    QVERIFY(memo[1].startsWith(QStringLiteral("Length: ")) && memo[1].endsWith(" minutes"));
    QCOMPARE(memo[2], QString());
    QVERIFY(memo[3].contains(QStringLiteral("MPEG")));
    QCOMPARE(genreShown, -1); // genre 255 has no name
    // Thirty characters at most; a character outside Latin-1 is stored as "?".
    QCOMPARE(tagOf(folder.file("song.mp3")),
             testfiles::id3v1("?\xF3?w caf\xE9 and more than thirty", "New Artist", "", "20  ",
                              "ok", 8));
}

void TestEditTags::readFailureEndsWalk()
{
    WindowsInFolder folder;
    for (const char *name : {"a.mp3", "b.mp3", "c.mp3", "d.mp3"})
        QVERIFY(testfiles::writeFile(folder.file(name), mp3(testfiles::id3v1(name))));
    folder.start();
    FakeQuestions questions;
    QList<Shown> shown;
    questions.dialogAnswers = {answer(shown, 2)};
    Form1->FileListBox1->selectAllFiles();
    QVERIFY(QFile::remove(folder.file("b.mp3")));
    Form1->Button7->click();
    QCOMPARE(shown.size(), 1);
    QCOMPARE(shown[0].panel, QStringLiteral("a.mp3"));
    QCOMPARE(questions.criticals, QStringList{"File not found."});
    QCOMPARE(listSelection(), std::vector<bool>({false, false, true, true}));
}

void TestEditTags::restoresRestrictedDialog()
{
    WindowsInFolder folder;
    QVERIFY(testfiles::writeFile(folder.file("a.mp3"), mp3()));
    folder.start();
    // What the title prompt of batch tagging leaves behind.
    Form2->setWindowTitle(QStringLiteral("Song title exceeds 30 characters!"));
    for (QWidget *w :
         {static_cast<QWidget *>(Form2->Edit2), static_cast<QWidget *>(Form2->Edit3),
          static_cast<QWidget *>(Form2->MaskEdit1), static_cast<QWidget *>(Form2->ComboBox1)})
        setFieldEnabled(w, false);
    FakeQuestions questions;
    QString caption;
    bool allNormal = false;
    questions.dialogAnswers = {[&](QDialog &) {
        caption = Form2->windowTitle();
        const QColor field = QApplication::palette().color(QPalette::Active, QPalette::Base);
        allNormal = true;
        for (QWidget *w :
             {static_cast<QWidget *>(Form2->Edit2), static_cast<QWidget *>(Form2->Edit3),
              static_cast<QWidget *>(Form2->MaskEdit1), static_cast<QWidget *>(Form2->ComboBox1)})
            allNormal = allNormal && w->isEnabled() && w->palette().color(QPalette::Base) == field;
        return 2;
    }};
    Form1->FileListBox1->setSelected(0, true);
    Form1->Button7->click();
    QCOMPARE(caption, QStringLiteral("Edit tag"));
    QVERIFY(allNormal);
}

void TestEditTags::doubleClickEditsClickedFile()
{
    WindowsInFolder folder;
    for (const char *name : {"a.mp3", "b.mp3", "c.mp3"})
        QVERIFY(testfiles::writeFile(folder.file(name), mp3()));
    folder.start();
    showMainWindow();
    QVERIFY(QTest::qWaitForWindowExposed(Form1));
    FakeQuestions questions;
    QList<Shown> shown;
    questions.dialogAnswers = {answer(shown, 2)};
    TFileListBox *list = Form1->FileListBox1;
    list->setSelected(0, true);
    list->setSelected(2, true);
    const QPoint at = list->visualRect(list->model()->index(1, 0)).center();
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, at);
    QTest::mouseDClick(list->viewport(), Qt::LeftButton, {}, at);
    QCOMPARE(shown.size(), 1);
    QCOMPARE(shown[0].panel, QStringLiteral("b.mp3"));
    QCOMPARE(listSelection(), std::vector<bool>(3, false));
}

void TestEditTags::yearPositions_data()
{
    QTest::addColumn<QByteArray>("stored");
    QTest::addColumn<QString>("shown");
    QTest::addColumn<QByteArray>("saved");
    QTest::newRow("full") << QByteArray("1998") << "1998" << QByteArray("1998");
    QTest::newRow("first two") << QByteArray("19  ") << "19  " << QByteArray("19  ");
    QTest::newRow("blank") << QByteArray("    ") << "    " << QByteArray("    ");
    QTest::newRow("gap") << QByteArray("1 9 ") << "1 9 " << QByteArray("1 9 ");
    QTest::newRow("letters") << QByteArray("ab12") << "12  " << QByteArray("12  ");
}

void TestEditTags::yearPositions()
{
    QFETCH(QByteArray, stored);
    QFETCH(QString, shown);
    QFETCH(QByteArray, saved);
    WindowsInFolder folder;
    QVERIFY(testfiles::writeFile(folder.file("y.mp3"), mp3(testfiles::id3v1("t", "", "", stored))));
    folder.start();
    FakeQuestions questions;
    QString seen;
    questions.dialogAnswers = {[&](QDialog &) {
        seen = Form2->MaskEdit1->displayText();
        return 1;
    }};
    Form1->FileListBox1->setSelected(0, true);
    Form1->Button7->click();
    QCOMPARE(seen, shown);
    QCOMPARE(tagOf(folder.file("y.mp3")).mid(93, 4), saved);
}

void TestEditTags::dialogKeys_data()
{
    QTest::addColumn<QString>("action");
    QTest::addColumn<int>("result");
    QTest::newRow("Esc") << "esc" << 2;
    QTest::newRow("Shift+Esc") << "shift-esc" << 2;
    QTest::newRow("Enter in a field") << "enter" << 1;
    QTest::newRow("close box") << "close" << 2;
    QTest::newRow("Save") << "save" << 1;
    QTest::newRow("Cancel") << "cancel" << 2;
}

void TestEditTags::dialogKeys()
{
    QFETCH(QString, action);
    QFETCH(int, result);
    WindowsInFolder folder;
    folder.start();
    QTimer::singleShot(0, Form2, [action] {
        QVERIFY(Form2->isVisible());
        Form2->Edit3->setFocus();
        if (action == "esc")
            QTest::keyClick(Form2->Edit3, Qt::Key_Escape);
        else if (action == "shift-esc")
            QTest::keyClick(Form2->Edit3, Qt::Key_Escape, Qt::ShiftModifier);
        else if (action == "enter")
            QTest::keyClick(Form2->Edit3, Qt::Key_Return);
        else if (action == "close")
            Form2->close();
        else if (action == "save")
            QTest::mouseClick(Form2->Button1, Qt::LeftButton);
        else
            QTest::mouseClick(Form2->Button2, Qt::LeftButton);
        if (Form2->isVisible())
            Form2->done(99);
    });
    QCOMPARE(Form2->exec(), result);
}

QTEST_MAIN(TestEditTags)
#include "test_edittags.moc"
