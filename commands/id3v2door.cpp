#include "id3v2door.h"

#include "changes.h"
#include "filenames.h"
#include "id3v2reader.h"
#include "id3v2update.h"
#include "ioerror.h"
#include "regularfile.h"

#include <atomic>
#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>
#include <vector>

namespace
{

std::function<int(const char *)> g_hook;

// A system call that changes a file, through the test hook: -1 with errno set where the hook
// makes it fail.
template <typename Call> auto hooked(const char *name, Call call) -> decltype(call())
{
    if (g_hook) {
        if (const int err = g_hook(name)) {
            errno = err;
            return -1;
        }
    }
    return retryOnInterrupt(call);
}

[[noreturn]] void fail(int err = errno)
{
    throw IoError::fromErrno(err);
}

void writeAllHooked(int fd, const char *data, std::size_t n, std::int64_t offset)
{
    for (std::size_t done = 0; done < n;) {
        const ssize_t put = hooked("pwrite", [&] {
            return ::pwrite(fd, data + done, n - done, offset + std::int64_t(done));
        });
        if (put < 0)
            fail();
        if (put == 0)
            throw IoError::diskFull();
        done += std::size_t(put);
    }
}

// Copies from's bytes [from, from + n) to the end of to (at offset at): shared blocks where the
// file system can, else read and written.
void copyRange(int from, std::int64_t offset, int to, std::int64_t at, std::int64_t n)
{
    loff_t in = offset, out = at;
    bool plain = false;
    while (n > 0 && !plain) {
        const ssize_t moved = hooked("copy_file_range", [&] {
            return ::copy_file_range(from, &in, to, &out, std::size_t(n), 0);
        });
        if (moved < 0) {
            if (errno == EXDEV || errno == EINVAL || errno == EOPNOTSUPP || errno == ENOSYS)
                plain = true; // another way to copy: read and write
            else
                fail();
        } else if (moved == 0) {
            throw IoError::readBeyondEnd(); // the file got shorter meanwhile
        } else {
            n -= moved;
        }
    }
    std::vector<char> buffer(std::size_t(std::min<std::int64_t>(n, 1 << 20)));
    while (n > 0) {
        const std::size_t want =
            std::size_t(std::min<std::int64_t>(n, std::int64_t(buffer.size())));
        const std::size_t got = readSome(from, in, buffer.data(), want);
        if (got == 0)
            throw IoError::readBeyondEnd();
        writeAllHooked(to, buffer.data(), got, out);
        in += std::int64_t(got);
        out += std::int64_t(got);
        n -= std::int64_t(got);
    }
}

// The original's extended attributes (ACLs among them) onto the new file, as far as allowed.
void copyAttributes(int from, int to)
{
    std::vector<char> names(std::size_t(std::max<ssize_t>(0, ::flistxattr(from, nullptr, 0))));
    const ssize_t length = names.empty() ? 0 : ::flistxattr(from, names.data(), names.size());
    std::vector<char> value;
    for (ssize_t at = 0; at < length;) {
        const char *name = names.data() + at;
        at += ssize_t(std::strlen(name)) + 1;
        const ssize_t size = ::fgetxattr(from, name, nullptr, 0);
        if (size < 0)
            continue;
        value.resize(std::size_t(size));
        if (::fgetxattr(from, name, value.data(), value.size()) == size)
            (void)::fsetxattr(to, name, value.data(), value.size(), 0);
    }
}

QByteArray bytesOf(const std::string &s)
{
    return QByteArray(s.data(), qsizetype(s.size()));
}

FileOutcome leftWith(const QString &reason)
{
    return FileOutcome::leftAsItWas(reason);
}

} // namespace

void setId3v2WriteHook(std::function<int(const char *)> hook)
{
    g_hook = std::move(hook);
}

