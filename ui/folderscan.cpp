#include "folderscan.h"

#include "filenames.h"

#include <QFile>
#include <QRegularExpression>
#include <algorithm>
#include <cstring>
#include <dirent.h>
#include <future>
#include <sys/stat.h>

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

// Letter case disregarded. Plain ASCII is compared on the bytes; from the first byte outside
// ASCII on, the rest of both names is decoded and compared by Qt's case folding.
int compareIgnoringCase(std::string_view a, std::string_view b)
{
    const std::size_t n = std::min(a.size(), b.size());
    for (std::size_t i = 0; i < n; ++i) {
        const auto ca = static_cast<unsigned char>(a[i]);
        const auto cb = static_cast<unsigned char>(b[i]);
        if (ca >= 128 || cb >= 128) {
            const QString ra =
                decodeFileName(QByteArrayView(a.data() + i, qsizetype(a.size() - i)));
            const QString rb =
                decodeFileName(QByteArrayView(b.data() + i, qsizetype(b.size() - i)));
            return ra.compare(rb, Qt::CaseInsensitive);
        }
        const char fa = foldAscii(ca);
        const char fb = foldAscii(cb);
        if (fa != fb)
            return fa < fb ? -1 : 1;
    }
    return a.size() == b.size() ? 0 : (a.size() < b.size() ? -1 : 1);
}

bool isAscii(std::string_view s)
{
    std::size_t i = 0;
    for (; i + 8 <= s.size(); i += 8) {
        std::uint64_t word;
        std::memcpy(&word, s.data() + i, 8);
        if (word & 0x8080808080808080u)
            return false;
    }
    for (; i < s.size(); ++i) {
        if (static_cast<unsigned char>(s[i]) >= 128)
            return false;
    }
    return true;
}

// The order of names that differ in letter case only: by their characters, as QString orders
// them.
bool lessExactly(std::string_view a, std::string_view b)
{
    if (isAscii(a) && isAscii(b))
        return a < b;
    return decodeFileName(QByteArrayView(a.data(), qsizetype(a.size()))) <
           decodeFileName(QByteArrayView(b.data(), qsizetype(b.size())));
}

} // namespace

EncodedNames::EncodedNames(const QStringList &names)
{
    m_names.reserve(std::size_t(names.size()));
    for (const QString &name : names) {
        const QByteArray encoded = encodeFileName(name);
        append(encoded.constData(), std::size_t(encoded.size()));
    }
}

QString EncodedNames::at(int i) const
{
    const Name &name = m_names[std::size_t(i)];
    return decodeFileName(QByteArrayView(m_bytes.data() + name.start, qsizetype(name.length)));
}

QStringList EncodedNames::toStringList() const
{
    QStringList list;
    list.reserve(size());
    for (int i = 0; i < size(); ++i)
        list.append(at(i));
    return list;
}

void EncodedNames::append(const char *encoded, std::size_t length)
{
    m_names.push_back({std::uint32_t(m_bytes.size()), std::uint32_t(length)});
    m_bytes.append(encoded, length);
}

void EncodedNames::sort()
{
    // Each name gets a key of its first eight bytes with letters folded to lower case. Two names
    // in plain ASCII (the usual case) whose keys differ are in the keys' order; all others are
    // compared in full.
    struct Key {
        std::uint64_t prefix;
        std::uint32_t index;
        bool ascii;
    };
    std::vector<Key> keys(m_names.size());
    for (std::size_t i = 0; i < m_names.size(); ++i) {
        const std::string_view name = view(m_names[i]);
        std::uint64_t prefix = 0;
        for (std::size_t k = 0; k < 8; ++k) {
            const auto c = k < name.size() ? static_cast<unsigned char>(name[k]) : 0;
            prefix = prefix << 8 | static_cast<unsigned char>(foldAscii(c));
        }
        keys[i] = {prefix, std::uint32_t(i), isAscii(name)};
    }
    std::sort(keys.begin(), keys.end(), [this](const Key &x, const Key &y) {
        if (x.ascii && y.ascii && x.prefix != y.prefix)
            return x.prefix < y.prefix;
        const std::string_view a = view(m_names[x.index]);
        const std::string_view b = view(m_names[y.index]);
        const int c = compareIgnoringCase(a, b);
        return c != 0 ? c < 0 : lessExactly(a, b);
    });
    std::vector<Name> sorted;
    sorted.reserve(m_names.size());
    for (const Key &key : keys)
        sorted.push_back(m_names[key.index]);
    m_names.swap(sorted);
}

FolderScan scanFolder(const QString &directory, const QString &mask)
{
    FolderScan scan;
    EncodedNames folders;
    DIR *dir = ::opendir(encodeFileName(directory).constData());
    if (!dir)
        return scan;
    const MaskMatcher matcher(mask);
    const int fd = ::dirfd(dir);
    while (const dirent *entry = ::readdir(dir)) {
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
            folders.append(name, length);
        else if (type == DT_REG && matcher.matches(name, length))
            scan.files.append(name, length);
    }
    ::closedir(dir);
    folders.sort();
    scan.folders = folders.toStringList();
    scan.files.sort();
    return scan;
}

namespace
{

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
    if (ahead.scan.valid())
        ahead.scan.get();
    ahead.directory = directory;
    ahead.mask = mask;
    ahead.scan = std::async(std::launch::async, scanFolder, directory, mask);
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
