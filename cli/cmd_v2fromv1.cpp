// v2-from-v1: ID3v2 from ID3v1.
#include "cliquestions.h"
#include "command.h"
#include "invocation.h"
#include "runner.h"

namespace
{

int v2FromV1(Invocation &invocation)
{
    CliQuestions questions;
    const auto groups =
        collectTargets(invocation.operands(), invocation.flag(kRecursiveOption.longName));
    return runOnFiles(invocation, CommandKind::Id3v2FromId3v1, groups, questions);
}

const CommandRegistration registration({
    "v2-from-v1",
    75,
    "FILE|FOLDER...",
    1,
    -1,
    "ID3v2 from ID3v1: writes each file's ID3v2 tag (the one players show) from its ID3v1 tag.",
    "Only the fields that really differ are written (title, artist, album, year, comment, genre); "
    "every other frame stays byte for byte. In place where the new tag fits, else into a new file "
    "that takes the old one's name in one step. A file without an ID3v1 tag, or whose ID3v2 tag "
    "already says all of it, is left as it is.",
    {kRecursiveOption},
    v2FromV1,
});

} // namespace
