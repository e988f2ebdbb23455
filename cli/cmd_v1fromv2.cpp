// v1-from-v2: ID3v1 from ID3v2.
#include "cliquestions.h"
#include "command.h"
#include "invocation.h"
#include "runner.h"

namespace
{

int v1FromV2(Invocation &invocation)
{
    CliQuestions questions;
    const auto groups =
        collectTargets(invocation.operands(), invocation.flag(kRecursiveOption.longName));
    return runOnFiles(invocation, CommandKind::Id3v1FromId3v2, groups, questions);
}

const CommandRegistration registration({
    "v1-from-v2",
    70,
    "FILE|FOLDER...",
    1,
    -1,
    "ID3v1 from ID3v2: writes each file's ID3v1 tag from its ID3v2 tag.",
    "Title, artist, album and comment (characters outside Latin-1 as \"?\", at most 30), the "
    "year's first four characters and a genre of the list. A file without an ID3v2 tag, or "
    "with none of these texts in it, is left as it is. The ID3v2 tag itself is never written.",
    {kRecursiveOption},
    v1FromV2,
});

} // namespace
