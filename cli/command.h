#pragma once

#include <QByteArray>
#include <QString>
#include <functional>
#include <map>
#include <string>
#include <vector>

class Invocation;

// An option of a command: its long name, a one-letter name or 0, the name of its value (none:
// a flag) and its line of help.
struct CliOption {
    const char *longName;
    char shortName;
    const char *valueName;
    const char *help;
};

// A command of the program, as one file in cli/ declares it (see CommandRegistration): what the
// help says of it, what it takes, and the function that runs it and returns the exit status.
struct CliCommand {
    const char *name;
    int order;            // its place in the general help
    const char *operands; // "FILE|FOLDER...", "FILE NEWNAME", "" for none
    int minOperands;
    int maxOperands; // -1: no limit
    const char *summary;
    const char *description; // the per-command help, after the usage line
    std::vector<CliOption> options;
    std::function<int(Invocation &)> run;
};

// Adds a command to the program: each command's file holds one of these at namespace scope, so
// that adding a command is adding one file.
struct CommandRegistration {
    explicit CommandRegistration(CliCommand command);
};

// The program's commands, in help order.
std::vector<const CliCommand *> allCommands();
const CliCommand *findCommand(const QByteArray &name);

// The options every command takes.
const std::vector<CliOption> &globalOptions();
// The option -r/--recursive, for commands that take folders.
inline constexpr CliOption kRecursiveOption = {"recursive", 'r', nullptr,
                                               "Take the MP3 files of a FOLDER's subfolders too."};

// What every command is run with: the options before and after its name, its operands (bytes
// as given) and how the result is told.
struct GlobalOptions {
    bool dryRun = false;
    bool json = false;
    bool quiet = false;
};
