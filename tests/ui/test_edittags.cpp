// "Edit tag(s)" end to end on files the tests make, with the dialog answered by a script; and the
// real dialog's keys and buttons.
#include "edittags.h"
#include "fieldstate.h"
#include "id3v2bytes.h"
#include "resultnotice.h"
#include "startup.h"
#include "testfiles.h"
#include "tform1.h"
#include "tform2.h"
#include "uitest.h"

#include <QApplication>
#include <QFile>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QTest>
#include <QTextBlock>
#include <QTimer>

class TestEditTags : public QObject
{
    Q_OBJECT
private slots:
    void threeFilesWithCancelInTheMiddle();
    void fileWithoutTag();
    void saveWritesTag();
    void variableBitrateWithoutHeaderCounted();
    void id3v2InformationLines_data();
    void id3v2InformationLines();
    void id3v2LineFitsTheInformationBox_data();
    void id3v2LineFitsTheInformationBox();
    void readFailureEndsWalk();
    void restoresRestrictedDialog();
    void doubleClickEditsClickedFile();
    void enterInFileListEditsSelection();
    void fileNameLine_data();
    void fileNameLine();
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
    // Thirty characters at most; a character outside code page 1252 is stored as "?".
    QCOMPARE(tagOf(folder.file("song.mp3")),
             testfiles::id3v1("?\xF3?w caf\xE9 and more than thirty", "New Artist", "", "20  ",
                              "ok", 8));
}

void TestEditTags::variableBitrateWithoutHeaderCounted()
{
    // One file shown at a time: its frames are counted when no VBR header gives the length.
    // 100 frames at 128 kbit and 100 at 320 kbit last 5.2 s; the first frame's rate says 9 s.
    WindowsInFolder folder;
    const QByteArray audio =
        testfiles::frames("\xFF\xFB\x90\x44", 100) + testfiles::frames("\xFF\xFB\xE0\x44", 100);
    QVERIFY(testfiles::writeFile(folder.file("vbr.mp3"), audio + testfiles::id3v1("V")));
    folder.start();
    FakeQuestions questions;
    QStringList memo;
    questions.dialogAnswers = {[&](QDialog &) {
        memo = Form2->Memo1->toPlainText().split(u'\n');
        return 2;
    }};
    Form1->FileListBox1->setSelected(0, true);
    Form1->Button7->click();
    QVERIFY(questions.criticals.isEmpty());
    QVERIFY2(memo.contains(QStringLiteral("Length: 0:05 minutes")), qPrintable(memo.join('|')));
    QVERIFY2(memo.contains(QStringLiteral("Bitrate: 224 kbit (VBR)")), qPrintable(memo.join('|')));
}

namespace
{

// A version 2.major text frame in UTF-16 (with a byte order mark).
QByteArray utf16Frame(int major, const QByteArray &id, const QString &text)
{
    QByteArray body("\x01\xFF\xFE", 3);
    for (const QChar c : text)
        body += char(c.unicode() & 0xFF) + QByteArray(1, char(c.unicode() >> 8));
    return frame(major, id, body);
}

QByteArray commentFrame(const QByteArray &latin1)
{
    return frame(3, "COMM", QByteArray("\0eng\0", 5) + latin1);
}

// A version 2.3 tag of the frames, with padding.
QByteArray tag3(const QByteArray &frames)
{
    return tag(3, frames + QByteArray(200, '\0'));
}

} // namespace

