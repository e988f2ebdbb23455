// Handlers of the main window's batch commands, the folder-name guess and preview playback.
// Each runs its command through runHandler, so a failure ends the command and is shown in a
// message box.
#include "tform1.h"

#include "handler.h"
#include "id3v1fromid3v2.h"
#include "modalquestions.h"
#include "playlistbrowser.h"
#include "previewcontrol.h"
#include "previewplayer.h"
#include "rename.h"
#include "tagsfromnames.h"
#include "tidy.h"
#include "windowquestions.h"

#include <QMenu>

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

void TForm1::BitBtn1Click()
{
    runHandler(questions(), [this] {
        recorded(QStringLiteral("TAG'EM!"),
                 [this] { tagsFromFileNames(*FileListBox1, namingOptions(), questions()); });
    });
}

void TForm1::Button3Click()
{
    runHandler(questions(), [this] {
        recorded(QStringLiteral("Trim filename(s)"),
                 [this] { tidyFileNames(*FileListBox1, RadioGroup1->itemIndex()); });
        rereadAfterRenames();
    });
}

void TForm1::Button4Click()
{
    runHandler(questions(), [this] {
        recorded(QStringLiteral("Rename file(s)"),
                 [this] { renameByPrompt(*FileListBox1, questions()); });
        rereadAfterRenames();
    });
}

void TForm1::Button6Click()
{
    runHandler(questions(), [this] {
        recorded(QStringLiteral("Rename from tags"), [this] { renameFromTags(*FileListBox1); });
        rereadAfterRenames();
    });
}

void TForm1::ID3v1FromID3v21Click()
{
    runHandler(questions(), [this] {
        recorded(QStringLiteral("ID3v1 from ID3v2"), [this] { id3v1FromId3v2(*FileListBox1); });
    });
}

// The file list's right-click menu: the commands on the selected files, none of them new but
// "ID3v1 from ID3v2", so the window keeps its controls.
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
    FileListBox1->setContextMenuPolicy(Qt::CustomContextMenu);
}

void TForm1::FileListBox1ContextPopup(const QPoint &pos)
{
    PopupMenu1->popup(FileListBox1->viewport()->mapToGlobal(pos));
}

void TForm1::Button5Click()
{
    runHandler(questions(), [this] {
        DirectoryPlaylistBrowser browser(*DirectoryListBox1, *FileListBox1);
        recorded(QStringLiteral("Create playlist(s)"),
                 [&] { createPlaylists(browser, CheckBox3->isChecked(), questions()); });
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

void TForm1::rereadAfterRenames()
{
    FileListBox1->reread();
}

void TForm1::setModalQuestions(ModalQuestions *dialogs)
{
    m_questions->setDialogs(dialogs);
}
