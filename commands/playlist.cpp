#include "playlist.h"

#include "changes.h"
#include "filenames.h"
#include "ioerror.h"
#include "pathinfolder.h"
#include "questions.h"

#include <QFileInfo>

namespace
{

// A playlist collected in memory and written through the playlist door when complete.
class PlaylistFile
{
public:
    PlaylistFile(const QString &path, const WalkControl &control) : m_path(path), m_control(control)
    {
        checkPlaylistTarget(path);
    }

    void add(const QByteArray &line) { m_data += line; }
    void commit(WalkReport &report)
    {
        const PlaylistChange change =
            writePlaylist(m_control.recorder.get(), m_path, m_data, m_control.dryRun);
        ++report.done;
        if (m_control.fileDone) {
            FileOutcome outcome;
            outcome.note = change.existed ? QStringLiteral("replaced") : QStringLiteral("new");
            m_control.fileDone(m_path, outcome);
        }
    }

private:
    QString m_path;
    const WalkControl &m_control;
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

void createOne(PlaylistFolderBrowser &browser, bool noDriveLetter, CommandQuestions &questions,
               WalkReport &report, const WalkControl &control)
{
    const QString folder = browser.currentFolder();
    const auto path = questions.askSaveFileName(
        QString::fromUtf16(kPlaylistSaveTitle), pathInFolder(folder, proposedName(folder)),
        QString::fromUtf16(kPlaylistFilter), QString::fromUtf16(kPlaylistSuffix));
    if (!path)
        return;
    PlaylistFile file(*path, control);
    addLines(folder, browser.fileNames(), noDriveLetter,
             [&](const QByteArray &line) { file.add(line); });
    file.commit(report);
}

void createPerSubfolder(PlaylistFolderBrowser &browser, const QStringList &subfolders,
                        bool noDriveLetter, CommandQuestions &questions, WalkReport &report,
                        const WalkControl &control)
{
    const QString start = browser.currentFolder();
    const auto target =
        questions.askExistingDirectory(QString::fromUtf16(kPlaylistFolderTitle), start);
    if (!target)
        return;
    PlaylistFile combined(pathInFolder(*target, QString::fromUtf16(kCombinedPlaylistName)),
                          control);
    try {
        for (const QString &name : subfolders) {
            if (control.stopRequested()) {
                report.stopped = true;
                return; // in the starting folder
            }
            browser.openFolder(pathInFolder(start, name));
            PlaylistFile single(pathInFolder(*target, name + QStringLiteral(".m3u")), control);
            addLines(browser.currentFolder(), browser.fileNames(), noDriveLetter,
                     [&](const QByteArray &line) {
                         combined.add(line);
                         single.add(line);
                     });
            single.commit(report);
            browser.openFolder(start);
            if (control.progress)
                control.progress(report.visited(), report.total);
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
    combined.commit(report);
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

WalkReport createPlaylists(PlaylistFolderBrowser &browser, bool noDriveLetter,
                           CommandQuestions &questions, const WalkControl &control)
{
    WalkReport report;
    const QStringList subfolders = browser.subfolderNames();
    if (subfolders.isEmpty()) {
        report.total = 1;
        createOne(browser, noDriveLetter, questions, report, control);
    } else {
        report.total = int(subfolders.size()) + 1;
        createPerSubfolder(browser, subfolders, noDriveLetter, questions, report, control);
    }
    if (control.recorder)
        report.notRecorded = control.recorder->problem();
    return report;
}
