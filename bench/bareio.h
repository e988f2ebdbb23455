#pragma once

#include <QStringList>
#include <functional>
#include <string>

// The pieces the command benchmarks share: the files they make, a timer and the loops of bare
// system calls their commands are measured against.
namespace bareio
{

// MPEG-1 layer III at 128 kbit, 44.1 kHz: the frame header of the benchmark files.
extern const char kHeader[4];

// The name of benchmark file i, in the form "band - song 00042.mp3".
QString nameOf(int i);
std::string encoded(const QString &name);
// Milliseconds that run takes.
double millis(const std::function<void()> &run);
// Opens each file, reads its last 128 bytes, writes them back when write is set, closes it.
void tagAccess(const QStringList &names, bool write);
// Renames each file of from to the matching name of to.
void renames(const QStringList &from, const QStringList &to);

} // namespace bareio
