#include "testfiles.h"

#include "mpeginfo.h"

#include <QFile>
#include <QFileInfo>
#include <cstring>

namespace testfiles
{

QByteArray frames(const char header[4], int count)
{
    const auto *h = reinterpret_cast<const std::uint8_t *>(header);
    const int len = isValidFrameHeader(h) ? frameLength(h) : 4;
    QByteArray frame(len, '\0');
    std::memcpy(frame.data(), header, 4);
    QByteArray out;
    out.reserve(len * count);
    for (int i = 0; i < count; ++i)
        out += frame;
    return out;
}

QByteArray freeFormatFrames(const char header[4], int base, int count)
{
    const int slot = (header[1] & 0x06) == 0x06 ? 4 : 1;
    QByteArray out;
    for (int i = 0; i < count; ++i) {
        const bool padded = i % 2 == 1;
        QByteArray frame(base + (padded ? slot : 0), '\0');
        std::memcpy(frame.data(), header, 4);
        if (padded)
            frame[2] = char(frame[2] | 0x02);
        out += frame;
    }
    return out;
}

static QByteArray field(const QByteArray &text, int width)
{
    QByteArray f = text.left(width);
    f.append(QByteArray(width - f.size(), ' '));
    return f;
}

QByteArray id3v1(const QByteArray &title, const QByteArray &artist, const QByteArray &album,
                 const QByteArray &year, const QByteArray &comment, std::uint8_t genre)
{
    QByteArray tag = "TAG";
    tag += field(title, 30);
    tag += field(artist, 30);
    tag += field(album, 30);
    tag += field(year, 4);
    tag += field(comment, 30);
    tag += char(genre);
    return tag;
}

QByteArray id3v2(int payload, bool footer)
{
    QByteArray tag = "ID3";
    tag += char(footer ? 4 : 3);
    tag += char(0);
    tag += char(footer ? 0x10 : 0);
    for (int shift : {21, 14, 7, 0})
        tag += char((payload >> shift) & 0x7F);
    tag += QByteArray(payload, '\0');
    if (footer) {
        QByteArray foot = tag.left(10);
        foot[0] = '3';
        foot[1] = 'D';
        foot[2] = 'I';
        tag += foot;
    }
    return tag;
}

QByteArray xingFrame(const char header[4], const QByteArray &kind, std::uint32_t nFrames,
                     std::uint32_t bytes)
{
    QByteArray frame = frames(header, 1);
    const auto *h = reinterpret_cast<const std::uint8_t *>(header);
    const bool mpeg1 = (h[1] & 0x18) == 0x18;
    const bool mono = (h[3] & 0xC0) == 0xC0;
    const int off = 4 + (mpeg1 ? (mono ? 17 : 32) : (mono ? 9 : 17));
    QByteArray x = kind;
    auto be32 = [&x](std::uint32_t v) {
        for (int s : {24, 16, 8, 0})
            x += char((v >> s) & 0xFF);
    };
    be32(0x3);
    be32(nFrames);
    be32(bytes);
    frame.replace(off, x.size(), x);
    return frame;
}

bool writeFile(const QString &path, const QByteArray &data)
{
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return false;
    return f.write(data) == data.size();
}

QByteArray readFile(const QString &path)
{
    if (!QFileInfo(path).isFile())
        return {}; // never open a FIFO or a device
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return {};
    return f.readAll();
}

} // namespace testfiles
