#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <optional>

#include "walk.h"

class CommandQuestions;

// What "Create playlist(s)" needs of the main window's folder browser. The window's directory
// and file lists implement it; tests use one backed by the real file system.
class PlaylistFolderBrowser
{
public:
    virtual ~PlaylistFolderBrowser() = default;

    // The current folder: an absolute path without a trailing "/" (except the root "/").
    virtual QString currentFolder() const = 0;
    // The current folder's direct subfolders as the directory list shows them, in list order.
    virtual QStringList subfolderNames() const = 0;
    // Opens the folder at path as the directory list does: it becomes the current folder (and
    // working directory), the file list reads its files and the list's change event is raised.
    // Throws IoError when the folder cannot be opened; the current folder then stays as it was.
    virtual void openFolder(const QString &path) = 0;
    // The texts of the file list's items (bare file names) in list order.
    virtual QStringList fileNames() const = 0;
};

inline constexpr char16_t kPlaylistSaveTitle[] = u"Save playlist";
inline constexpr char16_t kPlaylistFilter[] = u"M3U Playlist (*.m3u)";
inline constexpr char16_t kPlaylistSuffix[] = u"m3u";
inline constexpr char16_t kPlaylistFolderTitle[] = u"Select directory for playlists";
inline constexpr char16_t kCombinedPlaylistName[] = u"_All.m3u";

// The text every playlist line for a file of folder starts with: the folder ending in exactly
// one "/". With noDriveLetter, the volume prefix is removed: a leading "X:" drive where one is
// present, otherwise the mount point of a removable or network volume holding the folder
// (/media/usb/Music -> /Music/); a folder on any other volume is kept whole.
QString playlistFolderText(const QString &folder, bool noDriveLetter);

// One playlist line: folderText, the file name and CR LF, as the bytes the file system uses for
// the path. Nothing for a path holding CR or LF, which cannot be one line.
std::optional<QByteArray> playlistLine(const QString &folderText, const QString &fileName);

// "Create playlist(s)". Without subfolders: one playlist of every listed file, saved where the
// user says (nothing when cancelled). With subfolders: in a folder the user picks, one playlist
// per direct subfolder named after it plus "_All.m3u" of all their files, replacing existing
// ones; each subfolder is opened in the browser and the starting folder opened again after it.
// The folder browser opens in the current folder. Each playlist goes through the playlist door
// (writePlaylist) and replaces its old file only when complete. A failure throws IoError after
// the browser has returned to the starting folder. The report counts the playlists written.
// control hears of each subfolder done; a stop request ends the command after the subfolder in
// hand, back in the starting folder, without "_All.m3u" (which would miss the rest).
WalkReport createPlaylists(PlaylistFolderBrowser &browser, bool noDriveLetter,
                           CommandQuestions &questions, const WalkControl &control = {});
