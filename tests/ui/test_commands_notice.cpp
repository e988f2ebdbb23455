// The result notice over the file list: where it lies, its colours in light and dark themes.
#include "test_commands.h"

#include "id3v2bytes.h"
#include "id3v2reader.h"
#include "resultnotice.h"
#include "startup.h"
#include "testfiles.h"
#include "tform1.h"
#include "tform2.h"
#include "uitest.h"

#include <QApplication>
#include <QHash>
#include <QLabel>
#include <QPushButton>
#include <QScrollBar>
#include <QStyle>
#include <QStyleFactory>
#include <QTemporaryDir>
#include <QTest>
#include <cmath>
#include <map>
#include <memory>

using namespace commandtest;

// The notice lies over the rows' part of the list, beside its scroll bar, and keeps the rows out
// from under it; a click aimed at the scroll bar's arrow scrolls the list and takes nothing back.
void TestCommands::noticeLeavesScrollBarFree()
{
    StateHome state;
    WindowsInFolder folder;
    for (int i = 0; i < 40; ++i)
        QVERIFY(testfiles::writeFile(
            folder.file(QStringLiteral("Band - %1.mp3").arg(i, 2, 10, QChar(u'0'))), mp3()));
    folder.start();
    showMainWindow();
    QVERIFY(QTest::qWaitForWindowExposed(Form1));
    FakeQuestions questions;
    choosePattern(2);
    Form1->FileListBox1->setSelected(0, true);
    QTest::mouseClick(Form1->BitBtn1, Qt::LeftButton);
    QCOMPARE(noticeText(), QStringLiteral("1 file tagged"));
    const QByteArray tagged = testfiles::readFile(folder.file("Band - 00.mp3"));
    QCOMPARE(tagged.right(128).left(7), QByteArray("TAG00  "));

    ResultNotice &notice = Form1->notice();
    QVERIFY(notice.undoButton()->isVisible());
    QVERIFY(!notice.undoButton()->isFlat()); // drawn as a button, not a word
    QScrollBar *bar = Form1->FileListBox1->verticalScrollBar();
    QVERIFY(bar->isVisible());
    QCOMPARE(bar->value(), 0);
    auto inWindow = [](const QWidget *w) {
        return QRect(w->mapTo(Form1, QPoint(0, 0)), w->size());
    };
    QVERIFY(!notice.geometry().intersects(inWindow(bar)));
    QVERIFY(!notice.geometry().intersects(inWindow(Form1->FileListBox1->viewport())));
    QVERIFY(inWindow(Form1->FileListBox1).contains(notice.geometry()));
    // The list can still be scrolled to its last row, which then lies above the notice.
    Form1->FileListBox1->scrollToBottom();
    const QRect last = Form1->FileListBox1->visualRect(Form1->FileListBox1->model()->index(39, 0));
    QVERIFY(Form1->FileListBox1->viewport()->rect().contains(last));
    Form1->FileListBox1->scrollToTop();

    // A click where the down arrow is, through the window as a person's click comes.
    const QPoint arrow = bar->mapTo(Form1, QPoint(bar->width() / 2, bar->height() - 3));
    QCOMPARE(Form1->childAt(arrow), bar);
    QTest::mouseClick(Form1->windowHandle(), Qt::LeftButton, {}, arrow);
    QVERIFY(bar->value() > 0);
    QCOMPARE(testfiles::readFile(folder.file("Band - 00.mp3")), tagged);
    QVERIFY(!Form1->lastUndoReport());
    QCOMPARE(noticeText(), QString());
    // The rows' room is given back.
    QCOMPARE(Form1->FileListBox1->viewport()->geometry().bottom(),
             Form1->FileListBox1->contentsRect().bottom());
    QVERIFY(questions.criticals.isEmpty());
}

