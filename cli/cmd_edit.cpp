// edit: Edit tag(s) without the dialog.
#include "changes.h"
#include "cliquestions.h"
#include "command.h"
#include "edittags.h"
#include "id3v2door.h"
#include "invocation.h"
#include "runner.h"
#include "tagfile.h"
#include "tagoptions.h"
#include "tagsfromnames.h"
#include "tagtext.h"
#include "tagworkspace.h"

namespace
{

// The edit dialog's steps for each file (its view read, the answer put into the workspace, the
// tag written through the tag door), as editTags takes them, with the answer known ahead: each
// block's views are read and its writes foreseen on the walk's worker and recorded with one
// flush, as TAG'EM!'s are, instead of one flush per file. The bytes written are those the
// dialog's Save writes (the tests compare them with the window's command). A file that another
// program changes between the read and the write gets the fields as read, as one changed while
// the dialog is open does; the door records what it really replaced either way.
WalkReport editGiven(const CommandRequest &request, const WalkControl &control,
                     const CliQuestions &questions)
{
    beforeCommand(request, control);
    const CliQuestions::Fields fields = questions.fields;
    const PrepareFile prepare = [fields](const Folder &in, PreparedFile &file) {
        CliQuestions given;
        given.fields = fields;
        // The fields as the editor shows them; its length line is not needed here.
        std::optional<TagFileState> end;
        const TagEditView view = readTagEditView(in, file.name, AudioLength::Estimate, &end);
        const std::optional<TagTexts> entered = given.editTag(view);
        TagWorkspace &ws = tagWorkspace(); // this thread's, as the view left it
        ws.SongTitle = toTagText(entered->title);
        ws.SongArtist = toTagText(entered->artist);
        ws.SongAlbum = toTagText(entered->album);
        ws.SongYear = toTagText(entered->year);
        ws.SongComment = toTagText(entered->comment);
        ws.SongGenre = toTagText(entered->genre);
        file.tag = tagToWrite();
        // Foreseen from the end the view's reads saw, looked at again only where they did not.
        if (end)
            file.change = plannedTagWrite(in, file.encoded, file.tag, *end);
        else if (auto planned = plannedTagWrite(in, file.encoded, file.tag))
            file.change = std::move(*planned);
        // Only a file that has an ID3v2 tag (the view's line tells of it) can differ from it.
        file.extra = !view.info.value(2).isEmpty() && id3v2DiffersFrom(in, file.encoded, file.tag);
    };
    return walkInBlocks(
        request.folder, *request.files, prepare,
        [](PreparedFile &file, const ChangeContext &context) {
            const auto *planned = file.change ? std::get_if<JournalTag>(&*file.change) : nullptr;
            const TagWriteOutcome write = writeTag(context, file.encoded, file.tag, planned);
            if (!write.written)
                return FileOutcome::leftAsItWas(QStringLiteral("not saved"));
            FileOutcome outcome = tagOutcome(write);
            outcome.id3v2Differs = std::any_cast<bool>(file.extra);
            return outcome;
        },
        control);
}

int edit(Invocation &invocation)
{
    CliQuestions questions;
    questions.fields = {
        tagTextOption(invocation, kTitleOption),   tagTextOption(invocation, kArtistOption),
        tagTextOption(invocation, kAlbumOption),   yearOption(invocation),
        tagTextOption(invocation, kCommentOption), genreOption(invocation)};
    const auto groups =
        collectTargets(invocation.operands(), invocation.flag(kRecursiveOption.longName));
    return runOnFiles(invocation, CommandKind::EditTags, groups, questions, {},
                      [&](const CommandRequest &request, const WalkControl &control) {
                          return editGiven(request, control, questions);
                      });
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
