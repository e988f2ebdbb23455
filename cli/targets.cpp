#include "targets.h"

#include "filenames.h"
#include "folder.h"
#include "folderscan.h"

#include <cerrno>
#include <cstdlib>
#include <deque>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

namespace
{

[[noreturn]] void fail(const QByteArray &path, int err)
{
    throw PathError{path, IoError::fromErrno(err)};
}

} // namespace

QByteArray realFolderPath(const QByteArray &path)
{
    char *real = ::realpath(path.constData(), nullptr);
    if (!real)
        fail(path, errno);
    QByteArray result(real);
    std::free(real);
    return result;
}

namespace
{

// How a folder operand is shown before its files' names: as written, with one "/" after it.
QByteArray shownFolder(const QByteArray &operand)
{
    if (operand == "." || operand == "./")
        return {};
    return operand.endsWith('/') ? operand : operand + '/';
}

class Collector
{
public:
    explicit Collector(bool recursive) : m_recursive(recursive) {}

    void operand(const QByteArray &path)
    {
        struct stat st;
        if (path.isEmpty())
            fail(path, ENOENT);
        if (::stat(path.constData(), &st) != 0)
            fail(path, errno);
        if (S_ISDIR(st.st_mode)) {
            folder(path, realFolderPath(path), shownFolder(path));
        } else if (S_ISREG(st.st_mode)) {
            const QByteArray folderPart = folderPartOf(path);
            const QByteArray shown = path.contains('/')
                                         ? folderPart.endsWith('/') ? folderPart : folderPart + '/'
                                         : QByteArray();
            FileGroup &group = groupFor(realFolderPath(folderPart), shown);
            add(group, namePartOf(path));
        } else {
            fail(path, EACCES); // a FIFO, a socket, a device: never opened
        }
    }

    std::vector<FileGroup> take()
    {
        return std::vector<FileGroup>(std::make_move_iterator(m_groups.begin()),
                                      std::make_move_iterator(m_groups.end()));
    }

private:
    void folder(const QByteArray &operand, const QByteArray &real, const QByteArray &shown)
    {
        struct stat st;
        if (::stat(real.constData(), &st) != 0)
            fail(operand, errno);
        if (!m_seenFolders.insert({st.st_dev, st.st_ino}).second)
            return; // reached again through a link
        FolderScan scan;
        try {
            scan = scanFolder(decodeFileName(real), QStringLiteral("*.mp3"));
        } catch (const IoError &e) {
            throw PathError{operand, e};
        }
        FileGroup &group = groupFor(real, shown);
        if (group.names.isEmpty() && !m_mixed.count(&group)) {
            group.names = std::move(scan.files);
        } else {
            EncodedNames::Reader reader(scan.files);
            while (reader.next())
                add(group, QByteArray::fromStdString(reader.name()));
        }
        if (!m_recursive)
            return;
        for (const QString &sub : scan.folders) {
            const QByteArray name = encodeFileName(sub);
            const QByteArray path = real == "/" ? "/" + name : real + '/' + name;
            folder(shown + name, realFolderPath(path), shown + name + '/');
        }
    }

    FileGroup &groupFor(const QByteArray &real, const QByteArray &shown)
    {
        const auto it = m_index.find(real);
        if (it != m_index.end())
            return m_groups[it->second];
        m_index.emplace(real, m_groups.size());
        m_groups.push_back(FileGroup{real, shown, {}});
        return m_groups.back();
    }

    // Adds a name to a group unless it holds it already.
    void add(FileGroup &group, const QByteArray &name)
    {
        std::set<std::string> &seen = m_mixed[&group];
        if (seen.empty()) {
            EncodedNames::Reader reader(group.names);
            while (reader.next())
                seen.insert(reader.name());
        }
        if (seen.insert(name.toStdString()).second)
            group.names.append(name.constData(), std::size_t(name.size()));
    }

    bool m_recursive;
    std::deque<FileGroup> m_groups; // stays where it is as groups are added
    std::map<QByteArray, std::size_t> m_index;
    std::map<const FileGroup *, std::set<std::string>> m_mixed; // names of groups added to
    std::set<std::pair<dev_t, ino_t>> m_seenFolders;
};

} // namespace

std::vector<FileGroup> collectTargets(const std::vector<QByteArray> &operands, bool recursive)
{
    Collector collector(recursive);
    for (const QByteArray &operand : operands)
        collector.operand(operand);
    return collector.take();
}

long long fileCount(const std::vector<FileGroup> &groups)
{
    long long n = 0;
    for (const FileGroup &group : groups)
        n += group.names.size();
    return n;
}
