#include "filenames.h"

#include <cerrno>
#include <unistd.h>

#include <QUrl>

namespace
{

constexpr char16_t kEscapeBase = 0xDC00;

// The length of the valid UTF-8 sequence at p (n bytes left) and its code point; 0 when the
// bytes there are not valid UTF-8 (overlong forms and surrogates included).
int utf8Sequence(const unsigned char *p, qsizetype n, char32_t &cp)
{
    const unsigned char b = p[0];
    int len;
    char32_t min;
    if (b >= 0xC2 && b <= 0xDF) {
        len = 2;
        cp = b & 0x1F;
        min = 0x80;
    } else if (b >= 0xE0 && b <= 0xEF) {
        len = 3;
        cp = b & 0x0F;
        min = 0x800;
    } else if (b >= 0xF0 && b <= 0xF4) {
        len = 4;
        cp = b & 0x07;
        min = 0x10000;
    } else {
        return 0;
    }
    if (n < len)
        return 0;
    for (int i = 1; i < len; ++i) {
        if ((p[i] & 0xC0) != 0x80)
            return 0;
        cp = (cp << 6) | (p[i] & 0x3F);
    }
    if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF))
        return 0;
    return len;
}

void appendUtf8(QByteArray &out, char32_t cp)
{
    if (cp < 0x80) {
        out += char(cp);
    } else if (cp < 0x800) {
        out += char(0xC0 | (cp >> 6));
        out += char(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        out += char(0xE0 | (cp >> 12));
        out += char(0x80 | ((cp >> 6) & 0x3F));
        out += char(0x80 | (cp & 0x3F));
    } else {
        out += char(0xF0 | (cp >> 18));
        out += char(0x80 | ((cp >> 12) & 0x3F));
        out += char(0x80 | ((cp >> 6) & 0x3F));
        out += char(0x80 | (cp & 0x3F));
    }
}

} // namespace

QString decodeFileName(QByteArrayView bytes)
{
    QString out;
    out.reserve(bytes.size());
    const auto *p = reinterpret_cast<const unsigned char *>(bytes.data());
    const qsizetype n = bytes.size();
    for (qsizetype i = 0; i < n;) {
        if (p[i] < 0x80) {
            out += QChar(char16_t(p[i]));
            ++i;
            continue;
        }
        char32_t cp = 0;
        if (const int len = utf8Sequence(p + i, n - i, cp)) {
            if (cp >= 0x10000) {
                out += QChar(QChar::highSurrogate(cp));
                out += QChar(QChar::lowSurrogate(cp));
            } else {
                out += QChar(char16_t(cp));
            }
            i += len;
        } else {
            out += QChar(char16_t(kEscapeBase + p[i]));
            ++i;
        }
    }
    return out;
}

QByteArray encodeFileName(QStringView name)
{
    QByteArray out;
    out.reserve(name.size());
    const qsizetype n = name.size();
    for (qsizetype i = 0; i < n; ++i) {
        const char16_t u = name[i].unicode();
        if (QChar::isHighSurrogate(u) && i + 1 < n &&
            QChar::isLowSurrogate(name[i + 1].unicode())) {
            appendUtf8(out, QChar::surrogateToUcs4(u, name[i + 1].unicode()));
            ++i;
        } else if (u >= kEscapeBase + 0x80 && u <= kEscapeBase + 0xFF) {
            out += char(u - kEscapeBase); // a byte that was not valid UTF-8
        } else if (QChar::isSurrogate(u)) {
            appendUtf8(out, 0xFFFD);
        } else {
            appendUtf8(out, u);
        }
    }
    return out;
}

QUrl localFileUrl(const QString &path)
{
    return QUrl::fromEncoded(QByteArrayLiteral("file://") +
                             encodeFileName(path).toPercentEncoding("/"));
}

QString currentFolder()
{
    QByteArray buffer(4096, Qt::Uninitialized);
    while (!::getcwd(buffer.data(), std::size_t(buffer.size()))) {
        if (errno != ERANGE)
            return {};
        buffer.resize(buffer.size() * 2);
    }
    return decodeFileName(QByteArrayView(buffer.constData()));
}
