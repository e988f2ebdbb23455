#include "tagfile.h"

#include "genres.h"
#include "ioerror.h"
#include "mpeginfo.h"
#include "regularfile.h"
#include "tagworkspace.h"
#include "tagwritehook.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/uio.h>
#include <unistd.h>
#include <vector>

namespace
{

// The file's bytes for the frame search, those of its start served from the bytes read already.
class FileSource : public ByteSource
{
public:
    FileSource(int fd, const std::uint8_t *prefix, std::size_t prefixLen)
        : m_fd(fd), m_prefix(prefix), m_prefixLen(prefixLen)
    {
    }
    std::size_t readAt(std::int64_t offset, std::uint8_t *buf, std::size_t n) override
    {
        std::size_t have = 0;
        if (offset >= 0 && std::uint64_t(offset) < m_prefixLen) {
            have = std::min(n, m_prefixLen - std::size_t(offset));
            std::memcpy(buf, m_prefix + offset, have);
            if (have == n)
                return n;
        }
        return have + readSome(m_fd, offset + std::int64_t(have), buf + have, n - have);
    }
    const std::uint8_t *bytesAt(std::int64_t offset, std::size_t n) override
    {
        return offset >= 0 && std::uint64_t(offset) + n <= m_prefixLen ? m_prefix + offset
                                                                       : nullptr;
    }

private:
    int m_fd;
    const std::uint8_t *m_prefix;
    std::size_t m_prefixLen;
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

// How much of the first bytes read a caller gets: at least kTagReaderStartBytes, and an ID3v2 tag
// at the start whole, as far as they were read.
std::size_t startBytesToKeep(const std::uint8_t *prefix, std::size_t len)
{
    std::size_t keep = kTagReaderStartBytes;
    if (len >= 10)
        keep = std::max(keep, std::size_t(id3v2TagSpan(prefix)));
    return std::min(keep, len);
}

} // namespace

void ReadTagFile(const std::string &fileName, AudioLength length)
{
    ReadTagFileAt(AT_FDCWD, fileName, length);
}

void ReadTagFileAt(int dirfd, const std::string &name, AudioLength length, FileIdentity *identity,
                   std::string *start, std::optional<TagFileState> *state)
{
    TagWorkspace &ws = tagWorkspace();
    FileStatus st;
    FileHandle file(openRegularFileAt(dirfd, name, O_RDONLY, st));
    if (identity)
        *identity = st.identity;
    if (state)
        state->reset();
    const std::int64_t size = st.size;
    ws.InfoSize = std::to_string(size);

    // The first read: a few KiB, or when the frames are counted as much as the walk over them
    // reads at once. A file that fits is asked for one byte more than its size, so that the one
    // read also tells that it ends where it was seen, with its tag; no more than that is asked
    // for, as a second read to find the end would cost a system call.
    std::uint8_t small[kTagReaderStartBytes];
    std::uint8_t *prefix = small;
    std::size_t room = sizeof small;
    if (length == AudioLength::CountFrames) {
        thread_local std::vector<std::uint8_t> counting(kTagReaderCountingBytes);
        prefix = counting.data();
        room = counting.size();
    }
    const bool fits = size < std::int64_t(room);
    const std::size_t want = fits ? std::size_t(std::max<std::int64_t>(size + 1, 4)) : room;
    // One read where the file fits: a regular file reads short only at its end.
    const std::size_t prefixLen =
        fits ? readOnceAt(file.fd(), 0, prefix, want) : readSome(file.fd(), 0, prefix, want);
    if (prefixLen < 4)
        throw IoError::readBeyondEnd();
    if (start)
        start->assign(reinterpret_cast<const char *>(prefix), startBytesToKeep(prefix, prefixLen));
    if (prefix[0] == 'R' && size < 76)
        throw IoError::readBeyondEnd();
    if (size < 128)
        throwNegativeSeek();

    std::uint8_t tag[128];
    bool endSeen = false;
    if (fits && prefixLen == std::size_t(size)) {
        std::memcpy(tag, prefix + size - 128, 128);
        endSeen = true;
    } else if (state && !fits) {
        endSeen = readTail(file.fd(), size, tag);
    }
    if (!endSeen)
        readExact(file.fd(), size - 128, tag, 128);
    if (state && endSeen) {
        TagFileState &seen = state->emplace();
        seen.identity = st.identity;
        seen.size = size;
        std::memcpy(seen.last.data(), tag, 128);
        std::memcpy(seen.first.data(), prefix, seen.first.size());
    }
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
    // The prefix holds no byte of the tag read at the end: it was read before, at the start.
    FileSource source(file.fd(), prefix, std::size_t(std::min<std::int64_t>(prefixLen, audioEnd)));
    MpegProbe probe = probeMpegAudio(source, audioEnd, prefix, prefixLen);
    if (length == AudioLength::CountFrames)
        countFramesWhenVariable(source, probe, audioEnd);
    if (probe.found) {
        ws.InfoLength =
            GetMpegInfo(probe.audioBytes, probe.header, probe.vbr, probe.freeFormatKbit);
    } else {
        static const std::uint8_t assumed[4] = {0, 0, 0, 0};
        ws.InfoLength = GetMpegInfo(probe.audioBytes, assumed);
    }
    file.close();
}

namespace
{

TagWriteHook g_writeHook;

void atStage(TagWriteStage stage, int fd)
{
    if (g_writeHook)
        g_writeHook(stage, fd);
}

// Opens the file for the writer. A read-only file (no owner write permission) gets that
// permission, the other permission bits staying as they are: by name where the open is refused
// for want of it, on the open file where the open succeeds anyway (as root). Returns -1 for a
// missing file, which the writer passes over.
int openForWrite(int dirfd, const std::string &name, FileStatus &st)
{
    int fd;
    try {
        fd = openRegularFileAt(dirfd, name, O_RDWR, st);
    } catch (const IoError &e) {
        if (e.errorNumber() == 2)
            return -1;
        if (e.errorNumber() != 5 || !st.isRegular() || (st.mode & S_IWUSR))
            throw;
        (void)::fchmodat(dirfd, name.c_str(), (st.mode & 07777) | S_IWUSR, 0);
        try {
            fd = openRegularFileAt(dirfd, name, O_RDWR, st);
        } catch (const IoError &again) {
            if (again.errorNumber() == 2)
                return -1; // gone since: passed over like a missing file
            throw;
        }
    }
    if (!(st.mode & S_IWUSR))
        (void)::fchmod(fd, (st.mode & 07777) | S_IWUSR);
    return fd;
}

// Appends at the true end of the file, wherever another program has moved it meanwhile.
// Returns the count written, or -1 with errno set.
ssize_t appendAtEnd(int fd, const void *data, std::size_t n)
{
    iovec part{const_cast<void *>(data), n};
    const ssize_t written =
        retryOnInterrupt([&] { return ::pwritev2(fd, &part, 1, -1, RWF_APPEND); });
    if (written >= 0 || (errno != EOPNOTSUPP && errno != EINVAL && errno != ENOSYS))
        return written;
    // A kernel without per-write append: the same through the descriptor's append flag.
    const int flags = ::fcntl(fd, F_GETFL);
    if (flags < 0 || ::fcntl(fd, F_SETFL, flags | O_APPEND) != 0)
        return -1;
    return retryOnInterrupt([&] { return ::write(fd, data, n); });
}

// Takes back the `written` bytes of a failed append, only while they still end the file,
// so that bytes another program appended after them are never cut off.
void undoAppend(int fd, ssize_t written)
{
    if (written <= 0)
        return;
    const off_t end = ::lseek(fd, 0, SEEK_CUR); // the append left the offset after its bytes
    struct stat st;
    if (end >= written && ::fstat(fd, &st) == 0 && st.st_size == end)
        (void)::ftruncate(fd, end - written);
}

[[noreturn]] void failedWrite(ssize_t written, int err)
{
    if (written >= 0)
        throw IoError::diskFull();
    throw IoError::fromErrno(err);
}

// How many times the end of the file is read again when another program changes it meanwhile.
constexpr int kDecideAttempts = 8;

} // namespace

void setTagWriteHook(TagWriteHook hook)
{
    g_writeHook = std::move(hook);
}

std::array<std::uint8_t, 128> workspaceTagBytes()
{
    TagWorkspace &ws = tagWorkspace();
    std::array<std::uint8_t, 128> out{};
    std::uint8_t *tag = out.data();
    std::memcpy(tag, "TAG", 3);
    std::memcpy(ws.TagBuffer.data(), "TAG", 3);
    // Each field blank-padded to its width (what FillTagField puts in the tag buffer).
    std::size_t at = 3;
    const auto put = [&](const std::string &text, std::size_t width) {
        const std::size_t n = std::min({text.size(), width, std::size_t(30)});
        std::memcpy(tag + at, text.data(), n);
        std::memset(tag + at + n, ' ', width - n);
        at += width;
    };
    put(ws.SongTitle, 30);
    put(ws.SongArtist, 30);
    put(ws.SongAlbum, 30);
    put(ws.SongYear, 4);
    put(ws.SongComment, 30);
    // The scratch fields are left as filling the comment leaves them.
    ws.WorkName = ws.SongComment;
    FillTagField();
    tag[127] = ws.SongGenreByte;
    return out;
}

std::array<std::uint8_t, 128> tagToWrite()
{
    GenreNameToByte();
    return workspaceTagBytes();
}

void WriteTagFile(const std::string &fileName)
{
    (void)writeTagFileReporting(fileName);
}

TagWriteOutcome
writeTagFileReporting(const std::string &fileName,
                      const std::function<void(const TagWriteOutcome &)> &beforeWrite)
{
    return writeTagAt(AT_FDCWD, fileName, tagToWrite(), beforeWrite);
}

TagWriteOutcome writeTagAt(int dirfd, const std::string &name,
                           const std::array<std::uint8_t, 128> &newTag,
                           const std::function<void(const TagWriteOutcome &)> &beforeWrite)
{
    TagWorkspace &ws = tagWorkspace();
    FileStatus st;
    const int fd = openForWrite(dirfd, name, st);
    if (fd < 0)
        return {}; // a missing file is passed over silently
    FileHandle file(fd);
    std::int64_t size = st.size;
    const std::uint8_t *tag = newTag.data();
    TagWriteOutcome outcome;

    // An old tag is overwritten only where the 128 bytes read were the last of the file at the
    // moment they were read. A file that another program changed meanwhile is looked at again.
    std::uint8_t old[128] = {};
    bool overwrite = false;
    for (int attempt = 0;; ++attempt) {
        if (size < 128)
            throwNegativeSeek();
        atStage(TagWriteStage::SizeRead, file.fd());
        if (readTail(file.fd(), size, old)) {
            overwrite = std::memcmp(old, "TAG", 3) == 0;
            break;
        }
        // The file changed since it was looked at, or is not the file looked at: look again,
        // at the open file this time.
        st = statusOf(file.fd());
        if (!st.isRegular())
            throw IoError::accessDenied();
        if (attempt + 1 == kDecideAttempts)
            break; // still changing: append, which never overwrites a byte of anybody's
        size = st.size;
    }
    std::memcpy(ws.TagBuffer.data(), tag, 3);
    outcome.written = true;
    outcome.appended = !overwrite;
    outcome.oldSize = size;
    outcome.identity = st.identity;
    std::memcpy(outcome.oldBytes.data(), old, 128);
    std::memcpy(outcome.newBytes.data(), tag, 128);
    if (beforeWrite)
        beforeWrite(outcome); // a failure here leaves the file as it was
    atStage(TagWriteStage::BeforeWrite, file.fd());

    if (overwrite) {
        overwriteTag(file.fd(), size - 128, tag, old);
    } else {
        const std::int64_t end = appendTag(file.fd(), tag);
        if (end >= 0)
            outcome.oldSize = end;
    }
    file.close();
    return outcome;
}

void overwriteTag(int fd, std::int64_t offset, const std::uint8_t tag[128],
                  const std::uint8_t old[128])
{
    const ssize_t written = retryOnInterrupt([&] { return ::pwrite(fd, tag, 128, offset); });
    if (written == 128)
        return;
    const int err = errno;
    atStage(TagWriteStage::AfterFailure, fd);
    (void)::pwrite(fd, old, 128, offset); // the old bytes back
    failedWrite(written, err);
}

std::int64_t appendTag(int fd, const std::uint8_t tag[128])
{
    const ssize_t written = appendAtEnd(fd, tag, 128);
    if (written != 128) {
        const int err = errno;
        atStage(TagWriteStage::AfterFailure, fd);
        undoAppend(fd, written); // takes back what it added
        failedWrite(written, err);
    }
    // The append left the offset after its bytes: where the file ended before them.
    const off_t end = ::lseek(fd, 0, SEEK_CUR);
    return end >= 128 ? end - 128 : -1;
}

std::optional<TagFileState> readTagFileState(int dirfd, const std::string &name)
{
    FileStatus st;
    int fd;
    try {
        fd = openRegularFileAt(dirfd, name, O_RDONLY, st);
    } catch (const IoError &) {
        return std::nullopt;
    }
    FileHandle file(fd);
    TagFileState state;
    state.identity = st.identity;
    state.size = st.size;
    try {
        if (!readTail(fd, st.size, state.last.data()))
            return std::nullopt; // short, changing, or not the file looked at
        (void)readSome(fd, 0, state.first.data(), state.first.size());
    } catch (const IoError &) {
        return std::nullopt;
    }
    return state;
}
