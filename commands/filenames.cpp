#include "filenames.h"

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

// Writes cp as UTF-8 at out; returns the end.
char *putUtf8(char *out, char32_t cp)
{
    if (cp < 0x80) {
        *out++ = char(cp);
    } else if (cp < 0x800) {
        *out++ = char(0xC0 | (cp >> 6));
        *out++ = char(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        *out++ = char(0xE0 | (cp >> 12));
        *out++ = char(0x80 | ((cp >> 6) & 0x3F));
        *out++ = char(0x80 | (cp & 0x3F));
    } else {
        *out++ = char(0xF0 | (cp >> 18));
        *out++ = char(0x80 | ((cp >> 12) & 0x3F));
        *out++ = char(0x80 | ((cp >> 6) & 0x3F));
        *out++ = char(0x80 | (cp & 0x3F));
    }
    return out;
}

} // namespace

QString decodeFileName(QByteArrayView bytes)
{
    const auto *p = reinterpret_cast<const unsigned char *>(bytes.data());
    const qsizetype n = bytes.size();
    QString out(n, Qt::Uninitialized); // never more UTF-16 units than bytes
    char16_t *to = reinterpret_cast<char16_t *>(out.data());
    char16_t *const start = to;
    for (qsizetype i = 0; i < n;) {
        if (p[i] < 0x80) {
            *to++ = p[i++];
            continue;
        }
        char32_t cp = 0;
        if (const int len = utf8Sequence(p + i, n - i, cp)) {
            if (cp >= 0x10000) {
                *to++ = QChar::highSurrogate(cp);
                *to++ = QChar::lowSurrogate(cp);
            } else {
                *to++ = char16_t(cp);
            }
            i += len;
        } else {
            *to++ = char16_t(kEscapeBase + p[i]);
            ++i;
        }
    }
    out.truncate(to - start);
    return out;
}

QByteArray encodeFileName(QStringView name)
{
    const qsizetype n = name.size();
    const char16_t *u = name.utf16();
    qsizetype ascii = 0;
    while (ascii < n && u[ascii] < 0x80)
        ++ascii;
    // A UTF-16 unit never takes more than 3 bytes; most names are ASCII and take one each.
    QByteArray out(ascii == n ? n : n * 3, Qt::Uninitialized);
    char *to = out.data();
    char *const start = to;
    for (qsizetype i = 0; i < ascii; ++i)
        *to++ = char(u[i]);
    for (qsizetype i = ascii; i < n; ++i) {
        const char16_t c = u[i];
        if (c < 0x80) {
            *to++ = char(c);
        } else if (QChar::isHighSurrogate(c) && i + 1 < n && QChar::isLowSurrogate(u[i + 1])) {
            to = putUtf8(to, QChar::surrogateToUcs4(c, u[i + 1]));
            ++i;
        } else if (c >= kEscapeBase + 0x80 && c <= kEscapeBase + 0xFF) {
            *to++ = char(c - kEscapeBase); // a byte that was not valid UTF-8
        } else if (QChar::isSurrogate(c)) {
            to = putUtf8(to, 0xFFFD);
        } else {
            to = putUtf8(to, c);
        }
    }
    if (to - start != out.size()) {
        out.truncate(to - start);
        out.squeeze();
    }
    return out;
}

QUrl localFileUrl(const QString &path)
{
    return QUrl::fromEncoded(QByteArrayLiteral("file://") +
                             encodeFileName(path).toPercentEncoding("/"));
}