void TestEditTags::id3v2InformationLines_data()
{
    // The file's ID3v2 tag and ID3v1 tag (either may be missing); whether the ID3v2 line says
    // "differs from ID3v1", and the line telling of fields made from the ID3v2 tag.
    QTest::addColumn<QByteArray>("id3v2");
    QTest::addColumn<QByteArray>("id3v1");
    QTest::addColumn<bool>("differs");
    QTest::addColumn<QString>("filled");
    const QByteArray songBand = textFrame(3, "TIT2", "Song") + textFrame(3, "TPE1", "Band");
    const QByteArray long35 = "A Title Of Thirty-Five Characters!!";
    QTest::newRow("in step") << tag3(songBand) << testfiles::id3v1("Song", "Band") << false << "";
    QTest::newRow("title differs")
        << tag3(textFrame(3, "TIT2", "Old Song") + textFrame(3, "TPE1", "Band"))
        << testfiles::id3v1("Song", "Band") << true << "";
    QTest::newRow("ID3v1 holds the first 30 of a long title")
        << tag3(textFrame(3, "TIT2", long35)) << testfiles::id3v1(long35.left(30)) << false << "";
    QTest::newRow("ID3v1 holds ? for a character outside its set")
        << tag3(utf16Frame(3, "TIT2", QString::fromUtf8("Łódź")))
        << testfiles::id3v1("?\xF3"
                            "d?")
        << false << "";
    QTest::newRow("an empty ID3v1 field says nothing")
        << tag3(songBand + textFrame(3, "TALB", "Album")) << testfiles::id3v1("Song", "Band")
        << false << "";
    QTest::newRow("genre differs")
        << tag3(songBand + textFrame(3, "TCON", "Rock"))
        << testfiles::id3v1("Song", "Band", "", "    ", "", 8) << true << "";
    QTest::newRow("comment differs")
        << tag3(songBand + commentFrame("Live"))
        << testfiles::id3v1("Song", "Band", "", "    ", "Studio") << true << "";
    QTest::newRow("2.4 year differs")
        << tag(4, textFrame(4, "TIT2", "Song") + textFrame(4, "TDRC", "2001-05-01"))
        << testfiles::id3v1("Song", "", "", "1999") << true << "";
    QTest::newRow("no ID3v2 tag") << QByteArray() << testfiles::id3v1("Song") << false << "";
    QTest::newRow("no ID3v1 tag: fields from ID3v2")
        << tag3(songBand) << QByteArray() << false << "Fields from the ID3v2 tag";
    // 30 characters and blanks after them lose nothing.
    QTest::newRow("no ID3v1 tag: title, album cut")
        << tag3(textFrame(3, "TIT2", long35) + textFrame(3, "TPE1", long35.left(30) + "   ") +
                textFrame(3, "TALB", long35.left(31)) + commentFrame("Short"))
        << QByteArray() << false << "Fields from the ID3v2 tag; title, album cut to 30 characters";
    QTest::newRow("no ID3v1 tag: comment cut")
        << tag3(commentFrame(long35)) << QByteArray() << false
        << "Fields from the ID3v2 tag; comment cut to 30 characters";
    QTest::newRow("no ID3v1 tag, nothing in ID3v2") << tag3({}) << QByteArray() << false << "";
}

// The information box tells whether the ID3v2 tag, which players show, says otherwise than the
// ID3v1 tag, and when the fields shown came from the ID3v2 tag, which of them were cut.
void TestEditTags::id3v2InformationLines()
{
    QFETCH(QByteArray, id3v2);
    QFETCH(QByteArray, id3v1);
    QFETCH(bool, differs);
    QFETCH(QString, filled);
    WindowsInFolder folder;
    QVERIFY(testfiles::writeFile(folder.file("song.mp3"), id3v2 + mp3(id3v1)));
    folder.start();
    FakeQuestions questions;
    QStringList memo;
    questions.dialogAnswers = {[&](QDialog &) {
        memo = Form2->Memo1->toPlainText().split(u'\n');
        return 2;
    }};
    Form1->FileListBox1->setSelected(0, true);
    Form1->Button7->click();
    QVERIFY(questions.criticals.isEmpty());
    QString line;
    if (!id3v2.isEmpty()) {
        line = QStringLiteral("ID3v2.%1: %2 bytes").arg(int(id3v2[3])).arg(id3v2.size());
        if (differs)
            line += QStringLiteral(", differs from ID3v1");
    }
    QCOMPARE(memo.size(), filled.isEmpty() ? 7 : 8);
    QCOMPARE(memo[2], line);
    if (!filled.isEmpty())
        QCOMPARE(memo[3], filled);
    QVERIFY(memo.last().startsWith(QStringLiteral("Channelmode")));
}

