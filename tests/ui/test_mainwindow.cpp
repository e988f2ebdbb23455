// The main window as the program starts, its shortcuts, "Clear selection", "Select all", the
// exit button and the close box; the edit dialog's look. The program started with folders and
// files as arguments, --help and --version; folders and files dropped on the window.
#include "faulttest.h"
#include "fieldstate.h"
#include "filenames.h"
#include "startup.h"
#include "testfiles.h"
#include "tform1.h"
#include "tform2.h"
#include "uitest.h"
#include "version.h"

#include <QAbstractItemView>
#include <QAccessible>
#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QComboBox>
#include <QDir>
#include <QDropEvent>
#include <QMimeData>
#include <QPainter>
#include <QProcess>
#include <QRadioButton>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>
#include <QUrl>

#include <sys/stat.h>

class TestMainWindow : public QObject
{
    Q_OBJECT
private slots:
    void controls_data();
    void controls();
    void startState();
    void tabOrder();
    void captionsFit();
    void dropDownRows_data();
    void dropDownRows();
    void focusMarks();
    void listFramesWhole_data();
    void listFramesWhole();
    void dialogControls_data();
    void dialogControls();
    void dialogStartState();
    void selectionButtons();
    void shortcuts_data();
    void shortcuts();
    void ctrlCInEditCopiesAndClears();
    void formatChangesArtistField();
    void exitButtonEndsProgram();
    void closeBoxEndsProgram();
    void startArguments_data();
    void startArguments();
    void helpAndVersion_data();
    void helpAndVersion();
    void dropOpens_data();
    void dropOpens();

private:
};

namespace
{

struct Row {
    const char *name;
    const char *kind;
    QRect rect;
    const char *text;
    const char *buddy = "";     // the field a label names
    const char *spoken = "";    // its name for a screen reader; empty: not checked
    const char *described = ""; // its description for a screen reader; empty: not checked
};

const Row mainRows[] = {
    {"Image1", "QLabel", {8, 8, 425, 73}, "", "", "Trackling", "The program's banner"},
    {"Bevel1", "QFrame", {8, 104, 425, 297}, ""},
    {"DriveComboBox1", "TDriveComboBox", {16, 112, 177, 19}, "", "", "Drive", ""},
    {"Button1", "QPushButton", {200, 112, 113, 19}, "Clear selection", "", "Clear selection", ""},
    {"Button2", "QPushButton", {314, 112, 113, 19}, "Select all", "", "Select all", ""},
    {"DirectoryListBox1", "TDirectoryListBox", {16, 136, 177, 256}, "", "", "Folders", ""},
    {"FileListBox1", "TFileListBox", {200, 136, 225, 211}, "", "", "Files", ""},
    {"Button3", "QPushButton", {200, 354, 113, 19}, "Trim filename(s)", "", "Trim filename(s)", ""},
    {"Button4", "QPushButton", {314, 354, 113, 19}, "Rename file(s)", "", "Rename file(s)", ""},
    {"Button7", "QPushButton", {200, 374, 113, 19}, "Edit tag(s)", "", "Edit tag(s)", ""},
    {"Button8", "QPushButton", {314, 374, 113, 19}, "Play file", "", "Play file", ""},
    {"GroupBox1", "QGroupBox", {440, 8, 233, 121}, " Tag Info ", "", "Tag Info", ""},
    {"Panel1", "QLabel", {448, 24, 49, 21}, "Artist ", "Edit1", "Artist", ""},
    {"Edit1", "QLineEdit", {496, 24, 169, 21}, "", "", "Artist", ""},
    {"Panel2", "QLabel", {448, 48, 49, 21}, "Album ", "Edit2", "Album", ""},
    {"Edit2", "QLineEdit", {496, 48, 169, 21}, "", "", "Album", ""},
    {"Panel3", "QLabel", {448, 72, 49, 21}, "Year ", "MaskEdit1", "Year", ""},
    {"MaskEdit1", "QLineEdit", {496, 72, 33, 21}, "", "", "Year", ""},
    {"Panel5", "QLabel", {536, 72, 33, 21}, "Genre ", "ComboBox1", "Genre", ""},
    {"ComboBox1", "QComboBox", {568, 72, 97, 21}, "(none)", "", "Genre", ""},
    {"Panel4", "QLabel", {448, 96, 49, 21}, "Comment ", "Edit3", "Comment", ""},
    {"Edit3", "QLineEdit", {496, 96, 169, 21}, "", "", "Comment", ""},
    {"RadioGroup1",
     "TRadioGroup",
     {440, 136, 233, 73},
     " Filename Format ",
     "",
     "Filename Format",
     ""},
    {"GroupBox2", "QGroupBox", {440, 216, 233, 76}, " Options ", "", "Options", ""},
    {"CheckBox1",
     "QCheckBox",
     {448, 232, 217, 17},
     "Ask for new title if title exceeds 30 chars",
     "",
     "Ask for new title if title exceeds 30 chars",
     ""},
    {"CheckBox2",
     "QCheckBox",
     {448, 250, 217, 17},
     "Get artist and album from directory name",
     "",
     "Get artist and album from directory name",
     ""},
    {"CheckBox3",
     "QCheckBox",
     {448, 268, 217, 17},
     "No driveletter in playlists",
     "",
     "No driveletter in playlists",
     ""},
    {"Bevel2", "QFrame", {440, 302, 233, 99}, ""},
    {"Button6", "QPushButton", {448, 310, 105, 25}, "Rename from tags", "", "Rename from tags", ""},
    {"Button5",
     "QPushButton",
     {560, 310, 105, 25},
     "Create playlist(s)",
     "",
     "Create playlist(s)",
     ""},
    {"BitBtn1",
     "QPushButton",
     {448, 342, 105, 51},
     "",
     "",
     "TAG'EM!",
     "Writes the tags of the selected files"},
    {"BitBtn2", "QPushButton", {560, 342, 105, 51}, "", "", "EXIT!", "Ends the program"},
};

const Row dialogRows[] = {
    {"Panel6", "QLabel", {8, 8, 393, 25}, ""},
    {"GroupBox2", "QGroupBox", {8, 40, 153, 145}, " File Info ", "", "File Info", ""},
    {"Memo1", "QPlainTextEdit", {16, 56, 137, 121}, "", "", "File Info", ""},
    {"GroupBox1", "QGroupBox", {168, 40, 233, 145}, " Tag Info ", "", "Tag Info", ""},
    {"Panel1", "QLabel", {176, 56, 49, 21}, "Title ", "Edit1", "Title", ""},
    {"Edit1", "QLineEdit", {224, 56, 169, 21}, "", "", "Title", ""},
    {"Panel2", "QLabel", {176, 80, 49, 21}, "Artist ", "Edit2", "Artist", ""},
    {"Edit2", "QLineEdit", {224, 80, 169, 21}, "", "", "Artist", ""},
    {"Panel4", "QLabel", {176, 104, 49, 21}, "Album ", "Edit3", "Album", ""},
    {"Edit3", "QLineEdit", {224, 104, 169, 21}, "", "", "Album", ""},
    {"Panel3", "QLabel", {176, 128, 49, 21}, "Year ", "MaskEdit1", "Year", ""},
    {"MaskEdit1", "QLineEdit", {224, 128, 33, 21}, "", "", "Year", ""},
    {"Panel5", "QLabel", {264, 128, 33, 21}, "Genre ", "ComboBox1", "Genre", ""},
    {"ComboBox1", "QComboBox", {296, 128, 97, 21}, "", "", "Genre", ""},
    {"Panel7", "QLabel", {176, 152, 49, 21}, "Comment ", "Edit4", "Comment", ""},
    {"Edit4", "QLineEdit", {224, 152, 169, 21}, "", "", "Comment", ""},
    {"Bevel1", "QFrame", {8, 192, 393, 41}, ""},
    {"Button1", "QPushButton", {16, 200, 185, 25}, "Save", "", "Save", ""},
    {"Button2", "QPushButton", {208, 200, 185, 25}, "Cancel", "", "Cancel", ""},
};

QString caption(QWidget *w)
{
    if (auto *b = qobject_cast<QAbstractButton *>(w))
        return b->text();
    if (auto *g = qobject_cast<QGroupBox *>(w))
        return g->title();
    if (auto *l = qobject_cast<QLabel *>(w))
        return l->text();
    if (auto *c = qobject_cast<QComboBox *>(w))
        return c->currentText();
    return {};
}

void addRows(const Row *rows, std::size_t n)
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QRect>("rect");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("buddy");
    QTest::addColumn<QString>("spoken");
    QTest::addColumn<QString>("described");
    for (std::size_t i = 0; i < n; ++i)
        QTest::newRow(rows[i].name)
            << QString::fromLatin1(rows[i].name) << QString::fromLatin1(rows[i].kind)
            << rows[i].rect << QString::fromLatin1(rows[i].text)
            << QString::fromLatin1(rows[i].buddy) << QString::fromLatin1(rows[i].spoken)
            << QString::fromLatin1(rows[i].described);
}

