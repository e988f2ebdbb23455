#pragma once

#include "playlist.h"

class TDirectoryListBox;
class TFileListBox;

// "Create playlist(s)" over the main window's folder browser. It works from the current folder
// itself, whatever item a single click has highlighted in the directory list; folders are opened
// through the directory list, so the file list follows and the change event is raised.
class DirectoryPlaylistBrowser : public PlaylistFolderBrowser
{
public:
    DirectoryPlaylistBrowser(TDirectoryListBox &directories, TFileListBox &files);

    QString currentFolder() const override;
    QStringList subfolderNames() const override;
    void openFolder(const QString &path) override;
    QStringList fileNames() const override;

private:
    TDirectoryListBox &m_directories;
    TFileListBox &m_files;
};