void TestEditTags::id3v2LineFitsTheInformationBox_data()
{
    // The ID3v2 tag's declared size; whether it differs from the ID3v1 tag, or the file has no
    // ID3v1 tag and the fields come from the ID3v2 tag, two of them cut.
    QTest::addColumn<int>("size");
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QString>("line");
    QTest::newRow("ordinary tag") << 12345 << "in step"
                                  << "ID3v2.3: 12,345 bytes";
    QTest::newRow("cover art, differs") << 2012345 << "differs"
                                        << "ID3v2.3: 2,012,345 bytes, differs from ID3v1";
    QTest::newRow("largest read, differs") << 16 * 1024 * 1024 << "differs"
                                           << "ID3v2.3: 16,777,216 bytes, differs from ID3v1";
    QTest::newRow("largest read, fields from it cut") << 16 * 1024 * 1024 << "filled"
                                                      << "ID3v2.3: 16,777,216 bytes";
}

// Every line of the information box can be read: the ID3v2 line and the line after it at first
// sight, the rest where the box scrolls, which it does only where they do not fit.
void TestEditTags::id3v2LineFitsTheInformationBox()
{
    QFETCH(int, size);
    QFETCH(QString, kind);
    QFETCH(QString, line);
    WindowsInFolder folder;
    const QByteArray long35 = "A Title Of Thirty-Five Characters!!";
    QByteArray frames;
    if (kind == "in step")
        frames = textFrame(3, "TIT2", "Title") + textFrame(3, "TPE1", "Artist") +
                 textFrame(3, "TYER", "1998") + textFrame(3, "TCON", "Jazz");
    else if (kind == "filled")
        frames = textFrame(3, "TIT2", long35) + textFrame(3, "TPE1", "Artist") +
                 textFrame(3, "TALB", long35);
    const QByteArray id3v2 = tag(3, frames + QByteArray(size - 10 - frames.size(), '\0'));
    QCOMPARE(id3v2.size(), size);
    const QByteArray id3v1 =
        kind == "filled" ? QByteArray() : testfiles::id3v1("Title", "Artist", "", "1998", "", 8);
    // Joint stereo: the longest channel mode line, on two lines.
    const QByteArray audio = testfiles::frames("\xFF\xFB\x90\x64", 20);
    QVERIFY(testfiles::writeFile(folder.file("song.mp3"), id3v2 + audio + id3v1));
    folder.start();
    FakeQuestions questions;
    QStringList memo;
    bool firstSeen = false, allSeen = false, lastSeen = false, barShown = false;
    questions.dialogAnswers = {[&](QDialog &) {
        Form2->show();
        QApplication::processEvents();
        QPlainTextEdit *box = Form2->Memo1;
        memo = box->toPlainText().split(u'\n');
        // The block after the ID3v2 line, at first sight.
        QTextCursor third(box->document()->findBlockByNumber(3));
        third.movePosition(QTextCursor::EndOfBlock);
        firstSeen = box->viewport()->rect().contains(box->cursorRect(third));
        QTextCursor end(box->document());
        end.movePosition(QTextCursor::End);
        allSeen = box->viewport()->rect().contains(box->cursorRect(end));
        QScrollBar *bar = box->verticalScrollBar();
        barShown = bar->isVisible();
        bar->setValue(bar->maximum());
        lastSeen = box->viewport()->rect().contains(box->cursorRect(end));
        // TRACKLING_SHOTS=FOLDER saves a picture of each row's dialog there, to look at.
        if (qEnvironmentVariableIsSet("TRACKLING_SHOTS")) {
            bar->setValue(0);
            Form2->grab().save(qEnvironmentVariable("TRACKLING_SHOTS") + u'/' +
                               QString::fromLatin1(QTest::currentDataTag()) + ".png");
        }
        Form2->hide();
        return 2;
    }};
    Form1->FileListBox1->setSelected(0, true);
    Form1->Button7->click();
    QVERIFY(questions.criticals.isEmpty());
    QCOMPARE(memo[2], line);
    QVERIFY(firstSeen);
    QVERIFY(lastSeen);
    // A scroll bar exactly where the lines do not all fit.
    QCOMPARE(barShown, !allSeen);
    QCOMPARE(barShown, kind == "filled");
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

void TestEditTags::enterInFileListEditsSelection()
{
    WindowsInFolder folder;
    for (const char *name : {"a.mp3", "b.mp3", "c.mp3"})
        QVERIFY(testfiles::writeFile(folder.file(name), mp3()));
    folder.start();
    showMainWindow();
    QVERIFY(QTest::qWaitForWindowExposed(Form1));
    FakeQuestions questions;
    QList<Shown> shown;
    questions.dialogAnswers = {answer(shown, 2), answer(shown, 2)};
    TFileListBox *list = Form1->FileListBox1;
    list->setSelected(0, true);
    list->setSelected(2, true);
    list->setFocus();
    QTest::keyClick(list, Qt::Key_Return);
    QCOMPARE(shown.size(), 2);
    QCOMPARE(shown[1].panel, QStringLiteral("c.mp3"));
    QCOMPARE(listSelection(), std::vector<bool>(3, false));
}

void TestEditTags::fileNameLine_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<bool>("elided");
    const QString tail = QStringLiteral(" and a title far too long for the line of the dialog");
    QTest::newRow("ampersand") << "Rock & Roll.mp3" << false;
    QTest::newRow("markup") << "<b>Loud &amp; Clear.mp3" << false;
    QTest::newRow("long") << "01. Start" + tail + tail + ".mp3" << true;
    QTest::newRow("long markup") << "<i>Start<br>" + tail + tail + ".mp3" << true;
}

