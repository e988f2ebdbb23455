#include "pathinfolder.h"

#include <QSet>
#include <QStorageInfo>

QString pathInFolder(const QString &folder, const QString &name)
{
    if (folder.endsWith(QLatin1Char('/')))
        return folder + name;
    return folder + QLatin1Char('/') + name;
}

bool isMovableVolume(const QString &mountPoint, const QByteArray &fileSystemType)
{
    static const QSet<QByteArray> network = {
        "nfs",        "nfs4",        "cifs",      "smb3",        "smbfs",       "ncpfs",
        "afs",        "9p",          "ceph",      "glusterfs",   "davfs",       "sshfs",
        "fuse.sshfs", "fuse.rclone", "fuse.s3fs", "fuse.davfs2", "fuse.gcsfuse"};
    if (network.contains(fileSystemType))
        return true;
    for (const char *place : {"/media", "/run/media", "/mnt"}) {
        const QString p = QString::fromLatin1(place);
        if (mountPoint == p || mountPoint.startsWith(p + QLatin1Char('/')))
            return true;
    }
    return false;
}

std::optional<QString> movableMountPoint(const QString &path)
{
    const QStorageInfo volume(path);
    if (!volume.isValid() || !isMovableVolume(volume.rootPath(), volume.fileSystemType()))
        return std::nullopt;
    return volume.rootPath();
}
