// The main window's batch commands run through its buttons (and F2) on files in a temporary
// folder, with every question answered by a script: tags from file names and its title prompt,
// the folder-name guess, tidying, both renames, playlists and preview playback.
#include "test_commands.h"

#include "commandrunner.h"
#include "fakeplayer.h"
#include "id3v2reader.h"
#include "previewplayer.h"
#include "resultnotice.h"
#include "startup.h"
#include "testfiles.h"
#include "tform1.h"
#include "tform2.h"
#include "uitest.h"

#include <QAccessible>
#include <QApplication>
#include <QDir>
#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>
#include <sys/stat.h>
#include <tuple>

using namespace commandtest;

namespace commandtest
{

QByteArray tagOf(const QString &path)
{
    return testfiles::readFile(path).right(128);
}

QByteArray field(const QByteArray &text, int width)
{
    return text.leftJustified(width, ' ');
}

QStringList listItems()
{
    QStringList items;
    for (int row = 0; row < Form1->FileListBox1->count(); ++row)
        items << Form1->FileListBox1->itemText(row);
    return items;
}

void choosePattern(int pattern)
{
    QTest::mouseClick(Form1->RadioGroup1->button(pattern), Qt::LeftButton, {}, QPoint(5, 8));
    QCOMPARE(Form1->RadioGroup1->itemIndex(), pattern);
}

QString noticeText()
{
    return Form1->notice().text();
}

QStringList selectedItems()
{
    QStringList names;
    const std::vector<bool> selected = listSelection();
    for (int row = 0; row < int(selected.size()); ++row) {
        if (selected[std::size_t(row)])
            names << Form1->FileListBox1->itemText(row);
    }
    return names;
}

QStringList sortedEntries(const QString &path)
{
    return QDir(path).entryList(QDir::Files | QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name);
}

QByteArray id3v2Tag(const QByteArray &title, const QByteArray &artist)
{
    auto frame = [](const char *id, const QByteArray &text) {
        return QByteArray(id) + QByteArray(3, '\0') + char(text.size() + 1) + QByteArray(3, '\0') +
               text;
    };
    const QByteArray body = frame("TIT2", title) + frame("TPE1", artist) + QByteArray(20, '\0');
    return QByteArray("ID3\x03\0\0\0\0\0", 9) + char(body.size()) + body;
}

StateHome::StateHome() : StateHome(QByteArray()) {}

StateHome::StateHome(const QByteArray &path)
    : m_path(path.isNull() ? QFile::encodeName(m_dir.path()) : path),
      m_old(qgetenv("XDG_STATE_HOME")), m_had(qEnvironmentVariableIsSet("XDG_STATE_HOME"))
{
    qputenv("XDG_STATE_HOME", m_path);
}

StateHome::~StateHome()
{
    if (m_had)
        qputenv("XDG_STATE_HOME", m_old);
    else
        qunsetenv("XDG_STATE_HOME");
}

} // namespace commandtest

void TestCommands::tagsFromNames_data()
{
    QTest::addColumn<int>("pattern");
    QTest::addColumn<QString>("name");
    QTest::addColumn<QByteArray>("title");
    QTest::addColumn<QByteArray>("artist");
    QTest::newRow("xx. Song") << 0 << "01. Song.mp3" << QByteArray("Song") << QByteArray("Field");
    QTest::newRow("xx. Artist - Song")
        << 1 << "01. Artist - Song.MP3" << QByteArray("Song") << QByteArray("Artist");
    QTest::newRow("Artist - Song")
        << 2 << "A - B - C.mp3" << QByteArray("B - C") << QByteArray("A");
}

void TestCommands::tagsFromNames()
{
    QFETCH(int, pattern);
    QFETCH(QString, name);
    QFETCH(QByteArray, title);
    QFETCH(QByteArray, artist);
    WindowsInFolder folder;
    QVERIFY(testfiles::writeFile(folder.file(name), mp3(testfiles::id3v1("Old"))));
    const QByteArray untouched = mp3();
    QVERIFY(testfiles::writeFile(folder.file("zz unselected.mp3"), untouched));
    folder.start();
    FakeQuestions questions;
    choosePattern(pattern);
    if (pattern == 0)
        Form1->Edit1->setText("Field");
    Form1->Edit2->setText("Album");
    Form1->MaskEdit1->setText("19"); // two positions left blank
    Form1->Edit3->setText("Comment");
    Form1->ComboBox1->setCurrentIndex(Form1->ComboBox1->findText("Rock"));
    Form1->FileListBox1->setSelected(0, true);

    QTest::mouseClick(Form1->BitBtn1, Qt::LeftButton);

    const QByteArray expected = "TAG" + field(title, 30) + field(artist, 30) + field("Album", 30) +
                                "19  " + field("Comment", 30) + char(17);
    QCOMPARE(tagOf(folder.file(name)), expected);
    QCOMPARE(testfiles::readFile(folder.file("zz unselected.mp3")), untouched);
    QCOMPARE(listSelection(), std::vector<bool>(2, false));
    QCOMPARE(questions.dialogs, 0);
    QVERIFY(questions.criticals.isEmpty());
    QCOMPARE(noticeText(), QStringLiteral("1 file tagged"));
}

