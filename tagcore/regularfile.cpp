#include "regularfile.h"

#include "ioerror.h"

#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace
{

void fill(const struct statx &st, FileStatus &status)
{
    status.mode = st.stx_mode;
    status.size = std::int64_t(st.stx_size);
    status.links = st.stx_nlink;
    status.owner = st.stx_uid;
    status.group = st.stx_gid;
    status.modifiedNs = std::int64_t(st.stx_mtime.tv_sec) * 1000000000 + st.stx_mtime.tv_nsec;
    status.identity.device = (std::uint64_t(st.stx_dev_major) << 32) | st.stx_dev_minor;
    status.identity.inode = st.stx_ino;
    status.identity.bornNs =
        (st.stx_mask & STATX_BTIME)
            ? std::int64_t(st.stx_btime.tv_sec) * 1000000000 + st.stx_btime.tv_nsec
            : 0;
}

int statxAt(int dirfd, const char *name, int flags, FileStatus &status)
{
    struct statx st;
    if (::statx(dirfd, name, flags, STATX_BASIC_STATS | STATX_BTIME, &st) != 0)
        return errno;
    fill(st, status);
    return 0;
}

} // namespace

bool FileIdentity::sameFile(const FileIdentity &other) const
{
    if (inode != other.inode)
        return false;
    if (device != 0 && other.device != 0 && device != other.device)
        return false;
    return bornNs == 0 || other.bornNs == 0 || bornNs == other.bornNs;
}

bool FileStatus::isRegular() const
{
    return S_ISREG(mode);
}

bool FileStatus::isFolder() const
{
    return S_ISDIR(mode);
}

bool FileStatus::isLink() const
{
    return S_ISLNK(mode);
}

int statusAt(int dirfd, const char *name, bool follow, FileStatus &status)
{
    return statxAt(dirfd, name, follow ? 0 : AT_SYMLINK_NOFOLLOW, status);
}

FileStatus statusOf(int fd)
{
    FileStatus status;
    if (const int err = statxAt(fd, "", AT_EMPTY_PATH, status))
        throw IoError::fromErrno(err);
    return status;
}

int openRegularFileAt(int dirfd, const std::string &name, int flags, FileStatus &status)
{
    status = {};
    if (const int err = statusAt(dirfd, name.c_str(), !(flags & O_NOFOLLOW), status))
        throw IoError::fromErrno(err);
    if (!status.isRegular())
        throw status.isLink() ? IoError::fromErrno(ELOOP) : IoError::accessDenied();
    flags |= O_CLOEXEC | O_NOCTTY | O_NONBLOCK;
    // Reading a tag is no access to the music: the access time stays, and the inode is not
    // written back for it. Only the owner (or root) may ask, so no one else does; one whom the
    // system refuses anyway (a user namespace, a file system that will not have it) opens as
    // usual.
    static const uid_t self = ::geteuid();
    int fd = -1;
    if (status.owner == self || self == 0) {
        fd = ::openat(dirfd, name.c_str(), flags | O_NOATIME);
        if (fd < 0 && errno != EPERM && errno != EINVAL)
            throw IoError::fromErrno(errno);
    }
    if (fd < 0)
        fd = ::openat(dirfd, name.c_str(), flags);
    if (fd < 0)
        throw IoError::fromErrno(errno);
    return fd;
}

int openRegularFile(const std::string &name, int flags, FileStatus &status)
{
    return openRegularFileAt(AT_FDCWD, name, flags, status);
}

int openRegularAt(int dirfd, const std::string &name, int flags, FileStatus &status)
{
    FileHandle file(openRegularFileAt(dirfd, name, flags, status));
    status = statusOf(file.fd());
    if (!status.isRegular())
        throw IoError::accessDenied();
    return file.release();
}

int openRegular(const std::string &name, int flags, FileStatus &status)
{
    return openRegularAt(AT_FDCWD, name, flags, status);
}

FileHandle::~FileHandle()
{
    if (m_fd >= 0)
        ::close(m_fd);
}

FileHandle &FileHandle::operator=(FileHandle &&other) noexcept
{
    if (this != &other) {
        if (m_fd >= 0)
            ::close(m_fd);
        m_fd = other.release();
    }
    return *this;
}

int FileHandle::release()
{
    const int fd = m_fd;
    m_fd = -1;
    return fd;
}

void FileHandle::close()
{
    const int fd = release();
    if (fd >= 0 && ::close(fd) != 0 && errno != EINTR)
        throw IoError::fromErrno(errno);
}

std::size_t readSome(int fd, std::int64_t offset, void *buf, std::size_t n)
{
    std::size_t done = 0;
    while (done < n) {
        const ssize_t got = retryOnInterrupt(
            [&] { return ::pread(fd, static_cast<char *>(buf) + done, n - done, offset + done); });
        if (got < 0)
            throw IoError::fromErrno(errno);
        if (got == 0)
            break;
        done += std::size_t(got);
    }
    return done;
}

std::size_t readOnceAt(int fd, std::int64_t offset, void *buf, std::size_t n)
{
    const ssize_t got = retryOnInterrupt([&] { return ::pread(fd, buf, n, offset); });
    if (got < 0)
        throw IoError::fromErrno(errno);
    return std::size_t(got);
}

void readExact(int fd, std::int64_t offset, void *buf, std::size_t n)
{
    if (readSome(fd, offset, buf, n) != n)
        throw IoError::readBeyondEnd();
}

std::string readWhole(int fd, std::int64_t offset)
{
    const FileStatus status = statusOf(fd);
    std::string data;
    data.resize(std::size_t(std::max<std::int64_t>(0, status.size - offset)) + 1);
    std::size_t have = 0;
    for (;;) {
        have += readSome(fd, offset + std::int64_t(have), data.data() + have, data.size() - have);
        if (have < data.size())
            break;
        data.resize(data.size() * 2); // grown since it was looked at
    }
    data.resize(have);
    return data;
}

void writeAll(int fd, const void *data, std::size_t n, std::int64_t offset)
{
    const char *p = static_cast<const char *>(data);
    std::size_t done = 0;
    while (done < n) {
        const ssize_t put = retryOnInterrupt([&] {
            return offset < 0 ? ::write(fd, p + done, n - done)
                              : ::pwrite(fd, p + done, n - done, offset + std::int64_t(done));
        });
        if (put < 0)
            throw IoError::fromErrno(errno);
        if (put == 0)
            throw IoError::diskFull();
        done += std::size_t(put);
    }
}

bool readTail(int fd, std::int64_t size, std::uint8_t last[128])
{
    if (size < 128)
        return false;
    std::uint8_t end[129];
    if (readOnceAt(fd, size - 128, end, sizeof end) != 128)
        return false;
    std::memcpy(last, end, 128);
    return true;
}
