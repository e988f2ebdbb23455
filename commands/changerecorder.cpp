#include "changerecorder.h"

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
    if (m_ahead.remove(keyOf(change), change) > 0)
        return;
    m_journal.record(m_command, {change});
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