void TestCommands::longTitlePrompt_data()
{
    // answer: "save" (new title and comment), "cancel", or "" when no prompt is expected.
    QTest::addColumn<bool>("ask");
    QTest::addColumn<QString>("answer");
    QTest::addColumn<QByteArray>("title");
    QTest::addColumn<QByteArray>("comment");
    const QByteArray first30 = "A Song Title Of Thirty-One Cha";
    QTest::newRow("save") << true << "save" << QByteArray("Shorter") << QByteArray("Mine");
    QTest::newRow("cancel keeps first 30") << true << "cancel" << first30 << QByteArray("Main");
    QTest::newRow("option off: no prompt") << false << "" << first30 << QByteArray("Main");
}

void TestCommands::longTitlePrompt()
{
    QFETCH(bool, ask);
    QFETCH(QString, answer);
    QFETCH(QByteArray, title);
    QFETCH(QByteArray, comment);
    WindowsInFolder folder;
    const QString longName = "Band - A Song Title Of Thirty-One Chars.mp3"; // 31-character title
    const QString thirty = "Band - Exactly Thirty Characters Long.mp3";     // 30 exactly
    QVERIFY(testfiles::writeFile(folder.file(longName), mp3()));
    QVERIFY(testfiles::writeFile(folder.file(thirty), mp3()));
    folder.start();
    FakeQuestions questions;
    choosePattern(2);
    Form1->Edit2->setText("Album");
    Form1->MaskEdit1->setText("1999");
    Form1->Edit3->setText("Main");
    Form1->ComboBox1->setCurrentIndex(Form1->ComboBox1->findText("Jazz"));
    Form1->CheckBox1->setChecked(ask);
    Form1->FileListBox1->selectAllFiles();

    struct Seen {
        QString caption, panel, title, artist, album, year, genre, info;
        bool titleOn, commentOn, artistOn, albumOn, yearOn, genreOn;
    } seen{};
    if (!answer.isEmpty()) {
        Form2->Memo1->setPlainText("left from the last edit");
        questions.dialogAnswers = {[&](QDialog &) {
            TForm2 &d = *Form2;
            seen = {d.windowTitle(),
                    d.Panel6->text(),
                    d.Edit1->text(),
                    d.Edit2->text(),
                    d.Edit3->text(),
                    d.MaskEdit1->displayText(),
                    d.ComboBox1->currentText(),
                    d.Memo1->toPlainText(),
                    d.Edit1->isEnabled(),
                    d.Edit4->isEnabled(),
                    d.Edit2->isEnabled(),
                    d.Edit3->isEnabled(),
                    d.MaskEdit1->isEnabled(),
                    d.ComboBox1->isEnabled()};
            if (answer == "save") {
                d.Edit1->setText("Shorter");
                d.Edit4->setText("Mine");
                return int(TForm2::SaveResult);
            }
            return int(TForm2::CancelResult);
        }};
    }

    QTest::mouseClick(Form1->BitBtn1, Qt::LeftButton);

    QCOMPARE(questions.dialogs, answer.isEmpty() ? 0 : 1);
    const QByteArray tag = tagOf(folder.file(longName));
    QCOMPARE(tag.mid(3, 30), field(title, 30));
    QCOMPARE(tag.mid(97, 30), field(comment, 30));
    // The comment typed in the dialog is for that file only.
    QCOMPARE(tagOf(folder.file(thirty)).mid(3, 30), QByteArray("Exactly Thirty Characters Long"));
    QCOMPARE(tagOf(folder.file(thirty)).mid(97, 30), field("Main", 30));
    if (!answer.isEmpty()) {
        QCOMPARE(seen.caption, QStringLiteral("Song title exceeds 30 characters!"));
        QCOMPARE(seen.panel, longName);
        QCOMPARE(seen.title, QString::fromLatin1(QByteArray("A Song Title Of Thirty-One Cha")));
        QCOMPARE(seen.artist, QStringLiteral("Band"));
        QCOMPARE(seen.album, QStringLiteral("Album"));
        QCOMPARE(seen.year, QStringLiteral("1999"));
        QCOMPARE(seen.genre, QStringLiteral("Jazz"));
        QCOMPARE(seen.info, QString());
        QVERIFY(seen.titleOn && seen.commentOn);
        QVERIFY(!seen.artistOn && !seen.albumOn && !seen.yearOn && !seen.genreOn);
    }
    QVERIFY(questions.criticals.isEmpty());
    QCOMPARE(noticeText(), QStringLiteral("2 files tagged"));
}

