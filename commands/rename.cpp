#include "rename.h"

#include "filelist.h"
#include "filenames.h"
#include "tagfile.h"
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

bool acceptableName(const QString &name)
{
    return !name.isEmpty() && name != QLatin1String(".") && name != QLatin1String("..") &&
           !name.contains(QLatin1Char('/')) && !name.contains(QChar(0));
}

QString latin1(const std::string &text)
{
    return QString::fromLatin1(text.data(), qsizetype(text.size()));
}

} // namespace

bool renameNoReplace(const QString &from, const QString &to)
{
    if (!acceptableName(to) || from.isEmpty())
        return false;
    const std::string oldName = encodeFileName(from).toStdString();
    const std::string newName = encodeFileName(to).toStdString();
    if (oldName == newName)
        return false; // nothing to do: the file already has that name
    const int err = renameOnce(oldName.c_str(), newName.c_str());
    if (err == 0)
        return true;
    if (err == EEXIST && sameFile(oldName.c_str(), newName.c_str()))
        return renameThroughAside(oldName, newName);
    return false;
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

void renameByPrompt(FileList &list, const TextPrompt &prompt)
{
    walkSelection(list, [&](int, const QString &name) {
        if (const auto entered = prompt(QStringLiteral("Rename"), name, name, 255))
            renameNoReplace(name, *entered);
    });
    list.reread();
}

void renameFromTags(FileList &list)
{
    TagWorkspace &ws = tagWorkspace();
    walkSelection(list, [&](int, const QString &name) {
        ws.SongTitle.clear();
        ReadTagFile(encodeFileName(name).toStdString());
        if (!ws.SongTitle.empty() && !ws.SongArtist.empty())
            renameNoReplace(name, latin1(ws.SongArtist) + QStringLiteral(" - ") +
                                      latin1(ws.SongTitle) + QStringLiteral(".mp3"));
    });
    list.reread();
}
