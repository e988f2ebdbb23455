#include "ioerror.h"

#include <cerrno>
#include <cstring>

std::string withFullStop(const std::string &text)
{
    if (!text.empty() && static_cast<unsigned char>(text.back()) > '.')
        return text + '.';
    return text;
}

IoError::IoError(int errorNumber, const std::string &message)
    : std::runtime_error(withFullStop(message)), m_errorNumber(errorNumber)
{
}

IoError IoError::fromErrno(int err)
{
    switch (err) {
    case ENOENT:
        return IoError(2, "File not found");
    case ENOTDIR:
    case ENAMETOOLONG:
        return IoError(3, "Invalid filename");
    case EMFILE:
    case ENFILE:
        return IoError(4, "Too many open files");
    case EACCES:
    case EPERM:
    case EROFS:
    case ETXTBSY:
    case EISDIR:
        return accessDenied();
    case ENOSPC:
    case EDQUOT:
    case EFBIG:
        return diskFull();
    case ELOOP:
        // A loop of symbolic links is not a bad name: the system's own words say what it is.
        if (const char *text = ::strerrordesc_np(err))
            return IoError(err, text);
        break;
    default:
        break;
    }
    return IoError(err, "I/O error " + std::to_string(err));
}

IoError IoError::accessDenied()
{
    return IoError(5, "File access denied");
}

IoError IoError::readBeyondEnd()
{
    return IoError(100, "Read beyond end of file");
}

IoError IoError::diskFull()
{
    return IoError(101, "Disk full");
}