void TestCommands::folderGuess()
{
    WindowsInFolder folder;
    QVERIFY(QDir(folder.path()).mkpath("Artist - Album"));
    QVERIFY(QDir(folder.path()).mkpath("Empty - Folder"));
    QVERIFY(testfiles::writeFile(folder.file("Artist - Album/01. Song.mp3"), mp3()));
    folder.start();
    FakeQuestions questions;
    TDirectoryListBox *dirs = Form1->DirectoryListBox1;
    Form1->Edit1->setText("Typed");
    Form1->Edit2->setText("Typed");

    // The start folder's name holds no " - ": checking the option empties both fields.
    QTest::mouseClick(Form1->CheckBox2, Qt::LeftButton);
    QVERIFY(Form1->CheckBox2->isChecked());
    QCOMPARE(Form1->Edit1->text(), QString());
    QCOMPARE(Form1->Edit2->text(), QString());

    dirs->setDirectory(folder.file("Artist - Album"));
    QCOMPARE(Form1->Edit1->text(), QStringLiteral("Artist"));
    QCOMPARE(Form1->Edit2->text(), QStringLiteral("Album"));

    // Patterns 1 and 2 empty and grey the artist field; pattern 0 guesses again.
    choosePattern(1);
    QCOMPARE(Form1->Edit1->text(), QString());
    QVERIFY(!Form1->Edit1->isEnabled());
    QCOMPARE(Form1->Edit2->text(), QStringLiteral("Album"));
    choosePattern(0);
    QVERIFY(Form1->Edit1->isEnabled());
    QCOMPARE(Form1->Edit1->text(), QStringLiteral("Artist"));

    // A folder without files gives nothing to guess from.
    dirs->setDirectory(folder.file("Empty - Folder"));
    QCOMPARE(Form1->Edit1->text(), QString());
    QCOMPARE(Form1->Edit2->text(), QString());

    // Clearing the option leaves the fields as they are.
    dirs->setDirectory(folder.file("Artist - Album"));
    QTest::mouseClick(Form1->CheckBox2, Qt::LeftButton);
    dirs->setDirectory(folder.path());
    QCOMPARE(Form1->Edit1->text(), QStringLiteral("Artist"));
    QCOMPARE(Form1->Edit2->text(), QStringLiteral("Album"));
    QVERIFY(questions.criticals.isEmpty());
}

void TestCommands::trimFileNames()
{
    WindowsInFolder folder;
    for (const char *name : {"01_-_my_song.MP3", "02 - keep_me.mp3", "10cc - rubber_bullets.mp3"})
        QVERIFY(testfiles::writeFile(folder.file(name), mp3()));
    folder.start();
    FakeQuestions questions;
    choosePattern(2);
    Form1->FileListBox1->setSelected(0, true);
    Form1->FileListBox1->setSelected(2, true);

    QTest::mouseClick(Form1->Button3, Qt::LeftButton);

    // Read again from the folder: the new names, sorted.
    const QStringList expected = {"01 - My Song.mp3", "02 - keep_me.mp3",
                                  "10cc - Rubber Bullets.mp3"};
    QCOMPARE(listItems(), expected);
    QCOMPARE(sortedEntries(folder.path()), expected);
    QCOMPARE(listSelection(), std::vector<bool>(3, false));
    QCOMPARE(noticeText(), QStringLiteral("2 files renamed"));

    // An already tidy name is counted as left as it was; the next action takes the notice away.
    Form1->FileListBox1->setSelected(1, true);
    Form1->FileListBox1->setSelected(2, true);
    QTest::mouseClick(Form1->Button3, Qt::LeftButton);
    QCOMPARE(noticeText(),
             QStringLiteral("1 file renamed, 1 left as it was: name already tidy (1)"));
    QTest::keyClick(Form1->FileListBox1, Qt::Key_Down);
    QCOMPARE(noticeText(), QString());
}

void TestCommands::renameByPrompt_data()
{
    QTest::addColumn<bool>("byKey");
    QTest::addColumn<bool>("okOnSecond");
    QTest::addColumn<QStringList>("after");
    QTest::addColumn<QString>("notice");
    const QString cancelled = "1 file renamed, 1 left as it was: cancelled (1)";
    QTest::newRow("button, OK and Cancel")
        << false << false << QStringList{"b.mp3", "c.mp3", "x.mp3"} << cancelled;
    QTest::newRow("F2, OK and Cancel")
        << true << false << QStringList{"b.mp3", "c.mp3", "x.mp3"} << cancelled;
    // A name without ".mp3" leaves the list when it is read again.
    QTest::newRow("F2, OK twice") << true << true << QStringList{"c.mp3", "x.mp3"}
                                  << "2 files renamed";
}

void TestCommands::renameByPrompt()
{
    QFETCH(bool, byKey);
    QFETCH(bool, okOnSecond);
    QFETCH(QStringList, after);
    QFETCH(QString, notice);
    WindowsInFolder folder;
    for (const char *name : {"a.mp3", "b.mp3", "c.mp3"})
        QVERIFY(testfiles::writeFile(folder.file(name), mp3()));
    folder.start();
    showMainWindow();
    FakeQuestions questions;
    questions.textAnswers = {QStringLiteral("x.mp3"),
                             okOnSecond ? std::optional<QString>("y.txt") : std::nullopt};
    Form1->FileListBox1->setSelected(0, true);
    Form1->FileListBox1->setSelected(1, true);

    if (byKey) {
        // The key is let go while the prompt is open: its release goes to the prompt's window.
        questions.whileAsking = [] {
            QKeyEvent release(QEvent::KeyRelease, Qt::Key_F2, Qt::NoModifier);
            QApplication::sendEvent(Form2, &release);
        };
        Form1->FileListBox1->setFocus();
        QTest::keyClick(Form1->FileListBox1, Qt::Key_F2);
    } else {
        QTest::mouseClick(Form1->Button4, Qt::LeftButton);
    }

    QCOMPARE(questions.texts, (QStringList{"a.mp3", "b.mp3"}));
    QCOMPARE(listItems(), after);
    QCOMPARE(QFile::exists(folder.file("y.txt")), okOnSecond);
    QCOMPARE(listSelection(), std::vector<bool>(std::size_t(after.size()), false));
    QCOMPARE(noticeText(), notice);
}

