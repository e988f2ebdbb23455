#pragma once

#include <QStringList>
#include <functional>
#include <string>
#include <vector>

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
// Reads the names of the working directory (opendir, readdir, closedir), as a command does when it
// shows the folder again; returns how many there are.
int readFolder();

// One command's time over some files beside its bare calls' time.
struct Timing {
    const char *command;
    int files;
    double commandMs;
    double bareMs;
};
// Prints how each command's time and its bare calls' time grew from smallFiles to largeFiles.
void printScaling(const std::vector<Timing> &all, int smallFiles, int largeFiles, int width);

} // namespace bareio
