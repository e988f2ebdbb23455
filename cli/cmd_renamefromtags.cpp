// rename-from-tags: Rename from tags.
#include "cliquestions.h"
#include "command.h"
#include "invocation.h"
#include "runner.h"

namespace
{

int renameFromTags(Invocation &invocation)
{
    CliQuestions questions;
    const auto groups =
        collectTargets(invocation.operands(), invocation.flag(kRecursiveOption.longName));
    return runOnFiles(invocation, CommandKind::RenameFromTags, groups, questions);
}

const CommandRegistration registration({
    "rename-from-tags",
    60,
    "FILE|FOLDER...",
    1,
    -1,
    "Rename from tags: each file whose tag holds an artist and a title becomes \"Artist - "
    "Title.mp3\".",
    "A file without a tag, or without an artist or a title in it, keeps its name, and a file is "
    "never renamed over another one.",
    {kRecursiveOption},
    renameFromTags,
});

} // namespace
