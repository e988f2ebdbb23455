#pragma once

#include <QByteArray>
#include <QByteArrayList>
#include <QString>
#include <map>
#include <sys/types.h>

// Running the real trackling-cli on files the tests make, and looking at what it left.
namespace clitest
{

struct Result {
    int status = -1; // the exit status; -1 when ended by a signal
    QByteArray out;
    QByteArray err;
    QByteArrayList lines() const; // standard output's lines
};

// The program started with args (bytes, passed as they are) in folder cwd, its undo journal
// under state (XDG_STATE_HOME), standard output and error read through pipes.
class Process
{
public:
    Process(const QByteArrayList &args, const QByteArray &cwd, const QByteArray &state);
    ~Process();
    Process(const Process &) = delete;
    Process &operator=(const Process &) = delete;

    bool started() const { return m_pid > 0; }
    pid_t pid() const { return m_pid; }
    // Bytes waiting in the output pipe, and what it holds at most.
    int pendingOutput() const;
    int outputCapacity() const;
    // Reads both pipes to their end and waits for the program.
    Result finish();

private:
    pid_t m_pid = -1;
    int m_out = -1;
    int m_err = -1;
};

Result run(const QByteArrayList &args, const QByteArray &cwd, const QByteArray &state);

// Every file and folder below root by its path from root (bytes), with the bytes of each file;
// folders as "<dir>". Names that are not UTF-8 are kept as they are.
using Tree = std::map<QByteArray, QByteArray>;
Tree tree(const QByteArray &root);
// Where two trees differ, in words; empty when they are the same.
QString difference(const Tree &expected, const Tree &actual);
void removeTree(const QByteArray &root);
// Makes the tree anew below root (which must not exist).
void makeTree(const QByteArray &root, const Tree &contents);

// An MP3 stream of frames (MPEG-1 layer III, 128 kbit, 44.1 kHz).
QByteArray mp3(int frames = 8);
// An ID3v2.3 tag holding a title and an artist.
QByteArray id3v2Tag(const QByteArray &title, const QByteArray &artist);

} // namespace clitest
