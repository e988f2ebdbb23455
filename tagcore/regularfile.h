#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <sys/stat.h>

// The one way the program opens a file whose bytes it reads: regular files only, so that a
// FIFO, a socket or a device can never block or feed a reader.

// An open file that is closed on every path. close() reports a failed close; the destructor
// closes quietly when a failure is already on its way.
class FileHandle
{
public:
    explicit FileHandle(int fd) : m_fd(fd) {}
    ~FileHandle();
    FileHandle(const FileHandle &) = delete;
    FileHandle &operator=(const FileHandle &) = delete;

    int fd() const { return m_fd; }
    // Throws IoError when the close fails.
    void close();

private:
    int m_fd;
};

// Opens a regular file without blocking: anything else (a FIFO, a socket, a device, a folder)
// is refused as access denied before it is opened, and checked again once open. st receives the
// open file's status. Throws IoError; nothing stays open on failure.
int openRegular(const std::string &name, int flags, struct stat &st);

// Reads up to n bytes at offset; returns the count, fewer only at the end of the file. Throws
// IoError when a read fails.
std::size_t readSome(int fd, std::int64_t offset, void *buf, std::size_t n);

// Reads exactly n bytes at offset; a file that ends sooner throws "Read beyond end of file".
void readExact(int fd, std::int64_t offset, void *buf, std::size_t n);