void checkControl(QWidget *window)
{
    QFETCH(QString, name);
    QFETCH(QString, kind);
    QFETCH(QRect, rect);
    QFETCH(QString, text);
    QFETCH(QString, buddy);
    QFETCH(QString, spoken);
    QFETCH(QString, described);
    auto *w = window->findChild<QWidget *>(name);
    QVERIFY(w);
    QCOMPARE(w->parentWidget(), window);
    QVERIFY(w->inherits(kind.toLatin1()));
    QCOMPARE(w->geometry(), rect);
    if (!text.isEmpty() || qobject_cast<QAbstractButton *>(w))
        QCOMPARE(caption(w), text);
    if (auto *label = qobject_cast<QLabel *>(w)) {
        // A screen reader names a field by the label whose buddy it is.
        QCOMPARE(label->buddy() ? label->buddy()->objectName() : QString(), buddy);
        if (label->buddy()) {
            QAccessibleInterface *field = QAccessible::queryAccessibleInterface(label->buddy());
            QVERIFY(field);
            const auto labels = field->relations(QAccessible::Label);
            QCOMPARE(labels.size(), 1);
            QCOMPARE(labels.constFirst().first->object(), label);
        }
    }
    // What a screen reader says of it: the name of its label or caption (not its value), and
    // what a picture shows.
    QAccessibleInterface *control = QAccessible::queryAccessibleInterface(w);
    QVERIFY(control);
    if (!spoken.isEmpty())
        QCOMPARE(control->text(QAccessible::Name).trimmed(), spoken);
    if (!described.isEmpty())
        QVERIFY2(control->text(QAccessible::Description).startsWith(described),
                 qPrintable(control->text(QAccessible::Description)));
    if (auto *box = qobject_cast<QComboBox *>(w)) {
        QCOMPARE(control->role(), QAccessible::ComboBox);
        QCOMPARE(control->text(QAccessible::Value), box->currentText());
        QCOMPARE(control->childCount(), 1);
        QCOMPARE(control->child(0)->object(), box->view());
        QVERIFY(control->actionInterface());
        QVERIFY(control->actionInterface()->actionNames().contains(
            QAccessibleActionInterface::showMenuAction()));
    }
}

