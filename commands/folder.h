#pragma once

#include <QByteArray>
#include <QString>
#include <memory>

class FileHandle;

// A folder that commands work in: an open directory descriptor and the folder's absolute path
// as the file system names it (bytes). Names are resolved against the descriptor (openat,
// renameat2), never against the working directory, so one program can work in several folders
// at once. Copies share the descriptor, which is closed when the last copy goes; a copy may be
// handed to another thread.
class Folder
{
public:
    Folder() = default;
    // Opens the folder at path (absolute, or made absolute against the working directory by the
    // caller). Throws IoError.
    static Folder open(const QByteArray &path);
    static Folder open(const QString &path);

    bool isOpen() const { return m_fd != nullptr; }
    int fd() const;
    // The absolute path, without a trailing "/" except for the root.
    const QByteArray &path() const { return m_path; }
    QString displayPath() const;
    // The absolute path of name inside the folder.
    QByteArray pathOf(const QByteArray &name) const;

    // Flushes the folder's entries to disk (after a new name was made in it). Throws IoError.
    void sync() const;

private:
    std::shared_ptr<const FileHandle> m_fd;
    QByteArray m_path;
};

// The folder part and the name part of a path ("/a/b.m3u": "/a" and "b.m3u"; "/x": "/" and "x").
QByteArray folderPartOf(const QByteArray &path);
QByteArray namePartOf(const QByteArray &path);
