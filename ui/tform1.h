#pragma once

#include "ui_TForm1.h"
#include "undo.h"

#include <QWidget>
#include <functional>
#include <memory>
#include <optional>

enum class ReportVerb;
enum class CommandKind;
class CommandSession;
struct CommandRequest;

class CommandRunner;
class DirectoryPlaylistBrowser;
class ModalQuestions;
class QAction;
class QKeyEvent;
class QMenu;
class PreviewControl;
class ResultNotice;
struct WalkControl;
class PreviewPlayer;
class WindowQuestions;
struct NamingOptions;
struct WalkReport;

// The main window: folder browser, tag fields for batch tagging, options and command buttons.
// Commands reach its controls through Form1 (Form1->FileListBox1, Form1->Edit1, ...).
class TForm1 : public QWidget, public Ui::TForm1
{
    Q_OBJECT
public:
    explicit TForm1(QWidget *parent = nullptr);
    ~TForm1() override;

    // Start-up settings, run once the window is complete.
    void FormCreate();
    // Artist field enabled on the field colour for format 0, disabled and grey otherwise.
    void UpdateFormatControls();
    // Artist and album from a current folder named 'Artist - Album', when the option is checked
    // and the format is "xx. Song.mp3".
    void GuessFromDirectoryName();

    // Plays previews through player (not owned; it must outlive the window or be replaced)
    // instead of the window's own media player; nullptr returns to the window's own.
    void setPreviewPlayer(PreviewPlayer *player);

    // The questions the window's commands ask (shown over the window, after the list's pending
    // changes).
    WindowQuestions &questions() { return *m_questions; }
    // Puts in the dialogs that answer every later question; nullptr puts the real ones back.
    void setModalQuestions(ModalQuestions *dialogs);

    // The file list's context menu: the commands on the selected files, and the two that copy one
    // tag into the other ("ID3v1 from ID3v2", "ID3v2 from ID3v1").
    QMenu *PopupMenu1 = nullptr;
    QAction *EditTags1 = nullptr;
    QAction *RenameFiles1 = nullptr;
    QAction *TrimFilenames1 = nullptr;
    QAction *RenameFromTags1 = nullptr;
    QAction *ID3v1FromID3v21 = nullptr;
    QAction *ID3v2FromID3v11 = nullptr;
    // Lists the files the last command left as they were, while its notice shows.
    QAction *FilesLeft1 = nullptr;
    // Ctrl+Z: takes back the last command that changed files (asking first when an earlier run
    // or another window made it, or it was made in another folder); Ctrl+Shift+Z makes again
    // what undo took back. Each returns what it did, nothing when there was nothing to do, it
    // was declined or it failed (the failure is shown); the notice says which.
    std::optional<UndoReport> Undo();
    std::optional<UndoReport> Redo();
    // What the last Undo or Redo did, for the result notice.
    const std::optional<UndoReport> &lastUndoReport() const;
    // The notice over the file list's lower edge: each command's result, or its progress.
    ResultNotice &notice() { return *m_notice; }
    // Runs the commands that act on files, one at a time (see commandrunner.h).
    CommandRunner &commandRunner() { return *m_runner; }
    // The commands, undo and redo, with the undo journal.
    CommandSession &session() { return *m_session; }

public slots:
    // The window's keys; returns true for a key the window takes alone (F2, and Ctrl+Z outside
    // text fields), which no control then sees.
    bool FormKeyDown(int key, Qt::KeyboardModifiers shift);
    void FileListBox1ContextPopup(const QPoint &pos);
    void ID3v1FromID3v21Click();
    void ID3v2FromID3v11Click();
    void DirectoryListBox1Change();
    void FileListBox1DblClick();
    void RadioGroup1Click();
    void CheckBox2Click();
    void Button1Click();
    void Button2Click();
    void Button3Click();
    void Button4Click();
    void Button5Click();
    void Button6Click();
    void Button7Click();
    void Button8Click();
    void BitBtn1Click();
    void BitBtn2Click();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
    // Closing while a command runs stops it after the file in hand; the window closes then.
    void closeEvent(QCloseEvent *event) override;

private:
    void connectHandlers();
    void buildPopupMenu();
    void addFilesLeftToMenu();
    void drawPictures();
    void openStartFolder();
    NamingOptions namingOptions() const;
    // The preview toggle, made with its player on the first press of "Play file".
    PreviewControl &preview();
    // After a command that renamed files: the list shows the folder as it now is (read on a
    // thread of its own while the event loop turns). After a stopped command the files it did
    // not reach (still selected) stay selected. Throws IoError when the folder cannot be read.
    void rereadAfterRenames(const WalkReport &report);
    // A handler of a command that acts on files: runs the command over the current folder's
    // selected files (or its folder browser) through the runner and the session (nothing while
    // another command runs), the folder read again after renames, and shows the report in the
    // notice. A failure shows its message box as every handler does.
    void runCommand(CommandKind kind, const std::function<void(CommandRequest &)> &options = {});
    // While a command runs: Esc stops it, and other input to the window (the notice aside) is
    // ignored. Returns whether event is taken.
    bool filterWhileBusy(QWidget *target, QEvent *event);
    // Offers "ID3v2 from ID3v1" on the notice for exactly these files of the folder shown (none:
    // nothing offered): it selects them and runs that command.
    void offerId3v2FromId3v1(const std::vector<QString> &files);
    // Shows in the notice what undo (or redo) did, or that there was nothing to do and why.
    void showUndoReport(const std::optional<UndoReport> &report, bool redo);
    // How many of the files left as they were a notice lists.
    static constexpr int kListedLeftFiles = 200;
    // The Menu key and Shift+F10, which open the file list's menu from the keyboard.
    static bool isContextMenuKey(const QKeyEvent &key);
    void openFileListMenu();
    // Whether the key goes to a text field, which keeps Ctrl+Z for its own typing.
    bool typingHasFocus() const;

    // The key press seen last: a key that no control takes travels up to its parents and is
    // seen again; the window acts on it once.
    struct SeenKey {
        const QEvent *event = nullptr;
        int key = 0;
        Qt::KeyboardModifiers modifiers;
        quint64 timestamp = 0;
        bool operator==(const SeenKey &) const = default;
    };
    SeenKey m_lastKeyPress;

    std::unique_ptr<WindowQuestions> m_questions;
    std::unique_ptr<CommandSession> m_session;
    std::unique_ptr<DirectoryPlaylistBrowser> m_playlistBrowser;
    std::optional<UndoReport> m_lastUndo;
    ResultNotice *m_notice = nullptr; // a child
    std::unique_ptr<CommandRunner> m_runner;
    bool m_closeWhenDone = false;
    // Declared before the control, which must go first.
    std::unique_ptr<PreviewPlayer> m_ownPlayer;
    PreviewPlayer *m_testPlayer = nullptr;
    std::unique_ptr<PreviewControl> m_preview;
};

// The main window, set as soon as it is being created.
extern TForm1 *Form1;
