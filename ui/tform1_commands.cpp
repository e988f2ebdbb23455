// Handlers of the main window's batch commands, the folder-name guess and preview playback.
// Each runs its command through runHandler, so a failure ends the command and is shown in a
// message box.
#include "tform1.h"

#include "commandrunner.h"
#include "folder.h"
#include "folderscan.h"
#include "handler.h"
#include "id3v1fromid3v2.h"
#include "modalquestions.h"
#include "playlistbrowser.h"
#include "previewcontrol.h"
#include "previewplayer.h"
#include "rename.h"
#include "reporttext.h"
#include "resultnotice.h"
#include "session.h"
#include "tagsfromnames.h"
#include "tidy.h"
#include "windowquestions.h"

#include <QMenu>
#include <QSet>
#include <QTimer>
#include <chrono>
#include <future>

NamingOptions TForm1::namingOptions() const
{
    NamingOptions options;
    options.pattern = RadioGroup1->itemIndex();
    options.artist = Edit1->text();
    options.album = Edit2->text();
    // The four positions as the field shows them: an empty one reads as a blank.
    options.year = MaskEdit1->displayText();
    options.comment = Edit3->text();
    options.genre = ComboBox1->currentText();
    options.askForLongTitles = CheckBox1->isChecked();
    return options;
}

void TForm1::GuessFromDirectoryName()
{
    const auto guess =
        guessFromDirectoryName(CheckBox2->isChecked(), RadioGroup1->itemIndex(),
                               DirectoryListBox1->directory(), FileListBox1->count() > 0);
    if (!guess)
        return;
    Edit1->setText(guess->artist);
    Edit2->setText(guess->album);
}

void TForm1::DirectoryListBox1Change()
{
    // A result tells of the files of the folder it was shown in (a dropped folder opens without
    // a click or key in the window); a running command's progress stays.
    if (m_runner && !m_runner->busy())
        m_notice->dismiss();
    runHandler(questions(), [this] { GuessFromDirectoryName(); });
}

void TForm1::RadioGroup1Click()
{
    runHandler(questions(), [this] {
        UpdateFormatControls();
        GuessFromDirectoryName();
        const int pattern = RadioGroup1->itemIndex();
        if (pattern == PatternTrackArtistSong || pattern == PatternArtistSong)
            Edit1->clear();
    });
}

void TForm1::CheckBox2Click()
{
    runHandler(questions(), [this] { GuessFromDirectoryName(); });
}

void TForm1::runCommand(CommandKind kind, const std::function<void(CommandRequest &)> &options)
{
    if (m_runner->busy())
        return;
    const CommandInfo &info = commandInfo(kind);
    runHandler(questions(), [&] {
        CommandRequest request;
        request.kind = kind;
        request.folder = Folder::open(FileListBox1->directory());
        request.files = FileListBox1;
        if (options)
            options(request);
        const std::optional<WalkReport> report = m_runner->run(
            info.verb,
            [&](const WalkControl &given) {
                WalkControl control = given;
                // A block prepared on the other thread is waited for with the window answering.
                control.waitFor = [this](const std::function<bool()> &done) {
                    m_runner->turnUntil(done);
                };
                return m_session->run(request, questions(), control);
            },
            [&](const WalkReport &done) {
                if (info.renames)
                    rereadAfterRenames(done);
            });
        if (!report)
            return;
        // A command that changed files offers to take them back.
        if (report->done > 0 && report->notRecorded.isEmpty())
            m_notice->setUndoHandler([this] { Undo(); });
        else
            m_notice->setUndoHandler({});
        QString text = reportText(*report, info.verb);
        if (const QString differs = id3v2DiffersText(*report); !differs.isEmpty())
            text += QStringLiteral("; ") + differs;
        offerId3v2FromId3v1(report->id3v2Differs);
        m_notice->showResult(text, leftFilesText(*report, kListedLeftFiles));
    });
    if (m_closeWhenDone && !m_runner->busy())
        QTimer::singleShot(0, this, &QWidget::close);
}

void TForm1::BitBtn1Click()
{
    runCommand(CommandKind::TagsFromNames,
               [this](CommandRequest &request) { request.naming = namingOptions(); });
}

void TForm1::Button3Click()
{
    runCommand(CommandKind::TidyNames,
               [this](CommandRequest &request) { request.tidyPattern = RadioGroup1->itemIndex(); });
}

void TForm1::Button4Click()
{
    runCommand(CommandKind::RenameByPrompt);
}

void TForm1::Button6Click()
{
    runCommand(CommandKind::RenameFromTags);
}

void TForm1::ID3v1FromID3v21Click()
{
    runCommand(CommandKind::Id3v1FromId3v2);
}

void TForm1::ID3v2FromID3v11Click()
{
    runCommand(CommandKind::Id3v2FromId3v1);
}