// A tag field holds 30 characters, counted as a tag stores them (an emoji is one), cutting the
// excess where it was put in.
void checkTagField(QLineEdit *field)
{
    field->setText(QString(31, u'x'));
    QCOMPARE(field->text(), QString(30, u'x'));
    const QString emoji = QString::fromUtf8("\U0001F3B5");
    field->setText(emoji.repeated(31));
    QCOMPARE(field->text(), emoji.repeated(30));
    field->setText(QString(29, u'x'));
    field->end(false);
    QTest::keyClicks(field, QStringLiteral("yz"));
    QCOMPARE(field->text(), QString(29, u'x') + u'y');
    field->home(false);
    QTest::keyClicks(field, QStringLiteral("a"));
    QCOMPARE(field->text(), QString(29, u'x') + u'y');
    field->clear();
}

QStringList tabChain(QWidget *window, QWidget *first)
{
    QStringList names;
    QWidget *w = first;
    do {
        if ((w->focusPolicy() & Qt::TabFocus) && w->isEnabled() && w->isVisibleTo(window) &&
            w->window() == window)
            names << w->objectName();
        w = w->nextInFocusChain();
    } while (w != first);
    return names;
}

} // namespace

void TestMainWindow::controls_data()
{
    addRows(mainRows, std::size(mainRows));
}

void TestMainWindow::controls()
{
    WindowsInFolder folder;
    folder.start();
    checkControl(Form1);
}

void TestMainWindow::startState()
{
    WindowsInFolder folder;
    QVERIFY(testfiles::writeFile(folder.file("b.mp3"), mp3()));
    QVERIFY(testfiles::writeFile(folder.file("a.mp3"), mp3()));
    folder.start();
    showMainWindow();
    QVERIFY(QTest::qWaitForWindowExposed(Form1));

    QCOMPARE(Form1->windowTitle(), QStringLiteral("Trackling 1.51"));
    QCOMPARE(QApplication::applicationName(), QStringLiteral("Trackling"));
    QCOMPARE(Form1->size(), QSize(681, 409));
    QCOMPARE(Form1->minimumSize(), Form1->maximumSize());
    QVERIFY(!(Form1->windowFlags() & Qt::WindowMaximizeButtonHint));
    QVERIFY(Form1->windowFlags() & Qt::WindowMinimizeButtonHint);
    QCOMPARE(Form1->font().family(), QStringLiteral("Liberation Sans"));
    QCOMPARE(Form1->font().pointSize(), 8);
    const QRect screen = Form1->screen()->availableGeometry();
    QVERIFY(qAbs(Form1->frameGeometry().center().x() - screen.center().x()) <= 2);

    QVERIFY(Form1->Label1->text().startsWith(QStringLiteral("Version 1.51 (Jan-99)")));
    QCOMPARE(Form1->Image1->pixmap().deviceIndependentSize().toSize(), QSize(425, 73));
    QCOMPARE(Form1->BitBtn1->iconSize(), QSize(100, 40));
    QVERIFY(!Form1->BitBtn1->icon().isNull() && !Form1->BitBtn2->icon().isNull());

    QCOMPARE(Form1->Edit1->text(), QString());
    for (QLineEdit *e : {Form1->Edit1, Form1->Edit2, Form1->Edit3})
        checkTagField(e);
    QCOMPARE(Form1->MaskEdit1->displayText(), QStringLiteral("    "));
    QCOMPARE(Form1->ComboBox1->count(), 146);
    QCOMPARE(Form1->ComboBox1->currentIndex(), 0);
    QCOMPARE(Form1->ComboBox1->currentText(), QStringLiteral("(none)"));
    QVERIFY(!Form1->ComboBox1->isEditable());
    QCOMPARE(Form1->RadioGroup1->items(),
             (QStringList{"xx. Song.mp3", "xx. Artist - Song.mp3", "Artist - Song.mp3"}));
    QCOMPARE(Form1->RadioGroup1->itemIndex(), 0);
    QVERIFY(Form1->CheckBox1->isChecked());
    QVERIFY(!Form1->CheckBox2->isChecked());
    QVERIFY(!Form1->CheckBox3->isChecked());
    QVERIFY(Form1->Edit1->isEnabled());
    QCOMPARE(Form1->Edit1->palette().color(QPalette::Base),
             QApplication::palette().color(QPalette::Active, QPalette::Base));

    // The folder browser shows the working directory and its MP3 files, none selected.
    QCOMPARE(Form1->DirectoryListBox1->directory(), folder.path());
    QCOMPARE(Form1->FileListBox1->count(), 2);
    QCOMPARE(Form1->FileListBox1->itemText(0), QStringLiteral("a.mp3"));
    QCOMPARE(listSelection(), std::vector<bool>({false, false}));
    QVERIFY(Form2);
    QVERIFY(!Form2->isVisible());
}

void TestMainWindow::tabOrder()
{
    WindowsInFolder folder;
    folder.start();
    const QStringList expected = {"DriveComboBox1",
                                  "DirectoryListBox1",
                                  "Button1",
                                  "Button2",
                                  "FileListBox1",
                                  "Button3",
                                  "Button4",
                                  "Button7",
                                  "Button8",
                                  "Edit1",
                                  "Edit2",
                                  "MaskEdit1",
                                  "ComboBox1",
                                  "Edit3",
                                  "RadioGroup1Item0",
                                  "RadioGroup1Item1",
                                  "RadioGroup1Item2",
                                  "CheckBox1",
                                  "CheckBox2",
                                  "CheckBox3",
                                  "Button6",
                                  "Button5",
                                  "BitBtn1",
                                  "BitBtn2"};
    QCOMPARE(tabChain(Form1, Form1->DriveComboBox1), expected);
    // Every stop has a name for a screen reader, in both windows.
    for (QWidget *window : {static_cast<QWidget *>(Form1), static_cast<QWidget *>(Form2)}) {
        for (QWidget *w : window->findChildren<QWidget *>()) {
            if (!(w->focusPolicy() & Qt::TabFocus) || w->window() != window)
                continue;
            QAccessibleInterface *control = QAccessible::queryAccessibleInterface(w);
            QVERIFY2(control && !control->text(QAccessible::Name).trimmed().isEmpty(),
                     qPrintable(w->objectName()));
        }
    }
    QCOMPARE(tabChain(Form2, Form2->Edit1),
             (QStringList{"Edit1", "Edit2", "Edit3", "MaskEdit1", "ComboBox1", "Edit4", "Button1",
                          "Button2"}));
}

