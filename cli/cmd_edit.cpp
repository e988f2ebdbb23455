// edit: Edit tag(s) without the dialog.
#include "cliquestions.h"
#include "command.h"
#include "invocation.h"
#include "runner.h"
#include "tagoptions.h"

namespace
{

int edit(Invocation &invocation)
{
    CliQuestions questions;
    questions.fields = {
        tagTextOption(invocation, kTitleOption),   tagTextOption(invocation, kArtistOption),
        tagTextOption(invocation, kAlbumOption),   yearOption(invocation),
        tagTextOption(invocation, kCommentOption), genreOption(invocation)};
    const auto groups =
        collectTargets(invocation.operands(), invocation.flag(kRecursiveOption.longName));
    return runOnFiles(invocation, CommandKind::EditTags, groups, questions);
}

const CommandRegistration registration({
    "edit",
    20,
    "FILE|FOLDER...",
    1,
    -1,
    "Edit tag(s) without the dialog: sets the fields given and keeps the others.",
    "Each file gets the fields given; the others keep what the tag editor shows for the file "
    "(its own tag, or for a file without one the fields from its ID3v2 tag). A file without a "
    "tag gets one, with the genre \"(none)\" unless one is given. Only the last 128 bytes of a "
    "file change.",
    {kTitleOption, kArtistOption, kAlbumOption, kYearOption, kCommentOption, kGenreOption,
     kRecursiveOption},
    edit,
});

} // namespace
