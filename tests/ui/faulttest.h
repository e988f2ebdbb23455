#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <map>
#include <sys/resource.h>

// What a folder's regular files are: raw name -> inode, size and a hash of the audio (the
// file without its ID3v1 tag, when it has one).
struct FileState {
    quint64 inode = 0;
    qint64 size = 0;
    QByteArray audioHash;
};
using Snapshot = std::map<QByteArray, FileState>;

Snapshot snapshot(const QString &folder);
// Empty when every file of before is still there (by inode, under any name) with the same
// audio; otherwise what is wrong.
QString lostOrChanged(const Snapshot &before, const Snapshot &after);

// Creates a file under raw name bytes in folder; false on failure.
bool writeRaw(const QString &folder, const QByteArray &name, const QByteArray &data);
QByteArray readRaw(const QString &folder, const QByteArray &name);
QByteArray rawPath(const QString &folder, const QByteArray &name);

// A file-size limit on this process (SIGXFSZ ignored meanwhile); the old limit and signal
// handler come back when it goes.
class FileSizeLimit
{
public:
    FileSizeLimit();
    ~FileSizeLimit();
    void set(qint64 bytes);

private:
    rlimit m_old{};
    void (*m_oldHandler)(int) = nullptr;
};

// Makes files immutable (even root cannot write them); the flag is removed when it goes.
class Immutable
{
public:
    ~Immutable();
    // False when the file system or the privileges refuse.
    bool set(const QByteArray &path);

private:
    QList<QByteArray> m_paths;
};

// Removes everything inside a folder when it goes, by the names' bytes (QTemporaryDir cannot
// remove names that are not valid UTF-8).
class RemoveContents
{
public:
    explicit RemoveContents(const QString &folder) : m_folder(folder) {}
    ~RemoveContents();

private:
    QString m_folder;
};

bool runningAsRoot();
// Runs the named test function of this test program again as the unprivileged user nobody and
// fails the calling test unless it passes.
void runAsNobody(const char *testFunction);