void TestMainWindow::captionsFit()
{
    WindowsInFolder folder;
    folder.start();
    for (QWidget *window : {static_cast<QWidget *>(Form1), static_cast<QWidget *>(Form2)}) {
        for (QWidget *w : window->findChildren<QWidget *>()) {
            QVERIFY2(captionFits(w), qPrintable(w->objectName()));
            // Captions keep the size of their neighbours (a narrower cut where one is needed).
            if (qobject_cast<QLabel *>(w) || qobject_cast<QCheckBox *>(w))
                QVERIFY2(w->font().pointSizeF() == 8.0, qPrintable(w->objectName()));
        }
    }
}

void TestMainWindow::dropDownRows_data()
{
    QTest::addColumn<bool>("dialog");
    QTest::newRow("main window's genres") << false;
    QTest::newRow("edit dialog's genres") << true;
}

void TestMainWindow::dropDownRows()
{
    QFETCH(bool, dialog);
    WindowsInFolder folder;
    folder.start();
    QWidget *window = dialog ? static_cast<QWidget *>(Form2) : static_cast<QWidget *>(Form1);
    QComboBox *box = dialog ? Form2->ComboBox1 : Form1->ComboBox1;
    window->show();
    QVERIFY(QTest::qWaitForWindowExposed(window));
    box->showPopup();
    QAbstractItemView *list = box->view();
    QTRY_VERIFY(list->isVisible());
    // About eight rows of the given item height, and a scroll bar for the other genres.
    QCOMPARE(list->sizeHintForRow(0), 13);
    const int rows = list->viewport()->height() / 13;
    QVERIFY2(rows >= 8 && rows <= 10, qPrintable(QString::number(rows)));
    QVERIFY(list->verticalScrollBar()->isVisible());
    box->hidePopup();
    window->hide();
}

void TestMainWindow::focusMarks()
{
    WindowsInFolder folder;
    QVERIFY(QDir().mkdir(folder.file("sub")));
    folder.start();
    showMainWindow();
    Form1->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(Form1));
    // The picture buttons show a focus mark in their picture.
    for (QPushButton *button : {Form1->BitBtn1, Form1->BitBtn2}) {
        const QIcon icon = button->icon();
        QVERIFY(icon.pixmap(QSize(100, 40), QIcon::Active).toImage() !=
                icon.pixmap(QSize(100, 40), QIcon::Normal).toImage());
    }
    // The folder list looks different with the focus.
    Form1->DirectoryListBox1->setFocus();
    QTRY_VERIFY(Form1->DirectoryListBox1->hasFocus());
    const QImage focused = Form1->DirectoryListBox1->grab().toImage();
    Form1->Button1->setFocus();
    QTRY_VERIFY(Form1->Button1->hasFocus());
    QVERIFY(Form1->DirectoryListBox1->grab().toImage() != focused);
}

void TestMainWindow::listFramesWhole_data()
{
    QTest::addColumn<qreal>("scale");
    for (qreal scale : {1.0, 1.25, 1.5, 1.75, 2.0})
        QTest::newRow(qPrintable(QString::number(scale))) << scale;
}

void TestMainWindow::listFramesWhole()
{
    QFETCH(qreal, scale);
    WindowsInFolder folder;
    folder.start();
    for (QAbstractScrollArea *list : {static_cast<QAbstractScrollArea *>(Form1->DirectoryListBox1),
                                      static_cast<QAbstractScrollArea *>(Form1->FileListBox1)}) {
        // Drawn as on a screen of this scale factor.
        QImage image(QSize(qCeil(list->width() * scale), qCeil(list->height() * scale)),
                     QImage::Format_RGB32);
        image.setDevicePixelRatio(scale);
        image.fill(Qt::red);
        {
            QPainter painter(&image);
            list->render(&painter);
        }
        // Each edge has a pixel of the frame within its outermost device pixels.
        const QRgb base = list->palette().color(QPalette::Base).rgb();
        const QRgb window = list->palette().color(QPalette::Window).rgb();
        auto frameAt = [&](int x, int y) {
            const QRgb c = image.pixel(x, y);
            return c != base && c != window && c != qRgb(255, 0, 0);
        };
        const int w = image.width(), h = image.height(), reach = qCeil(scale);
        bool top = false, bottom = false, left = false, right = false;
        for (int i = 0; i < reach; ++i) {
            top = top || frameAt(w / 2, i);
            bottom = bottom || frameAt(w / 2, h - 1 - i);
            left = left || frameAt(i, h / 2);
            right = right || frameAt(w - 1 - i, h / 2);
        }
        QVERIFY2(top && bottom && left && right, qPrintable(list->objectName()));
    }
}

void TestMainWindow::dialogControls_data()
{
    addRows(dialogRows, std::size(dialogRows));
}

void TestMainWindow::dialogControls()
{
    WindowsInFolder folder;
    folder.start();
    checkControl(Form2);
}

