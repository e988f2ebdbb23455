#pragma once

#include <QByteArray>

// Hand-made ID3v2 bytes for the tests.

// Big-endian sizes: plain for version 2.3 frames, 7 bits a byte ("synchsafe") for tag headers
// and version 2.4 frames, three bytes for version 2.2 frames.
QByteArray sizeBytes(quint32 n, bool synchsafe, int bytes = 4);
// A frame of a version 2.major tag; declared, where given, is the size its header claims.
QByteArray frame(int major, const QByteArray &id, const QByteArray &body, quint16 flags = 0,
                 qint64 declared = -1);
// A text frame of a Latin-1 text.
QByteArray textFrame(int major, const QByteArray &id, const QByteArray &latin1);
// A tag of the frames (a footer follows where a 2.4 tag's flags say so).
QByteArray tag(int major, const QByteArray &frames, quint8 flags = 0, qint64 declared = -1);