namespace
{

// The leading ID3v2 tag's bytes as declared (up to the reader's limit and a little more, so that
// the renderer sees a tag over it), in one read for most tags; empty when there is none.
QByteArray leadingTag(int fd, std::int64_t expected = 0)
{
    constexpr std::int64_t kFirst = 8 * 1024;
    QByteArray bytes(qsizetype(std::max(expected, kFirst)), Qt::Uninitialized);
    bytes.truncate(qsizetype(readSome(fd, 0, bytes.data(), std::size_t(bytes.size()))));
    const std::int64_t declared = id3v2DeclaredSize(
        reinterpret_cast<const std::uint8_t *>(bytes.constData()), std::size_t(bytes.size()));
    if (declared <= 0)
        return {};
    const std::int64_t take = std::min<std::int64_t>(declared, kId3v2ReadLimit + 16);
    if (take > bytes.size()) {
        const qsizetype have = bytes.size();
        bytes.resize(qsizetype(take));
        bytes.truncate(
            have + qsizetype(readSome(fd, have, bytes.data() + have, std::size_t(take - have))));
    }
    bytes.truncate(qsizetype(std::min<std::int64_t>(take, bytes.size())));
    return bytes;
}

} // namespace

Id3v2FileState readId3v2FileState(const Folder &folder, const QByteArray &name)
{
    Id3v2FileState state;
    FileHandle file(openRegularFileAt(folder.fd(), name.toStdString(), O_RDONLY, state.status));
    state.tag = leadingTag(file.fd());
    state.hasLast = readTail(file.fd(), state.status.size, state.last.data());
    file.close();
    return state;
}

bool id3v2DiffersFrom(const Folder &folder, const QByteArray &name,
                      const std::array<std::uint8_t, 128> &tag)
{
    Id3v2Info info;
    try {
        info = readId3v2At(folder.fd(), name.toStdString());
    } catch (const IoError &) {
        return false;
    }
    return info.present && info.read && id3v2DiffersFromId3v1(id3v1FieldsOfTag(tag), info.text);
}

JournalId3v2 plannedId3v2Write(const Folder &folder, const QByteArray &name,
                               const Id3v2FileState &state, const Id3v2Rendering &rendering)
{
    JournalId3v2 change;
    change.path = folder.pathOf(name);
    change.oldSize = state.status.size;
    change.oldTag = state.tag;
    change.newTag = bytesOf(rendering.bytes);
    change.inPlace = rendering.inPlace;
    change.identity = state.status.identity;
    if (rendering.inPlace)
        change.written = state.status.identity;
    return change;
}

void syncFolder(const Folder &folder)
{
    if (hooked("fsync", [&] { return ::fsync(folder.fd()); }) != 0 && errno != EINVAL)
        fail();
}

void overwriteHead(int fd, const QByteArray &newHead, const QByteArray &oldHead)
{
    const ssize_t put = hooked("pwrite", [&] {
        return ::pwrite(fd, newHead.constData(), std::size_t(newHead.size()), 0);
    });
    if (put == newHead.size())
        return;
    const int err = errno;
    (void)::pwrite(fd, oldHead.constData(), std::size_t(oldHead.size()), 0); // the old bytes back
    if (put >= 0)
        throw IoError::diskFull();
    fail(err);
}