void TestCommands::renameFromTags()
{
    WindowsInFolder folder;
    QVERIFY(testfiles::writeFile(folder.file("01.mp3"), mp3(testfiles::id3v1("Song", "Band"))));
    QVERIFY(testfiles::writeFile(folder.file("02.mp3"), mp3()));
    QVERIFY(testfiles::writeFile(folder.file("03.mp3"), mp3(testfiles::id3v1("Title", " "))));
    QVERIFY(testfiles::writeFile(folder.file("04.mp3"), mp3(testfiles::id3v1("Other", "Band"))));
    folder.start();
    FakeQuestions questions;
    for (int row : {0, 1, 2})
        Form1->FileListBox1->setSelected(row, true);

    QTest::mouseClick(Form1->Button6, Qt::LeftButton);

    // 04 was not selected; 02 has no tag and 03 a blank artist.
    QCOMPARE(listItems(), (QStringList{"02.mp3", "03.mp3", "04.mp3", "Band - Song.mp3"}));
    QCOMPARE(listSelection(), std::vector<bool>(4, false));
    QVERIFY(questions.criticals.isEmpty());

    // The notice counts the files left as they were; a click on it lists them, as plain text.
    ResultNotice &notice = Form1->notice();
    QCOMPARE(
        noticeText(),
        QStringLiteral("1 file renamed, 2 left as they were: no artist or title in the tag (2)"));
    QVERIFY(notice.undoButton()->isVisibleTo(&notice)); // the rename can be taken back
    QVERIFY(!notice.stopButton()->isVisibleTo(&notice));
    QCOMPARE(notice.focusPolicy(), Qt::NoFocus);
    // Laid over the list's lower edge, inside its frame, tall enough for both lines of text,
    // also when placed before the window was first shown.
    const QRect list = Form1->FileListBox1->geometry();
    QVERIFY(list.contains(notice.geometry()));
    QCOMPARE(notice.geometry().bottom(), list.bottom() - Form1->FileListBox1->frameWidth());
    QVERIFY(notice.height() >= 2 * notice.fontMetrics().height());
    // A screen reader is told of it as an alert, by its text, and how to list the files left.
    QAccessibleInterface *spoken = QAccessible::queryAccessibleInterface(&notice);
    QVERIFY(spoken);
    QCOMPARE(spoken->role(), QAccessible::AlertMessage);
    QCOMPARE(spoken->text(QAccessible::Name), noticeText());
    QVERIFY(spoken->text(QAccessible::Description).contains(QStringLiteral("Shift+F10")));
    // The files left, from the keyboard: the file list's menu offers them (and keeps the notice).
    Form1->FileListBox1->setFocus();
    QTest::keyClick(Form1->FileListBox1, Qt::Key_Menu);
    QTRY_VERIFY(Form1->PopupMenu1->isVisible());
    QVERIFY(Form1->FilesLeft1->isVisible());
    Form1->FilesLeft1->trigger();
    Form1->PopupMenu1->hide();
    QVERIFY(notice.detailsList()->isVisible());
    QAccessibleInterface *leftList = QAccessible::queryAccessibleInterface(notice.detailsList());
    QCOMPARE(leftList->role(), QAccessible::ToolTip);
    QCOMPARE(leftList->text(QAccessible::Description), notice.detailsList()->text());
    QVERIFY(!noticeText().isEmpty());
    // A click on the notice takes its list away, and another shows it again.
    QTest::mouseClick(&notice, Qt::LeftButton);
    QVERIFY(!notice.detailsList()->isVisible());
    QTest::mouseClick(&notice, Qt::LeftButton);
    QVERIFY(notice.detailsList()->isVisible());
    QCOMPARE(notice.detailsList()->textFormat(), Qt::PlainText);
    QCOMPARE(notice.detailsList()->text(), QStringLiteral("02.mp3: no artist or title in the tag\n"
                                                          "03.mp3: no artist or title in the tag"));
    // A click elsewhere in the window takes both away.
    QTest::mouseClick(Form1->FileListBox1->viewport(), Qt::LeftButton);
    QCOMPARE(noticeText(), QString());
    QVERIFY(!notice.detailsList()->isVisible());
    QCOMPARE(Form1->FileListBox1->viewport()->geometry().bottom(),
             Form1->FileListBox1->contentsRect().bottom());

    // A command that changed nothing offers nothing to take back.
    Form1->FileListBox1->clearFileSelection();
    QTest::mouseClick(Form1->Button6, Qt::LeftButton);
    QCOMPARE(noticeText(), QStringLiteral("0 files renamed: no files selected"));
    QVERIFY(!notice.undoButton()->isVisibleTo(&notice));
}

