#include "changerecorder.h"

#include "filelist.h"
#include "filenames.h"

#include <QFile>
#include <cerrno>
#include <fcntl.h>
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
    : m_journal(journal), m_command(journal.beginCommand(command, folder))
{
}

void ChangeRecorder::recordAhead(const std::vector<JournalChange> &changes)
{
    m_journal.record(m_command, changes);
    for (const JournalChange &change : changes)
        m_ahead.insert(keyOf(change), change);
}

void ChangeRecorder::beforeChange(const JournalChange &change)
{
    const QByteArray key = keyOf(change);
    if (m_ahead.remove(key, change) > 0)
        return;
    if (!m_ahead.contains(key) && m_planned < m_names.size()) {
        // Not foreseen yet: foresee the next block, which should hold this file.
        const qsizetype to = std::min(m_names.size(), m_planned + qsizetype(nextBlockSize()));
        std::vector<JournalChange> block;
        for (; m_planned < to; ++m_planned)
            if (auto planned = m_plan(m_names[m_planned]))
                block.push_back(std::move(*planned));
        if (!block.empty())
            recordAhead(block);
        if (m_ahead.remove(key, change) > 0)
            return;
    }
    m_ahead.remove(key); // foreseen otherwise (a question changed it): recorded as it is
    m_journal.record(m_command, {change});
}

void ChangeRecorder::planAhead(const QStringList &names, Plan plan)
{
    m_names = names;
    m_planned = 0;
    m_plan = std::move(plan);
}

QStringList selectedNamesIfRecording(const FileList &list)
{
    QStringList names;
    if (!currentRecorder())
        return names;
    const std::vector<bool> selected = list.selectedRows();
    for (int row = 0; row < list.count() && row < int(selected.size()); ++row)
        if (selected[std::size_t(row)])
            names << list.itemText(row);
    return names;
}

QByteArray journalPath(const QString &name)
{
    const QByteArray path = encodeFileName(name);
    if (path.startsWith('/'))
        return path;
    const QByteArray folder = encodeFileName(currentFolder());
    return folder.endsWith('/') ? folder + path : folder + '/' + path;
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
