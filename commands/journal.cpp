#include "journal.h"

#include "ioerror.h"
#include "journalformat.h"
#include "regularfile.h"

#include <QDateTime>
#include <QRandomGenerator>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace journalformat;

namespace
{

constexpr int kSlack = 5; // commands beyond keep before the journal is compacted

[[noreturn]] void fail(int err = errno)
{
    throw IoError::fromErrno(err);
}

// Creates the folder (and missing parents) only the user can enter; an existing last folder
// is made so.
void makePrivateFolder(const QByteArray &path)
{
    for (qsizetype slash = path.indexOf('/', 1); slash > 0; slash = path.indexOf('/', slash + 1))
        (void)::mkdir(path.left(slash).constData(), 0700);
    if (::mkdir(path.constData(), 0700) != 0 && errno != EEXIST)
        fail();
    struct stat st;
    if (::lstat(path.constData(), &st) != 0)
        fail();
    if (!S_ISDIR(st.st_mode))
        fail(ENOTDIR);
    if ((st.st_mode & 07777) != 0700 && ::chmod(path.constData(), 0700) != 0)
        fail();
}

int openPrivate(const QByteArray &path, int flags)
{
    const int fd = ::open(path.constData(), flags | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (fd < 0)
        fail();
    struct stat st;
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) ||
        ((st.st_mode & 07777) != 0600 && ::fchmod(fd, 0600) != 0)) {
        const int err = S_ISREG(st.st_mode) ? errno : EACCES;
        ::close(fd);
        fail(err);
    }
    return fd;
}

void writeAll(int fd, QByteArrayView data, std::int64_t offset)
{
    qsizetype done = 0;
    while (done < data.size()) {
        const ssize_t n =
            ::pwrite(fd, data.data() + done, std::size_t(data.size() - done), offset + done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            fail();
        if (n == 0)
            throw IoError::diskFull();
        done += n;
    }
}

QByteArray readFrom(int fd, std::int64_t offset)
{
    struct stat st;
    if (::fstat(fd, &st) != 0)
        fail();
    QByteArray data;
    if (st.st_size <= offset)
        return data;
    data.resize(qsizetype(st.st_size - offset));
    data.truncate(qsizetype(readSome(fd, offset, data.data(), std::size_t(data.size()))));
    return data;
}

// Where the journal's trusted records ended when it was last written, with its inode and the
// commands it held then, so that opening a journal of many big commands reads only what was
// appended since. Not flushed: a stale, torn or foreign note only makes the journal be read
// whole again (and undo reads it whole, checking every record, in any case).
constexpr qsizetype kEndNoteSize = 32;

QByteArray endNote(std::uint64_t inode, std::int64_t validSize, std::int64_t lastStart,
                   int commands)
{
    QByteArray note(kEndNoteSize, '\0');
    std::memcpy(note.data(), &inode, 8);
    std::memcpy(note.data() + 8, &validSize, 8);
    std::memcpy(note.data() + 16, &lastStart, 8);
    const std::int32_t count = commands;
    std::memcpy(note.data() + 24, &count, 4);
    const std::uint32_t sum = checksum(QByteArrayView(note).first(28));
    std::memcpy(note.data() + 28, &sum, 4);
    return note;
}

// Whether the record at `at` of the journal ends at `end` and passes its checksum.
bool wholeRecordAt(int fd, std::int64_t at, std::int64_t end)
{
    if (end - at < 8 || end - at > (std::int64_t(1) << 30))
        return false;
    QByteArray record(qsizetype(end - at), Qt::Uninitialized);
    if (::pread(fd, record.data(), std::size_t(record.size()), at) != ssize_t(record.size()))
        return false;
    std::uint32_t length, sum;
    std::memcpy(&length, record.constData(), 4);
    std::memcpy(&sum, record.constData() + 4, 4);
    return std::int64_t(length) + 8 == end - at &&
           checksum(QByteArrayView(record).sliced(8)) == sum;
}

// Where the last record of the framed records in data (from `from` on) starts.
std::int64_t lastRecordStart(QByteArrayView data, std::int64_t from)
{
    std::int64_t last = -1;
    for (std::int64_t at = from; data.size() - at >= 8;) {
        std::uint32_t length;
        std::memcpy(&length, data.data() + at, 4);
        last = at;
        at += 8 + std::int64_t(length);
    }
    return last;
}

void syncFolder(const QByteArray &folder)
{
    const int fd = ::open(folder.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        (void)::fsync(fd);
        ::close(fd);
    }
}

} // namespace

// The journal's lock, held for each read and write.
class Journal::Lock
{
public:
    explicit Lock(int fd) : m_fd(fd)
    {
        while (::flock(m_fd, LOCK_EX) != 0)
            if (errno != EINTR)
                fail();
    }
    ~Lock() { (void)::flock(m_fd, LOCK_UN); }
    Lock(const Lock &) = delete;
    Lock &operator=(const Lock &) = delete;

private:
    int m_fd;
};