namespace
{

double luminance(const QColor &colour)
{
    auto channel = [](double v) {
        return v <= 0.03928 ? v / 12.92 : std::pow((v + 0.055) / 1.055, 2.4);
    };
    const QColor c = colour.toRgb();
    return 0.2126 * channel(c.redF()) + 0.7152 * channel(c.greenF()) + 0.0722 * channel(c.blueF());
}

double contrast(const QColor &a, const QColor &b)
{
    const double la = luminance(a), lb = luminance(b);
    return (std::max(la, lb) + 0.05) / (std::min(la, lb) + 0.05);
}

// The contrast of a button's word with its face as drawn: the face is its most common colour
// inside its border, the word's strongest pixel the one that differs most from it.
double drawnContrast(QWidget *button)
{
    const QImage image = button->grab().toImage().convertToFormat(QImage::Format_RGB32);
    QHash<QRgb, int> counts;
    for (int y = 3; y < image.height() - 3; ++y) {
        for (int x = 3; x < image.width() - 3; ++x)
            ++counts[image.pixel(x, y)];
    }
    QRgb face = 0;
    for (auto it = counts.cbegin(); it != counts.cend(); ++it) {
        if (it.value() > counts.value(face))
            face = it.key();
    }
    double best = 1;
    for (auto it = counts.cbegin(); it != counts.cend(); ++it)
        best = std::max(best, contrast(QColor(it.key()), QColor(face)));
    return best;
}

QPalette darkPalette()
{
    QPalette dark;
    const QColor window(53, 53, 53), base(35, 35, 35), text(221, 221, 221);
    dark.setColor(QPalette::Window, window);
    dark.setColor(QPalette::WindowText, text);
    dark.setColor(QPalette::Base, base);
    dark.setColor(QPalette::AlternateBase, window);
    dark.setColor(QPalette::Text, text);
    dark.setColor(QPalette::Button, window);
    dark.setColor(QPalette::ButtonText, QColor(208, 208, 208));
    dark.setColor(QPalette::Highlight, QColor(42, 130, 218));
    dark.setColor(QPalette::HighlightedText, Qt::white);
    dark.setColor(QPalette::Light, window.lighter(150));
    dark.setColor(QPalette::Mid, window.darker(120));
    dark.setColor(QPalette::Dark, window.darker(150));
    return dark;
}

} // namespace

void TestCommands::noticeColours_data()
{
    QTest::addColumn<QPalette>("palette");
    QTest::addColumn<bool>("afterStart"); // the palette changes while the program runs
    std::unique_ptr<QStyle> fusion(QStyleFactory::create(QStringLiteral("Fusion")));
    const QPalette light = fusion->standardPalette();
    // A dark desktop that leaves the tool-tip colours light (the notice's own pair).
    QPalette dark = darkPalette();
    dark.setColor(QPalette::ToolTipBase, QColor(255, 255, 220));
    dark.setColor(QPalette::ToolTipText, Qt::black);
    QPalette darkTips = darkPalette();
    darkTips.setColor(QPalette::ToolTipBase, QColor(32, 32, 32));
    darkTips.setColor(QPalette::ToolTipText, QColor(240, 240, 240));
    // Tool-tip colours that cannot be told apart: the notice takes the list's.
    QPalette alike = darkPalette();
    alike.setColor(QPalette::ToolTipBase, Qt::white);
    alike.setColor(QPalette::ToolTipText, Qt::white);
    QTest::newRow("light") << light << false;
    QTest::newRow("dark, light tool tips") << dark << false;
    QTest::newRow("dark, tool tips without contrast") << alike << false;
    QTest::newRow("dark tool tips, chosen while running") << darkTips << true;
}

