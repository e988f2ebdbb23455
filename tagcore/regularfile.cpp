#include "regularfile.h"

#include "ioerror.h"

#include <cerrno>
#include <fcntl.h>
#include <unistd.h>

int openRegularFile(const std::string &name, int flags, struct stat &st)
{
    if (::stat(name.c_str(), &st) != 0)
        throw IoError::fromErrno(errno);
    if (!S_ISREG(st.st_mode))
        throw IoError::accessDenied();
    const int fd = ::open(name.c_str(), flags | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
    if (fd < 0)
        throw IoError::fromErrno(errno);
    return fd;
}

bool isRegularFile(int fd, struct stat &st)
{
    if (::fstat(fd, &st) != 0)
        throw IoError::fromErrno(errno);
    return S_ISREG(st.st_mode);
}

FileHandle::~FileHandle()
{
    if (m_fd >= 0)
        ::close(m_fd);
}

void FileHandle::close()
{
    const int fd = m_fd;
    m_fd = -1;
    if (::close(fd) != 0 && errno != EINTR)
        throw IoError::fromErrno(errno);
}

int openRegular(const std::string &name, int flags, struct stat &st)
{
    const int fd = openRegularFile(name, flags, st);
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        const int err = S_ISREG(st.st_mode) ? errno : EACCES;
        ::close(fd);
        throw IoError::fromErrno(err);
    }
    return fd;
}

std::size_t readSome(int fd, std::int64_t offset, void *buf, std::size_t n)
{
    std::size_t done = 0;
    while (done < n) {
        const ssize_t got = ::pread(fd, static_cast<char *>(buf) + done, n - done, offset + done);
        if (got < 0) {
            if (errno == EINTR)
                continue;
            throw IoError::fromErrno(errno);
        }
        if (got == 0)
            break;
        done += std::size_t(got);
    }
    return done;
}

void readExact(int fd, std::int64_t offset, void *buf, std::size_t n)
{
    if (readSome(fd, offset, buf, n) != n)
        throw IoError::readBeyondEnd();
}
