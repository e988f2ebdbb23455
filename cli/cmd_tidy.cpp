// tidy: Trim filename(s).
#include "cliquestions.h"
#include "command.h"
#include "invocation.h"
#include "runner.h"
#include "tagoptions.h"

namespace
{

int tidy(Invocation &invocation)
{
    const int pattern = formatOption(invocation);
    CliQuestions questions;
    const auto groups =
        collectTargets(invocation.operands(), invocation.flag(kRecursiveOption.longName));
    return runOnFiles(
        invocation, CommandKind::TidyNames, groups, questions,
        [pattern](CommandRequest &request, const FileGroup &) { request.tidyPattern = pattern; });
}

const CommandRegistration registration({
    "tidy",
    40,
    "FILE|FOLDER...",
    1,
    -1,
    "Trim filename(s): a leading track number as \"01. \", blanks for underscores, each word "
    "capitalised, the extension \".mp3\".",
    "With format 2 (\"Artist - Song.mp3\") a name's leading digits are no track number. A name "
    "already tidy is left as it is (that is nothing to do: the exit status stays 0); a file is "
    "never renamed over another one.",
    {kFormatOption, kRecursiveOption},
    tidy,
});

} // namespace
