#include "playlist.h"

#include "filenames.h"
#include "ioerror.h"
#include "pathinfolder.h"

#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <cerrno>

namespace
{

// A playlist collected in memory and written to a temporary file next to its target, which
// replaces the target only when everything was written (the old file stays intact otherwise).
class PlaylistFile
{
public:
    explicit PlaylistFile(const QString &path) : m_file(path)
    {
        // QSaveFile refuses these itself, but without an errno to tell why.
        const QFileInfo info(path);
        if (info.isDir() || (info.exists() && !info.isWritable()))
            throw IoError::accessDenied();
        errno = 0;
        if (!m_file.open(QIODevice::WriteOnly | QIODevice::Unbuffered))
            throw failure(errno, IoError::accessDenied());
    }

    void add(const QByteArray &line) { m_data += line; }

    void commit()
    {
        errno = 0;
        const qint64 written = m_file.write(m_data);
        if (written != m_data.size()) {
            const int err = errno;
            m_file.cancelWriting();
            throw failure(err, IoError::diskFull());
        }
        errno = 0;
        if (!m_file.commit())
            throw failure(errno, IoError::accessDenied());
    }

private:
    static IoError failure(int err, const IoError &fallback)
    {
        return err != 0 ? IoError::fromErrno(err) : fallback;
    }

    QSaveFile m_file;
    QByteArray m_data;
};

bool startsWithDrive(const QString &path)
{
    return path.size() >= 2 && path.at(1) == QLatin1Char(':') && path.at(0).isLetter() &&
           path.at(0).unicode() < 128;
}

// path without the mount point mount, or nothing when path does not lie below it.
std::optional<QString> belowMount(const QString &path, const QString &mount)
{
    if (path == mount)
        return QStringLiteral("/");
    if (path.startsWith(mount + QLatin1Char('/')))
        return path.mid(mount.size());
    return std::nullopt;
}

QString withoutVolumePrefix(const QString &folder)
{
    if (startsWithDrive(folder))
        return folder.mid(2);
    // Only a volume that may be mounted elsewhere next time loses its mount point; a path on a
    // fixed volume (a separate /home, say) would resolve nowhere without it.
    const auto movable = movableMountPoint(folder);
    if (!movable || *movable == QLatin1String("/"))
        return folder;
    const QString mount = *movable;
    if (auto rest = belowMount(folder, mount))
        return *rest;
    // The mount point is found for the folder's real path; the folder may be reached by a link.
    if (auto rest = belowMount(QFileInfo(folder).canonicalFilePath(), mount))
        return *rest;
    return folder;
}

QString proposedName(const QString &folder)
{
    const QString name = QFileInfo(folder).fileName();
    return (name.isEmpty() ? QStringLiteral("playlist") : name) + QStringLiteral(".m3u");
}

void addLines(const QString &folder, const QStringList &fileNames, bool noDriveLetter,
              const std::function<void(const QByteArray &)> &add)
{
    const QString text = playlistFolderText(folder, noDriveLetter);
    for (const QString &name : fileNames) {
        if (const auto line = playlistLine(text, name))
            add(*line);
    }
}

void createOne(PlaylistFolderBrowser &browser, bool noDriveLetter,
               const PlaylistQuestions &questions)
{
    const QString folder = browser.currentFolder();
    const auto path = questions.saveFileName(
        QString::fromUtf16(kPlaylistSaveTitle), pathInFolder(folder, proposedName(folder)),
        QString::fromUtf16(kPlaylistFilter), QString::fromUtf16(kPlaylistSuffix));
    if (!path)
        return;
    PlaylistFile file(*path);
    addLines(folder, browser.fileNames(), noDriveLetter,
             [&](const QByteArray &line) { file.add(line); });
    file.commit();
}

void createPerSubfolder(PlaylistFolderBrowser &browser, const QStringList &subfolders,
                        bool noDriveLetter, const PlaylistQuestions &questions)
{
    const auto target = questions.existingDirectory(QString::fromUtf16(kPlaylistFolderTitle));
    if (!target)
        return;
    const QString start = browser.currentFolder();
    PlaylistFile combined(pathInFolder(*target, QString::fromUtf16(kCombinedPlaylistName)));
    try {
        for (const QString &name : subfolders) {
            browser.openFolder(pathInFolder(start, name));
            PlaylistFile single(pathInFolder(*target, name + QStringLiteral(".m3u")));
            addLines(browser.currentFolder(), browser.fileNames(), noDriveLetter,
                     [&](const QByteArray &line) {
                         combined.add(line);
                         single.add(line);
                     });
            single.commit();
            browser.openFolder(start);
        }
    } catch (...) {
        // Back to the starting folder before the failure is shown; the first failure is the one
        // worth telling.
        try {
            if (browser.currentFolder() != start)
                browser.openFolder(start);
        } catch (...) {
        }
        throw;
    }
    combined.commit();
}

} // namespace

QString playlistFolderText(const QString &folder, bool noDriveLetter)
{
    const QString path = noDriveLetter ? withoutVolumePrefix(folder) : folder;
    return path.endsWith(QLatin1Char('/')) ? path : path + QLatin1Char('/');
}

std::optional<QByteArray> playlistLine(const QString &folderText, const QString &fileName)
{
    const QString path = folderText + fileName;
    if (path.contains(QLatin1Char('\r')) || path.contains(QLatin1Char('\n')))
        return std::nullopt;
    return encodeFileName(path) + QByteArrayLiteral("\r\n");
}

void createPlaylists(PlaylistFolderBrowser &browser, bool noDriveLetter,
                     const PlaylistQuestions &questions)
{
    const QStringList subfolders = browser.subfolderNames();
    if (subfolders.isEmpty())
        createOne(browser, noDriveLetter, questions);
    else
        createPerSubfolder(browser, subfolders, noDriveLetter, questions);
}