void TestMainWindow::dialogStartState()
{
    WindowsInFolder folder;
    folder.start();
    QCOMPARE(Form2->windowTitle(), QStringLiteral("Edit"));
    QCOMPARE(Form2->size(), QSize(409, 241));
    QCOMPARE(Form2->minimumSize(), Form2->maximumSize());
    QVERIFY(Form2->isModal());
    QVERIFY(Form2->Button1->isDefault());
    QCOMPARE(Form2->ComboBox1->count(), 146);
    QCOMPARE(Form2->ComboBox1->currentIndex(), -1);
    QVERIFY(Form2->Memo1->isReadOnly());
    QCOMPARE(Form2->Memo1->focusPolicy(), Qt::NoFocus);
    QCOMPARE(Form2->MaskEdit1->displayText(), QStringLiteral("    "));
    for (QLineEdit *e : {Form2->Edit1, Form2->Edit2, Form2->Edit3, Form2->Edit4})
        checkTagField(e);
}

void TestMainWindow::selectionButtons()
{
    WindowsInFolder folder;
    for (const char *name : {"1.mp3", "2.mp3", "3.mp3"})
        QVERIFY(testfiles::writeFile(folder.file(name), mp3()));
    folder.start();
    QTest::mouseClick(Form1->Button2, Qt::LeftButton);
    QCOMPARE(listSelection(), std::vector<bool>({true, true, true}));
    QTest::mouseClick(Form1->Button1, Qt::LeftButton);
    QCOMPARE(listSelection(), std::vector<bool>({false, false, false}));
}

void TestMainWindow::shortcuts_data()
{
    QTest::addColumn<int>("key");
    QTest::addColumn<int>("modifiers");
    QTest::addColumn<bool>("selectedBefore");
    QTest::addColumn<bool>("selectedAfter");
    QTest::addColumn<int>("renames");
    // F2 renames: both prompts are cancelled, and each file is unselected by the walk.
    QTest::newRow("F2") << int(Qt::Key_F2) << 0 << true << false << 1;
    QTest::newRow("Shift+F2") << int(Qt::Key_F2) << int(Qt::ShiftModifier) << true << false << 1;
    QTest::newRow("Ctrl+F2") << int(Qt::Key_F2) << int(Qt::ControlModifier) << true << false << 1;
    QTest::newRow("Ctrl+A") << int(Qt::Key_A) << int(Qt::ControlModifier) << false << true << 0;
    QTest::newRow("Ctrl+Shift+A") << int(Qt::Key_A) << int(Qt::ControlModifier | Qt::ShiftModifier)
                                  << false << true << 0;
    QTest::newRow("A") << int(Qt::Key_A) << 0 << false << false << 0;
    QTest::newRow("Ctrl+C") << int(Qt::Key_C) << int(Qt::ControlModifier) << true << false << 0;
    QTest::newRow("Ctrl+Alt+C") << int(Qt::Key_C) << int(Qt::ControlModifier | Qt::AltModifier)
                                << true << false << 0;
    QTest::newRow("C") << int(Qt::Key_C) << 0 << true << true << 0;
}

void TestMainWindow::shortcuts()
{
    QFETCH(int, key);
    QFETCH(int, modifiers);
    QFETCH(bool, selectedBefore);
    QFETCH(bool, selectedAfter);
    QFETCH(int, renames);
    WindowsInFolder folder;
    for (const char *name : {"1.mp3", "2.mp3"})
        QVERIFY(testfiles::writeFile(folder.file(name), mp3()));
    folder.start();
    showMainWindow();
    QVERIFY(QTest::qWaitForWindowExposed(Form1));
    FakeQuestions questions;
    if (selectedBefore)
        Form1->FileListBox1->selectAllFiles();
    QSignalSpy rename(Form1->Button4, &QPushButton::clicked);
    // The key goes to the focused artist field, which takes Ctrl+A and Ctrl+C itself: the
    // window must see it first, once.
    Form1->Edit1->setFocus();
    QTest::keyClick(Form1->Edit1, Qt::Key(key), Qt::KeyboardModifiers(modifiers));
    QCOMPARE(rename.count(), renames);
    QCOMPARE(questions.texts.size(), 2 * renames);
    QCOMPARE(listSelection(), std::vector<bool>(2, selectedAfter));
}

void TestMainWindow::ctrlCInEditCopiesAndClears()
{
    WindowsInFolder folder;
    QVERIFY(testfiles::writeFile(folder.file("1.mp3"), mp3()));
    folder.start();
    showMainWindow();
    Form1->FileListBox1->selectAllFiles();
    Form1->Edit1->setText(QStringLiteral("Moonlight Trio"));
    Form1->Edit1->selectAll();
    Form1->Edit1->setFocus();
    QApplication::clipboard()->clear();
    QTest::keyClick(Form1->Edit1, Qt::Key_C, Qt::ControlModifier);
    QCOMPARE(listSelection(), std::vector<bool>({false}));
    QCOMPARE(QApplication::clipboard()->text(), QStringLiteral("Moonlight Trio"));
    // The key was not consumed: typing goes on in the field.
    QTest::keyClick(Form1->Edit1, Qt::Key_End);
    QTest::keyClicks(Form1->Edit1, QStringLiteral("!"));
    QCOMPARE(Form1->Edit1->text(), QStringLiteral("Moonlight Trio!"));
}

void TestMainWindow::formatChangesArtistField()
{
    WindowsInFolder folder;
    folder.start();
    Form1->Edit1->setText(QStringLiteral("kept"));
    QTest::mouseClick(Form1->RadioGroup1->button(2), Qt::LeftButton, {}, QPoint(5, 8));
    QCOMPARE(Form1->RadioGroup1->itemIndex(), 2);
    QVERIFY(!Form1->Edit1->isEnabled());
    QCOMPARE(Form1->Edit1->palette().color(QPalette::Base),
             QApplication::palette().color(QPalette::Active, QPalette::Button));
    QTest::mouseClick(Form1->RadioGroup1->button(0), Qt::LeftButton, {}, QPoint(5, 8));
    QVERIFY(Form1->Edit1->isEnabled());
    QCOMPARE(Form1->Edit1->palette().color(QPalette::Base),
             QApplication::palette().color(QPalette::Active, QPalette::Base));
}

