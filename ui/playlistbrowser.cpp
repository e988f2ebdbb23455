#include "playlistbrowser.h"

#include "directorylistbox.h"
#include "filelistbox.h"

DirectoryPlaylistBrowser::DirectoryPlaylistBrowser(TDirectoryListBox &directories,
                                                   TFileListBox &files)
    : m_directories(directories), m_files(files)
{
}

QString DirectoryPlaylistBrowser::currentFolder() const
{
    return m_directories.directory();
}

QStringList DirectoryPlaylistBrowser::subfolderNames() const
{
    // The items after the current folder's own item, not after the highlighted one.
    QStringList names;
    for (int row = m_directories.currentFolderRow() + 1; row < m_directories.count(); ++row)
        names << m_directories.item(row)->text();
    return names;
}

void DirectoryPlaylistBrowser::openFolder(const QString &path)
{
    // Highlight the folder's item where the list shows one, then open it as a double click does,
    // but with a failure handed back to the command instead of shown here.
    for (int row = 0; row < m_directories.count(); ++row) {
        if (m_directories.itemPath(row) == path) {
            m_directories.setItemIndex(row);
            break;
        }
    }
    m_directories.setDirectory(path);
}

QStringList DirectoryPlaylistBrowser::fileNames() const
{
    QStringList names;
    const int n = m_files.count();
    names.reserve(n);
    for (int row = 0; row < n; ++row)
        names << m_files.itemText(row);
    return names;
}
