#include "folderscan.h"

#include "filenames.h"

#include <QFile>
#include <QRegularExpression>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <dirent.h>
#include <fcntl.h>
#include <functional>
#include <future>
#include <memory>
#include <mutex>
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

// The entries of a folder as one thread takes them in, batch by batch as the system hands them
// over: its folders, and its files that match the mask, each sorted as they come.
class EntrySorter
{
public:
    EntrySorter(int fd, const QString &mask) : m_fd(fd), m_matcher(mask) {}

    // Reads batches of entries from fd and takes them in until the folder has been read (or no
    // more can be read). Several threads may read one folder so at once: the system hands each
    // entry to one of them.
    void readAll()
    {
        std::vector<char> batch(256 * 1024); // a folder of 100,000 files in a few dozen calls
        for (;;) {
            const ssize_t n = ::getdents64(m_fd, batch.data(), batch.size());
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0)
                return;
            add(batch.data(), std::size_t(n));
        }
    }
    // Takes in what another thread took in of the same folder.
    void absorb(EntrySorter &other)
    {
        m_folders.absorb(other.m_folders);
        m_files.absorb(other.m_files);
    }
    FolderScan take(std::function<void()> *mergeLater)
    {
        FolderScan scan;
        scan.folders = m_folders.take().toStringList();
        scan.files = m_files.take(mergeLater);
        return scan;
    }

private:
    void add(const char *batch, std::size_t size)
    {
        for (std::size_t at = 0; at < size;) {
            const auto *entry = reinterpret_cast<const dirent64 *>(batch + at);
            at += entry->d_reclen;
            const char *name = entry->d_name;
            if (name[0] == '.') // hidden, and "." and ".."
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

int openFolder(const QString &directory)
{
    return ::open(encodeFileName(directory).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
}

// A folder being read ahead on a thread of its own, which a thread that wants the result may join
// instead of waiting: while one thread waits for the system's next batch, the other sorts its own.
class SharedScan
{
public:
    SharedScan(QString directory, QString mask)
        : m_directory(std::move(directory)), m_mask(std::move(mask))
    {
    }

    // The reading thread: reads the folder, with whoever joins, and hands the result over to
    // the promise before it merges the files' runs. What fails before the hand-over is handed
    // over instead.
    void read(std::promise<FolderScan> &promise)
    {
        std::function<void()> merge;
        try {
            promise.set_value(readWithHelpers(merge));
        } catch (...) {
            promise.set_exception(std::current_exception());
            return;
        }
        if (merge)
            merge();
    }
    // Another thread reads along until the folder has been read; nothing when the reading has
    // ended already (or the folder cannot be opened).
    void join()
    {
        std::unique_lock lock(m_mutex);
        m_changed.wait(lock, [this] { return m_closed || m_fd >= 0; });
        if (m_closed)
            return;
        ++m_helpers;
        const int fd = m_fd;
        lock.unlock();
        bool whole = false;
        EntrySorter part(fd, m_mask);
        try {
            part.readAll();
            whole = true;
        } catch (...) { // the entries it took are lost: the folder is read again
        }
        lock.lock();
        if (whole)
            m_parts.push_back(std::move(part));
        else
            m_partLost = true;
        --m_helpers;
        m_changed.notify_all();
    }

private:
    FolderScan readWithHelpers(std::function<void()> &merge)
    {
        const int fd = openFolder(m_directory);
        std::unique_lock lock(m_mutex);
        m_fd = fd;
        m_closed = fd < 0;
        m_changed.notify_all();
        lock.unlock();
        if (fd < 0)
            return {};
        EntrySorter mine(fd, m_mask);
        bool whole = false;
        try {
            mine.readAll();
            whole = true;
        } catch (...) {
        }
        lock.lock();
        m_closed = true; // nobody joins any more
        m_changed.wait(lock, [this] { return m_helpers == 0; });
        for (EntrySorter &part : m_parts)
            mine.absorb(part);
        m_parts.clear();
        whole = whole && !m_partLost;
        lock.unlock();
        ::close(fd);
        return whole ? mine.take(&merge) : scanFolder(m_directory, m_mask);
    }

private:
    const QString m_directory;
    const QString m_mask;
    std::mutex m_mutex;
    std::condition_variable m_changed;
    int m_fd = -1;
    int m_helpers = 0;
    bool m_closed = false;
    bool m_partLost = false; // a helper failed with entries in hand
    std::deque<EntrySorter> m_parts;
};

} // namespace

FolderScan scanFolder(const QString &directory, const QString &mask)
{
    const int fd = openFolder(directory);
    if (fd < 0)
        return {};
    EntrySorter sorter(fd, mask);
    sorter.readAll();
    ::close(fd);
    return sorter.take(nullptr);
}

namespace
{

struct FolderAhead {
    QString directory;
    QString mask;
    std::shared_ptr<SharedScan> shared;
    std::future<FolderScan> scan;
    std::thread reading; // hands the scan over, then may go on merging its files

    ~FolderAhead() { finish(); }
    void finish()
    {
        if (scan.valid())
            scan.get();
        if (reading.joinable())
            reading.join();
        shared.reset();
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
    ahead.shared = std::make_shared<SharedScan>(directory, mask);
    std::promise<FolderScan> promise;
    ahead.scan = promise.get_future();
    ahead.reading = std::thread(
        [shared = ahead.shared, promise = std::move(promise)]() mutable { shared->read(promise); });
}

FolderScan readFolder(const QString &directory, const QString &mask)
{
    FolderAhead &ahead = folderAhead();
    if (ahead.scan.valid()) {
        const bool same = ahead.directory == directory && ahead.mask == mask;
        if (same && ahead.scan.wait_for(std::chrono::seconds(0)) != std::future_status::ready)
            ahead.shared->join(); // reads along rather than waits
        FolderScan scan = ahead.scan.get();
        if (same)
            return scan;
    }
    return scanFolder(directory, mask);
}
