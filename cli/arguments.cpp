#include "arguments.h"

#include "output.h"

#include <QByteArrayList>

namespace
{

constexpr int kHelpWidth = 100;

const CliOption *findLong(const std::vector<CliOption> &options, const QByteArray &name)
{
    for (const CliOption &option : options) {
        if (name == option.longName)
            return &option;
    }
    return nullptr;
}

const CliOption *findShort(const std::vector<CliOption> &options, char name)
{
    for (const CliOption &option : options) {
        if (option.shortName != 0 && option.shortName == name)
            return &option;
    }
    return nullptr;
}

std::string shown(const QByteArray &arg)
{
    return "'" + displayBytes(arg).toStdString() + "'";
}

class Parser
{
public:
    explicit Parser(ParsedArguments &parsed) : m_parsed(parsed) {}

    // Reads one option (arg starts with "-" and is not "-" or "--"), taking its value from the
    // next argument where it needs one; returns how many arguments it used.
    std::size_t option(const std::vector<QByteArray> &args, std::size_t at)
    {
        const QByteArray &arg = args[at];
        if (arg.startsWith("--")) {
            const qsizetype eq = arg.indexOf('=');
            const QByteArray name = arg.mid(2, eq < 0 ? -1 : eq - 2);
            const CliOption *option = lookupLong(name);
            if (!option)
                throw UsageError("unknown option " + shown("--" + name) + where(),
                                 m_parsed.command);
            if (!option->valueName) {
                if (eq >= 0)
                    throw UsageError("option " + shown("--" + name) + " takes no value",
                                     m_parsed.command);
                set(*option, {});
                return 1;
            }
            if (eq >= 0) {
                set(*option, arg.mid(eq + 1));
                return 1;
            }
            if (at + 1 >= args.size())
                throw UsageError("option " + shown("--" + name) + " needs a value (" +
                                     option->valueName + ")",
                                 m_parsed.command);
            set(*option, args[at + 1]);
            return 2;
        }
        for (qsizetype i = 1; i < arg.size(); ++i) {
            const CliOption *option = lookupShort(arg.at(i));
            if (!option)
                throw UsageError("unknown option " + shown("-" + arg.mid(i, 1)) + where(),
                                 m_parsed.command);
            if (!option->valueName) {
                set(*option, {});
                continue;
            }
            if (i + 1 < arg.size()) {
                set(*option, arg.mid(i + 1));
                return 1;
            }
            if (at + 1 >= args.size())
                throw UsageError("option " + shown("-" + arg.mid(i, 1)) + " needs a value (" +
                                     option->valueName + ")",
                                 m_parsed.command);
            set(*option, args[at + 1]);
            return 2;
        }
        return 1;
    }

private:
    std::string where() const
    {
        return m_parsed.command ? std::string(" for ") + m_parsed.command->name : std::string();
    }
    const CliOption *lookupLong(const QByteArray &name) const
    {
        if (m_parsed.command) {
            if (const CliOption *option = findLong(m_parsed.command->options, name))
                return option;
        }
        return findLong(globalOptions(), name);
    }
    const CliOption *lookupShort(char name) const
    {
        if (m_parsed.command) {
            if (const CliOption *option = findShort(m_parsed.command->options, name))
                return option;
        }
        return findShort(globalOptions(), name);
    }
    void set(const CliOption &option, const QByteArray &value)
    {
        const std::string name = option.longName;
        if (name == "dry-run")
            m_parsed.global.dryRun = true;
        else if (name == "json")
            m_parsed.global.json = true;
        else if (name == "quiet")
            m_parsed.global.quiet = true;
        else if (name == "help")
            m_parsed.help = true;
        else if (name == "version")
            m_parsed.version = true;
        else if (option.valueName)
            m_parsed.values[name] = value;
        else
            m_parsed.flags.insert(name);
    }

    ParsedArguments &m_parsed;
};

bool isOption(const QByteArray &arg)
{
    return arg.size() > 1 && arg.startsWith('-');
}

QByteArray wrapped(const QByteArray &text, int indent)
{
    QByteArray out;
    QByteArray line;
    const QByteArray pad(indent, ' ');
    for (const QByteArray &word : text.split(' ')) {
        if (!line.isEmpty() && indent + line.size() + 1 + word.size() > kHelpWidth) {
            out += pad + line + '\n';
            line.clear();
        }
        line += (line.isEmpty() ? QByteArray() : QByteArray(" ")) + word;
    }
    if (!line.isEmpty())
        out += pad + line + '\n';
    return out;
}

QByteArray optionLines(const std::vector<CliOption> &options)
{
    QByteArray out;
    for (const CliOption &option : options) {
        QByteArray names = "  ";
        names += option.shortName ? QByteArray("-") + option.shortName + ", " : QByteArray("    ");
        names += QByteArray("--") + option.longName;
        if (option.valueName)
            names += QByteArray(" ") + option.valueName;
        if (names.size() < 26)
            out += names.leftJustified(26) + wrapped(option.help, 26).mid(26);
        else
            out += names + '\n' + wrapped(option.help, 26);
    }
    return out;
}

} // namespace

