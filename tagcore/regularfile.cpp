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
