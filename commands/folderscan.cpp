#include "folderscan.h"

#include "filenames.h"
#include "ioerror.h"
#include "regularfile.h"

#include <QFile>
#include <QRegularExpression>
#include <atomic>
#include <cerrno>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <future>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace
{

std::atomic<int> g_readFault{0};

// Whether a name matches the mask, letter case disregarded. A mask "*.ext" is compared on the
// encoded name's bytes, which needs no decoding of the names that do not match.
class MaskMatcher
{
public:
    explicit MaskMatcher(const QString &mask)
    {
        const QString suffix = mask.mid(1);
        if (mask.startsWith(u'*') && !suffix.contains(u'*') && !suffix.contains(u'?') &&
            !suffix.contains(u'['))
            m_suffix = encodeFileName(suffix).toLower();
        else
            m_pattern = QRegularExpression(QRegularExpression::wildcardToRegularExpression(mask),
                                           QRegularExpression::CaseInsensitiveOption);
    }
    bool matches(const char *encoded, std::size_t length) const
    {
        if (!m_suffix.isNull()) {
            const std::size_t n = std::size_t(m_suffix.size());
            if (length < n)
                return false;
            const char *tail = encoded + length - n;
            for (std::size_t i = 0; i < n; ++i) {
                if (foldAscii(static_cast<unsigned char>(tail[i])) != m_suffix[qsizetype(i)])
                    return false;
            }
            return true;
        }
        return m_pattern.match(decodeFileName(QByteArray(encoded, qsizetype(length)))).hasMatch();
    }

private:
    QByteArray m_suffix;
    QRegularExpression m_pattern;
};

// The entries of a folder as they are read, batch by batch as the system hands them over: its
// folders, and its files that match the mask, each sorted as they come.
class EntrySorter
{
public:
    EntrySorter(int fd, const QString &mask) : m_fd(fd), m_matcher(mask) {}

    // Reads batches of entries from fd until the folder has been read. Throws IoError when the
    // system cannot read on (an I/O error, a network share gone stale): never a part of a
    // folder taken for all of it.
    void readAll()
    {
        std::vector<char> batch(256 * 1024); // a folder of 100,000 files in a few dozen calls
        for (;;) {
            const ssize_t n =
                retryOnInterrupt([&] { return ::getdents64(m_fd, batch.data(), batch.size()); });
            if (n < 0)
                throw IoError::fromErrno(errno);
            if (n == 0)
                return;
            add(batch.data(), std::size_t(n));
            if (const int fault = g_readFault.load())
                throw IoError::fromErrno(fault);
        }
    }
    FolderScan take()
    {
        FolderScan scan;
        scan.folders = m_folders.take().toStringList();
        scan.files = m_files.take();
        return scan;
    }

private:
    void add(const char *batch, std::size_t size)
    {
        for (std::size_t at = 0; at < size;) {
            const auto *entry = reinterpret_cast<const dirent64 *>(batch + at);
            at += entry->d_reclen;
            const char *name = entry->d_name;
            if (name[0] == '.') // hidden, and "." and "..", and the program's temporary files
                continue;
            unsigned char type = entry->d_type;
            if (type == DT_LNK || type == DT_UNKNOWN) {
                struct stat st;
                if (::fstatat(m_fd, name, &st, 0) != 0)
                    continue; // a broken link
                type = S_ISREG(st.st_mode) ? DT_REG : S_ISDIR(st.st_mode) ? DT_DIR : DT_UNKNOWN;
            }
            const std::size_t length = std::strlen(name);
            if (type == DT_DIR)
                m_folders.add(name, length);
            else if (type == DT_REG && m_matcher.matches(name, length))
                m_files.add(name, length);
        }
    }

    int m_fd;
    const MaskMatcher m_matcher;
    EncodedNamesSorter m_folders;
    EncodedNamesSorter m_files;
};

} // namespace

void setFolderReadFault(int err)
{
    g_readFault = err;
}

FolderScan scanFolder(const QString &directory, const QString &mask)
{
    const int fd =
        ::open(encodeFileName(directory).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return {};
    FileHandle folder(fd);
    EntrySorter sorter(fd, mask);
    sorter.readAll();
    return sorter.take();
}

namespace
{

// The one folder read ahead: its thread is joined when the next folder is read ahead, when its
// result is taken, and at the program's end (a std::async future waits when it goes).
struct FolderAhead {
    QString directory;
    QString mask;
    std::future<FolderScan> scan;
};

FolderAhead &folderAhead()
{
    static FolderAhead ahead;
    return ahead;
}

} // namespace

void readFolderAhead(const QString &directory, const QString &mask)
{
    FolderAhead &ahead = folderAhead();
    if (ahead.scan.valid() && ahead.directory == directory && ahead.mask == mask)
        return; // already being read
    if (ahead.scan.valid())
        ahead.scan.wait();
    ahead.directory = directory;
    ahead.mask = mask;
    ahead.scan = std::async(std::launch::async, scanFolder, directory, mask);
}

FolderScan readFolder(const QString &directory, const QString &mask)
{
    FolderAhead &ahead = folderAhead();
    if (ahead.scan.valid()) {
        const bool same = ahead.directory == directory && ahead.mask == mask;
        FolderScan scan = ahead.scan.get(); // a failure while reading ahead comes out here
        if (same)
            return scan;
    }
    return scanFolder(directory, mask);
}
