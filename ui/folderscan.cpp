#include "folderscan.h"

#include "filenames.h"

#include <QFile>
#include <QRegularExpression>
#include <cerrno>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <future>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace
{

char foldAscii(unsigned char c)
{
    return char(c >= 'A' && c <= 'Z' ? c + 32 : c);
}

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

} // namespace

namespace
{

// The folder read as scanFolder reads it; its files may then still need merging by mergeLater.
FolderScan scanFolder(const QString &directory, const QString &mask,
                      std::function<void()> *mergeLater)
{
    FolderScan scan;
    EncodedNamesSorter folders;
    EncodedNamesSorter files;
    const int fd =
        ::open(encodeFileName(directory).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return scan;
    const MaskMatcher matcher(mask);
    // The entries come in large batches straight from the system: a folder of 100,000 files
    // takes a few dozen calls.
    std::vector<char> batch(256 * 1024);
    for (;;) {
        const ssize_t n = ::getdents64(fd, batch.data(), batch.size());
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break; // the end, or what could be read
        for (ssize_t at = 0; at < n;) {
            const auto *entry = reinterpret_cast<const dirent64 *>(batch.data() + at);
            at += entry->d_reclen;
            const char *name = entry->d_name;
            if (name[0] == '.') // hidden, and "." and ".."
                continue;
            unsigned char type = entry->d_type;
            if (type == DT_LNK || type == DT_UNKNOWN) {
                struct stat st;
                if (::fstatat(fd, name, &st, 0) != 0)
                    continue; // a broken link
                type = S_ISREG(st.st_mode) ? DT_REG : S_ISDIR(st.st_mode) ? DT_DIR : DT_UNKNOWN;
            }
            const std::size_t length = std::strlen(name);
            if (type == DT_DIR)
                folders.add(name, length);
            else if (type == DT_REG && matcher.matches(name, length))
                files.add(name, length);
        }
    }
    ::close(fd);
    scan.folders = folders.take().toStringList();
    scan.files = files.take(mergeLater);
    return scan;
}

} // namespace

FolderScan scanFolder(const QString &directory, const QString &mask)
{
    return scanFolder(directory, mask, nullptr);
}

namespace
{

struct FolderAhead {
    QString directory;
    QString mask;
    std::future<FolderScan> scan;
    std::thread reading; // hands the scan over, then may go on merging its files

    ~FolderAhead() { finish(); }
    void finish()
    {
        if (scan.valid())
            scan.get();
        if (reading.joinable())
            reading.join();
    }
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
    ahead.finish();
    ahead.directory = directory;
    ahead.mask = mask;
    // The files are handed over as soon as they are read and sorted in runs; this thread then
    // merges the runs, while the window takes the first names.
    std::promise<FolderScan> promise;
    ahead.scan = promise.get_future();
    ahead.reading = std::thread([promise = std::move(promise), directory, mask]() mutable {
        std::function<void()> merge;
        promise.set_value(scanFolder(directory, mask, &merge));
        if (merge)
            merge();
    });
}

FolderScan readFolder(const QString &directory, const QString &mask)
{
    FolderAhead &ahead = folderAhead();
    if (ahead.scan.valid()) {
        FolderScan scan = ahead.scan.get();
        if (ahead.directory == directory && ahead.mask == mask)
            return scan;
    }
    return scanFolder(directory, mask);
}
