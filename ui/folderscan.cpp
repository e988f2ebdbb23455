#include "folderscan.h"

#include "filenames.h"

#include <QFile>
#include <QRegularExpression>
#include <algorithm>
#include <cctype>
#include <cstring>
#include <dirent.h>
#include <sys/stat.h>

namespace
{

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
                if (std::tolower(static_cast<unsigned char>(tail[i])) != m_suffix[qsizetype(i)])
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

// Letter case disregarded; plain ASCII is compared directly, anything else by Qt's case folding.
int compareIgnoringCase(const QString &a, const QString &b)
{
    const qsizetype n = std::min(a.size(), b.size());
    const QChar *pa = a.constData();
    const QChar *pb = b.constData();
    for (qsizetype i = 0; i < n; ++i) {
        char16_t ca = pa[i].unicode();
        char16_t cb = pb[i].unicode();
        if (ca >= 128 || cb >= 128)
            return QStringView(a).mid(i).compare(QStringView(b).mid(i), Qt::CaseInsensitive);
        if (ca >= 'A' && ca <= 'Z')
            ca += 32;
        if (cb >= 'A' && cb <= 'Z')
            cb += 32;
        if (ca != cb)
            return ca < cb ? -1 : 1;
    }
    return a.size() == b.size() ? 0 : (a.size() < b.size() ? -1 : 1);
}

} // namespace

void sortNames(QStringList &names)
{
    std::sort(names.begin(), names.end(), [](const QString &a, const QString &b) {
        const int c = compareIgnoringCase(a, b);
        return c != 0 ? c < 0 : a < b;
    });
}

FolderScan scanFolder(const QString &directory, const QString &mask)
{
    FolderScan scan;
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
        if (type == DT_DIR)
            scan.folders.append(decodeFileName(name));
        else if (type == DT_REG && matcher.matches(name, std::strlen(name)))
            scan.files.append(decodeFileName(name));
    }
    ::closedir(dir);
    sortNames(scan.folders);
    sortNames(scan.files);
    return scan;
}
