#pragma once

#include <cerrno>
#include <cstddef>
#include <cstdint>
#include <string>
#include <sys/types.h>

// Which file a name led to: its device and inode, and its birth time where the file system
// keeps one (0 where it does not), so that a file deleted and another made under its name, which
// may get the same inode number, is not taken for it.
struct FileIdentity {
    std::uint64_t device = 0; // 0: not known (then only the inode is compared)
    std::uint64_t inode = 0;
    std::int64_t bornNs = 0; // 0: not known

    bool isKnown() const { return inode != 0; }
    // Whether both name the same file, as far as both know.
    bool sameFile(const FileIdentity &other) const;
    bool operator==(const FileIdentity &) const = default;
};

// What looking at a name found.
struct FileStatus {
    unsigned mode = 0; // as st_mode
    std::int64_t size = 0;
    unsigned links = 0;
    unsigned owner = 0;
    unsigned group = 0;
    std::int64_t modifiedNs = 0;
    FileIdentity identity;

    bool isRegular() const;
    bool isFolder() const;
    bool isLink() const;
};

// Looks at name inside the folder dirfd (AT_FDCWD for the working directory), following a link
// when follow is set. Returns 0, or the errno of the failure.
int statusAt(int dirfd, const char *name, bool follow, FileStatus &status);
// The same for an open file. Throws IoError.
FileStatus statusOf(int fd);

// Opens a regular file, and nothing else, without ever blocking. The name is looked at first:
// anything but a regular file (a FIFO, a socket, a device, a folder, a link that leads nowhere)
// is refused as access denied and never opened. flags is O_RDONLY or O_RDWR (O_NOFOLLOW may be
// added: a link is then refused); the descriptor is close-on-exec and non-blocking, so that a
// file swapped for a FIFO or a device between the look and the open cannot block either. status
// describes the file as it was looked at; a caller that must be sure of what it opened checks the
// descriptor (statusOf) or notices by its reads (a FIFO cannot be read at an offset). Reads through
// it leave the access time as it was, where the system lets the owner ask for that. Throws
// IoError; nothing stays open on failure.
int openRegularFileAt(int dirfd, const std::string &name, int flags, FileStatus &status);
int openRegularFile(const std::string &name, int flags, FileStatus &status);

// openRegularFileAt, with the open file checked again for readers that must be sure of what they
// hand on: status then describes the open file. Throws IoError; nothing stays open on failure.
int openRegularAt(int dirfd, const std::string &name, int flags, FileStatus &status);
int openRegular(const std::string &name, int flags, FileStatus &status);

// The one owner of a descriptor: closed on every path. close() reports a failed close; the
// destructor closes quietly when a failure is already on its way.
class FileHandle
{
public:
    FileHandle() = default;
    explicit FileHandle(int fd) : m_fd(fd) {}
    ~FileHandle();
    FileHandle(FileHandle &&other) noexcept : m_fd(other.release()) {}
    FileHandle &operator=(FileHandle &&other) noexcept;
    FileHandle(const FileHandle &) = delete;
    FileHandle &operator=(const FileHandle &) = delete;

    int fd() const { return m_fd; }
    bool isOpen() const { return m_fd >= 0; }
    int release();
    // Throws IoError when the close fails.
    void close();

private:
    int m_fd = -1;
};

// The one loop around a system call that a signal may interrupt: calls call until it does not
// fail with EINTR, and returns its last result.
template <typename Call> auto retryOnInterrupt(Call call)
{
    for (;;) {
        auto result = call();
        if (!(result < 0 && errno == EINTR))
            return result;
    }
}

// Reads up to n bytes at offset; returns the count, fewer only at the end of the file. Throws
// IoError when a read fails.
std::size_t readSome(int fd, std::int64_t offset, void *buf, std::size_t n);

// Reads up to n bytes at offset with one call (a regular file reads short only at its end);
// returns the count. Throws IoError when the read fails.
std::size_t readOnceAt(int fd, std::int64_t offset, void *buf, std::size_t n);

// Reads exactly n bytes at offset; a file that ends sooner throws "Read beyond end of file".
void readExact(int fd, std::int64_t offset, void *buf, std::size_t n);

// Reads the whole of an open file from offset on. Throws IoError.
std::string readWhole(int fd, std::int64_t offset = 0);

// Writes all n bytes at offset (offset -1: at the descriptor's own position). A write that
// makes no progress is a full disk. Throws IoError; what was written stays.
void writeAll(int fd, const void *data, std::size_t n, std::int64_t offset = -1);

// Reads the last 128 bytes of a file whose size was seen as size into last: asks for one byte
// more, so that it is sure they are the last. False when the file is shorter than 128 bytes or
// its end is not at size any more (it changed since, or is not the file looked at). Throws
// IoError when the read fails.
bool readTail(int fd, std::int64_t size, std::uint8_t last[128]);