void TestEditTags::fileNameLine()
{
    QFETCH(QString, name);
    QFETCH(bool, elided);
    WindowsInFolder folder;
    QVERIFY(testfiles::writeFile(folder.file(name), mp3()));
    folder.start();
    FakeQuestions questions;
    bool plain = false;
    QString shownLine, tip;
    questions.dialogAnswers = {[&](QDialog &) {
        auto *line = Form2->Panel6;
        plain = drawnAsPlainText(line, elided ? line->shownText() : name);
        shownLine = line->shownText();
        tip = toolTipAt(line, line->rect().center());
        return 2;
    }};
    Form1->FileListBox1->setSelected(0, true);
    Form1->Button7->click();
    QVERIFY(plain);
    QCOMPARE(Form2->Panel6->text(), name);
    if (elided) {
        // Elided in the middle: the start and the extension stay; the tooltip has it all.
        QCOMPARE(shownLine.left(5), name.left(5));
        QVERIFY(shownLine.endsWith(QStringLiteral(".mp3")));
        QVERIFY(shownLine.size() < name.size());
        QCOMPARE(tip, name);
    } else {
        QCOMPARE(shownLine, name);
        QCOMPARE(tip, QString());
    }
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
    QTest::newRow("Enter on a focused Cancel") << "enter-cancel" << 2;
    QTest::newRow("Enter on a focused Save") << "enter-save" << 1;
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
        else if (action.startsWith("enter-")) {
            QPushButton *button = action == "enter-save" ? Form2->Button1 : Form2->Button2;
            button->setFocus(Qt::TabFocusReason);
            QTest::keyClick(button, Qt::Key_Return);
        } else
            QTest::mouseClick(Form2->Button2, Qt::LeftButton);
        if (Form2->isVisible())
            Form2->done(99);
    });
    QCOMPARE(Form2->exec(), result);
}

QTEST_MAIN(TestEditTags)
#include "test_edittags.moc"
