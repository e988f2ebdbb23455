#include "changes.h"

#include "filenames.h"
#include "ioerror.h"
#include "regularfile.h"

#include <atomic>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <mutex>
#include <set>
#include <signal.h>
#include <string>
#include <sys/stat.h>
#include <tuple>
#include <unistd.h>

namespace
{

QByteArray bytesOf(const std::array<std::uint8_t, 128> &bytes)
{
    return QByteArray(reinterpret_cast<const char *>(bytes.data()), qsizetype(bytes.size()));
}

JournalTag journalled(const QByteArray &path, const TagWriteOutcome &write)
{
    return JournalTag{path,           write.oldSize,           bytesOf(write.oldBytes),
                      write.appended, bytesOf(write.newBytes), write.identity};
}

constexpr char kTempMark[] = ".trackling-";

} // namespace

namespace
{

// What the tag write would do, found as the writer finds it, without writing (nor giving a
// read-only file its write permission): the same failures, nothing changed.
TagWriteOutcome tagWriteWouldDo(const Folder &folder, const QByteArray &name,
                                const std::array<std::uint8_t, 128> &tag)
{
    FileStatus st;
    if (const int err = statusAt(folder.fd(), name.constData(), true, st))
        return err == ENOENT ? TagWriteOutcome{} : throw IoError::fromErrno(err);
    if (!st.isRegular())
        throw IoError::accessDenied();
    if (st.size < 128)
        throw IoError::fromErrno(EINVAL); // the writer's seek before the start
    const auto state = readTagFileState(folder.fd(), name.toStdString());
    if (!state)
        throw IoError::accessDenied();
    TagWriteOutcome outcome;
    outcome.written = true;
    outcome.appended = !state->hasTag();
    outcome.oldSize = state->size;
    outcome.oldBytes = state->last;
    outcome.newBytes = tag;
    outcome.identity = state->identity;
    return outcome;
}

} // namespace

FileOutcome tagOutcome(const TagWriteOutcome &write)
{
    if (!write.written)
        return FileOutcome::leftAsItWas(QStringLiteral("file not found"));
    FileOutcome outcome;
    if (!write.appended)
        outcome.oldTag = bytesOf(write.oldBytes);
    outcome.newTag = bytesOf(write.newBytes);
    return outcome;
}

TagWriteOutcome writeTag(const ChangeContext &context, const QByteArray &name,
                         const std::array<std::uint8_t, 128> &tag, const JournalTag *planned)
{
    if (context.dryRun)
        return tagWriteWouldDo(context.folder, name, tag);
    CommandLog *recorder = context.recorder;
    const TagWriteOutcome write =
        writeTagAt(context.folder.fd(), name.toStdString(), tag, [&](const TagWriteOutcome &found) {
            if (!recorder)
                return;
            // The file as it is now: the very file planned, with the bytes planned, or recorded
            // anew (replaced by another file meanwhile, rewritten by another program, or a
            // question changed the tag).
            const JournalTag actual = journalled(context.folder.pathOf(name), found);
            if (!planned || !(*planned == actual))
                recorder->record({{context.index, actual}});
        });
    if (write.written && recorder)
        recorder->made(context.index);
    return write;
}

namespace
{

// A new, empty file beside name in folder that nobody else has open; its name is returned in
// temp.
int createBeside(const Folder &folder, const QByteArray &name, QByteArray &temp, unsigned mode)
{
    static std::atomic<unsigned> counter{0};
    const QByteArray stem = '.' + name + kTempMark + QByteArray::number(::getpid()) + '-';
    for (int attempt = 0; attempt < 100; ++attempt) {
        temp = stem + QByteArray::number(counter++);
        const int fd = ::openat(folder.fd(), temp.constData(),
                                O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOCTTY, mode);
        if (fd >= 0)
            return fd;
        if (errno != EEXIST)
            throw IoError::fromErrno(errno);
    }
    throw IoError::fromErrno(EEXIST);
}

// The playlist's path with a link followed, so that the file it leads to is replaced and the
// link stays a link.
QByteArray resolvedTarget(const QByteArray &path)
{
    struct stat st;
    if (::lstat(path.constData(), &st) != 0 || !S_ISLNK(st.st_mode))
        return path;
    char real[PATH_MAX];
    if (::realpath(path.constData(), real))
        return QByteArray(real);
    return path; // a link that leads nowhere: writing replaces the link itself
}

// What is at name now: nothing, or a regular file that a playlist may replace. Anything else is
// refused as access denied.
bool existingPlaylist(const Folder &folder, const QByteArray &name, FileStatus &st)
{
    if (const int err = statusAt(folder.fd(), name.constData(), false, st)) {
        if (err == ENOENT)
            return false;
        throw IoError::fromErrno(err);
    }
    if (!st.isRegular() || ::faccessat(folder.fd(), name.constData(), W_OK, 0) != 0)
        throw IoError::accessDenied();
    return true;
}

} // namespace