void TestCommands::noticeColours()
{
    QFETCH(QPalette, palette);
    QFETCH(bool, afterStart);
    const QPalette before = QApplication::palette();
    struct Restore {
        QPalette palette;
        ~Restore() { QApplication::setPalette(palette); }
    } restore{before};
    if (!afterStart)
        QApplication::setPalette(palette);
    WindowsInFolder folder;
    folder.start();
    showMainWindow();
    QVERIFY(QTest::qWaitForWindowExposed(Form1));
    ResultNotice &notice = Form1->notice();
    notice.setUndoHandler([] {});
    notice.setActionHandler([] {}, QStringLiteral("ID3v2 from ID3v1"));
    notice.showResult(QStringLiteral("12 files tagged"), QStringLiteral("a.mp3: cancelled"));
    if (afterStart) // a desktop switched to a dark theme while the notice shows
        QApplication::setPalette(palette);
    QApplication::processEvents();

    // One pair of colours for the text, the buttons and the list of files left.
    const QColor background = notice.palette().color(QPalette::Window);
    QLabel *text = nullptr;
    for (QLabel *label : notice.findChildren<QLabel *>(Qt::FindDirectChildrenOnly)) {
        if (label != notice.detailsList())
            text = label;
    }
    QVERIFY(text);
    const QColor ink = text->palette().color(text->foregroundRole());
    if (afterStart) // the new theme's own pair
        QCOMPARE(background, palette.color(QPalette::ToolTipBase));
    QVERIFY2(contrast(ink, background) >= 4.5,
             qPrintable(QString::number(contrast(ink, background))));
    for (QPushButton *button : {notice.undoButton(), notice.stopButton(), notice.actionButton()}) {
        QCOMPARE(button->palette().color(QPalette::ButtonText), ink);
        QCOMPARE(button->palette().color(QPalette::Button), background);
    }
    QCOMPARE(notice.detailsList()->palette().color(QPalette::WindowText), ink);
    QCOMPARE(notice.detailsList()->palette().color(QPalette::Window), background);
    // As drawn, too.
    for (QPushButton *button : {notice.undoButton(), notice.actionButton()}) {
        QVERIFY(button->isVisible());
        const double drawn = drawnContrast(button);
        QVERIFY2(drawn >= 4.5, qPrintable(QString::number(drawn)));
    }
}

void TestCommands::noticeOffersId3v2FromId3v1_data()
{
    // The command ("TAG'EM!", or "Edit tag(s)" saving each file), the files selected, the notice
    // and the files whose ID3v2 tag the notice's "ID3v2 from ID3v1" then writes (none: not
    // offered).
    QTest::addColumn<QString>("command");
    QTest::addColumn<QStringList>("selected");
    QTest::addColumn<QString>("notice");
    QTest::addColumn<QStringList>("written");
    const QStringList four = {"Band - A.mp3", "Band - B.mp3", "Band - C.mp3", "Band - E.mp3"};
    const QString said = "4 files tagged; the ID3v2 tags of 2 files say otherwise";
    const QStringList ae = {"Band - A.mp3", "Band - E.mp3"};
    QTest::newRow("TAG'EM!") << "TAG'EM!" << four << said << ae;
    QTest::newRow("Edit tag(s)") << "Edit tag(s)" << four << said << ae;
    QTest::newRow("TAG'EM!, one file")
        << "TAG'EM!" << QStringList{"Band - E.mp3"}
        << "1 file tagged; the ID3v2 tag of 1 file says otherwise" << QStringList{"Band - E.mp3"};
    QTest::newRow("TAG'EM!, all in step")
        << "TAG'EM!" << QStringList{"Band - B.mp3", "Band - C.mp3"} << "2 files tagged"
        << QStringList();
}

