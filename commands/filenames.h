#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <QStringView>

// File names as the file system stores them (bytes) and as the program shows and works on them
// (text). Names are UTF-8; a byte that is not part of valid UTF-8 becomes the lone surrogate
// U+DC80 to U+DCFF, which encoding turns back into that byte. So every name comes back as the
// same bytes, and two different names never read as the same text (Qt's own decoding turns
// every such byte into U+FFFD, which names another file or none).
QString decodeFileName(QByteArrayView bytes);
QByteArray encodeFileName(QStringView name);

class QUrl;
// A file: URL of a local path, its bytes percent-encoded as they stand (QUrl::fromLocalFile
// would turn a byte that is not valid UTF-8 into U+FFFD, naming another file).
QUrl localFileUrl(const QString &path);
