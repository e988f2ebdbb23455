#include "output.h"

#include "filenames.h"
#include "jsonline.h"
#include "signals.h"

#include <algorithm>
#include <cerrno>
#include <csignal>

#include <unistd.h>

namespace
{

constexpr auto kProgressDelay = std::chrono::milliseconds(333);
constexpr auto kProgressInterval = std::chrono::milliseconds(100);

void appendHex(QByteArray &out, unsigned byte)
{
    static const char hex[] = "0123456789abcdef";
    out += "\\x";
    out += hex[(byte >> 4) & 15];
    out += hex[byte & 15];
}

// Appends text to out as displayText gives it; quoteMarks also escapes '"'.
void appendEscaped(QByteArray &out, QStringView text, bool quoteMarks)
{
    const qsizetype n = text.size();
    const char16_t *s = text.utf16();
    qsizetype plain = 0; // the printable ASCII start, copied in one go
    while (plain < n && s[plain] >= 0x20 && s[plain] < 0x7f && s[plain] != u'\\' &&
           !(quoteMarks && s[plain] == u'"'))
        ++plain;
    const qsizetype at = out.size();
    out.resize(at + plain);
    for (qsizetype i = 0; i < plain; ++i)
        out.data()[at + i] = char(s[i]);
    for (qsizetype i = plain; i < n; ++i) {
        const char16_t c = s[i];
        if (QChar::isHighSurrogate(c) && i + 1 < n && QChar::isLowSurrogate(s[i + 1])) {
            out += text.sliced(i, 2).toUtf8();
            ++i;
        } else if (c >= 0xDC80 && c <= 0xDCFF) { // a byte that is not UTF-8 (see filenames.h)
            appendHex(out, c - 0xDC00);
        } else if (QChar::isSurrogate(c)) {
            out += "\\ufffd";
        } else if (c < 0x20 || c == 0x7f || (c >= 0x80 && c < 0xa0)) {
            appendHex(out, c);
        } else if (c == u'\\') {
            out += "\\\\";
        } else if (quoteMarks && c == u'"') {
            out += "\\\"";
        } else if (c < 0x80) {
            out += char(c);
        } else {
            out += text.sliced(i, 1).toUtf8();
        }
    }
}

} // namespace

QByteArray displayText(const QString &text)
{
    QByteArray out;
    appendDisplay(out, text);
    return out;
}

void appendDisplay(QByteArray &out, QStringView text)
{
    appendEscaped(out, text, false);
}

QByteArray displayBytes(QByteArrayView bytes)
{
    // Printable ASCII is itself: most names need no decoding.
    if (std::all_of(bytes.begin(), bytes.end(),
                    [](char c) { return c >= 0x20 && c < 0x7f && c != '\\'; }))
        return bytes.toByteArray();
    return displayText(decodeFileName(bytes));
}

QByteArray quotedText(const QString &text)
{
    QByteArray out;
    appendQuoted(out, text);
    return out;
}

void appendQuoted(QByteArray &out, QStringView text)
{
    out += '"';
    appendEscaped(out, text, true);
    out += '"';
}

Output::Output(bool json, bool quiet)
    : m_json(json), m_quiet(quiet), m_terminal(::isatty(STDERR_FILENO) == 1),
      m_outTerminal(::isatty(STDOUT_FILENO) == 1), m_start(std::chrono::steady_clock::now())
{
}

Output::~Output()
{
    endProgress();
    flush();
}

void Output::writeOut(const QByteArray &line)
{
    if (m_shown && m_outTerminal)
        clearProgress();
    std::fwrite(line.constData(), 1, std::size_t(line.size()), stdout);
    std::fputc('\n', stdout);
    checkOut();
}

void Output::checkOut()
{
    if (m_closed || !std::ferror(stdout))
        return;
    // The reader went away ("| head"): the command stops after the file in hand.
    m_closed = true;
    if (errno == EPIPE)
        requestStop(SIGPIPE);
}

void Output::fileLine(const QByteArray &line)
{
    if (!m_json && !m_quiet)
        writeOut(line);
}

void Output::fileObject(const JsonLine &object)
{
    if (m_json && !m_quiet)
        writeOut(object.text());
}

void Output::summary(const QByteArray &line, const JsonLine &object)
{
    endProgress();
    if (m_json)
        writeOut(object.text());
    else if (!m_quiet)
        writeOut(line);
}

void Output::message(const QString &text)
{
    endProgress();
    std::fflush(stdout); // what was done comes before what went wrong
    const QByteArray line = "trackling-cli: " + displayText(text) + '\n';
    std::fwrite(line.constData(), 1, std::size_t(line.size()), stderr);
}

void Output::progress(const QString &text)
{
    if (!showsProgress())
        return;
    const auto now = std::chrono::steady_clock::now();
    if (now - m_start < kProgressDelay || (m_shown && now - m_lastShown < kProgressInterval))
        return;
    m_lastShown = now;
    if (m_outTerminal)
        std::fflush(stdout);
    const QByteArray line = "\r" + displayText(text) + "\033[K";
    std::fwrite(line.constData(), 1, std::size_t(line.size()), stderr);
    std::fflush(stderr);
    m_shown = true;
}

void Output::clearProgress()
{
    std::fputs("\r\033[K", stderr);
    std::fflush(stderr);
    m_shown = false;
}

void Output::endProgress()
{
    if (m_shown)
        clearProgress();
}

void Output::flush()
{
    std::fflush(stdout);
    checkOut();
}