FileIdentity putNewFile(const Folder &folder, const QByteArray &name, const QByteArray &content,
                        int mode, bool replace,
                        const std::function<void(const FileIdentity &)> &ready)
{
    removeLeftoversIn(folder);
    QByteArray temp;
    FileHandle file(createBeside(folder, name, temp, mode >= 0 ? unsigned(mode) : 0666));
    FileIdentity written;
    try {
        if (mode >= 0)
            (void)::fchmod(file.fd(), mode_t(mode)); // kept whatever the umask says
        writeAll(file.fd(), content.constData(), std::size_t(content.size()), 0);
        if (::fdatasync(file.fd()) != 0)
            throw IoError::fromErrno(errno);
        written = statusOf(file.fd()).identity;
        file.close();
        if (ready)
            ready(written);
        const int moved =
            replace ? ::renameat(folder.fd(), temp.constData(), folder.fd(), name.constData())
                    : renameNoReplaceAt(folder, temp, name);
        if (moved != 0)
            throw replace
                ? IoError::fromErrno(errno)
                : (moved == EEXIST ? IoError(EEXIST, "File exists") : IoError::fromErrno(moved));
    } catch (...) {
        (void)::unlinkat(folder.fd(), temp.constData(), 0);
        throw;
    }
    folder.sync();
    return written;
}

void checkPlaylistTarget(const QString &path)
{
    const QByteArray target = resolvedTarget(encodeFileName(path));
    const Folder folder = Folder::open(folderPartOf(target));
    FileStatus st;
    (void)existingPlaylist(folder, namePartOf(target), st);
    if (::faccessat(folder.fd(), ".", W_OK | X_OK, 0) != 0)
        throw IoError::fromErrno(errno);
}

PlaylistChange writePlaylist(CommandLog *recorder, const QString &path, const QByteArray &content,
                             bool dryRun)
{
    PlaylistChange change;
    change.path = encodeFileName(path);
    const QByteArray target = resolvedTarget(change.path);
    const Folder folder = Folder::open(folderPartOf(target));
    const QByteArray name = namePartOf(target);
    FileStatus st;
    change.existed = existingPlaylist(folder, name, st);
    if (change.existed) {
        FileStatus opened;
        FileHandle old(openRegularAt(folder.fd(), name.toStdString(), O_RDONLY, opened));
        const std::string bytes = readWhole(old.fd());
        change.oldContent = QByteArray(bytes.data(), qsizetype(bytes.size()));
    }
    if (dryRun)
        return change;
    const int index = recorder ? recorder->nextIndex() : 0;
    // An old playlist's permissions are kept; a new one gets the umask's.
    const int mode = change.existed ? int(st.mode & 07777) : -1;
    putNewFile(folder, name, content, mode, true, [&](const FileIdentity &written) {
        if (!recorder)
            return;
        JournalPlaylist planned{folder.pathOf(name), std::nullopt, content, written};
        if (change.existed)
            planned.oldContent = change.oldContent;
        recorder->record({{index, planned}});
    });
    if (recorder)
        recorder->made(index);
    return change;
}

bool isTemporaryName(QByteArrayView name)
{
    return name.startsWith('.') && QByteArrayView(name).indexOf(kTempMark) > 0;
}

namespace
{

bool processIsAlive(pid_t pid)
{
    return pid == ::getpid() || ::kill(pid, 0) == 0 || errno == EPERM;
}

// The folders whose leftovers the command under way has seen to.
std::mutex g_cleanedLock;
std::set<std::tuple<std::uint64_t, std::uint64_t, std::int64_t>> g_cleaned;

} // namespace

void forgetCleanedFolders()
{
    std::lock_guard lock(g_cleanedLock);
    g_cleaned.clear();
}

void removeLeftoversIn(const Folder &folder)
{
    FileStatus st;
    try {
        st = statusOf(folder.fd());
    } catch (const IoError &) {
        return;
    }
    {
        std::lock_guard lock(g_cleanedLock);
        if (!g_cleaned.emplace(st.identity.device, st.identity.inode, st.identity.bornNs).second)
            return;
    }
    FileHandle handle(::openat(folder.fd(), ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    DIR *dir = handle.isOpen() ? ::fdopendir(handle.fd()) : nullptr;
    if (!dir)
        return;
    (void)handle.release(); // the stream's now
    std::vector<QByteArray> leftovers;
    while (const dirent *entry = ::readdir(dir)) {
        if (isTemporaryName(entry->d_name))
            leftovers.emplace_back(entry->d_name);
    }
    ::closedir(dir);
    constexpr QByteArrayView kAside = ".trackling-rename-";
    for (const QByteArray &name : leftovers) {
        const qsizetype mark = name.indexOf(kTempMark);
        const bool aside = name.indexOf(kAside) == mark;
        const QByteArray rest =
            name.mid(mark + (aside ? kAside.size() : qsizetype(std::strlen(kTempMark))));
        bool ok = false;
        const pid_t pid = pid_t(rest.left(rest.indexOf('-')).toLong(&ok));
        if (!ok || processIsAlive(pid))
            continue;
        if (aside) // a rename of letter case cut short: the file gets the name it was getting
            (void)renameNoReplaceAt(folder, name, name.mid(1, mark - 1));
        else
            (void)::unlinkat(folder.fd(), name.constData(), 0);
    }
}
