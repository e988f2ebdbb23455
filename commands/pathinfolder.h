#pragma once

#include <QByteArray>
#include <QString>
#include <optional>

// The full path of name inside folder, joined by exactly one "/": a folder that already ends in
// "/" (the root) gets no second one.
QString pathInFolder(const QString &folder, const QString &name);

// Whether a volume mounted at mountPoint with the given file-system type may be mounted
// elsewhere next time: removable media (mounted under /media, /run/media or /mnt) and network
// file systems (nfs, cifs, smb3, sshfs, ...). Not the root, not a fixed partition such as /home.
bool isMovableVolume(const QString &mountPoint, const QByteArray &fileSystemType);

// The mount point of the volume that holds path, when that volume is a movable one (see
// isMovableVolume); nothing for any other volume or when the mount table names none.
std::optional<QString> movableMountPoint(const QString &path);
