// The main window's batch commands through its buttons, keys and menus (test_commands.cpp), its
// result notice (test_commands_notice.cpp) and undo (test_commands_undo.cpp), each on files in a
// temporary folder with every question answered by a script.
#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

class TestCommands : public QObject
{
    Q_OBJECT
private slots:
    void tagsFromNames_data();
    void tagsFromNames();
    void longTitlePrompt_data();
    void longTitlePrompt();
    void folderGuess();
    void trimFileNames();
    void renameByPrompt_data();
    void renameByPrompt();
    void renameFromTags();
    void contextMenu();
    void id3v2FromId3v1Menu();
    void playlistOfFolder();
    void playlistsOfSubfolders();
    void playlistFailureReturnsToStart();
    void noticeLeavesScrollBarFree();
    void noticeColours_data();
    void noticeColours();
    void noticeOffersId3v2FromId3v1_data();
    void noticeOffersId3v2FromId3v1();
    void undoAndRedoKeys();
    void undoOfAnEarlierRunAsks();
    void undoAndRedoNotices_data();
    void undoAndRedoNotices();
    void undoAsksOncePerKey_data();
    void undoAsksOncePerKey();
    void commandsWithoutJournal_data();
    void commandsWithoutJournal();
    void playFile();
    void exitWhilePlayingStopsFirst();
    void realPlayerReportsFailedOpen();
    void stopsAfterFileInHand_data();
    void stopsAfterFileInHand();
    void noCommandInsideAnother();
    void closingStopsThenCloses();
};

// Shared by the three files.
namespace commandtest
{
QByteArray tagOf(const QString &path);
// A field's bytes as the tag holds them: blank-padded to width.
QByteArray field(const QByteArray &text, int width);
QStringList listItems();
void choosePattern(int pattern);
QString noticeText();
QStringList selectedItems();
QStringList sortedEntries(const QString &path);
// A version 2.3 tag with a title and an artist, as another tool writes it.
QByteArray id3v2Tag(const QByteArray &title, const QByteArray &artist);

// XDG_STATE_HOME (where the undo journal lives) set for a test's life to a new empty folder, or
// to the path given; the old value comes back when it goes. Made before the windows start.
class StateHome
{
public:
    StateHome();
    explicit StateHome(const QByteArray &path);
    ~StateHome();
    StateHome(const StateHome &) = delete;
    StateHome &operator=(const StateHome &) = delete;
    QByteArray path() const { return m_path; }

private:
    QTemporaryDir m_dir;
    QByteArray m_path;
    QByteArray m_old;
    bool m_had = false;
};
} // namespace commandtest