void TestMainWindow::exitButtonEndsProgram()
{
    WindowsInFolder folder;
    folder.start();
    showMainWindow();
    QTimer::singleShot(0, Form1->BitBtn2,
                       [] { QTest::mouseClick(Form1->BitBtn2, Qt::LeftButton); });
    QTimer guard;
    guard.callOnTimeout([] { QCoreApplication::exit(7); });
    guard.start(10000);
    QCOMPARE(QApplication::exec(), 0);
}

void TestMainWindow::closeBoxEndsProgram()
{
    WindowsInFolder folder;
    folder.start();
    showMainWindow();
    QTimer::singleShot(0, Form1, [] { Form1->close(); });
    QTimer guard;
    guard.callOnTimeout([] { QCoreApplication::exit(7); });
    guard.start(10000);
    QCOMPARE(QApplication::exec(), 0);
}

namespace
{

// A folder with MP3 files in it and in subfolders, one of them named with bytes that are not
// valid UTF-8, a FIFO named like an MP3 file, a folder and a file named like options and a
// symbolic link to itself.
bool makeTree(const QString &root)
{
    for (const char *folder : {"A", "B", "F", "-v", "caf\xE9 \xFF"}) {
        if (::mkdir(rawPath(root, folder).constData(), 0755) != 0)
            return false;
    }
    for (const char *name : {"top.mp3", "A/a.mp3", "A/b.mp3", "A/c.mp3", "B/x.mp3",
                             "caf\xE9 \xFF/\xE9t\xE9.mp3", "caf\xE9 \xFF/z.mp3"}) {
        if (!writeRaw(root, name, mp3()))
            return false;
    }
    return writeRaw(root, "A/notes.txt", "notes") && writeRaw(root, "-dash.mp3", mp3()) &&
           ::mkfifo(rawPath(root, "F/pipe.mp3").constData(), 0644) == 0 &&
           ::symlink("loop", rawPath(root, "loop").constData()) == 0;
}

struct Run {
    int exitCode = -1;
    QByteArray out, err;
};

// Runs the program in folder with the arguments' own bytes (QProcess would pass them as UTF-8:
// a shell makes them from octal escapes instead). Without a display, no window can open.
Run runProgram(const QString &folder, const QList<QByteArray> &args, bool display)
{
    QByteArray script = "exec \"$0\"";
    for (const QByteArray &arg : args) {
        script += " \"$(printf '";
        for (const char c : arg)
            script += '\\' + QByteArray::number(uchar(c), 8).rightJustified(3, '0');
        script += "')\"";
    }
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.remove(QStringLiteral("DISPLAY"));
    env.remove(QStringLiteral("WAYLAND_DISPLAY"));
    env.remove(QStringLiteral("QT_QPA_PLATFORM"));
    if (display)
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    QProcess process;
    process.setProcessEnvironment(env);
    process.setWorkingDirectory(folder);
    process.start(QStringLiteral("/bin/sh"), {QStringLiteral("-c"), QString::fromLatin1(script),
                                              QStringLiteral(TRACKLING_BINARY)});
    Run run;
    if (!process.waitForFinished(30000)) {
        process.kill();
        process.waitForFinished();
        return run;
    }
    run.exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    run.out = process.readAllStandardOutput();
    run.err = process.readAllStandardError();
    return run;
}

} // namespace

void TestMainWindow::startArguments_data()
{
    QTest::addColumn<QList<QByteArray>>("args");
    QTest::addColumn<QByteArray>("folder"); // below the working directory; empty: itself
    QTest::addColumn<QList<QByteArray>>("selected");
    QTest::addColumn<QByteArray>("message"); // part of the message box; empty: no box
    QTest::addColumn<QByteArray>("boxEnd");  // how the message box ends; empty: not checked
    QTest::addColumn<int>("errLines");       // lines on standard error; -1: not checked

    using L = QList<QByteArray>;
    QTest::newRow("none") << L{} << QByteArray() << L{} << QByteArray() << QByteArray() << -1;
    QTest::newRow("folder") << L{"A"} << QByteArray("A") << L{} << QByteArray() << QByteArray()
                            << -1;
    QTest::newRow("folder, trailing slash")
        << L{"B/"} << QByteArray("B") << L{} << QByteArray() << QByteArray() << -1;
    QTest::newRow("files") << L{"A/c.mp3", "./A/a.mp3"} << QByteArray("A") << L{"a.mp3", "c.mp3"}
                           << QByteArray() << QByteArray() << -1;
    QTest::newRow("files in two folders")
        << L{"A/b.mp3", "B/x.mp3", "B/../A/c.mp3"} << QByteArray("A") << L{"b.mp3", "c.mp3"}
        << QByteArray("1 file not in the first file's folder was not opened: \"B/x.mp3\".")
        << QByteArray() << -1;
    QTest::newRow("two folders") << L{"A", "B", "A"} << QByteArray("A") << L{}
                                 << QByteArray("1 other folder was not opened: \"B\".")
                                 << QByteArray() << -1;
    QTest::newRow("file of the working directory")
        << L{"top.mp3"} << QByteArray() << L{"top.mp3"} << QByteArray() << QByteArray() << -1;
    QTest::newRow("missing path") << L{"nothere"} << QByteArray() << L{}
                                  << QByteArray("Cannot open \"nothere\": File not found.")
                                  << QByteArray() << -1;
    QTest::newRow("missing path, then a file")
        << L{"nothere/x.mp3", "B/x.mp3"} << QByteArray("B") << L{"x.mp3"}
        << QByteArray("Cannot open \"nothere/x.mp3\": File not found.") << QByteArray() << -1;
    QTest::newRow("file as a folder")
        << L{"top.mp3/"} << QByteArray() << L{}
        << QByteArray("Cannot open \"top.mp3/\": Invalid filename.") << QByteArray() << -1;
    QTest::newRow("not an MP3 file")
        << L{"A/notes.txt", "A/b.mp3"} << QByteArray("A") << L{"b.mp3"}
        << QByteArray("\"A/notes.txt\" is not an MP3 file") << QByteArray() << -1;
    QTest::newRow("FIFO, never opened")
        << L{"F/pipe.mp3"} << QByteArray() << L{} << QByteArray("\"F/pipe.mp3\" is not an MP3 file")
        << QByteArray() << -1;
    QTest::newRow("folder not valid UTF-8") << L{"caf\xE9 \xFF"} << QByteArray("caf\xE9 \xFF")
                                            << L{} << QByteArray() << QByteArray() << -1;
    QTest::newRow("file not valid UTF-8")
        << L{"caf\xE9 \xFF/\xE9t\xE9.mp3"} << QByteArray("caf\xE9 \xFF") << L{"\xE9t\xE9.mp3"}
        << QByteArray() << QByteArray() << -1;
    QTest::newRow("folder named like an option")
        << L{"--", "-v"} << QByteArray("-v") << L{} << QByteArray() << QByteArray() << -1;
    QTest::newRow("file named like an option")
        << L{"--", "-dash.mp3"} << QByteArray() << L{"-dash.mp3"} << QByteArray() << QByteArray()
        << -1;
    QTest::newRow("symbolic link to itself")
        << L{"loop"} << QByteArray() << L{}
        << QByteArray("Cannot open \"loop\": Too many levels of symbolic links.") << QByteArray()
        << -1;
    // The box names the first ten; the standard error stream all of them.
    L missing;
    for (int i = 1; i <= 12; ++i)
        missing += "gone" + QByteArray::number(i);
    QTest::newRow("twelve missing paths")
        << missing << QByteArray() << L{} << QByteArray("Cannot open \"gone1\": File not found.")
        << QByteArray("\"gone10\": File not found.\nand 2 more") << 12;
    QTest::newRow("twelve missing paths and a file elsewhere")
        << missing + L{"B/x.mp3", "A/a.mp3"} << QByteArray("B") << L{"x.mp3"}
        << QByteArray("Cannot open \"gone1\": File not found.")
        << QByteArray("and 2 more\n1 file not in the first file's folder was not opened: "
                      "\"A/a.mp3\".")
        << 14;
}

