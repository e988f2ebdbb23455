#include "rename.h"

#include "changerecorder.h"
#include "changes.h"
#include "ioerror.h"
#include "questions.h"
#include "walk.h"

#include "filelist.h"
#include "filenames.h"
#include "tagfile.h"
#include "tagtext.h"
#include "tagworkspace.h"

#include <QFile>
#include <atomic>
#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

namespace
{

// renameat2(RENAME_NOREPLACE); where the file system lacks it, link + unlink, which never
// replaces either. Returns 0 or the errno of the failure.
int renameOnce(const char *from, const char *to)
{
    if (::renameat2(AT_FDCWD, from, AT_FDCWD, to, RENAME_NOREPLACE) == 0)
        return 0;
    const int err = errno;
    if (err != EINVAL && err != ENOSYS)
        return err;
    if (::link(from, to) != 0)
        return errno;
    if (::unlink(from) != 0) {
        const int unlinkErr = errno;
        (void)::unlink(to); // the file keeps its old name only
        return unlinkErr;
    }
    return 0;
}

bool sameFile(const char *a, const char *b)
{
    struct stat sa, sb;
    return ::lstat(a, &sa) == 0 && ::lstat(b, &sb) == 0 && sa.st_dev == sb.st_dev &&
           sa.st_ino == sb.st_ino;
}

// On a file system that ignores letter case the new name of a case change already names the
// file itself: move it aside under a hidden unique name, then to the new name, each step
// without replacing; if the second step is refused, it goes back.
bool renameThroughAside(const std::string &from, const std::string &to,
                        const std::string &folderPrefix = {})
{
    static std::atomic<unsigned> counter{0};
    for (int attempt = 0; attempt < 8; ++attempt) {
        const std::string aside = folderPrefix + ".trackling-rename-" + std::to_string(::getpid()) +
                                  "-" + std::to_string(counter++);
        const int err = renameOnce(from.c_str(), aside.c_str());
        if (err == EEXIST)
            continue;
        if (err != 0)
            return false;
        if (renameOnce(aside.c_str(), to.c_str()) == 0)
            return true;
        (void)renameOnce(aside.c_str(), from.c_str());
        return false;
    }
    return false;
}

// A name a file may be given: never one that moves it out of its folder, and never a hidden
// one, which would take it out of the list.
bool acceptableName(const QString &name)
{
    return !name.isEmpty() && !name.startsWith(QLatin1Char('.')) &&
           !name.contains(QLatin1Char('/')) && !name.contains(QChar(0));
}

} // namespace

QString RenameChange::reason() const
{
    switch (result) {
    case RenameResult::Renamed:
        return {};
    case RenameResult::NameNotAllowed:
        return QStringLiteral("name not allowed");
    case RenameResult::NameTaken:
        return QStringLiteral("name already taken");
    case RenameResult::Unchanged:
        return QStringLiteral("name unchanged");
    case RenameResult::Failed:
        break;
    }
    QString message = QString::fromStdString(IoError::fromErrno(error).message());
    if (message.endsWith(QLatin1Char('.')))
        message.chop(1);
    return message.left(1).toLower() + message.mid(1);
}

RenameChange renameFile(const QString &from, const QString &to)
{
    RenameChange change{RenameResult::Failed, from, to, 0};
    if (!acceptableName(to) || from.isEmpty()) {
        change.result = RenameResult::NameNotAllowed;
        return change;
    }
    const std::string oldName = encodeFileName(from).toStdString();
    const std::string newName = encodeFileName(to).toStdString();
    if (oldName == newName) {
        change.result = RenameResult::Unchanged; // the file already has that name
        return change;
    }
    if (ChangeRecorder *recorder = currentRecorder()) {
        // Recorded before it is made; a name that is gone is left to the rename to report.
        const QByteArray folder = encodeFileName(currentFolder());
        if (const auto planned = plannedRename(folder, encodeFileName(from), encodeFileName(to)))
            recorder->beforeChange(*planned);
    }
    const int err = renameOnce(oldName.c_str(), newName.c_str());
    if (err == 0) {
        change.result = RenameResult::Renamed;
    } else if (err == EEXIST && sameFile(oldName.c_str(), newName.c_str())) {
        change.result =
            renameThroughAside(oldName, newName) ? RenameResult::Renamed : RenameResult::NameTaken;
    } else {
        change.result = err == EEXIST ? RenameResult::NameTaken : RenameResult::Failed;
        change.error = err;
    }
    return change;
}