// After a command that leaves an ID3v2 tag (which players show) saying otherwise than the new
// ID3v1 tag, the notice says so and offers "ID3v2 from ID3v1", which writes the ID3v2 tags of
// exactly those files; Undo stays, and takes that command back.
void TestCommands::noticeOffersId3v2FromId3v1()
{
    QFETCH(QString, command);
    QFETCH(QStringList, selected);
    QFETCH(QString, notice);
    QFETCH(QStringList, written);
    StateHome state;
    WindowsInFolder folder;
    // A and E have an ID3v2 title of their own; B has no ID3v2 tag; C's says what TAG'EM!
    // writes; D (never selected) differs too.
    auto v2 = [](const QByteArray &title, const QByteArray &genre = {}) {
        QByteArray frames = textFrame(3, "TIT2", title) + textFrame(3, "TPE1", "Band");
        if (!genre.isEmpty())
            frames += textFrame(3, "TCON", genre);
        return tag(3, frames + QByteArray(64, '\0'));
    };
    const std::map<QString, QByteArray> files = {{"Band - A.mp3", v2("Other") + mp3()},
                                                 {"Band - B.mp3", mp3()},
                                                 {"Band - C.mp3", v2("C", "Jazz") + mp3()},
                                                 {"Band - D.mp3", v2("Other") + mp3()},
                                                 {"Band - E.mp3", v2("Wrong") + mp3()}};
    for (const auto &[name, bytes] : files)
        QVERIFY(testfiles::writeFile(folder.file(name), bytes));
    folder.start();
    showMainWindow();
    QVERIFY(QTest::qWaitForWindowExposed(Form1));
    FakeQuestions questions;
    choosePattern(2);
    Form1->ComboBox1->setCurrentIndex(Form1->ComboBox1->findText("Jazz"));
    std::vector<bool> rows(files.size(), false);
    for (int row = 0; row < Form1->FileListBox1->count(); ++row)
        rows[std::size_t(row)] = selected.contains(Form1->FileListBox1->itemText(row));
    Form1->FileListBox1->selectRows(rows);
    if (command == "TAG'EM!") {
        QTest::mouseClick(Form1->BitBtn1, Qt::LeftButton);
    } else {
        for (qsizetype i = 0; i < selected.size(); ++i) {
            questions.dialogAnswers.push_back([](QDialog &) {
                Form2->Edit1->setText(Form2->Panel6->text().mid(7, 1)); // "Band - A.mp3": "A"
                Form2->Edit2->setText("Band");
                Form2->Edit3->clear();
                Form2->MaskEdit1->clear();
                Form2->Edit4->clear();
                Form2->ComboBox1->setCurrentIndex(Form2->ComboBox1->findText("Jazz"));
                return int(TForm2::SaveResult);
            });
        }
        QTest::mouseClick(Form1->Button7, Qt::LeftButton);
    }
    QCOMPARE(noticeText(), notice);
    ResultNotice &shown = Form1->notice();
    QPushButton *action = shown.actionButton();
    QCOMPARE(action->isVisibleTo(&shown), !written.isEmpty());
    QVERIFY(shown.undoButton()->isVisibleTo(&shown));
    std::map<QString, QByteArray> tagged;
    for (const auto &[name, bytes] : files)
        tagged[name] = testfiles::readFile(folder.file(name));
    if (written.isEmpty())
        return;

    // A real push button beside Undo, below the text; neither takes the focus; all inside the
    // notice, which stays over the list.
    QCOMPARE(action->text(), QStringLiteral("ID3v2 from ID3v1"));
    QVERIFY(!action->isFlat());
    QCOMPARE(action->focusPolicy(), Qt::NoFocus);
    QVERIFY(!action->accessibleDescription().isEmpty());
    QVERIFY(shown.rect().contains(action->geometry()));
    QVERIFY(shown.rect().contains(shown.undoButton()->geometry()));
    QCOMPARE(shown.undoButton()->geometry().top(), action->geometry().top());
    QVERIFY(Form1->FileListBox1->geometry().contains(shown.geometry()));
    QCOMPARE(action->palette().color(QPalette::ButtonText),
             shown.undoButton()->palette().color(QPalette::ButtonText));
    if (!qEnvironmentVariableIsEmpty("TRACKLING_SHOTS"))
        Form1->grab().save(qEnvironmentVariable("TRACKLING_SHOTS") + "/notice.png");

    QTest::mouseClick(action, Qt::LeftButton);

    QCOMPARE(noticeText(), written.size() == 1 ? QStringLiteral("1 ID3v2 tag written")
                                               : QStringLiteral("2 ID3v2 tags written"));
    for (const auto &[name, before] : tagged) {
        const QByteArray after = testfiles::readFile(folder.file(name));
        if (!written.contains(name)) {
            QCOMPARE(after, before);
            continue;
        }
        const Id3v2Info info = parseId3v2(reinterpret_cast<const std::uint8_t *>(after.constData()),
                                          std::size_t(after.size()));
        QCOMPARE(QString::fromStdString(info.text.title), name.mid(7, 1));
        QVERIFY(after.endsWith(before.right(128 + mp3().size())));
    }
    QVERIFY(shown.undoButton()->isVisibleTo(&shown));
    QVERIFY(!action->isVisibleTo(&shown));
    QTest::mouseClick(shown.undoButton(), Qt::LeftButton);
    for (const auto &[name, before] : tagged)
        QCOMPARE(testfiles::readFile(folder.file(name)), before);
    QVERIFY(questions.criticals.isEmpty());
}