FileIdentity replaceHead(const Folder &folder, const QByteArray &name, int fd,
                         const FileStatus &current, std::int64_t oldHeadSize,
                         const QByteArray &newHead,
                         const std::function<void(const FileIdentity &)> &ready)
{
    removeLeftoversIn(folder);
    static std::atomic<unsigned> counter{0};
    QByteArray temp;
    int out = -1;
    for (int attempt = 0; attempt < 100 && out < 0; ++attempt) {
        temp = '.' + name + ".trackling-" + QByteArray::number(::getpid()) + '-' +
               QByteArray::number(counter++);
        out = hooked("openat", [&] {
            return ::openat(folder.fd(), temp.constData(),
                            O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC | O_NOCTTY, 0600);
        });
        if (out < 0 && errno != EEXIST)
            fail();
    }
    if (out < 0)
        fail(EEXIST);
    FileHandle file(out);
    try {
        writeAllHooked(out, newHead.constData(), std::size_t(newHead.size()), 0);
        copyRange(fd, oldHeadSize, out, newHead.size(), current.size - oldHeadSize);
        if (hooked("fdatasync", [&] { return ::fdatasync(out); }) != 0)
            fail();
        // As the original was: owner and group where allowed, then the mode (which a change of
        // owner may clear bits of), then the extended attributes.
        (void)::fchown(out, current.owner, current.group);
        if (hooked("fchmod", [&] { return ::fchmod(out, current.mode & 07777); }) != 0)
            fail();
        copyAttributes(fd, out);
        const FileIdentity written = statusOf(out).identity;
        // The original is still the file read, as long as it was read: else nothing changes.
        const FileStatus now = statusOf(fd);
        if (now.size != current.size || now.modifiedNs != current.modifiedNs)
            throw IoError(5, "it changed while it was being written");
        file.close();
        if (ready)
            ready(written);
        if (hooked("renameat", [&] {
                return ::renameat(folder.fd(), temp.constData(), folder.fd(), name.constData());
            }) != 0)
            fail();
        return written;
    } catch (...) {
        (void)::unlinkat(folder.fd(), temp.constData(), 0);
        throw;
    }
}

FileOutcome writeId3v2(const ChangeContext &context, const QByteArray &name,
                       const Id3v2Update &update, const JournalId3v2 *planned)
{
    const Folder &folder = context.folder;
    const int flags = context.dryRun ? O_RDONLY : O_RDWR;
    FileStatus st;
    int fd;
    try {
        fd = openRegularFileAt(folder.fd(), name.toStdString(), flags, st);
    } catch (const IoError &e) {
        if (e.errorNumber() == 2)
            return leftWith(QStringLiteral("file not found"));
        throw;
    }
    FileHandle file(fd);
    // The old tag as the file holds it now, in one read where it is as planned.
    const QByteArray oldTag = leadingTag(file.fd(), planned ? planned->oldTag.size() : 0);
    // The new tag: as planned where the file is still the one planned, else rendered anew.
    JournalId3v2 actual;
    if (planned && planned->identity.sameFile(st.identity) && planned->oldSize == st.size &&
        planned->oldTag == oldTag) {
        actual = *planned;
    } else {
        const Id3v2Rendering rendering =
            renderId3v2(reinterpret_cast<const std::uint8_t *>(oldTag.constData()),
                        std::size_t(oldTag.size()), update);
        if (!rendering.written)
            return leftWith(QString::fromStdString(rendering.reason));
        Id3v2FileState state;
        state.status = st;
        state.tag = oldTag;
        actual = plannedId3v2Write(folder, name, state, rendering);
    }
    if (!actual.inPlace) {
        FileStatus named;
        if (statusAt(folder.fd(), name.constData(), false, named) == 0 && named.isLink())
            return leftWith(QStringLiteral("is a link"));
        if (st.links > 1)
            return leftWith(QStringLiteral("has other hard links"));
    }
    FileOutcome outcome;
    outcome.note = actual.inPlace ? QStringLiteral("in place") : QStringLiteral("new file");
    if (context.dryRun)
        return outcome;
    CommandLog *recorder = context.recorder;
    // Recorded ahead as it is (the new file aside, which is not known ahead), or recorded now.
    const bool asPlanned = planned && *planned == actual;
    if (actual.inPlace) {
        if (recorder && !asPlanned)
            recorder->record({{context.index, actual}}); // before the change
        overwriteHead(file.fd(), actual.newTag, oldTag);
        file.close();
    } else {
        replaceHead(folder, name, file.fd(), st, oldTag.size(), actual.newTag,
                    [&](const FileIdentity &written) {
                        actual.written = written;
                        if (recorder && !asPlanned) // before it takes the name
                            recorder->record({{context.index, actual}});
                    });
        // Which file it is now, told with the next record: without it (a crash just now),
        // undo knows the file by its bytes.
        if (recorder && asPlanned)
            recorder->recordLater({{context.index, actual}});
    }
    if (recorder)
        recorder->made(context.index);
    return outcome;
}
