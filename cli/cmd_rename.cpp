// rename: Rename file(s), for one file.
#include "cliquestions.h"
#include "command.h"
#include "filenames.h"
#include "invocation.h"
#include "runner.h"

namespace
{

int rename(Invocation &invocation)
{
    const QByteArray &file = invocation.operands().at(0);
    auto groups = collectTargets({file}, false);
    if (groups.size() != 1 || groups.front().names.size() != 1)
        invocation.usage("rename takes a FILE, not a folder: '" + file.toStdString() + "'");
    CliQuestions questions;
    questions.newName = decodeFileName(invocation.operands().at(1));
    return runOnFiles(invocation, CommandKind::RenameByPrompt, groups, questions);
}

const CommandRegistration registration({
    "rename",
    50,
    "FILE NEWNAME",
    2,
    2,
    "Rename file(s) for one file: FILE gets the name NEWNAME in its folder.",
    "NEWNAME is taken as it is, byte for byte, as the rename prompt takes it; it must not be "
    "empty, start with \".\" or hold \"/\", and a file of that name is never replaced.",
    {},
    rename,
});

} // namespace