// The file list's context menu: the commands on the selection, "ID3v1 from ID3v2" among them.
void TestCommands::contextMenu()
{
    WindowsInFolder folder;
    const QByteArray tagged = id3v2Tag("From ID3v2", "Band") + mp3();
    QVERIFY(testfiles::writeFile(folder.file("a.mp3"), tagged));
    QVERIFY(testfiles::writeFile(folder.file("b.mp3"), mp3()));
    folder.start();
    showMainWindow();
    FakeQuestions questions;

    emit Form1->FileListBox1->customContextMenuRequested(QPoint(5, 5));
    QTRY_VERIFY(Form1->PopupMenu1->isVisible());
    QStringList texts;
    for (const QAction *action : Form1->PopupMenu1->actions()) {
        if (action->isVisible())
            texts.append(action->text());
    }
    QCOMPARE(texts, (QStringList{"Edit tag(s)", "Rename file(s)", "Trim filename(s)",
                                 "Rename from tags", "", "ID3v1 from ID3v2", "ID3v2 from ID3v1"}));
    Form1->PopupMenu1->hide();
    // From the keyboard too: the Menu key and Shift+F10 in the list, at its current file.
    Form1->FileListBox1->setItemIndex(1);
    for (const auto &[key, modifiers] :
         {std::pair{Qt::Key_Menu, Qt::NoModifier}, std::pair{Qt::Key_F10, Qt::ShiftModifier}}) {
        Form1->FileListBox1->setFocus();
        QTest::keyClick(Form1->FileListBox1, key, modifiers);
        QTRY_VERIFY(Form1->PopupMenu1->isVisible());
        const QRect item = Form1->FileListBox1->visualRect(Form1->FileListBox1->currentIndex());
        QCOMPARE(Form1->PopupMenu1->pos(),
                 Form1->FileListBox1->viewport()->mapToGlobal(item.bottomLeft()));
        Form1->PopupMenu1->hide();
    }
    QCOMPARE(listSelection(), std::vector<bool>(2, false)); // the keys did nothing else

    Form1->FileListBox1->setSelected(0, true);
    Form1->FileListBox1->setSelected(1, true);
    Form1->ID3v1FromID3v21->trigger();
    QCOMPARE(listSelection(), std::vector<bool>(2, false));
    // Only the ID3v1 tag is added: every byte before it as it was.
    QCOMPARE(testfiles::readFile(folder.file("a.mp3")),
             tagged + testfiles::id3v1("From ID3v2", "Band"));
    QCOMPARE(testfiles::readFile(folder.file("b.mp3")), mp3());

    Form1->FileListBox1->setSelected(0, true);
    Form1->RenameFromTags1->trigger();
    QCOMPARE(listItems(), (QStringList{"b.mp3", "Band - From ID3v2.mp3"}));
    QVERIFY(questions.criticals.isEmpty());
}

// "ID3v2 from ID3v1" from the menu: a new ID3v2 tag where there is none, the differing fields
// where there is one; the audio and the ID3v1 tag as they were; undone byte for byte.
void TestCommands::id3v2FromId3v1Menu()
{
    StateHome state;
    WindowsInFolder folder;
    const QByteArray solo = mp3(testfiles::id3v1("Solo", "Band"));
    const QByteArray fresh = mp3(testfiles::id3v1("Fresh", "Band"));
    const QByteArray inStep = id3v2Tag("Same", "Band") + mp3(testfiles::id3v1("Same", "Band"));
    QVERIFY(testfiles::writeFile(folder.file("a.mp3"), solo));
    QVERIFY(testfiles::writeFile(folder.file("b.mp3"), mp3()));
    QVERIFY(testfiles::writeFile(folder.file("c.mp3"), id3v2Tag("Stale", "Band") + fresh));
    QVERIFY(testfiles::writeFile(folder.file("d.mp3"), inStep));
    folder.start();
    showMainWindow();
    FakeQuestions questions;
    Form1->FileListBox1->selectAllFiles();

    Form1->ID3v2FromID3v11->trigger();

    QCOMPARE(noticeText(), QStringLiteral("2 ID3v2 tags written, 2 left as they were: no ID3v1 "
                                          "tag (1), already in step (1)"));
    QCOMPARE(listSelection(), std::vector<bool>(4, false));
    for (const auto &[name, title, rest] :
         {std::tuple{"a.mp3", "Solo", solo}, std::tuple{"c.mp3", "Fresh", fresh}}) {
        const QByteArray bytes = testfiles::readFile(folder.file(name));
        const Id3v2Info info = parseId3v2(reinterpret_cast<const std::uint8_t *>(bytes.constData()),
                                          std::size_t(bytes.size()));
        QVERIFY(info.read);
        QCOMPARE(info.text.title, std::string(title));
        QCOMPARE(info.text.artist, std::string("Band"));
        QVERIFY(bytes.endsWith(rest));
    }
    QCOMPARE(testfiles::readFile(folder.file("b.mp3")), mp3());
    QCOMPARE(testfiles::readFile(folder.file("d.mp3")), inStep);
    QVERIFY(Form1->notice().undoButton()->isVisibleTo(&Form1->notice()));

    QTest::mouseClick(Form1->notice().undoButton(), Qt::LeftButton);
    QCOMPARE(noticeText(), QStringLiteral("Undone ID3v2 from ID3v1: 2 files restored"));
    QCOMPARE(testfiles::readFile(folder.file("a.mp3")), solo);
    QCOMPARE(testfiles::readFile(folder.file("c.mp3")), id3v2Tag("Stale", "Band") + fresh);
    QVERIFY(questions.criticals.isEmpty());
}

