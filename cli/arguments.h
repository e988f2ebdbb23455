#pragma once

#include "command.h"

#include <QByteArray>
#include <map>
#include <set>
#include <stdexcept>
#include <string>
#include <vector>

// A command line the program cannot run: what is wrong, in one line, and the help that tells
// how it is done (exit status 2).
class UsageError : public std::runtime_error
{
public:
    UsageError(const std::string &what, const CliCommand *command = nullptr);
    // "trackling-cli edit --help", or "trackling-cli --help" without a command.
    std::string helpHint() const;

private:
    const CliCommand *m_command;
};

// The command line, read: global options (before and after the command's name), the command,
// its options and its operands, all as the bytes given.
struct ParsedArguments {
    GlobalOptions global;
    bool help = false;
    bool version = false;
    const CliCommand *command = nullptr;
    std::map<std::string, QByteArray> values; // options with a value, by long name; the last wins
    std::set<std::string> flags;              // flags given, by long name
    std::vector<QByteArray> operands;
};

// Reads args (argv without the program's name). Options take their value as "--name=value",
// "--name value", "-xvalue" or "-x value"; flags of one letter may be joined ("-nq"); after
// "--" every argument is an operand, also one that starts with "-". Throws UsageError for an
// unknown command or option, a missing value, a value given to a flag, or operands too few or
// too many (unless help or the version is asked for, which wins).
ParsedArguments parseArguments(const std::vector<QByteArray> &args);

// The help texts: the program's (every command and the global options) and a command's.
QByteArray generalHelp();
QByteArray commandHelp(const CliCommand &command);
QByteArray versionText();
