#include "tagtext.h"

#include <QList>

namespace
{

// The characters of the bytes 0x80 to 0x9F in Windows code page 1252. The five bytes it leaves
// undefined (0x81, 0x8D, 0x8F, 0x90, 0x9D) stand for the control characters of the same number,
// so that every byte reads as one character and is written back as the same byte.
constexpr char16_t kHighControls[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, // 80-87
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F, // 88-8F
    0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014, // 90-97
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178, // 98-9F
};

char toByte(char32_t c)
{
    if (c < 0x80 || (c >= 0xA0 && c <= 0xFF))
        return char(c);
    for (int i = 0; i < 32; ++i) {
        if (kHighControls[i] == c)
            return char(0x80 + i);
    }
    return '?';
}

} // namespace

std::string toTagText(const QString &text)
{
    // Composed first: "o" and a combining diaeresis are the one character "ö".
    const QList<uint> characters = text.normalized(QString::NormalizationForm_C).toUcs4();
    std::string out;
    out.reserve(std::size_t(characters.size()));
    for (const uint c : characters)
        out.push_back(toByte(char32_t(c)));
    return out;
}

QString fromTagText(const std::string &bytes)
{
    QString text(qsizetype(bytes.size()), Qt::Uninitialized);
    QChar *out = text.data();
    for (const char b : bytes) {
        const auto byte = static_cast<unsigned char>(b);
        *out++ = QChar(byte >= 0x80 && byte < 0xA0 ? kHighControls[byte - 0x80] : char16_t(byte));
    }
    return text;
}

int tagTextLength(const QString &text)
{
    return int(text.normalized(QString::NormalizationForm_C).toUcs4().size());
}
