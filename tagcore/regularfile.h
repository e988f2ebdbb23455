#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <sys/stat.h>

// Opens a regular file, and nothing else, without ever blocking. The name is looked at first:
// anything but a regular file (a FIFO, a socket, a device, a folder, a link that leads nowhere)
// is refused as access denied and never opened. flags is O_RDONLY or O_RDWR; the descriptor is
// close-on-exec and non-blocking, so that a file swapped for a FIFO or a device between the
// look and the open cannot block either. st describes the file as it was looked at; a caller
// that must be sure of what it opened checks the descriptor (isRegularFile) or notices by its
// reads (a FIFO cannot be read at an offset). Throws IoError; nothing stays open on failure.
int openRegularFile(const std::string &name, int flags, struct stat &st);

// True when fd is open on a regular file; st then describes it. Throws IoError when fstat
// fails.
bool isRegularFile(int fd, struct stat &st);

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

// openRegularFile, with the open file checked again (fstat) for readers that must be sure of
// what they hand on: st receives the open file's status. Throws IoError; nothing stays open on
// failure.
int openRegular(const std::string &name, int flags, struct stat &st);

// Reads up to n bytes at offset; returns the count, fewer only at the end of the file. Throws
// IoError when a read fails.
std::size_t readSome(int fd, std::int64_t offset, void *buf, std::size_t n);

// Reads exactly n bytes at offset; a file that ends sooner throws "Read beyond end of file".
void readExact(int fd, std::int64_t offset, void *buf, std::size_t n);