void TestCommands::playlistOfFolder()
{
    WindowsInFolder folder;
    QVERIFY(QDir(folder.path()).mkpath("Rock"));
    for (const char *name : {"b.mp3", "A.mp3"})
        QVERIFY(testfiles::writeFile(folder.file(QStringLiteral("Rock/") + name), mp3()));
    folder.start();
    FakeQuestions questions;
    const QString rock = folder.file("Rock");
    Form1->DirectoryListBox1->setDirectory(rock);
    Form1->FileListBox1->setSelected(1, true);
    // A single click on the root's item moves the highlight only: the command still works on
    // the current folder.
    Form1->DirectoryListBox1->setItemIndex(0);
    const QString target = folder.file("list.m3u");
    questions.saveAnswers = {std::nullopt, target};

    QTest::mouseClick(Form1->Button5, Qt::LeftButton); // cancelled
    QVERIFY(!QFile::exists(target));
    QTest::mouseClick(Form1->Button5, Qt::LeftButton);
    QCOMPARE(noticeText(), QStringLiteral("1 playlist written"));

    QCOMPARE(questions.saveRequests.size(), 2);
    const auto &asked = questions.saveRequests.last();
    QCOMPARE(asked.title, QStringLiteral("Save playlist"));
    QCOMPARE(asked.proposedPath, rock + "/Rock.m3u");
    QCOMPARE(asked.filter, QStringLiteral("M3U Playlist (*.m3u)"));
    QCOMPARE(asked.suffix, QStringLiteral("m3u"));
    QCOMPARE(testfiles::readFile(target), (rock + "/A.mp3\r\n" + rock + "/b.mp3\r\n").toUtf8());
    // The window is left as it was, the selection included.
    QCOMPARE(Form1->DirectoryListBox1->directory(), rock);
    QCOMPARE(listSelection(), (std::vector<bool>{false, true}));
    QVERIFY(questions.directoryTitles.isEmpty());
    QVERIFY(questions.criticals.isEmpty());
}

void TestCommands::playlistsOfSubfolders()
{
    WindowsInFolder folder;
    QDir root(folder.path());
    for (const char *dir : {"Music/A", "Music/B", "Music/C", "out"})
        QVERIFY(root.mkpath(dir));
    for (const char *file : {"Music/own.mp3", "Music/A/1.mp3", "Music/A/2.mp3", "Music/C/3.mp3"})
        QVERIFY(testfiles::writeFile(folder.file(file), mp3()));
    folder.start();
    FakeQuestions questions;
    const QString music = folder.file("Music");
    TDirectoryListBox *dirs = Form1->DirectoryListBox1;
    dirs->setDirectory(music);
    dirs->setItemIndex(0); // the highlight moved without opening
    QSignalSpy changes(dirs, &TDirectoryListBox::changed);
    questions.directoryAnswers = {folder.file("out")};

    QTest::mouseClick(Form1->Button5, Qt::LeftButton);

    QCOMPARE(questions.directoryTitles, QStringList{"Select directory for playlists"});
    QVERIFY(questions.saveRequests.isEmpty());
    const QString out = folder.file("out/");
    auto lines = [&](const char *name) { return testfiles::readFile(out + name); };
    const QByteArray a = (music + "/A/1.mp3\r\n" + music + "/A/2.mp3\r\n").toUtf8();
    const QByteArray c = (music + "/C/3.mp3\r\n").toUtf8();
    QCOMPARE(sortedEntries(out), (QStringList{"A.m3u", "B.m3u", "C.m3u", "_All.m3u"}));
    QCOMPARE(lines("A.m3u"), a);
    QCOMPARE(lines("B.m3u"), QByteArray());
    QCOMPARE(lines("C.m3u"), c);
    QCOMPARE(lines("_All.m3u"), a + c);
    QCOMPARE(noticeText(), QStringLiteral("4 playlists written"));
    // Each subfolder opened and left again through the directory list.
    QCOMPARE(changes.count(), 6);
    QCOMPARE(dirs->directory(), music);
    QCOMPARE(dirs->currentRow(), dirs->currentFolderRow());
    QCOMPARE(listItems(), QStringList{"own.mp3"});
    QCOMPARE(QDir::currentPath(), music);
    QVERIFY(questions.criticals.isEmpty());
}

void TestCommands::playlistFailureReturnsToStart()
{
    WindowsInFolder folder;
    QDir root(folder.path());
    // A folder where B's playlist should go: it cannot be written.
    for (const char *dir : {"Music/A", "Music/B", "Music/C", "out/B.m3u"})
        QVERIFY(root.mkpath(dir));
    QVERIFY(testfiles::writeFile(folder.file("Music/A/1.mp3"), mp3()));
    folder.start();
    FakeQuestions questions;
    const QString music = folder.file("Music");
    Form1->DirectoryListBox1->setDirectory(music);
    questions.directoryAnswers = {folder.file("out")};

    QTest::mouseClick(Form1->Button5, Qt::LeftButton);

    QCOMPARE(questions.criticals, QStringList{"File access denied."});
    QCOMPARE(Form1->DirectoryListBox1->directory(), music);
    QCOMPARE(QDir::currentPath(), music);
    QVERIFY(QFile::exists(folder.file("out/A.m3u")));
    QVERIFY(!QFile::exists(folder.file("out/C.m3u")));
    // The failure's message box only; the next command may start.
    QCOMPARE(noticeText(), QString());
    QVERIFY(!Form1->commandRunner().busy());
}

