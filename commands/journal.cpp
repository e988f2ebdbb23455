#include "journal.h"

#include "filenames.h"
#include "folder.h"
#include "ioerror.h"
#include "journalformat.h"

#include <QDateTime>
#include <QRandomGenerator>
#include <cerrno>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace journalformat;

namespace
{

constexpr char kChanges[] = ".changes";
constexpr char kPasses[] = ".passes";
constexpr char kSetAside[] = ".damaged";
constexpr char kTemp[] = ".tmp";
constexpr char kRunPrefix[] = "run-";
constexpr std::size_t kHeaderRead = 16 * 1024; // a command's first record, however long its folder

// A failure of the journal, in words that name it.
IoError journalError(const QByteArray &folder, const IoError &cause)
{
    return IoError(cause.errorNumber(), "The undo journal in " + folder.toStdString() +
                                            " cannot be written: " + cause.message());
}

[[noreturn]] void fail(int err = errno)
{
    throw IoError::fromErrno(err);
}

// Creates the folder (and missing parents) only the user can enter. An existing folder must be
// a folder of the user's, not reached through a link; it is made private.
void makePrivateFolder(const QByteArray &path)
{
    for (qsizetype slash = path.indexOf('/', 1); slash > 0; slash = path.indexOf('/', slash + 1))
        (void)::mkdir(path.left(slash).constData(), 0700);
    if (::mkdir(path.constData(), 0700) != 0 && errno != EEXIST)
        fail();
    struct stat st;
    if (::lstat(path.constData(), &st) != 0)
        fail();
    if (S_ISLNK(st.st_mode))
        throw IoError(5, "it is a symbolic link");
    if (!S_ISDIR(st.st_mode))
        fail(ENOTDIR);
    if (st.st_uid != ::geteuid())
        throw IoError(5, "it belongs to another user");
    if ((st.st_mode & 07777) != 0700 && ::chmod(path.constData(), 0700) != 0)
        fail();
    if (::access(path.constData(), W_OK | X_OK) != 0)
        fail();
}

// Opens a file of the journal's folder: never through a link, only a regular file of the user's
// with no other name (a hard link planted there would be written through).
int openPrivate(const QByteArray &path, int flags)
{
    const int fd = ::open(path.constData(), flags | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (fd < 0)
        fail();
    FileHandle file(fd);
    struct stat st;
    if (::fstat(fd, &st) != 0)
        fail();
    if (!S_ISREG(st.st_mode) || st.st_uid != ::geteuid() || st.st_nlink != 1)
        fail(EACCES);
    if ((st.st_mode & 07777) != 0600 && ::fchmod(fd, 0600) != 0)
        fail();
    return file.release();
}

void lockFile(int fd, int how)
{
    if (retryOnInterrupt([&] { return ::flock(fd, how); }) != 0)
        fail();
}

// Whether another open file holds fd's file locked (tried without waiting).
bool lockedElsewhere(const QByteArray &path)
{
    const int fd = ::open(path.constData(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
    if (fd < 0)
        return false;
    FileHandle file(fd);
    return ::flock(fd, LOCK_SH | LOCK_NB) != 0 && errno == EWOULDBLOCK;
}

std::vector<QByteArray> namesIn(const QByteArray &folder)
{
    std::vector<QByteArray> names;
    DIR *dir = ::opendir(folder.constData());
    if (!dir)
        fail();
    while (const dirent *entry = ::readdir(dir)) {
        if (entry->d_name[0] != '.')
            names.emplace_back(entry->d_name);
    }
    ::closedir(dir);
    return names;
}

QByteArray hex(std::uint64_t v)
{
    return QByteArray::number(qulonglong(v), 16).rightJustified(16, '0');
}

std::string readPrivate(const QByteArray &path, std::size_t limit = 0)
{
    FileHandle file(openPrivate(path, O_RDONLY));
    if (limit == 0)
        return readWhole(file.fd());
    std::string data(limit, '\0');
    data.resize(readSome(file.fd(), 0, data.data(), limit));
    return data;
}

std::uint64_t newId()
{
    std::uint64_t id;
    do
        id = QRandomGenerator::system()->generate64();
    while (id == 0);
    return id;
}

} // namespace

DamagedCommand::DamagedCommand(const JournalCommand &command)
    : std::runtime_error("damaged journal record"), command(command)
{
}

QByteArray Journal::defaultFolder()
{
    QByteArray base = qgetenv("XDG_STATE_HOME");
    if (!base.startsWith('/')) { // unset, empty or relative: ignored, as the XDG rules say
        const QByteArray home = qgetenv("HOME");
        if (!home.startsWith('/'))
            return {};
        base = home + "/.local/state";
    }
    while (base.size() > 1 && base.endsWith('/'))
        base.chop(1);
    return base + "/trackling";
}

Journal::Journal(const QByteArray &folder, int keep) : m_folder(folder), m_keep(keep)
{
    while (m_folder.size() > 1 && m_folder.endsWith('/'))
        m_folder.chop(1);
    const std::uint64_t run[2] = {QRandomGenerator::system()->generate64(),
                                  QRandomGenerator::system()->generate64()};
    m_runId = QByteArray(reinterpret_cast<const char *>(run), sizeof run).toHex();
    try {
        if (m_folder.isEmpty())
            throw IoError(3, "neither XDG_STATE_HOME nor HOME is set");
        makePrivateFolder(m_folder);
        m_lock = FileHandle(openPrivate(m_folder + "/lock", O_RDWR | O_CREAT));
        m_run = FileHandle(
            openPrivate(m_folder + '/' + kRunPrefix + m_runId, O_RDWR | O_CREAT | O_EXCL));
        lockFile(m_run.fd(), LOCK_EX);
        lockFile(m_lock.fd(), LOCK_EX);
        try {
            removeLeftovers();
            convertOldJournal();
        } catch (...) {
            (void)::flock(m_lock.fd(), LOCK_UN);
            throw;
        }
        (void)::flock(m_lock.fd(), LOCK_UN);
    } catch (const IoError &e) {
        if (m_run.isOpen())
            (void)::unlink((m_folder + '/' + kRunPrefix + m_runId).constData());
        throw journalError(m_folder, e);
    }
}

Journal::~Journal()
{
    m_begun.clear();
    if (m_run.isOpen())
        (void)::unlink((m_folder + '/' + kRunPrefix + m_runId).constData());
}

QByteArray Journal::changesPath(const QByteArray &file) const
{
    return m_folder + '/' + file + kChanges;
}

QByteArray Journal::passesPath(const QByteArray &file) const
{
    return m_folder + '/' + file + kPasses;
}

// With the folder locked: what a run killed meanwhile left behind (its run lock, a half-written
// conversion), and what older versions kept beside their journal.
void Journal::removeLeftovers()
{
    for (const QByteArray &name : namesIn(m_folder)) {
        const QByteArray path = m_folder + '/' + name;
        if (name.endsWith(kTemp) || name == "journal.end" || name == "journal.new")
            (void)::unlink(path.constData());
        else if (name.startsWith(kRunPrefix) && name != kRunPrefix + m_runId &&
                 !lockedElsewhere(path))
            (void)::unlink(path.constData());
    }
}

// With the folder locked: the single journal of older versions becomes one file per command,
// with the same undo and redo order, and goes.
void Journal::convertOldJournal()
{
    const QByteArray old = m_folder + "/journal";
    std::string whole;
    try {
        whole = readPrivate(old);
    } catch (const IoError &e) {
        if (e.errorNumber() == 2)
            return;
        throw;
    }
    OldJournal journal = readOldJournal(QByteArrayView(whole.data(), qsizetype(whole.size())));
    // Undo side oldest first, then the redo side as if begun after it and undone since, the next
    // to redo last: the stamps give back the same order.
    std::int64_t stamp = 1;
    std::vector<std::pair<std::uint64_t, bool>> order;
    for (const std::uint64_t id : journal.undo)
        order.emplace_back(id, false);
    for (auto it = journal.redo.rbegin(); it != journal.redo.rend(); ++it)
        order.emplace_back(*it, true);
    std::vector<QByteArray> undoneFiles;
    for (auto &[id, undone] : order) {
        JournalCommand &c = journal.commands.at(id);
        c.stamp = stamp++;
        QByteArray data(kCommandMagic, kMagicSize);
        data += beginRecord(c);
        for (std::size_t i = 0; i < c.changes.size(); ++i)
            appendChangeRecord(data, int(i), c.changes[i]);
        const QByteArray file = hex(std::uint64_t(c.stamp)) + '-' + hex(c.id);
        const QByteArray temp = changesPath(file) + kTemp;
        FileHandle out(openPrivate(temp, O_WRONLY | O_CREAT | O_TRUNC));
        writeAll(out.fd(), data.constData(), std::size_t(data.size()), 0);
        if (::fdatasync(out.fd()) != 0 || ::rename(temp.constData(), changesPath(file)) != 0)
            fail();
        if (undone)
            undoneFiles.push_back(file);
    }
    // The undone ones, in the order they were undone (the next to redo last).
    for (auto it = undoneFiles.rbegin(); it != undoneFiles.rend(); ++it) {
        QByteArray data(kPassesMagic, kMagicSize);
        data += passBeginRecord(true, stamp++);
        data += passEndRecord();
        FileHandle out(openPrivate(passesPath(*it), O_WRONLY | O_CREAT | O_TRUNC));
        writeAll(out.fd(), data.constData(), std::size_t(data.size()), 0);
        if (::fdatasync(out.fd()) != 0)
            fail();
    }
    if (::unlink(old.constData()) != 0)
        fail();
    Folder::open(m_folder).sync();
}

std::optional<JournalCommand> Journal::readSummary(const QByteArray &file)
{
    JournalCommand c;
    c.file = file;
    std::string head;
    try {
        head = readPrivate(changesPath(file), kHeaderRead);
    } catch (const IoError &e) {
        if (e.errorNumber() == 2)
            return std::nullopt; // dropped meanwhile
        return c;                // no header: damaged, offered as such
    }
    const ReadEnd how = readCommand(QByteArrayView(head.data(), qsizetype(head.size())), c, true);
    if (how == ReadEnd::Damaged || c.id == 0) {
        if (c.stamp == 0)
            c.stamp = std::int64_t(file.left(16).toULongLong(nullptr, 16));
        c.id = 0; // marks it damaged
        return c;
    }
    try {
        const std::string passes = readPrivate(passesPath(file));
        if (readPasses(QByteArrayView(passes.data(), qsizetype(passes.size())), c.passes) ==
            ReadEnd::Damaged)
            c.id = 0;
    } catch (const IoError &e) {
        if (e.errorNumber() != 2)
            c.id = 0;
    }
    return c;
}

std::vector<JournalCommand> Journal::commands()
{
    std::vector<JournalCommand> out;
    for (const QByteArray &name : namesIn(m_folder)) {
        if (!name.endsWith(kChanges))
            continue;
        if (auto c = readSummary(name.chopped(qsizetype(std::strlen(kChanges)))))
            out.push_back(std::move(*c));
    }
    std::sort(out.begin(), out.end(), [](const JournalCommand &a, const JournalCommand &b) {
        return a.lastStamp() != b.lastStamp() ? a.lastStamp() > b.lastStamp() : a.file > b.file;
    });
    std::lock_guard lock(m_stampMutex);
    for (const JournalCommand &c : out)
        m_lastStamp = std::max(m_lastStamp, c.lastStamp());
    return out;
}

JournalCommand Journal::load(const JournalCommand &summary)
{
    JournalCommand c;
    c.file = summary.file;
    if (summary.id == 0)
        throw DamagedCommand(summary);
    auto file = std::make_shared<FileHandle>(openPrivate(changesPath(summary.file), O_RDONLY));
    if (readCommandFile(file->fd(), statusOf(file->fd()).size, c) == ReadEnd::Damaged ||
        c.id != summary.id)
        throw DamagedCommand(summary);
    c.passes = summary.passes;
    c.records = std::move(file);
    return c;
}

JournalChange wholeChange(const JournalCommand &command, std::size_t index)
{
    const JournalChange &change = command.changes.at(index);
    const auto *v = std::get_if<JournalId3v2>(&change);
    if (!v || v->storedAt < 0)
        return change;
    std::optional<JournalChange> whole;
    if (command.records)
        whole = readStoredChange(command.records->fd(), v->storedAt);
    auto *read = whole ? std::get_if<JournalId3v2>(&*whole) : nullptr;
    if (!read || read->path != v->path || read->identity != v->identity)
        throw IoError(5, "its record in the undo journal cannot be read back");
    return *whole;
}

namespace
{

bool canUndo(const JournalCommand &c)
{
    const JournalPass *last = c.lastPass();
    return !last || !last->undo || !last->complete;
}

bool canRedo(const JournalCommand &c, std::int64_t newestBegin)
{
    const JournalPass *last = c.lastPass();
    if (!last)
        return false;
    if (!last->undo)
        return !last->complete; // a redo cut short
    return last->complete && last->stamp > newestBegin;
}

} // namespace

std::vector<JournalCommand> Journal::undoable()
{
    std::vector<JournalCommand> out;
    for (JournalCommand &c : commands()) {
        if (canUndo(c))
            out.push_back(std::move(c));
    }
    std::reverse(out.begin(), out.end());
    return out;
}

std::vector<JournalCommand> Journal::redoable()
{
    const std::vector<JournalCommand> all = commands();
    std::int64_t newestBegin = 0;
    for (const JournalCommand &c : all)
        newestBegin = std::max(newestBegin, c.stamp);
    std::vector<JournalCommand> out;
    for (const JournalCommand &c : all) {
        if (canRedo(c, newestBegin))
            out.push_back(c);
    }
    std::reverse(out.begin(), out.end());
    return out;
}

std::optional<JournalCommand> Journal::nextUndo()
{
    std::vector<JournalCommand> all = undoable();
    if (all.empty())
        return std::nullopt;
    return load(all.back());
}

std::optional<JournalCommand> Journal::nextRedo()
{
    std::vector<JournalCommand> all = redoable();
    if (all.empty())
        return std::nullopt;
    return load(all.back());
}

bool Journal::runIsAlive(const QByteArray &runId) const
{
    if (runId == m_runId)
        return true;
    return lockedElsewhere(m_folder + '/' + kRunPrefix + runId);
}

bool Journal::isBusy(const JournalCommand &command) const
{
    return lockedElsewhere(changesPath(command.file));
}

std::int64_t Journal::nextStamp()
{
    std::lock_guard lock(m_stampMutex);
    m_lastStamp = std::max<std::int64_t>(m_lastStamp + 1, QDateTime::currentMSecsSinceEpoch());
    return m_lastStamp;
}

std::unique_ptr<PassLog> Journal::startPass(const JournalCommand &command, bool undo)
{
    try {
        // The command's file locked while the pass goes: no other run takes the same command on.
        FileHandle lock(openPrivate(changesPath(command.file), O_RDONLY));
        if (::flock(lock.fd(), LOCK_EX | LOCK_NB) != 0)
            throw IoError(5, "it is being changed by another Trackling window");
        (void)commands(); // the stamps as they are now
        const JournalPass *last = command.lastPass();
        const bool resumed = last && last->undo == undo && !last->complete;
        FileHandle passes(openPrivate(passesPath(command.file), O_RDWR | O_CREAT));
        const std::string data = readWhole(passes.fd());
        std::int64_t end = wholeRecordsEnd(QByteArrayView(data.data(), qsizetype(data.size())));
        if (end == 0) { // new, or nothing whole in it
            if (::ftruncate(passes.fd(), 0) != 0)
                fail();
            writeAll(passes.fd(), kPassesMagic, kMagicSize, 0);
            end = kMagicSize;
        } else if (end < std::int64_t(data.size()) && ::ftruncate(passes.fd(), end) != 0) {
            fail(); // a torn last write is cut off
        }
        if (::lseek(passes.fd(), end, SEEK_SET) < 0)
            fail();
        if (!resumed) {
            const QByteArray begin = passBeginRecord(undo, nextStamp());
            writeAll(passes.fd(), begin.constData(), std::size_t(begin.size()));
        }
        return std::make_unique<PassLog>(std::move(lock), std::move(passes));
    } catch (const IoError &e) {
        throw journalError(m_folder, e);
    }
}

void Journal::markUndone(std::uint64_t command)
{
    for (const JournalCommand &c : commands()) {
        if (c.id == command)
            startPass(c, true)->finish();
    }
}

void Journal::markRedone(std::uint64_t command)
{
    for (const JournalCommand &c : commands()) {
        if (c.id == command)
            startPass(c, false)->finish();
    }
}

void Journal::setAside(const JournalCommand &command)
{
    (void)::rename(changesPath(command.file).constData(),
                   (m_folder + '/' + command.file + kSetAside).constData());
    (void)::unlink(passesPath(command.file).constData());
}

void Journal::dropOldCommands()
{
    lockFile(m_lock.fd(), LOCK_EX);
    std::vector<QByteArray> files;
    for (const QByteArray &name : namesIn(m_folder)) {
        if (name.endsWith(kChanges) || name.endsWith(kSetAside))
            files.push_back(name);
    }
    // Names begin with the stamp the command began with: oldest first.
    std::sort(files.begin(), files.end());
    for (std::size_t i = 0; i + std::size_t(m_keep) < files.size(); ++i) {
        const QByteArray path = m_folder + '/' + files[i];
        if (lockedElsewhere(path))
            continue; // still being made or undone
        const QByteArray stem = files[i].left(files[i].lastIndexOf('.'));
        (void)::unlink(passesPath(stem).constData());
        (void)::unlink(path.constData());
    }
    (void)::flock(m_lock.fd(), LOCK_UN);
}

std::shared_ptr<CommandLog> Journal::startCommand(const QString &name, const QByteArray &folder)
{
    return std::make_shared<CommandLog>(*this, name, folder);
}

std::uint64_t Journal::beginCommand(const QString &name, const QByteArray &folder)
{
    auto log = startCommand(name, folder);
    const std::uint64_t id = log->id();
    m_begun[id] = std::move(log);
    return id;
}

void Journal::record(std::uint64_t command, const std::vector<JournalChange> &changes)
{
    const auto it = m_begun.find(command);
    if (it == m_begun.end())
        return;
    std::vector<std::pair<int, JournalChange>> indexed;
    for (const JournalChange &change : changes)
        indexed.emplace_back(it->second->nextIndex(), change);
    it->second->record(indexed);
    for (const auto &[index, change] : indexed)
        it->second->made(index);
    m_begun.erase(it); // ended: written, unlocked
}

// CommandLog

CommandLog::CommandLog(Journal &journal, const QString &name, const QByteArray &folder)
    : m_journal(journal), m_id(newId()), m_name(name), m_folder(folder),
      m_timeMs(QDateTime::currentMSecsSinceEpoch())
{
}

CommandLog::~CommandLog()
{
    std::lock_guard lock(m_mutex);
    if (!m_file.isOpen())
        return;
    QByteArray end = std::exchange(m_later, {});
    appendMadeRecord(end, m_made, true);
    try {
        writeAll(m_file.fd(), end.constData(), std::size_t(end.size()), m_size);
    } catch (const IoError &) {
        // without it, undo finds out from the files what was made
    }
}

void CommandLog::create(const QByteArray &first)
{
    JournalCommand c;
    c.id = m_id;
    c.name = m_name;
    c.folder = m_folder;
    c.timeMs = m_timeMs;
    c.runId = m_journal.runId();
    (void)m_journal.commands(); // the stamps others made meanwhile
    c.stamp = m_journal.nextStamp();
    const QByteArray file = hex(std::uint64_t(c.stamp)) + '-' + hex(m_id);
    QByteArray data(kCommandMagic, kMagicSize);
    data += beginRecord(c);
    data += first;
    const QByteArray path = m_journal.changesPath(file);
    FileHandle out(openPrivate(path, O_RDWR | O_CREAT | O_EXCL));
    try {
        lockFile(out.fd(), LOCK_EX); // held while the command runs
        writeAll(out.fd(), data.constData(), std::size_t(data.size()), 0);
        if (::fdatasync(out.fd()) != 0)
            fail();
        Folder::open(m_journal.folder()).sync(); // its name on disk too
    } catch (...) {
        (void)::unlink(path.constData());
        throw;
    }
    m_file = std::move(out);
    m_size = data.size();
    m_journal.dropOldCommands();
}

QByteArray CommandLog::madeRecords()
{
    QByteArray out = std::exchange(m_later, {});
    if (!m_made.empty()) {
        appendMadeRecord(out, m_made, false);
        m_made.clear();
    }
    return out;
}

void CommandLog::record(const std::vector<std::pair<int, JournalChange>> &changes)
{
    if (changes.empty())
        return;
    std::lock_guard lock(m_mutex);
    if (!m_problem.isEmpty())
        return;
    QByteArray records = madeRecords();
    qsizetype size = records.size();
    for (const auto &[index, change] : changes)
        size += changeRecordSize(change);
    records.reserve(size + 64);
    for (const auto &[index, change] : changes)
        appendChangeRecord(records, index, change);
    if (!m_file.isOpen()) {
        try {
            create(records);
        } catch (const IoError &e) {
            // At the start: the command runs unrecorded, and says so.
            m_problem = QString::fromStdString(journalError(m_journal.folder(), e).message());
        }
        return;
    }
    try {
        writeAll(m_file.fd(), records.constData(), std::size_t(records.size()), m_size);
        if (::fdatasync(m_file.fd()) != 0)
            fail();
    } catch (const IoError &e) {
        (void)::ftruncate(m_file.fd(), m_size);
        throw journalError(m_journal.folder(), e);
    }
    m_size += records.size();
}

void CommandLog::recordLater(const std::vector<std::pair<int, JournalChange>> &changes)
{
    std::lock_guard lock(m_mutex);
    if (!m_file.isOpen())
        return;
    for (const auto &[index, change] : changes)
        appendChangeRecord(m_later, index, change);
}

void CommandLog::made(int index)
{
    std::lock_guard lock(m_mutex);
    if (m_file.isOpen())
        m_made.push_back(index);
}

int CommandLog::nextIndex()
{
    std::lock_guard lock(m_mutex);
    return m_nextIndex++;
}

QString CommandLog::problem() const
{
    std::lock_guard lock(m_mutex);
    return m_problem;
}

bool CommandLog::recording() const
{
    std::lock_guard lock(m_mutex);
    return m_problem.isEmpty();
}

// PassLog

PassLog::PassLog(FileHandle lock, FileHandle passes)
    : m_lock(std::move(lock)), m_passes(std::move(passes))
{
}

PassLog::~PassLog() = default;

void PassLog::touch(int index, const FileIdentity &newFile)
{
    const QByteArray record = touchRecord(index, newFile);
    writeAll(m_passes.fd(), record.constData(), std::size_t(record.size()));
}

void PassLog::finish()
{
    const QByteArray record = passEndRecord();
    writeAll(m_passes.fd(), record.constData(), std::size_t(record.size()));
    if (::fdatasync(m_passes.fd()) != 0)
        fail();
}