void TForm1::offerId3v2FromId3v1(const std::vector<QString> &files)
{
    if (files.empty()) {
        m_notice->setActionHandler({});
        return;
    }
    // The names are the shown folder's; the notice goes when another folder is shown.
    const QString folder = FileListBox1->directory();
    m_notice->setActionHandler(
        [this, folder, names = QSet<QString>(files.begin(), files.end())] {
            if (m_runner->busy() || FileListBox1->directory() != folder)
                return;
            std::vector<bool> rows(std::size_t(FileListBox1->count()), false);
            for (int row = 0; row < FileListBox1->count(); ++row)
                rows[std::size_t(row)] = names.contains(FileListBox1->itemText(row));
            FileListBox1->selectRows(rows);
            ID3v2FromID3v11Click();
        },
        QStringLiteral("ID3v2 from ID3v1"),
        QStringLiteral("Writes the ID3v2 tags of those files, which players show, from their "
                       "ID3v1 tags"));
}

// The file list's right-click menu: the commands on the selected files, none of them new but
// the two that copy one tag into the other, so the window keeps its controls.
void TForm1::buildPopupMenu()
{
    PopupMenu1 = new QMenu(this);
    PopupMenu1->setObjectName(QStringLiteral("PopupMenu1"));
    EditTags1 = PopupMenu1->addAction(QStringLiteral("Edit tag(s)"));
    RenameFiles1 = PopupMenu1->addAction(QStringLiteral("Rename file(s)"));
    TrimFilenames1 = PopupMenu1->addAction(QStringLiteral("Trim filename(s)"));
    RenameFromTags1 = PopupMenu1->addAction(QStringLiteral("Rename from tags"));
    PopupMenu1->addSeparator();
    ID3v1FromID3v21 = PopupMenu1->addAction(QStringLiteral("ID3v1 from ID3v2"));
    ID3v2FromID3v11 = PopupMenu1->addAction(QStringLiteral("ID3v2 from ID3v1"));
    FileListBox1->setContextMenuPolicy(Qt::CustomContextMenu);
}

void TForm1::FileListBox1ContextPopup(const QPoint &pos)
{
    PopupMenu1->popup(FileListBox1->viewport()->mapToGlobal(pos));
}

void TForm1::Button5Click()
{
    runCommand(CommandKind::CreatePlaylists, [this](CommandRequest &request) {
        request.noDriveLetter = CheckBox3->isChecked();
        request.browser = m_playlistBrowser.get();
    });
}

void TForm1::Button8Click()
{
    runHandler(questions(), [this] {
        // The list's current item (the one with the focus), not the selection.
        const int row = FileListBox1->itemIndex();
        const std::optional<QString> item =
            row >= 0 ? std::optional<QString>(FileListBox1->itemText(row)) : std::nullopt;
        preview().toggle(DirectoryListBox1->directory(), item);
    });
}

PreviewControl &TForm1::preview()
{
    if (!m_preview) {
        PreviewPlayer *player = m_testPlayer;
        if (!player) {
            // Made on the first press, so that start-up does not wait for the media service.
            if (!m_ownPlayer)
                m_ownPlayer = std::make_unique<QtPreviewPlayer>();
            player = m_ownPlayer.get();
        }
        m_preview = std::make_unique<PreviewControl>(
            *player, [this](const QString &caption) { Button8->setText(caption); },
            [this](const QString &message) { questions().showError(message); });
    }
    return *m_preview;
}

void TForm1::setPreviewPlayer(PreviewPlayer *player)
{
    m_preview.reset();
    m_testPlayer = player;
}

void TForm1::rereadAfterRenames(const WalkReport &report)
{
    QSet<QString> unreached;
    if (report.stopped) {
        const std::vector<bool> selected = FileListBox1->selectedRows();
        for (int row = 0; row < int(selected.size()); ++row) {
            if (selected[std::size_t(row)])
                unreached.insert(FileListBox1->itemText(row));
        }
    }
    // Reading a big folder takes a while: on a thread of its own, while the event loop turns.
    const QString folder = FileListBox1->directory();
    std::future<FolderScan> scan =
        std::async(std::launch::async, [folder, mask = FileListBox1->mask()] {
            return folder.isEmpty() ? FolderScan{} : scanFolder(folder, mask);
        });
    m_runner->turnUntil(
        [&] { return scan.wait_for(std::chrono::milliseconds(20)) == std::future_status::ready; });
    FileListBox1->showFiles(folder, scan.get().files);
    if (unreached.isEmpty())
        return;
    std::vector<bool> keep(std::size_t(FileListBox1->count()), false);
    for (int row = 0; row < FileListBox1->count(); ++row)
        keep[std::size_t(row)] = unreached.contains(FileListBox1->itemText(row));
    FileListBox1->selectRows(keep);
}

void TForm1::setModalQuestions(ModalQuestions *dialogs)
{
    m_questions->setDialogs(dialogs);
}
