#include "changerecorder.h"

#include "filelist.h"
#include "filenames.h"

#include <QFile>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

namespace
{

thread_local ChangeRecorder *t_current = nullptr;

// The file a change is about.
QByteArray keyOf(const JournalChange &change)
{
    if (const auto *r = std::get_if<JournalRename>(&change))
        return r->folder + '/' + r->oldName;
    if (const auto *t = std::get_if<JournalTag>(&change))
        return t->path;
    return std::get<JournalPlaylist>(change).path;
}

} // namespace

ChangeRecorder::ChangeRecorder(Journal &journal, const QString &command, const QByteArray &folder)
    : m_journal(journal), m_command(journal.beginCommand(command, folder)),
      m_workingFolder(encodeFileName(currentFolder()))
{
}

ChangeRecorder::~ChangeRecorder()
{
    if (m_flush.valid()) {
        try {
            m_flush.get();
        } catch (...) {
            // nothing of that block was changed
        }
    }
    m_journal.compactLater(); // not at the next command's first change
}

void ChangeRecorder::recordAhead(const std::vector<JournalChange> &changes)
{
    finishFlush();
    m_journal.record(m_command, changes);
    for (const JournalChange &change : changes)
        m_ahead.insert(keyOf(change), change);
}

std::size_t ChangeRecorder::maxOpenFiles()
{
    struct rlimit limit;
    if (::getrlimit(RLIMIT_NOFILE, &limit) != 0 || limit.rlim_cur == RLIM_INFINITY)
        return 4096;
    return std::size_t(std::min<rlim_t>(1024, limit.rlim_cur / 4));
}

ChangeRecorder::Block ChangeRecorder::foresee(qsizetype from, qsizetype to)
{
    Block block;
    std::vector<JournalChange> changes;
    for (qsizetype i = from; i < to; ++i) {
        auto planned = m_plan(std::as_const(m_names).at(i));
        if (!planned)
            continue;
        if (planned->file)
            block.held.emplace_back(
                i, HeldTagWrite(std::move(*planned->file), std::get<JournalTag>(planned->change)));
        else
            block.notHeld.push_back(planned->change);
        changes.push_back(std::move(planned->change));
    }
    block.end = to;
    if (!changes.empty())
        m_journal.record(m_command, changes); // on failure the block's files are closed
    return block;
}

void ChangeRecorder::takeIn(Block &&block)
{
    for (auto &held : block.held)
        m_held.push_back(std::move(held));
    for (const JournalChange &change : block.notHeld)
        m_ahead.insert(keyOf(change), change);
    m_planned = block.end;
}

void ChangeRecorder::finishFlush()
{
    if (!m_flush.valid())
        return;
    if (m_waiting) {
        m_waiting([this] {
            return m_flush.wait_for(std::chrono::milliseconds(20)) == std::future_status::ready;
        });
    }
    takeIn(m_flush.get()); // throws the block's failure: none of its files is changed
}

void ChangeRecorder::foreseeBlock(bool inBackground)
{
    finishFlush(); // one block at a time, in order
    // A block holds at most half the files that may be open: the next block is foreseen while
    // this one is written.
    const std::size_t room = m_maxOpen > m_held.size() ? m_maxOpen - m_held.size() : 1;
    const std::size_t size =
        std::min({nextBlockSize(), std::max<std::size_t>(1, m_maxOpen / 2), room});
    const qsizetype from = m_planned;
    const qsizetype to = std::min(m_names.size(), m_planned + qsizetype(size));
    if (!inBackground && !m_waiting) {
        takeIn(foresee(from, to));
        return;
    }
    // The plan runs on the other thread with the working folder of this recorder and a tag
    // workspace of its own; nothing else of the recorder is touched until finishFlush().
    m_flushFrom = from;
    m_flush = std::async(std::launch::async, [this, from, to] {
        RecorderScope scope(this);
        return foresee(from, to);
    });
    if (!inBackground)
        finishFlush(); // needed now: waited for while the window answers
}

void ChangeRecorder::foresee(const QByteArray &key)
{
    // Not foreseen yet: foresee the next block, which should hold this file.
    if (!m_ahead.contains(key) && m_planned < m_names.size())
        foreseeBlock();
}

std::optional<HeldTagWrite> ChangeRecorder::takeHeldTagWrite(const QString &name)
{
    // The door's file is the next of the names, or close after it when some were passed over.
    constexpr qsizetype kLookAhead = 8;
    qsizetype at = m_doorAt;
    const qsizetype end = std::min(m_names.size(), m_doorAt + kLookAhead);
    while (at < end && std::as_const(m_names)[at] != name)
        ++at;
    if (at == end)
        return std::nullopt;
    m_doorAt = at + 1;
    if (m_flush.valid() && at >= m_flushFrom)
        finishFlush(); // its block must be on disk first
    while (m_planned <= at && m_planned < m_names.size())
        foreseeBlock();
    while (!m_held.empty() && m_held.front().first < at)
        m_held.pop_front(); // passed over: closed; what was recorded for it is harmless
    if (m_held.empty() || m_held.front().first != at)
        return std::nullopt;
    std::optional<HeldTagWrite> held(std::move(m_held.front().second));
    m_held.pop_front();
    if (!m_flush.valid() && m_planned < m_names.size())
        foreseeBlock(true); // recorded while this block is written
    return held;
}

void ChangeRecorder::recordNow(const JournalChange &change)
{
    finishFlush();
    m_journal.record(m_command, {change});
}