bool renameNoReplaceIn(const QByteArray &folder, const QByteArray &from, const QByteArray &to)
{
    if (!acceptableName(decodeFileName(to)) || !acceptableName(decodeFileName(from)) ||
        folder.isEmpty() || from == to)
        return false;
    const std::string prefix =
        folder.endsWith('/') ? folder.toStdString() : folder.toStdString() + '/';
    const std::string oldPath = prefix + from.toStdString();
    const std::string newPath = prefix + to.toStdString();
    const int err = renameOnce(oldPath.c_str(), newPath.c_str());
    if (err == 0)
        return true;
    if (err == EEXIST && sameFile(oldPath.c_str(), newPath.c_str()))
        return renameThroughAside(oldPath, newPath, prefix);
    return false;
}

bool renameNoReplace(const QString &from, const QString &to)
{
    return renameFile(from, to).renamed();
}

namespace
{

FileOutcome outcomeOf(const RenameChange &change)
{
    return change.renamed() ? FileOutcome::changed() : FileOutcome::leftAsItWas(change.reason());
}

} // namespace

WalkReport renameByPrompt(FileList &list, CommandQuestions &questions, const WalkControl &control)
{
    return walkSelection(
        list,
        [&](const QString &name) {
            const auto entered = questions.askText(QStringLiteral("Rename"), name, name, 255);
            if (!entered)
                return FileOutcome::leftAsItWas(QStringLiteral("cancelled"));
            return outcomeOf(renameFile(name, *entered));
        },
        control);
}

namespace
{

// A tag field as the tag reader gives it: without the blanks and control bytes around it.
std::string trimmedField(const QByteArray &tag, int at, int width)
{
    int b = at, e = at + width;
    while (b < e && std::uint8_t(tag[b]) <= 32)
        ++b;
    while (e > b && std::uint8_t(tag[e - 1]) <= 32)
        --e;
    return tag.mid(b, e - b).toStdString();
}

// The rename "Rename from tags" will make of name, read from the file's last 128 bytes.
std::optional<JournalChange> plannedRenameFromTag(const QByteArray &folder, const QString &name)
{
    const auto last = plannedTagWrite(journalPath(name), {});
    if (!last || !last->oldLast.startsWith("TAG"))
        return std::nullopt;
    const std::string title = trimmedField(last->oldLast, 3, 30);
    const std::string artist = trimmedField(last->oldLast, 33, 30);
    if (title.empty() || artist.empty())
        return std::nullopt;
    const QString to =
        fromTagText(artist) + QStringLiteral(" - ") + fromTagText(title) + QStringLiteral(".mp3");
    if (auto planned = plannedRename(folder, encodeFileName(name), encodeFileName(to)))
        return *planned;
    return std::nullopt;
}

} // namespace

WalkReport renameFromTags(FileList &list, const WalkControl &control)
{
    TagWorkspace &ws = tagWorkspace();
    WalkControl planning = control;
    if (ChangeRecorder *recorder = currentRecorder()) {
        // Each rename is foreseen from the file's tag, a block at a time.
        const QByteArray folder = encodeFileName(currentFolder());
        planning = recorder->planningWalk(
            control, [folder](const QString &name) { return plannedRenameFromTag(folder, name); });
    }
    return walkSelection(
        list,
        [&](const QString &name) {
            ws.SongTitle.clear();
            ReadTagFile(encodeFileName(name).toStdString());
            if (ws.SongTitle.empty() || ws.SongArtist.empty())
                return FileOutcome::leftAsItWas(QStringLiteral("no artist or title in the tag"));
            return outcomeOf(renameFile(name, fromTagText(ws.SongArtist) + QStringLiteral(" - ") +
                                                  fromTagText(ws.SongTitle) +
                                                  QStringLiteral(".mp3")));
        },
        planning);
}