void TestCommands::playFile()
{
    WindowsInFolder folder;
    for (const char *name : {"a.mp3", "b.mp3"})
        QVERIFY(testfiles::writeFile(folder.file(name), mp3()));
    folder.start();
    FakeQuestions questions;
    FakePlayer player;
    Form1->setPreviewPlayer(&player);
    TFileListBox *list = Form1->FileListBox1;
    list->setSelected(0, true);
    list->setItemIndex(1); // the focus item, not the selected one, plays

    QTest::mouseClick(Form1->Button8, Qt::LeftButton);
    QCOMPARE(player.calls, (QStringList{"open " + folder.file("b.mp3"), "play"}));
    QCOMPARE(Form1->Button8->text(), QStringLiteral("Stop"));
    QCOMPARE(listSelection(), (std::vector<bool>{true, false}));

    // Pressed again with another item current: stops, starts nothing.
    list->setItemIndex(0);
    QTest::mouseClick(Form1->Button8, Qt::LeftButton);
    QCOMPARE(player.calls.mid(2), (QStringList{"stop", "close"}));
    QCOMPARE(Form1->Button8->text(), QStringLiteral("Play"));

    // A failed open: its message in a message box, and back to idle.
    QTest::mouseClick(Form1->Button8, Qt::LeftButton);
    player.onError("Resource not found.");
    QCOMPARE(questions.criticals, QStringList{"Resource not found."});
    QCOMPARE(Form1->Button8->text(), QStringLiteral("Play"));
    player.calls.clear();
    QTest::mouseClick(Form1->Button8, Qt::LeftButton);
    QCOMPARE(player.calls, (QStringList{"open " + folder.file("a.mp3"), "play"}));
    Form1->setPreviewPlayer(nullptr);
}

void TestCommands::exitWhilePlayingStopsFirst()
{
    WindowsInFolder folder;
    QVERIFY(testfiles::writeFile(folder.file("a.mp3"), mp3()));
    folder.start();
    showMainWindow();
    FakeQuestions questions;
    FakePlayer player;
    Form1->setPreviewPlayer(&player);
    Form1->FileListBox1->setItemIndex(0);
    QTest::mouseClick(Form1->Button8, Qt::LeftButton);
    QTimer::singleShot(0, Form1, [] { QTest::mouseClick(Form1->BitBtn2, Qt::LeftButton); });
    QTimer guard;
    guard.callOnTimeout([] { QCoreApplication::exit(7); });
    guard.start(10000);
    QCOMPARE(QApplication::exec(), 0);
    QCOMPARE(player.calls.mid(2), (QStringList{"stop", "close"}));
    QCOMPARE(Form1->Button8->text(), QStringLiteral("Play"));
    Form1->setPreviewPlayer(nullptr);
}

void TestCommands::realPlayerReportsFailedOpen()
{
    // The window's own player, made on the first press: a file that is no MP3 at all.
    WindowsInFolder folder;
    QVERIFY(testfiles::writeFile(folder.file("text.mp3"), "just some text, no audio\n"));
    folder.start();
    FakeQuestions questions;
    Form1->FileListBox1->setItemIndex(0);
    QTest::mouseClick(Form1->Button8, Qt::LeftButton);
    QCOMPARE(Form1->Button8->text(), QStringLiteral("Stop"));
    QTRY_COMPARE_WITH_TIMEOUT(questions.criticals.size(), 1, 20000);
    QVERIFY(!questions.criticals.first().isEmpty());
    QCOMPARE(Form1->Button8->text(), QStringLiteral("Play"));
}

namespace
{

// Six selected files, each with a tag that names it, for a command stopped or disturbed midway.
void sixTaggedFiles(WindowsInFolder &folder)
{
    for (int i = 1; i <= 6; ++i) {
        const QByteArray title = "Song" + QByteArray::number(i);
        QVERIFY(testfiles::writeFile(folder.file(QStringLiteral("0%1_song.mp3").arg(i)),
                                     mp3(testfiles::id3v1(title, "Band"))));
    }
    folder.start();
    // Every file turns the event loop and shows its progress at once.
    Form1->commandRunner().setTurnInterval(0);
    Form1->commandRunner().setProgressDelay(0);
    choosePattern(2);
    Form1->FileListBox1->selectAllFiles();
}

QPushButton *commandButton(const QString &command)
{
    if (command == "TAG'EM!")
        return Form1->BitBtn1;
    if (command == "Trim filename(s)")
        return Form1->Button3;
    return Form1->Button6; // Rename from tags
}

} // namespace