QByteArray Journal::defaultFolder()
{
    QByteArray base = qgetenv("XDG_STATE_HOME");
    if (!base.startsWith('/')) // unset, empty or relative: ignored, as the XDG rules say
        base = qgetenv("HOME") + "/.local/state";
    while (base.size() > 1 && base.endsWith('/'))
        base.chop(1);
    return base + "/trackling";
}

Journal::Journal(const QByteArray &folder, int keep) : m_folder(folder), m_keep(keep)
{
    while (m_folder.size() > 1 && m_folder.endsWith('/'))
        m_folder.chop(1);
    makePrivateFolder(m_folder);
    m_lockFd = openPrivate(m_folder + "/lock", O_RDWR);
    const std::uint64_t run[2] = {QRandomGenerator::system()->generate64(),
                                  QRandomGenerator::system()->generate64()};
    m_runId = QByteArray(reinterpret_cast<const char *>(run), sizeof run).toHex();
    Lock lock(m_lockFd);
    catchUp();
}

Journal::~Journal()
{
    settle();
    if (m_fd >= 0)
        ::close(m_fd);
    if (m_lockFd >= 0)
        ::close(m_lockFd);
}

QByteArray Journal::filePath() const
{
    return m_folder + "/journal";
}

// With the lock held: makes m_fd the journal file (another run may have replaced it by
// compacting), reads what other runs appended and cuts off a torn or corrupt tail.
void Journal::catchUp()
{
    struct stat st;
    const QByteArray path = filePath();
    if (m_fd >= 0 && (::stat(path.constData(), &st) != 0 || st.st_ino != m_inode)) {
        ::close(m_fd);
        m_fd = -1;
    }
    if (m_fd < 0) {
        m_fd = openPrivate(path, O_RDWR);
        if (::fstat(m_fd, &st) != 0)
            fail();
        m_inode = st.st_ino;
        m_validSize = 0;
        m_lastStart = -1;
        m_commands = 0;
        syncFolder(m_folder);
    }
    if (m_validSize == 0) {
        char head[kMagicSize];
        ssize_t n;
        do
            n = ::pread(m_fd, head, sizeof head, 0);
        while (n < 0 && errno == EINTR);
        if (n < 0)
            fail();
        if (n != kMagicSize || QByteArrayView(head, n) != QByteArrayView(kJournalMagic, n)) {
            // Empty, or not a journal this program can trust: start afresh.
            if (::ftruncate(m_fd, 0) != 0)
                fail();
            writeAll(m_fd, QByteArrayView(kJournalMagic, kMagicSize), 0);
            if (::fdatasync(m_fd) != 0)
                fail();
        }
        m_validSize = kMagicSize;
        if (::fstat(m_fd, &st) != 0)
            fail();
        (void)loadEndNote(st.st_size); // else read whole, from the start
    }
    if (::fstat(m_fd, &st) != 0)
        fail();
    if (st.st_size == m_validSize)
        return;
    if (st.st_size > m_validSize) {
        const QByteArray tail = readFrom(m_fd, m_validSize);
        State state;
        const std::int64_t trusted = state.read(tail, 0);
        if (trusted > 0)
            m_lastStart = m_validSize + lastRecordStart(QByteArrayView(tail).first(trusted), 0);
        m_validSize += trusted;
        m_commands += state.begins;
    }
    if (st.st_size != m_validSize && ::ftruncate(m_fd, m_validSize) != 0)
        fail();
}

void Journal::settle()
{
    if (!m_compaction.valid())
        return;
    try {
        m_compaction.get();
    } catch (...) {
        // the old journal is in place, and is compacted the next time
    }
}

void Journal::compactLater()
{
    settle();
    if (m_commands < m_keep + kSlack)
        return; // as far as this run knows; another run's commands are counted when it compacts
    m_compaction = std::async(std::launch::async, [this] {
        Lock lock(m_lockFd);
        catchUp();
        if (m_commands >= m_keep + kSlack)
            compact();
    });
}

Journal::State Journal::readState()
{
    settle();
    Lock lock(m_lockFd);
    catchUp();
    State state;
    const QByteArray whole = readFrom(m_fd, 0);
    state.read(QByteArrayView(whole).first(std::min(whole.size(), qsizetype(m_validSize))),
               kMagicSize);
    return state;
}

void Journal::append(const QByteArray &records, bool beginsCommand)
{
    settle();
    Lock lock(m_lockFd);
    catchUp();
    if (beginsCommand && m_commands >= m_keep + kSlack)
        compact();
    try {
        writeAll(m_fd, records, m_validSize);
        if (::fdatasync(m_fd) != 0)
            fail();
    } catch (...) {
        (void)::ftruncate(m_fd, m_validSize);
        throw;
    }
    m_lastStart = m_validSize + lastRecordStart(records, 0);
    m_validSize += records.size();
    if (beginsCommand)
        ++m_commands;
    saveEndNote();
}

QByteArray Journal::endNotePath() const
{
    return m_folder + "/journal.end";
}

