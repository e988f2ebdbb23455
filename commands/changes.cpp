#include "changes.h"

#include "changerecorder.h"
#include "filenames.h"
#include "ioerror.h"
#include "regularfile.h"

#include <atomic>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <fcntl.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

namespace
{

QByteArray bytesOf(const std::array<std::uint8_t, 128> &bytes)
{
    return QByteArray(reinterpret_cast<const char *>(bytes.data()), qsizetype(bytes.size()));
}

JournalTag journalled(const QString &fileName, const TagWriteOutcome &write)
{
    return JournalTag{journalPath(fileName), write.oldSize, bytesOf(write.oldBytes), write.appended,
                      bytesOf(write.newBytes)};
}

} // namespace

TagWriteOutcome writeTag(const QString &fileName)
{
    ChangeRecorder *recorder = currentRecorder();
    if (!recorder)
        return writeTagFileReporting(encodeFileName(fileName).toStdString());
    // Written through the file its plan opened when there is one: one open, not two. The tag is
    // made first, as foreseeing the next files may use the workspace.
    const std::array<std::uint8_t, 128> tag = tagToWrite();
    if (auto held = recorder->takeHeldTagWrite(fileName)) {
        return writeTagFileReporting(std::move(held->file), tag, [&](const TagWriteOutcome &write) {
            if (!held->isPlanned(write)) // a question changed it, or another program the file
                recorder->recordNow(journalled(fileName, write));
        });
    }
    return writeTagFileReporting(
        encodeFileName(fileName).toStdString(),
        [&](const TagWriteOutcome &write) { recorder->beforeChange(journalled(fileName, write)); });
}

namespace
{

// Closes on every path.
struct Fd {
    int fd = -1;
    ~Fd()
    {
        if (fd >= 0)
            ::close(fd);
    }
};

// The playlist's path with a link followed, so that the file it leads to is replaced and the
// link stays a link.
std::string resolvedTarget(const std::string &path)
{
    struct stat st;
    if (::lstat(path.c_str(), &st) != 0 || !S_ISLNK(st.st_mode))
        return path;
    char real[PATH_MAX];
    if (::realpath(path.c_str(), real))
        return real;
    return path; // a link that leads nowhere: writing replaces the link itself
}

std::string folderOf(const std::string &path)
{
    const auto slash = path.rfind('/');
    if (slash == std::string::npos)
        return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

std::string baseOf(const std::string &path)
{
    const auto slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// What is at path now: nothing, or a regular file that a playlist may replace. Anything else is
// refused as access denied.
bool existingPlaylist(const std::string &path, struct stat &st)
{
    if (::stat(path.c_str(), &st) != 0) {
        if (errno == ENOENT)
            return false;
        throw IoError::fromErrno(errno);
    }
    if (!S_ISREG(st.st_mode) || ::access(path.c_str(), W_OK) != 0)
        throw IoError::accessDenied();
    return true;
}

QByteArray readWhole(const std::string &path)
{
    struct stat st;
    FileHandle file(openRegular(path, O_RDONLY, st));
    QByteArray data;
    char buf[65536];
    for (std::size_t got; (got = readSome(file.fd(), data.size(), buf, sizeof buf)) > 0;)
        data.append(buf, qsizetype(got));
    return data;
}

void writeAll(int fd, const QByteArray &content)
{
    qsizetype done = 0;
    while (done < content.size()) {
        const ssize_t n =
            ::write(fd, content.constData() + done, std::size_t(content.size() - done));
        if (n < 0) {
            if (errno == EINTR)
                continue;
            throw IoError::fromErrno(errno);
        }
        if (n == 0)
            throw IoError::diskFull();
        done += n;
    }
}

// A new, empty file beside target that nobody else has open; its name is returned in temp.
int createBeside(const std::string &target, std::string &temp, mode_t mode)
{
    static std::atomic<unsigned> counter{0};
    const std::string stem =
        folderOf(target) + "/." + baseOf(target) + ".trackling-" + std::to_string(::getpid()) + "-";
    for (int attempt = 0; attempt < 100; ++attempt) {
        temp = stem + std::to_string(counter++);
        const int fd =
            ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOCTTY, mode);
        if (fd >= 0)
            return fd;
        if (errno != EEXIST)
            throw IoError::fromErrno(errno);
    }
    throw IoError::fromErrno(EEXIST);
}

} // namespace

void checkPlaylistTarget(const QString &path)
{
    const std::string target = resolvedTarget(encodeFileName(path).toStdString());
    struct stat st;
    (void)existingPlaylist(target, st);
    if (::access(folderOf(target).c_str(), W_OK | X_OK) != 0)
        throw IoError::fromErrno(errno);
}

PlaylistChange writePlaylist(const QString &path, const QByteArray &content)
{
    PlaylistChange change;
    change.path = encodeFileName(path);
    const std::string target = resolvedTarget(change.path.toStdString());
    struct stat st;
    change.existed = existingPlaylist(target, st);
    if (change.existed)
        change.oldContent = readWhole(target);
    if (ChangeRecorder *recorder = currentRecorder()) {
        JournalPlaylist planned{journalPath(decodeFileName(QByteArray::fromStdString(target))),
                                std::nullopt, content};
        if (change.existed)
            planned.oldContent = change.oldContent;
        recorder->beforeChange(planned);
    }

    std::string temp;
    Fd file{createBeside(target, temp, change.existed ? (st.st_mode & 07777) : 0666)};
    try {
        // An old playlist's permissions are kept whatever the umask says.
        if (change.existed)
            (void)::fchmod(file.fd, st.st_mode & 07777);
        writeAll(file.fd, content);
        if (::fdatasync(file.fd) != 0)
            throw IoError::fromErrno(errno);
        const int fd = file.fd;
        file.fd = -1;
        if (::close(fd) != 0 && errno != EINTR)
            throw IoError::fromErrno(errno);
        if (::rename(temp.c_str(), target.c_str()) != 0)
            throw IoError::fromErrno(errno);
    } catch (...) {
        (void)::unlink(temp.c_str());
        throw;
    }
    return change;
}