void TestCommands::stopsAfterFileInHand_data()
{
    QTest::addColumn<QString>("command");
    QTest::addColumn<bool>("byEsc");       // or by the notice's "Stop"
    QTest::addColumn<QString>("progress"); // shown after the first file
    QTest::addColumn<QString>("notice");
    QTest::addColumn<QStringList>("changed"); // the first two files as the command left them
    const QStringList tagged = {"01_song.mp3", "02_song.mp3"};
    QTest::newRow("TAG'EM!, Esc") << "TAG'EM!" << true << "Tagging 1 of 6"
                                  << "2 files tagged, stopped after 2 of 6" << tagged;
    QTest::newRow("TAG'EM!, Stop") << "TAG'EM!" << false << "Tagging 1 of 6"
                                   << "2 files tagged, stopped after 2 of 6" << tagged;
    QTest::newRow("Trim filename(s), Esc")
        << "Trim filename(s)" << true << "Renaming 1 of 6"
        << "2 files renamed, stopped after 2 of 6" << QStringList{"01 Song.mp3", "02 Song.mp3"};
    QTest::newRow("Rename from tags, Stop") << "Rename from tags" << false << "Renaming 1 of 6"
                                            << "2 files renamed, stopped after 2 of 6"
                                            << QStringList{"Band - Song1.mp3", "Band - Song2.mp3"};
}

void TestCommands::stopsAfterFileInHand()
{
    QFETCH(QString, command);
    QFETCH(bool, byEsc);
    QFETCH(QString, progress);
    QFETCH(QString, notice);
    QFETCH(QStringList, changed);
    WindowsInFolder folder;
    sixTaggedFiles(folder);
    FakeQuestions questions;
    QString shown;
    Form1->commandRunner().setProgressHook([&](int visited) {
        if (visited != 2)
            return;
        shown = noticeText();
        if (byEsc)
            QTest::keyClick(Form1->FileListBox1, Qt::Key_Escape);
        else
            QTest::mouseClick(Form1->notice().stopButton(), Qt::LeftButton);
    });

    QTest::mouseClick(commandButton(command), Qt::LeftButton);

    QCOMPARE(shown, progress); // what the first file showed
    QCOMPARE(noticeText(), notice);
    // The files not reached are as they were and keep their selection.
    const QStringList rest = {"03_song.mp3", "04_song.mp3", "05_song.mp3", "06_song.mp3"};
    QCOMPARE(selectedItems(), rest);
    QStringList entries = sortedEntries(folder.path());
    QStringList expected = changed + rest;
    entries.sort();
    expected.sort();
    QCOMPARE(entries, expected);
    for (int i = 3; i <= 6; ++i) {
        QCOMPARE(tagOf(folder.file(QStringLiteral("0%1_song.mp3").arg(i))).mid(3, 5),
                 "Song" + QByteArray::number(i));
    }
    if (command == "TAG'EM!")
        QCOMPARE(tagOf(folder.file("01_song.mp3")).mid(3, 8), QByteArray("01_song "));
    QVERIFY(questions.criticals.isEmpty());
}

void TestCommands::noCommandInsideAnother()
{
    WindowsInFolder folder;
    sixTaggedFiles(folder);
    FakeQuestions questions;
    bool busySeen = false;
    Form1->commandRunner().setProgressHook([&](int visited) {
        if (visited != 2)
            return;
        busySeen = Form1->commandRunner().busy();
        // A click on another command, F2, a handler called straight away and one queued for the
        // event loop's next turn ("Select all"): none runs while TAG'EM! does.
        QTest::mouseClick(Form1->Button3, Qt::LeftButton);
        QTest::keyClick(Form1->FileListBox1, Qt::Key_F2);
        Form1->Button6Click();
        QTimer::singleShot(0, Form1, [] { Form1->Button2Click(); });
    });

    QTest::mouseClick(Form1->BitBtn1, Qt::LeftButton);

    QVERIFY(busySeen);
    QVERIFY(!Form1->commandRunner().busy());
    QVERIFY(questions.texts.isEmpty()); // no rename prompt
    QCOMPARE(sortedEntries(folder.path()),
             (QStringList{"01_song.mp3", "02_song.mp3", "03_song.mp3", "04_song.mp3", "05_song.mp3",
                          "06_song.mp3"}));
    QCOMPARE(selectedItems(), QStringList());
    QCOMPARE(noticeText(), QStringLiteral("6 files tagged"));
    // Free again afterwards.
    Form1->FileListBox1->selectAllFiles();
    QTest::mouseClick(Form1->Button3, Qt::LeftButton);
    QCOMPARE(noticeText(), QStringLiteral("6 files renamed"));
}

void TestCommands::closingStopsThenCloses()
{
    WindowsInFolder folder;
    sixTaggedFiles(folder);
    showMainWindow();
    FakeQuestions questions;
    bool stillOpen = false;
    Form1->commandRunner().setProgressHook([&](int visited) {
        if (visited != 2)
            return;
        Form1->close();
        stillOpen = Form1->isVisible();
    });

    QTest::mouseClick(Form1->BitBtn1, Qt::LeftButton);

    QVERIFY(stillOpen); // not while the file in hand was written
    QTRY_VERIFY(!Form1->isVisible());
    for (int i = 3; i <= 6; ++i) {
        QCOMPARE(tagOf(folder.file(QStringLiteral("0%1_song.mp3").arg(i))).mid(3, 5),
                 "Song" + QByteArray::number(i));
    }
}

QTEST_MAIN(TestCommands)