void Journal::saveEndNote()
{
    if (m_lastStart < kMagicSize)
        return; // not known: the journal is read whole when next opened
    try {
        const int fd = openPrivate(endNotePath(), O_WRONLY);
        const QByteArray note = endNote(m_inode, m_validSize, m_lastStart, m_commands);
        const bool whole =
            ::pwrite(fd, note.constData(), std::size_t(note.size()), 0) == ssize_t(note.size());
        ::close(fd);
        if (!whole)
            (void)::unlink(endNotePath().constData());
    } catch (const IoError &) {
        // without the note the journal is read whole when next opened
    }
}

bool Journal::loadEndNote(std::int64_t fileSize)
{
    const int fd = ::open(endNotePath().constData(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
    if (fd < 0)
        return false;
    char note[kEndNoteSize];
    const ssize_t n = ::pread(fd, note, sizeof note, 0);
    ::close(fd);
    if (n != kEndNoteSize)
        return false;
    std::uint64_t inode;
    std::int64_t validSize, lastStart;
    std::int32_t commands;
    std::memcpy(&inode, note, 8);
    std::memcpy(&validSize, note + 8, 8);
    std::memcpy(&lastStart, note + 16, 8);
    std::memcpy(&commands, note + 24, 4);
    // The note's own checksum, the same file, and the last record it names still whole.
    if (QByteArrayView(note, kEndNoteSize) !=
            QByteArrayView(endNote(inode, validSize, lastStart, commands)) ||
        inode != m_inode || lastStart < kMagicSize || validSize > fileSize || commands < 0 ||
        !wholeRecordAt(m_fd, lastStart, validSize))
        return false;
    m_validSize = validSize;
    m_lastStart = lastStart;
    m_commands = commands;
    return true;
}

// With the lock held: rewrites the journal with the last m_keep commands and replaces the
// old file in one rename; a failure leaves the old file in place.
void Journal::compact()
{
    State state;
    {
        const QByteArray whole = readFrom(m_fd, 0);
        state.read(QByteArrayView(whole).first(std::min(whole.size(), qsizetype(m_validSize))),
                   kMagicSize);
    }
    const QByteArray data = state.compacted(m_keep);
    const QByteArray temp = m_folder + "/journal.new";
    (void)::unlink(temp.constData());
    const int fd = openPrivate(temp, O_RDWR | O_EXCL);
    try {
        writeAll(fd, data, 0);
        if (::fdatasync(fd) != 0)
            fail();
        if (::rename(temp.constData(), filePath().constData()) != 0)
            fail();
    } catch (...) {
        ::close(fd);
        (void)::unlink(temp.constData());
        throw;
    }
    syncFolder(m_folder);
    ::close(m_fd);
    m_fd = fd;
    struct stat st;
    m_inode = ::fstat(fd, &st) == 0 ? st.st_ino : 0;
    m_validSize = data.size();
    m_lastStart = lastRecordStart(data, kMagicSize);
    m_commands = state.keptCommands(m_keep);
    saveEndNote();
}

std::uint64_t Journal::beginCommand(const QString &name, const QByteArray &folder)
{
    JournalCommand c;
    do
        c.id = QRandomGenerator::system()->generate64();
    while (c.id == 0);
    c.name = name;
    c.folder = folder;
    c.timeMs = QDateTime::currentMSecsSinceEpoch();
    c.runId = m_runId;
    m_pending.push_back(c);
    return c.id;
}

void Journal::record(std::uint64_t command, const std::vector<JournalChange> &changes)
{
    if (changes.empty())
        return;
    QByteArray records;
    const auto pending = std::find_if(m_pending.begin(), m_pending.end(),
                                      [&](const JournalCommand &c) { return c.id == command; });
    const bool begins = pending != m_pending.end();
    qsizetype size = 0;
    for (const JournalChange &change : changes)
        size += changeRecordSize(change);
    records.reserve(size + 256);
    if (begins)
        records += beginRecord(*pending);
    for (const JournalChange &change : changes)
        appendChangeRecord(records, command, change);
    append(records, begins);
    if (begins)
        m_pending.erase(pending);
}

namespace
{

std::vector<JournalCommand> pick(const Journal::State &state, const std::vector<std::uint64_t> &ids)
{
    std::vector<JournalCommand> out;
    for (const std::uint64_t id : ids)
        out.push_back(state.commands.at(id));
    return out;
}

} // namespace

std::vector<JournalCommand> Journal::undoable()
{
    const State state = readState();
    return pick(state, state.undo);
}

std::vector<JournalCommand> Journal::redoable()
{
    const State state = readState();
    return pick(state, state.redo);
}

std::optional<JournalCommand> Journal::nextUndo()
{
    State state = readState();
    if (state.undo.empty())
        return std::nullopt;
    return std::move(state.commands.at(state.undo.back()));
}

std::optional<JournalCommand> Journal::nextRedo()
{
    State state = readState();
    if (state.redo.empty())
        return std::nullopt;
    return std::move(state.commands.at(state.redo.back()));
}

void Journal::mark(int type, std::uint64_t command)
{
    append(markRecord(RecordType(type), command), false);
}

void Journal::markUndone(std::uint64_t command)
{
    mark(Undo, command);
}

void Journal::markRedone(std::uint64_t command)
{
    mark(Redo, command);
}
