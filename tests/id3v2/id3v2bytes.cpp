#include "id3v2bytes.h"

QByteArray sizeBytes(quint32 n, bool synchsafe, int bytes)
{
    QByteArray out;
    for (int i = bytes - 1; i >= 0; --i)
        out += char(synchsafe ? (n >> (7 * i)) & 0x7F : (n >> (8 * i)) & 0xFF);
    return out;
}

QByteArray frame(int major, const QByteArray &id, const QByteArray &body, quint16 flags,
                 qint64 declared)
{
    const quint32 size = quint32(declared < 0 ? body.size() : declared);
    if (major == 2)
        return id + sizeBytes(size, false, 3) + body;
    return id + sizeBytes(size, major == 4) + char(flags >> 8) + char(flags & 0xFF) + body;
}

QByteArray textFrame(int major, const QByteArray &id, const QByteArray &latin1)
{
    return frame(major, id, '\0' + latin1);
}

QByteArray tag(int major, const QByteArray &frames, quint8 flags, qint64 declared)
{
    const quint32 size = quint32(declared < 0 ? frames.size() : declared);
    QByteArray out = "ID3";
    out += char(major);
    out += char(0);
    out += char(flags);
    out += sizeBytes(size, true);
    out += frames;
    if (major == 4 && (flags & 0x10)) {
        QByteArray foot = out.left(10);
        foot.replace(0, 3, "3DI");
        out += foot;
    }
    return out;
}
