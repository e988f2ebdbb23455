// Handlers of the main window's batch commands, the folder-name guess and preview playback.
// Each runs its command through runHandler, so a failure ends the command and is shown in a
// message box.
#include "tform1.h"

#include "handler.h"
#include "longtitleprompt.h"
#include "playlistbrowser.h"
#include "previewcontrol.h"
#include "previewplayer.h"
#include "rename.h"
#include "tagsfromnames.h"
#include "tidy.h"
#include "widgetquestions.h"

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
    runHandler(this, [this] { GuessFromDirectoryName(); });
}

void TForm1::RadioGroup1Click()
{
    runHandler(this, [this] {
        UpdateFormatControls();
        GuessFromDirectoryName();
        const int pattern = RadioGroup1->itemIndex();
        if (pattern == PatternTrackArtistSong || pattern == PatternArtistSong)
            Edit1->clear();
    });
}

void TForm1::CheckBox2Click()
{
    runHandler(this, [this] { GuessFromDirectoryName(); });
}

void TForm1::BitBtn1Click()
{
    runHandler(this, [this] { tagsFromFileNames(*FileListBox1, namingOptions(), askForNewTitle); });
}

void TForm1::Button3Click()
{
    runHandler(this, [this] { tidyFileNames(*FileListBox1, RadioGroup1->itemIndex()); });
}

void TForm1::Button4Click()
{
    runHandler(this, [this] {
        renameByPrompt(*FileListBox1, [this](const QString &caption, const QString &label,
                                             const QString &initial, int maxLength) {
            return modalQuestions().getText(this, caption, label, initial, maxLength);
        });
    });
}

void TForm1::Button6Click()
{
    runHandler(this, [this] { renameFromTags(*FileListBox1); });
}

void TForm1::Button5Click()
{
    runHandler(this, [this] {
        DirectoryPlaylistBrowser browser(*DirectoryListBox1, *FileListBox1);
        PlaylistQuestions questions;
        questions.saveFileName = [this](const QString &title, const QString &proposedPath,
                                        const QString &filter, const QString &defaultSuffix) {
            return modalQuestions().getSaveFileName(this, title, proposedPath, filter,
                                                    defaultSuffix);
        };
        questions.existingDirectory = [this](const QString &title) {
            return modalQuestions().getExistingDirectory(this, title);
        };
        createPlaylists(browser, CheckBox3->isChecked(), questions);
    });
}

void TForm1::Button8Click()
{
    runHandler(this, [this] {
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
            [this](const QString &message) { modalQuestions().critical(this, message); });
    }
    return *m_preview;
}

void TForm1::setPreviewPlayer(PreviewPlayer *player)
{
    m_preview.reset();
    m_testPlayer = player;
}