void ChangeRecorder::beforeChange(const JournalChange &change)
{
    finishFlush();
    const QByteArray key = keyOf(change);
    if (m_ahead.remove(key, change) > 0)
        return;
    foresee(key);
    if (m_ahead.remove(key, change) > 0)
        return;
    m_ahead.remove(key); // foreseen otherwise (a question changed it): recorded as it is
    m_journal.record(m_command, {change});
}

HeldTagWrite::HeldTagWrite(OpenedTagFile &&file, const JournalTag &planned)
    : file(std::move(file)), oldSize(planned.oldSize), appended(planned.appended)
{
    std::memcpy(oldLast.data(), planned.oldLast.constData(),
                std::min<std::size_t>(128, std::size_t(planned.oldLast.size())));
    std::memcpy(newTag.data(), planned.newTag.constData(),
                std::min<std::size_t>(128, std::size_t(planned.newTag.size())));
}

bool HeldTagWrite::isPlanned(const TagWriteOutcome &write) const
{
    return write.oldSize == oldSize && write.appended == appended && write.oldBytes == oldLast &&
           write.newBytes == newTag;
}

void ChangeRecorder::planAhead(const QStringList &names, Plan plan)
{
    m_names = names;
    m_planned = 0;
    m_doorAt = 0;
    m_plan = std::move(plan);
}

WalkControl ChangeRecorder::planningWalk(const WalkControl &control, Plan plan)
{
    WalkControl planning = control;
    planning.snapshot = [this, plan = std::move(plan)](const QStringList &names) {
        planAhead(names, plan);
    };
    return planning;
}

QByteArray journalPath(const QString &name)
{
    return journalPathOfEncoded(encodeFileName(name));
}

QByteArray journalPathOfEncoded(const QByteArray &path)
{
    if (path.startsWith('/'))
        return path;
    const QByteArray folder =
        t_current ? t_current->workingFolder() : encodeFileName(currentFolder());
    const qsizetype slash = folder.endsWith('/') ? 0 : 1;
    QByteArray out(folder.size() + slash + path.size(), Qt::Uninitialized);
    std::memcpy(out.data(), folder.constData(), std::size_t(folder.size()));
    if (slash)
        out[folder.size()] = '/';
    std::memcpy(out.data() + folder.size() + slash, path.constData(), std::size_t(path.size()));
    return out;
}

ChangeRecorder *currentRecorder()
{
    return t_current;
}

RecorderScope::RecorderScope(ChangeRecorder *recorder) : m_previous(t_current)
{
    t_current = recorder;
}

RecorderScope::~RecorderScope()
{
    t_current = m_previous;
}

std::optional<JournalTag> plannedTagWrite(const QByteArray &path, const QByteArray &newTag)
{
    struct stat st;
    if (::stat(path.constData(), &st) != 0 || !S_ISREG(st.st_mode))
        return std::nullopt;
    const int fd = ::open(path.constData(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
    if (fd < 0)
        return std::nullopt;
    JournalTag tag;
    tag.path = path;
    tag.newTag = newTag;
    tag.oldLast.resize(128);
    ssize_t n = -1;
    if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && st.st_size >= 128) {
        tag.oldSize = st.st_size;
        do
            n = ::pread(fd, tag.oldLast.data(), 128, st.st_size - 128);
        while (n < 0 && errno == EINTR);
    }
    ::close(fd);
    if (n != 128)
        return std::nullopt;
    tag.appended = !tag.oldLast.startsWith("TAG");
    return tag;
}

std::optional<PlannedChange> plannedTagWriteHeld(const QString &name, const QByteArray &newTag)
{
    // Opened by the name as given: a name in the working folder is found in one step.
    const QByteArray given = encodeFileName(name);
    auto file = openForTagWrite(std::string(given.constData(), std::size_t(given.size())));
    const QByteArray path = journalPathOfEncoded(given);
    if (!file) {
        // A read-only file, say: foreseen by reading, and the tag door opens it itself.
        if (auto tag = plannedTagWrite(path, newTag))
            return PlannedChange(std::move(*tag));
        return std::nullopt;
    }
    JournalTag tag;
    tag.path = path;
    tag.newTag = newTag;
    tag.oldSize = file->size;
    tag.oldLast = QByteArray(reinterpret_cast<const char *>(file->last.data()), 128);
    tag.appended = !tag.oldLast.startsWith("TAG");
    return PlannedChange(std::move(tag), std::move(*file));
}

std::optional<JournalRename> plannedRename(const QByteArray &folder, const QByteArray &from,
                                           const QByteArray &to)
{
    struct stat st;
    if (::lstat((folder + '/' + from).constData(), &st) != 0)
        return std::nullopt;
    return JournalRename{folder, from, to, std::uint64_t(st.st_ino)};
}

std::optional<JournalPlaylist> plannedPlaylistWrite(const QByteArray &path,
                                                    const QByteArray &content)
{
    JournalPlaylist change{path, std::nullopt, content};
    struct stat st;
    if (::stat(path.constData(), &st) != 0)
        return errno == ENOENT ? std::optional(change) : std::nullopt;
    if (!S_ISREG(st.st_mode))
        return std::nullopt;
    QFile file(QFile::decodeName(path));
    const int fd = ::open(path.constData(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
    if (fd < 0 || !file.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
        if (fd >= 0)
            ::close(fd);
        return std::nullopt;
    }
    change.oldContent = file.readAll();
    if (file.error() != QFileDevice::NoError)
        return std::nullopt;
    return change;
}
