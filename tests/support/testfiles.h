#pragma once

#include <QByteArray>
#include <QString>
#include <cstdint>

// Builders for the files tests work on: MPEG frame streams, ID3v1 and ID3v2 tags.
namespace testfiles
{

// A stream of `frames` valid frames with the given 4-byte header (padding bit as given), each
// frame the header followed by zero bytes up to its length.
QByteArray frames(const char header[4], int frames);
// A free-format stream (bitrate index 0 in header): `count` frames of `base` bytes, every
// second one padded by one slot (its padding bit set), as an encoder fills out a fractional
// frame length.
QByteArray freeFormatFrames(const char header[4], int base, int count);
// A 128-byte ID3v1 tag; texts are Latin-1 and blank-padded, year raw.
QByteArray id3v1(const QByteArray &title, const QByteArray &artist = {},
                 const QByteArray &album = {}, const QByteArray &year = "    ",
                 const QByteArray &comment = {}, std::uint8_t genre = 255);
// An ID3v2.3 tag with `payload` bytes of zeros as its body (footer flag optional).
QByteArray id3v2(int payload, bool footer = false);
// A first frame that carries a Xing (or "Info") header with the given frame and byte counts.
QByteArray xingFrame(const char header[4], const QByteArray &tag, std::uint32_t frames,
                     std::uint32_t bytes);

// Writes data to path, replacing it; fails the calling test on error.
bool writeFile(const QString &path, const QByteArray &data);
QByteArray readFile(const QString &path);

} // namespace testfiles
