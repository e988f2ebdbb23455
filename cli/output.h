#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <QStringView>
#include <chrono>
#include <cstdio>

class JsonLine;

// Where the program's words go. Results go to standard output, one line per file and then the
// summary, as text or as JSON Lines; progress and messages go to standard error. Progress is
// shown only on a terminal, and only once a command has run for about a third of a second, so
// output to a pipe is never slowed by it. Lines are written as they come: memory stays flat
// however many files a command takes.
class Output
{
public:
    Output(bool json, bool quiet);
    ~Output();
    Output(const Output &) = delete;
    Output &operator=(const Output &) = delete;

    bool json() const { return m_json; }
    bool quiet() const { return m_quiet; }

    // One result line of text (a line end is added); nothing in JSON mode or when quiet.
    void fileLine(const QByteArray &line);
    // One result object; only in JSON mode, and not when quiet.
    void fileObject(const JsonLine &object);
    // The summary: a line of text, or an object in JSON mode (written also when quiet; a text
    // summary is not).
    void summary(const QByteArray &line, const JsonLine &object);
    // A message on standard error, after the program's name ("trackling-cli: File not found.").
    void message(const QString &text);

    // The running command's progress line ("Tagging 4,512 of 100,000"), on a terminal only;
    // cheap to call after every file.
    void progress(const QString &text);
    bool showsProgress() const { return m_terminal && !m_quiet; }
    // Takes the progress line off the terminal.
    void endProgress();

    void flush();

private:
    void writeOut(const QByteArray &line);
    void checkOut();
    void clearProgress();

    bool m_json;
    bool m_quiet;
    bool m_terminal;       // standard error is a terminal
    bool m_outTerminal;    // standard output is one too (they share the screen)
    bool m_shown = false;  // a progress line stands on the terminal
    bool m_closed = false; // standard output cannot be written any more
    std::chrono::steady_clock::time_point m_start;
    std::chrono::steady_clock::time_point m_lastShown;
};

// A name or text for a line of text output: printable characters as they are, a control
// character or a byte that is not UTF-8 as \xNN and a backslash doubled, so that no name can
// break a line in two or steer the terminal.
QByteArray displayText(const QString &text);
void appendDisplay(QByteArray &out, QStringView text);
QByteArray displayBytes(QByteArrayView bytes);
// A tag text in double quotes, escaped as displayText does and a quote as \".
QByteArray quotedText(const QString &text);
void appendQuoted(QByteArray &out, QStringView text);
