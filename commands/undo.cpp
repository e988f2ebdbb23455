#include "undo.h"

#include "filenames.h"
#include "ioerror.h"
#include "regularfile.h"
#include "rename.h"

#include <QDateTime>

#include <atomic>
#include <cerrno>
#include <fcntl.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

namespace
{

enum class Outcome { Done, AlreadyAsWas, Left };

struct Result {
    Outcome outcome;
    QString reason = {};
};

Result left(const char16_t *reason)
{
    return {Outcome::Left, QString::fromUtf16(reason)};
}

[[noreturn]] void fail(int err = errno)
{
    throw IoError::fromErrno(err);
}

class Fd
{
public:
    explicit Fd(int fd) : m_fd(fd) {}
    ~Fd()
    {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    Fd(const Fd &) = delete;
    Fd &operator=(const Fd &) = delete;
    int get() const { return m_fd; }

private:
    int m_fd;
};

// Opens a regular file (nothing else is ever opened); -1 with errno ENOENT when it is gone.
int openRegular(const QByteArray &path, int flags)
{
    struct stat st;
    if (::stat(path.constData(), &st) != 0)
        return -1;
    if (!S_ISREG(st.st_mode))
        fail(EACCES);
    const int fd = ::open(path.constData(), flags | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
    if (fd < 0)
        return -1;
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        fail(EACCES);
    }
    return fd;
}

QByteArray readAt(int fd, std::int64_t offset, std::int64_t n)
{
    QByteArray data(qsizetype(n), Qt::Uninitialized);
    data.truncate(qsizetype(readSome(fd, offset, data.data(), std::size_t(data.size()))));
    return data;
}

// Writes the whole block in one write; returns 0, or the errno of the failure (ENOSPC for a
// short write, which the disk being full causes).
int writeOnce(int fd, QByteArrayView data, std::int64_t offset)
{
    ssize_t n;
    do
        n = ::pwrite(fd, data.data(), std::size_t(data.size()), offset);
    while (n < 0 && errno == EINTR);
    if (n == data.size())
        return 0;
    return n < 0 ? errno : ENOSPC;
}

Result applyTag(const JournalTag &c, bool undo)
{
    const Fd file(openRegular(c.path, O_RDWR));
    if (file.get() < 0) {
        if (errno == ENOENT)
            return left(kUndoGone);
        fail();
    }
    struct stat st;
    if (::fstat(file.get(), &st) != 0)
        fail();
    const std::int64_t size = st.st_size;
    const std::int64_t tagged = c.appended ? c.oldSize + 128 : c.oldSize;
    const QByteArray last = readAt(file.get(), std::max<std::int64_t>(0, size - 128),
                                   std::min<std::int64_t>(128, size));
    const bool asBefore = size == c.oldSize && last == c.oldLast;
    const bool asAfter = size == tagged && last == c.newTag;
    if (!(undo ? asAfter : asBefore))
        return (undo ? asBefore : asAfter) ? Result{Outcome::AlreadyAsWas}
                                           : left(kUndoChangedSince);

    if (c.appended && undo) {
        if (::ftruncate(file.get(), c.oldSize) != 0)
            fail();
    } else {
        const QByteArray &put = undo ? c.oldLast : c.newTag;
        const std::int64_t at = c.appended ? c.oldSize : c.oldSize - 128;
        if (const int err = writeOnce(file.get(), put, at)) {
            // Put right what a failed write may have left: the file as it was found.
            if (c.appended)
                (void)::ftruncate(file.get(), c.oldSize);
            else
                (void)writeOnce(file.get(), last, at);
            fail(err);
        }
    }
    return {Outcome::Done};
}

Result applyRename(const JournalRename &c, bool undo)
{
    const QByteArray &from = undo ? c.newName : c.oldName;
    const QByteArray &to = undo ? c.oldName : c.newName;
    const QByteArray fromPath = c.folder + '/' + from;
    const QByteArray toPath = c.folder + '/' + to;
    const auto ours = [&](const QByteArray &path) {
        struct stat st;
        return ::lstat(path.constData(), &st) == 0 && (c.inode == 0 || st.st_ino == c.inode);
    };
    struct stat st;
    if (::lstat(fromPath.constData(), &st) != 0) {
        if (ours(toPath))
            return {Outcome::AlreadyAsWas};
        return left(kUndoGone);
    }
    if (c.inode != 0 && st.st_ino != c.inode)
        return left(kUndoChangedSince); // another file has taken the name since
    errno = 0;
    if (renameNoReplaceIn(c.folder, from, to))
        return {Outcome::Done};
    const int err = errno;
    if (::lstat(toPath.constData(), &st) == 0)
        return left(kUndoNameTaken);
    fail(err != 0 ? err : EACCES);
}

std::optional<QByteArray> readWhole(const QByteArray &path)
{
    const Fd file(openRegular(path, O_RDONLY));
    if (file.get() < 0) {
        if (errno == ENOENT)
            return std::nullopt;
        fail();
    }
    struct stat st;
    if (::fstat(file.get(), &st) != 0)
        fail();
    return readAt(file.get(), 0, st.st_size);
}

// Writes content to a new file beside path, then moves it to path: over the old file when
// replace is set, otherwise only where no file has the name. The file keeps mode.
Result writePlaylist(const QByteArray &path, const QByteArray &content, bool replace, mode_t mode)
{
    static std::atomic<unsigned> counter{0};
    const QByteArray temp = path + ".trackling-undo-" + QByteArray::number(::getpid()) + '-' +
                            QByteArray::number(counter++);
    const Fd file(::open(temp.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666));
    if (file.get() < 0)
        fail();
    int err = writeOnce(file.get(), content, 0);
    if (err == 0 &&
        ((mode != 0 && ::fchmod(file.get(), mode) != 0) || ::fdatasync(file.get()) != 0))
        err = errno;
    if (err != 0) {
        (void)::unlink(temp.constData());
        fail(err);
    }
    int moved = replace ? ::rename(temp.constData(), path.constData())
                        : ::renameat2(AT_FDCWD, temp.constData(), AT_FDCWD, path.constData(),
                                      RENAME_NOREPLACE);
    if (moved != 0 && !replace && (errno == EINVAL || errno == ENOSYS)) {
        // A file system without the no-replace rename: link, which never replaces either.
        moved = ::link(temp.constData(), path.constData());
        if (moved == 0)
            (void)::unlink(temp.constData());
    }
    if (moved != 0) {
        const int moveErr = errno;
        (void)::unlink(temp.constData());
        if (moveErr == EEXIST)
            return left(kUndoNameTaken);
        fail(moveErr);
    }
    return {Outcome::Done};
}

Result applyPlaylist(const JournalPlaylist &c, bool undo)
{
    const std::optional<QByteArray> current = readWhole(c.path);
    const std::optional<QByteArray> before = c.oldContent;
    const std::optional<QByteArray> after = c.newContent;
    const std::optional<QByteArray> &from = undo ? after : before;
    const std::optional<QByteArray> &to = undo ? before : after;
    if (current != from) {
        if (current == to)
            return {Outcome::AlreadyAsWas};
        return left(current ? kUndoChangedSince : kUndoGone);
    }
    if (!to) {
        if (::unlink(c.path.constData()) != 0)
            fail();
        return {Outcome::Done};
    }
    struct stat st;
    const mode_t mode = ::stat(c.path.constData(), &st) == 0 ? (st.st_mode & 07777) : 0;
    return writePlaylist(c.path, *to, current.has_value(), mode);
}

QByteArray pathOf(const JournalChange &change, bool undo)
{
    if (const auto *t = std::get_if<JournalTag>(&change))
        return t->path;
    if (const auto *r = std::get_if<JournalRename>(&change))
        return r->folder + '/' + (undo ? r->newName : r->oldName);
    return std::get<JournalPlaylist>(change).path;
}

Result applyChange(const JournalChange &change, bool undo)
{
    try {
        if (const auto *t = std::get_if<JournalTag>(&change))
            return applyTag(*t, undo);
        if (const auto *r = std::get_if<JournalRename>(&change))
            return applyRename(*r, undo);
        return applyPlaylist(std::get<JournalPlaylist>(change), undo);
    } catch (const IoError &e) {
        return {Outcome::Left, QString::fromStdString(e.message())};
    }
}

void add(UndoReport &report, const JournalChange &change, bool undo)
{
    const Result r = applyChange(change, undo);
    switch (r.outcome) {
    case Outcome::Done:
        report.done.push_back(pathOf(change, undo));
        break;
    case Outcome::AlreadyAsWas:
        ++report.alreadyAsWas;
        break;
    case Outcome::Left:
        report.left.push_back({pathOf(change, undo), r.reason});
        break;
    }
}

} // namespace

UndoReport undoCommand(Journal &journal, const JournalCommand &command)
{
    journal.markUndone(command.id);
    UndoReport report;
    report.command = command.name;
    for (auto it = command.changes.rbegin(); it != command.changes.rend(); ++it)
        add(report, *it, true);
    return report;
}

UndoReport redoCommand(Journal &journal, const JournalCommand &command)
{
    journal.markRedone(command.id);
    UndoReport report;
    report.command = command.name;
    for (const JournalChange &change : command.changes)
        add(report, change, false);
    return report;
}

QString undoQuestion(const JournalCommand &command)
{
    const QString when = QDateTime::fromMSecsSinceEpoch(command.timeMs)
                             .toLocalTime()
                             .toString(QStringLiteral("yyyy-MM-dd HH:mm"));
    return QStringLiteral("Undo \"%1\" in %2, made by an earlier run of Trackling on %3?")
        .arg(command.name, decodeFileName(command.folder), when);
}

std::optional<UndoReport> undoLast(Journal &journal,
                                   const std::function<bool(const QString &)> &confirm)
{
    const std::optional<JournalCommand> command = journal.nextUndo();
    if (!command || (fromAnotherRun(journal, *command) && !confirm(undoQuestion(*command))))
        return std::nullopt;
    return undoCommand(journal, *command);
}

std::optional<UndoReport> redoLast(Journal &journal)
{
    const std::optional<JournalCommand> command = journal.nextRedo();
    if (!command)
        return std::nullopt;
    return redoCommand(journal, *command);
}
