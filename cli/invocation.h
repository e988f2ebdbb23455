#pragma once

#include "arguments.h"

#include <QByteArray>
#include <QString>
#include <memory>
#include <optional>

class CommandSession;
class Output;

// One run of a command: what the command line gave it, where its words go, and the session that
// owns the undo journal (the window's, under $XDG_STATE_HOME/trackling).
class Invocation
{
public:
    Invocation(ParsedArguments args, Output &out);
    ~Invocation();

    const CliCommand &command() const { return *m_args.command; }
    const GlobalOptions &global() const { return m_args.global; }
    bool dryRun() const { return m_args.global.dryRun; }
    bool flag(const char *longName) const;
    std::optional<QByteArray> value(const char *longName) const;
    // An option's value as text (the bytes as UTF-8; a byte that is not becomes "?" in a tag).
    std::optional<QString> text(const char *longName) const;
    const std::vector<QByteArray> &operands() const { return m_args.operands; }

    Output &out() { return m_out; }
    CommandSession &session();

    // A mistake in this command's options: exit status 2, with the command's help named.
    [[noreturn]] void usage(const std::string &what) const;

private:
    ParsedArguments m_args;
    Output &m_out;
    std::unique_ptr<CommandSession> m_session;
};
