#include "tagfile.h"

#include "genres.h"
#include "ioerror.h"
#include "mpeginfo.h"
#include "tagworkspace.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace
{

// An open file that is closed on every path. close() reports a failed close; the destructor
// closes quietly when a failure is already on its way.
class FileHandle
{
public:
    explicit FileHandle(int fd) : m_fd(fd) {}
    ~FileHandle()
    {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    FileHandle(const FileHandle &) = delete;
    FileHandle &operator=(const FileHandle &) = delete;

    int fd() const { return m_fd; }
    void close()
    {
        const int fd = m_fd;
        m_fd = -1;
        if (::close(fd) != 0 && errno != EINTR)
            throw IoError::fromErrno(errno);
    }

private:
    int m_fd;
};

// Opens a regular file without blocking: anything else (a FIFO, a socket, a device, a folder)
// is refused as access denied before it is opened, and checked again once open.
int openRegular(const std::string &name, int flags, struct stat &st)
{
    if (::stat(name.c_str(), &st) != 0)
        throw IoError::fromErrno(errno);
    if (!S_ISREG(st.st_mode))
        throw IoError::accessDenied();
    const int fd = ::open(name.c_str(), flags | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
    if (fd < 0)
        throw IoError::fromErrno(errno);
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        const int err = S_ISREG(st.st_mode) ? errno : EACCES;
        ::close(fd);
        throw IoError::fromErrno(err);
    }
    return fd;
}

// Reads up to n bytes at offset; returns the count, fewer only at the end of the file.
std::size_t readSome(int fd, std::int64_t offset, void *buf, std::size_t n)
{
    std::size_t done = 0;
    while (done < n) {
        const ssize_t got = ::pread(fd, static_cast<char *>(buf) + done, n - done, offset + done);
        if (got < 0) {
            if (errno == EINTR)
                continue;
            throw IoError::fromErrno(errno);
        }
        if (got == 0)
            break;
        done += std::size_t(got);
    }
    return done;
}

void readExact(int fd, std::int64_t offset, void *buf, std::size_t n)
{
    if (readSome(fd, offset, buf, n) != n)
        throw IoError::readBeyondEnd();
}

class FileSource : public ByteSource
{
public:
    explicit FileSource(int fd) : m_fd(fd) {}
    std::size_t readAt(std::int64_t offset, std::uint8_t *buf, std::size_t n) override
    {
        return readSome(m_fd, offset, buf, n);
    }

private:
    int m_fd;
};

// A seek before the start of the file fails with EINVAL: the failure of a file shorter than
// its tag.
[[noreturn]] void throwNegativeSeek()
{
    throw IoError::fromErrno(EINVAL);
}

std::string trimmedField(const std::uint8_t *p, std::size_t n)
{
    std::size_t b = 0, e = n;
    while (b < e && p[b] <= 32)
        ++b;
    while (e > b && p[e - 1] <= 32)
        --e;
    return std::string(reinterpret_cast<const char *>(p) + b, e - b);
}

constexpr std::size_t kPrefixRead = 4096;

} // namespace

void ReadTagFile(const std::string &fileName)
{
    TagWorkspace &ws = tagWorkspace();
    struct stat st;
    FileHandle file(openRegular(fileName, O_RDONLY, st));
    const std::int64_t size = st.st_size;
    ws.InfoSize = std::to_string(size);

    std::uint8_t prefix[kPrefixRead];
    const std::size_t prefixLen = readSome(file.fd(), 0, prefix, kPrefixRead);
    if (prefixLen < 4)
        throw IoError::readBeyondEnd();
    if (prefix[0] == 'R' && size < 76)
        throw IoError::readBeyondEnd();
    if (size < 128)
        throwNegativeSeek();

    std::uint8_t tag[128];
    readExact(file.fd(), size - 128, tag, 128);
    const bool hasTag = std::memcmp(tag, "TAG", 3) == 0;
    if (hasTag) {
        std::memcpy(ws.TagBuffer.data(), tag, 3);
        ws.SongTitle = trimmedField(tag + 3, 30);
        ws.SongArtist = trimmedField(tag + 33, 30);
        ws.SongAlbum = trimmedField(tag + 63, 30);
        std::memcpy(ws.TagBuffer.data() + 36, tag + 93, 4);
        ws.SongYear.assign(reinterpret_cast<const char *>(tag + 93), 4);
        ws.SongComment = trimmedField(tag + 97, 30);
        ws.SongGenreByte = tag[127];
        GenreByteToName();
    }

    const std::int64_t audioEnd = hasTag ? size - 128 : size;
    FileSource source(file.fd());
    const MpegProbe probe = probeMpegAudio(source, audioEnd, prefix, prefixLen);
    if (probe.found) {
        ws.InfoLength = GetMpegInfo(probe.audioBytes, probe.header, probe.vbr);
    } else {
        static const std::uint8_t assumed[4] = {0, 0, 0, 0};
        ws.InfoLength = GetMpegInfo(probe.audioBytes, assumed);
    }
    file.close();
}

std::array<std::uint8_t, 128> workspaceTagBytes()
{
    TagWorkspace &ws = tagWorkspace();
    std::array<std::uint8_t, 128> out{};
    std::uint8_t *tag = out.data();
    std::memcpy(tag, "TAG", 3);
    std::memcpy(ws.TagBuffer.data(), "TAG", 3);
    std::size_t at = 3;
    auto put = [&](const std::string &text, std::size_t width) {
        ws.WorkName = text;
        FillTagField();
        std::memcpy(tag + at, ws.TagBuffer.data() + 4, width);
        at += width;
    };
    put(ws.SongTitle, 30);
    put(ws.SongArtist, 30);
    put(ws.SongAlbum, 30);
    put(ws.SongYear, 4);
    put(ws.SongComment, 30);
    tag[127] = ws.SongGenreByte;
    return out;
}

void WriteTagFile(const std::string &fileName)
{
    (void)writeTagFileReporting(fileName);
}

TagWriteOutcome
writeTagFileReporting(const std::string &fileName,
                      const std::function<void(const TagWriteOutcome &)> &beforeWrite)
{
    TagWorkspace &ws = tagWorkspace();
    TagWriteOutcome outcome;
    GenreNameToByte();

    // Clear a missing owner write permission; the other permission bits stay as they are.
    struct stat st;
    if (::stat(fileName.c_str(), &st) != 0) {
        if (errno == ENOENT)
            return outcome; // a missing file is passed over silently
    } else if (S_ISREG(st.st_mode) && !(st.st_mode & S_IWUSR)) {
        (void)::chmod(fileName.c_str(), (st.st_mode & 07777) | S_IWUSR);
    }

    int fd;
    try {
        fd = openRegular(fileName, O_RDWR, st);
    } catch (const IoError &e) {
        if (e.errorNumber() == 2)
            return outcome; // gone since the test above: passed over like a missing file
        throw;
    }
    FileHandle file(fd);
    const std::int64_t size = st.st_size;
    if (size < 128)
        throwNegativeSeek();

    std::uint8_t old[128];
    readExact(file.fd(), size - 128, old, 128);
    std::memcpy(ws.TagBuffer.data(), old, 3);
    const bool overwrite = std::memcmp(old, "TAG", 3) == 0;

    // The whole tag is built in memory and written with one write.
    const std::array<std::uint8_t, 128> built = workspaceTagBytes();
    std::uint8_t tag[128];
    std::memcpy(tag, built.data(), sizeof tag);

    outcome.written = true;
    outcome.appended = !overwrite;
    outcome.oldSize = size;
    std::memcpy(outcome.oldBytes.data(), old, sizeof old);
    std::memcpy(outcome.newBytes.data(), tag, sizeof tag);
    if (beforeWrite)
        beforeWrite(outcome);

    const std::int64_t offset = overwrite ? size - 128 : size;
    ssize_t written;
    do {
        written = ::pwrite(file.fd(), tag, sizeof tag, offset);
    } while (written < 0 && errno == EINTR);
    if (written != ssize_t(sizeof tag)) {
        const int err = errno;
        // Undo: an append is cut back to the old size, an overwrite gets the old bytes back.
        if (overwrite)
            (void)::pwrite(file.fd(), old, sizeof old, offset);
        else
            (void)::ftruncate(file.fd(), size);
        if (written >= 0)
            throw IoError::diskFull();
        throw IoError::fromErrno(err);
    }
    file.close();
    return outcome;
}
