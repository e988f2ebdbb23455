// The real save dialog and folder browser behind "Create playlist(s)", driven as a user would:
// title, filter, default extension, the proposed name and the question before replacing a file.
#include "playlist.h"
#include "testfiles.h"
#include "widgetquestions.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QFileDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <deque>
#include <functional>

class TestRealDialogs : public QObject
{
    Q_OBJECT
private slots:
    void saveDialog_data();
    void saveDialog();
    void folderBrowser();
};

namespace
{

// Answers modal widgets as they come to the front: each step gets the widget in front and
// returns whether it has dealt with it.
class ModalScript
{
public:
    std::deque<std::function<bool(QWidget *)>> steps;

    ModalScript()
    {
        m_timer.callOnTimeout([this] {
            QWidget *front = QApplication::activeModalWidget();
            if (front && front != m_last && !steps.empty() && steps.front()(front)) {
                steps.pop_front();
                m_last = front;
            }
            if (front != m_last)
                m_last = nullptr;
        });
        m_timer.start(20);
    }

private:
    QTimer m_timer;
    QWidget *m_last = nullptr;
};

QString fileDialogText(QWidget *w, QString &title, QStringList &filters, QString &suffix)
{
    auto *dialog = qobject_cast<QFileDialog *>(w);
    if (!dialog)
        return {};
    title = dialog->windowTitle();
    filters = dialog->nameFilters();
    suffix = dialog->defaultSuffix();
    auto *edit = dialog->findChild<QLineEdit *>(QStringLiteral("fileNameEdit"));
    return edit ? edit->text() : QString();
}

} // namespace

void TestRealDialogs::saveDialog_data()
{
    QTest::addColumn<QString>("typed");   // empty: keep the proposed name
    QTest::addColumn<QString>("replace"); // answer to the replace question: "yes", "no", ""
    QTest::addColumn<QString>("result");  // file name chosen, empty when cancelled
    QTest::newRow("proposed, replaced") << ""
                                        << "yes"
                                        << "Rock.m3u";
    QTest::newRow("proposed, not replaced") << ""
                                            << "no"
                                            << "";
    QTest::newRow("new name gets the extension") << "mix"
                                                 << ""
                                                 << "mix.m3u";
}

void TestRealDialogs::saveDialog()
{
    QFETCH(QString, typed);
    QFETCH(QString, replace);
    QFETCH(QString, result);
    QTemporaryDir dir;
    QVERIFY(testfiles::writeFile(dir.filePath("Rock.m3u"), "old\r\n"));
    QString title, suffix, shownName, question;
    QStringList filters;
    ModalScript script;
    auto accept = [&](QWidget *w) {
        auto *dialog = qobject_cast<QFileDialog *>(w);
        if (!dialog)
            return false;
        // The dialog selects the proposed file only once it has read the folder, and then
        // writes its name into the name field again: typing before that would be lost.
        auto *view = dialog->findChild<QAbstractItemView *>(QStringLiteral("listView"));
        if (!view || !view->selectionModel() || !view->selectionModel()->hasSelection())
            return false;
        shownName = fileDialogText(w, title, filters, suffix);
        // A selected file wins over the typed name; the dialog drops it on typing only while
        // its name field has the focus, which an offscreen window may not have yet.
        if (!typed.isEmpty()) {
            view->selectionModel()->clearSelection();
            auto *edit = dialog->findChild<QLineEdit *>(QStringLiteral("fileNameEdit"));
            edit->selectAll();
            QTest::keyClicks(edit, typed);
        }
        QTimer::singleShot(0, dialog, [dialog] { static_cast<QDialog *>(dialog)->accept(); });
        return true;
    };
    script.steps.push_back(accept);
    if (!replace.isEmpty()) {
        script.steps.push_back([&](QWidget *w) {
            auto *box = qobject_cast<QMessageBox *>(w);
            if (!box)
                return false;
            question = box->text();
            box->button(replace == "yes" ? QMessageBox::Yes : QMessageBox::No)->click();
            return true;
        });
    }
    if (replace == "no") {
        script.steps.push_back([](QWidget *w) {
            auto *dialog = qobject_cast<QFileDialog *>(w);
            if (dialog)
                QTimer::singleShot(0, dialog, [dialog] { dialog->reject(); });
            return dialog != nullptr;
        });
    }

    WidgetQuestions questions;
    const auto chosen = questions.getSaveFileName(
        nullptr, QString::fromUtf16(kPlaylistSaveTitle), dir.filePath("Rock.m3u"),
        QString::fromUtf16(kPlaylistFilter), QString::fromUtf16(kPlaylistSuffix));

    QCOMPARE(title, QStringLiteral("Save playlist"));
    QCOMPARE(filters, QStringList{"M3U Playlist (*.m3u)"});
    QCOMPARE(suffix, QStringLiteral("m3u"));
    QCOMPARE(shownName, QStringLiteral("Rock.m3u"));
    QCOMPARE(question.contains("already exists"), !replace.isEmpty());
    if (result.isEmpty())
        QVERIFY(!chosen);
    else
        QCOMPARE(chosen.value_or(QString()), dir.filePath(result));
    QCOMPARE(testfiles::readFile(dir.filePath("Rock.m3u")), QByteArray("old\r\n"));
}

void TestRealDialogs::folderBrowser()
{
    QTemporaryDir dir;
    QString title;
    ModalScript script;
    script.steps.push_back([&](QWidget *w) {
        auto *dialog = qobject_cast<QFileDialog *>(w);
        if (!dialog)
            return false;
        title = dialog->windowTitle();
        dialog->setDirectory(dir.path());
        dialog->findChild<QLineEdit *>(QStringLiteral("fileNameEdit"))->setText(dir.path());
        QTimer::singleShot(0, dialog, [dialog] { static_cast<QDialog *>(dialog)->accept(); });
        return true;
    });
    WidgetQuestions questions;
    const auto chosen = questions.getExistingDirectory(
        nullptr, QString::fromUtf16(kPlaylistFolderTitle), QString());
    QCOMPARE(title, QStringLiteral("Select directory for playlists"));
    QCOMPARE(chosen.value_or(QString()), dir.path());
}

QTEST_MAIN(TestRealDialogs)
#include "test_realdialogs.moc"
