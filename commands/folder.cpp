#include "folder.h"

#include "filenames.h"
#include "ioerror.h"
#include "regularfile.h"

#include <cerrno>
#include <fcntl.h>
#include <unistd.h>

Folder Folder::open(const QByteArray &path)
{
    if (path.isEmpty())
        throw IoError::fromErrno(ENOENT);
    const int fd = ::open(path.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        throw IoError::fromErrno(errno);
    Folder folder;
    folder.m_fd = std::make_shared<const FileHandle>(fd);
    folder.m_path = path;
    while (folder.m_path.size() > 1 && folder.m_path.endsWith('/'))
        folder.m_path.chop(1);
    return folder;
}

Folder Folder::open(const QString &path)
{
    return open(encodeFileName(path));
}

int Folder::fd() const
{
    return m_fd ? m_fd->fd() : -1;
}

QString Folder::displayPath() const
{
    return decodeFileName(m_path);
}

QByteArray Folder::pathOf(const QByteArray &name) const
{
    if (m_path.endsWith('/'))
        return m_path + name;
    return m_path + '/' + name;
}

void Folder::sync() const
{
    if (::fsync(fd()) != 0 && errno != EINVAL) // a file system that cannot flush a folder
        throw IoError::fromErrno(errno);
}

QByteArray folderPartOf(const QByteArray &path)
{
    const qsizetype slash = path.lastIndexOf('/');
    if (slash < 0)
        return QByteArray(".");
    return slash == 0 ? QByteArray("/") : path.left(slash);
}

QByteArray namePartOf(const QByteArray &path)
{
    return path.mid(path.lastIndexOf('/') + 1);
}
