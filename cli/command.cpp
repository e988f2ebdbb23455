#include "command.h"

#include <algorithm>
#include <memory>

namespace
{

std::vector<std::unique_ptr<CliCommand>> &registry()
{
    static std::vector<std::unique_ptr<CliCommand>> commands;
    return commands;
}

} // namespace

CommandRegistration::CommandRegistration(CliCommand command)
{
    registry().push_back(std::make_unique<CliCommand>(std::move(command)));
}

std::vector<const CliCommand *> allCommands()
{
    std::vector<const CliCommand *> commands;
    for (const auto &command : registry())
        commands.push_back(command.get());
    std::sort(commands.begin(), commands.end(),
              [](const CliCommand *a, const CliCommand *b) { return a->order < b->order; });
    return commands;
}

const CliCommand *findCommand(const QByteArray &name)
{
    for (const auto &command : registry()) {
        if (name == command->name)
            return command.get();
    }
    return nullptr;
}

const std::vector<CliOption> &globalOptions()
{
    static const std::vector<CliOption> options = {
        {"dry-run", 'n', nullptr,
         "Do all the work up to the change, say what would change, and change nothing (the undo "
         "journal included)."},
        {"json", 0, nullptr,
         "JSON Lines on standard output: one object per file, then one summary object."},
        {"quiet", 'q', nullptr,
         "No line per file and no progress (with --json, only the summary object)."},
        {"help", 'h', nullptr, "Show the help (of a command, after its name) and exit."},
        {"version", 'v', nullptr, "Show the version and the licence and exit."},
    };
    return options;
}