void TestMainWindow::startArguments()
{
    QFETCH(QList<QByteArray>, args);
    QFETCH(QByteArray, folder);
    QFETCH(QList<QByteArray>, selected);
    QFETCH(QByteArray, message);
    QFETCH(QByteArray, boxEnd);
    QFETCH(int, errLines);
    QTemporaryDir dir;
    const QString root = QDir(dir.path()).canonicalPath();
    QVERIFY(makeTree(root));
    RemoveContents cleanup(root);

    const Run run = runProgram(root, QList<QByteArray>{"--report-start"} + args, true);
    QCOMPARE(run.exitCode, 0);
    QByteArray shownFolder;
    QList<QByteArray> shownSelected;
    for (const QByteArray &line : run.out.split('\n')) {
        if (line.startsWith("folder\t"))
            shownFolder = line.mid(7);
        else if (line.startsWith("selected\t"))
            shownSelected += line.mid(9);
    }
    QCOMPARE(shownFolder, folder.isEmpty() ? encodeFileName(root) : rawPath(root, folder));
    QCOMPARE(shownSelected, selected);
    if (message.isEmpty()) {
        QVERIFY2(!run.out.contains("message\t"), run.out.constData());
        QVERIFY2(!run.err.contains("trackling: "), run.err.constData());
    } else {
        // Shown in a message box over the window, and on the standard error stream.
        QVERIFY2(run.out.contains("message\t") && run.out.contains(message), run.out.constData());
        QVERIFY2(run.err.contains("trackling: ") && run.err.contains(message), run.err.constData());
    }
    if (!boxEnd.isEmpty())
        QVERIFY2(run.out.endsWith(boxEnd + '\n'), run.out.constData());
    if (errLines >= 0)
        QCOMPARE(run.err.count("\ntrackling: ") + int(run.err.startsWith("trackling: ")), errLines);
}

void TestMainWindow::helpAndVersion_data()
{
    QTest::addColumn<QList<QByteArray>>("args");
    QTest::addColumn<QList<QByteArray>>("expected"); // on the standard output
    QTest::addColumn<int>("status");
    QTest::addColumn<QList<QByteArray>>("errors"); // on the standard error stream

    using L = QList<QByteArray>;
    const L help{"Usage: ", "trackling [options] [FOLDER | FILE...]", "-h, --help", "-v, --version",
                 "FOLDER | FILE..."};
    const L version{"Trackling " TRACKLING_VERSION "\n", "GNU GPL version 3 or later",
                    "NO WARRANTY"};
    QTest::newRow("--help") << L{"--help"} << help << 0 << L{};
    QTest::newRow("-h") << L{"-h"} << help << 0 << L{};
    QTest::newRow("--version") << L{"--version"} << version << 0 << L{};
    QTest::newRow("-v") << L{"-v"} << version << 0 << L{};
    QTest::newRow("after a folder") << L{"A", "--version"} << version << 0 << L{};
    // Mistakes end the program without a window, and say what is wrong.
    QTest::newRow("unknown option") << L{"-x"} << L{} << 1 << L{"trackling: Unknown option 'x'."};
    QTest::newRow("file named like an option")
        << L{"A", "-dash.mp3"} << L{} << 1
        << L{"trackling: \"-dash.mp3\" is a file, not an option. To open it, put -- before it: "
             "trackling -- -dash.mp3\n"};
    QTest::newRow("folder named like an option, with a space")
        << L{"-my dir"} << L{} << 1
        << L{"\"-my dir\" is a folder, not an option", "trackling -- '-my dir'\n"};
}