UsageError::UsageError(const std::string &what, const CliCommand *command)
    : std::runtime_error(what), m_command(command)
{
}

std::string UsageError::helpHint() const
{
    return m_command ? std::string("trackling-cli ") + m_command->name + " --help"
                     : std::string("trackling-cli --help");
}

ParsedArguments parseArguments(const std::vector<QByteArray> &args)
{
    ParsedArguments parsed;
    Parser parser(parsed);
    std::size_t at = 0;
    // The global options, then the command's name.
    while (at < args.size() && isOption(args[at]) && args[at] != "--")
        at += parser.option(args, at);
    if (at < args.size() && args[at] == "--")
        ++at;
    if (at >= args.size()) {
        if (parsed.help || parsed.version)
            return parsed;
        throw UsageError("no command given");
    }
    parsed.command = findCommand(args[at]);
    if (!parsed.command) {
        if (parsed.help || parsed.version)
            return parsed;
        throw UsageError("unknown command " + shown(args[at]));
    }
    ++at;
    // Help wins over every mistake after the command's name.
    for (std::size_t i = at; i < args.size() && args[i] != "--"; ++i) {
        if (args[i] == "--help" || args[i] == "-h") {
            parsed.help = true;
            return parsed;
        }
    }
    bool operandsOnly = false;
    while (at < args.size()) {
        const QByteArray &arg = args[at];
        if (!operandsOnly && arg == "--") {
            operandsOnly = true;
            ++at;
        } else if (!operandsOnly && isOption(arg)) {
            at += parser.option(args, at);
        } else {
            parsed.operands.push_back(arg);
            ++at;
        }
    }
    if (parsed.help || parsed.version)
        return parsed;
    const CliCommand &command = *parsed.command;
    const int n = int(parsed.operands.size());
    if (n < command.minOperands)
        throw UsageError(std::string(command.name) + " needs " + command.operands, &command);
    if (command.maxOperands >= 0 && n > command.maxOperands) {
        const std::string extra = shown(parsed.operands[std::size_t(command.maxOperands)]);
        throw UsageError(command.maxOperands == 0
                             ? std::string(command.name) + " takes no operand, but was given " +
                                   extra
                             : std::string(command.name) + " takes only " + command.operands +
                                   ", but was also given " + extra,
                         &command);
    }
    return parsed;
}

QByteArray generalHelp()
{
    QByteArray out = "Usage: trackling-cli [GLOBAL OPTIONS] COMMAND [OPTIONS] [--] FILE|FOLDER...\n"
                     "\n";
    out += wrapped("The commands of Trackling without a window: fix the ID3v1 tags of MP3 files, "
                   "tidy and rename them, write playlists, and undo any of it. A FOLDER stands "
                   "for its MP3 files in the order the window lists them.",
                   0);
    out += "\nCommands:\n";
    for (const CliCommand *command : allCommands()) {
        const QByteArray name = QByteArray("  ") + command->name;
        out += name.leftJustified(20) + wrapped(command->summary, 20).mid(20);
    }
    out += "\nGlobal options:\n" + optionLines(globalOptions());
    out += "\n";
    out += wrapped("Exit status: 0 every file done (or nothing to do), 1 some files left as they "
                   "were, 2 a mistake in the command line, 3 an I/O failure stopped the command, "
                   "130 stopped by Ctrl+C (143 by SIGTERM).",
                   0);
    out += "\nSee 'trackling-cli COMMAND --help' for a command's options, and man "
           "trackling-cli.\n";
    return out;
}

QByteArray commandHelp(const CliCommand &command)
{
    QByteArray out = QByteArray("Usage: trackling-cli [GLOBAL OPTIONS] ") + command.name;
    if (!command.options.empty())
        out += " [OPTIONS]";
    if (*command.operands)
        out += QByteArray(" [--] ") + command.operands;
    out += "\n\n" + wrapped(command.summary, 0);
    for (const QByteArray &paragraph : QByteArray(command.description).split('\n')) {
        if (!paragraph.isEmpty())
            out += '\n' + wrapped(paragraph, 0);
    }
    if (!command.options.empty())
        out += "\nOptions:\n" + optionLines(command.options);
    out += "\nGlobal options:\n" + optionLines(globalOptions());
    return out;
}

QByteArray versionText()
{
    return "trackling-cli (Trackling) " TRACKLING_VERSION "\n"
           "Copyright (C) 2026 The Trackling developers\n"
           "License GPLv3+: GNU GPL version 3 or later <https://www.gnu.org/licenses/gpl.html>.\n"
           "This is free software: you are free to change and redistribute it.\n"
           "There is NO WARRANTY, to the extent permitted by law.\n";
}