void TestMainWindow::helpAndVersion()
{
    QFETCH(QList<QByteArray>, args);
    QFETCH(QList<QByteArray>, expected);
    QFETCH(int, status);
    QFETCH(QList<QByteArray>, errors);
    QTemporaryDir dir;
    QVERIFY(::mkdir(rawPath(dir.path(), "A").constData(), 0755) == 0);
    QVERIFY(::mkdir(rawPath(dir.path(), "-my dir").constData(), 0755) == 0);
    QVERIFY(writeRaw(dir.path(), "-dash.mp3", mp3()));
    // The help and the version need no display (the program would fail to open a window); a
    // mistake is found once the program's arguments are told from Qt's own, with a display.
    const Run run = runProgram(dir.path(), args, status != 0);
    QCOMPARE(run.exitCode, status);
    for (const QByteArray &text : expected)
        QVERIFY2(run.out.contains(text), run.out.constData());
    for (const QByteArray &text : errors)
        QVERIFY2(run.err.contains(text), run.err.constData());
    QVERIFY2(!run.out.contains("report-start"), "a test option in the help");
}

void TestMainWindow::dropOpens_data()
{
    QTest::addColumn<QList<QByteArray>>("paths"); // below the start folder, or a URL with "://"
    QTest::addColumn<Qt::DropActions>("actions");
    QTest::addColumn<bool>("accepted");
    QTest::addColumn<QByteArray>("folder");
    QTest::addColumn<QList<QByteArray>>("selected");
    QTest::addColumn<QByteArray>("message");

    using L = QList<QByteArray>;
    const Qt::DropActions copyOrMove = Qt::CopyAction | Qt::MoveAction;
    QTest::newRow("folder") << L{"A"} << copyOrMove << true << QByteArray("A") << L{}
                            << QByteArray();
    QTest::newRow("files in two folders")
        << L{"A/b.mp3", "B/x.mp3", "A/a.mp3"} << copyOrMove << true << QByteArray("A")
        << L{"a.mp3", "b.mp3"}
        << QByteArray("1 file not in the first file's folder was not opened: \"");
    QTest::newRow("missing path") << L{"nothere"} << copyOrMove << true << QByteArray() << L{}
                                  << QByteArray("/nothere\": File not found.");
    QTest::newRow("file not valid UTF-8")
        << L{"caf\xE9 \xFF/\xE9t\xE9.mp3"} << Qt::DropActions(Qt::CopyAction) << true
        << QByteArray("caf\xE9 \xFF") << L{"\xE9t\xE9.mp3"} << QByteArray();
    // The same limit as for the program's arguments: the first ten are named.
    L missing;
    for (int i = 1; i <= 12; ++i)
        missing += "gone" + QByteArray::number(i);
    QTest::newRow("twelve missing paths") << missing << copyOrMove << true << QByteArray() << L{}
                                          << QByteArray("/gone10\": File not found.\nand 2 more");
    QTest::newRow("web address refused") << L{"https://example.org/A/a.mp3"} << copyOrMove << false
                                         << QByteArray() << L{} << QByteArray();
    QTest::newRow("move only refused") << L{"A"} << Qt::DropActions(Qt::MoveAction) << false
                                       << QByteArray() << L{} << QByteArray();
}

void TestMainWindow::dropOpens()
{
    QFETCH(QList<QByteArray>, paths);
    QFETCH(Qt::DropActions, actions);
    QFETCH(bool, accepted);
    QFETCH(QByteArray, folder);
    QFETCH(QList<QByteArray>, selected);
    QFETCH(QByteArray, message);
    WindowsInFolder windows;
    const QString root = QDir(windows.path()).canonicalPath();
    QVERIFY(makeTree(root));
    RemoveContents cleanup(root);
    windows.start();
    FakeQuestions questions;

    QList<QUrl> urls;
    for (const QByteArray &path : paths) {
        urls += path.contains("://") ? QUrl(QString::fromLatin1(path))
                                     : localFileUrl(decodeFileName(rawPath(root, path)));
    }
    QMimeData data;
    data.setUrls(urls);
    const QPoint middle(340, 250);
    QDragEnterEvent enter(middle, actions, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(Form1, &enter);
    QCOMPARE(enter.isAccepted(), accepted);
    QDragMoveEvent move(middle, actions, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(Form1, &move);
    QCOMPARE(move.isAccepted(), accepted);
    QDropEvent drop(middle, actions, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(Form1, &drop);
    QCOMPARE(drop.isAccepted(), accepted);
    if (accepted) // a copy: the program that dragged keeps its files
        QCOMPARE(drop.dropAction(), Qt::CopyAction);
    QCoreApplication::processEvents(); // the drop opens once it has ended

    QCOMPARE(encodeFileName(Form1->DirectoryListBox1->directory()),
             folder.isEmpty() ? encodeFileName(root) : rawPath(root, folder));
    QList<QByteArray> shownSelected;
    const std::vector<bool> rows = listSelection();
    for (int row = 0; row < int(rows.size()); ++row) {
        if (rows[std::size_t(row)])
            shownSelected += encodeFileName(Form1->FileListBox1->itemText(row));
    }
    QCOMPARE(shownSelected, selected);
    if (message.isEmpty()) {
        QCOMPARE(questions.criticals, QStringList());
    } else {
        QCOMPARE(questions.criticals.size(), 1);
        QVERIFY2(questions.criticals[0].contains(QString::fromUtf8(message)),
                 qPrintable(questions.criticals[0]));
        QVERIFY(questions.criticals[0].count(QLatin1Char('\n')) <= 11);
    }
}

QTEST_MAIN(TestMainWindow)
#include "test_mainwindow.moc"
