#include "id3v1fromid3v2.h"

#include "changes.h"
#include "filenames.h"
#include "fromid3v2.h"
#include "id3v2reader.h"
#include "ioerror.h"
#include "tagsfromnames.h"
#include "tagworkspace.h"

WalkReport id3v1FromId3v2(const Folder &folder, FileList &list, const WalkControl &control)
{
    // The ID3v2 tag is read and the new tag made ahead, on the worker, in a workspace of its own.
    const PrepareFile prepare = [](const Folder &in, PreparedFile &file) {
        Id3v2Info info;
        try {
            info = readId3v2At(in.fd(), file.encoded.toStdString());
        } catch (const IoError &e) {
            if (e.errorNumber() != 2)
                throw;
            // Gone since the list was read: passed over, as the tag writer does.
            file.leftReason = QStringLiteral("file not found");
            return;
        }
        if (!info.present) {
            file.leftReason = QStringLiteral("no ID3v2 tag");
            return;
        }
        if (!info.read) {
            file.leftReason = QStringLiteral("ID3v2 tag too large");
            return;
        }
        const Id3v1Fields fields = id3v1FieldsFromId3v2(info.text);
        if (fields.title.empty() && fields.artist.empty() && fields.album.empty() &&
            fields.year.empty() && fields.comment.empty() && fields.genre == "(none)") {
            file.leftReason = QStringLiteral("nothing in the ID3v2 tag");
            return;
        }
        TagWorkspace &here = tagWorkspace();
        storeId3v1Fields(fields, here);
        file.tag = tagToWrite();
        if (auto planned = plannedTagWrite(in, file.encoded, file.tag))
            file.change = std::move(*planned);
    };
    return walkInBlocks(
        folder, list, prepare,
        [](PreparedFile &file, const ChangeContext &context) {
            if (!file.leftReason.isEmpty())
                return FileOutcome::leftAsItWas(file.leftReason);
            const auto *planned = file.change ? std::get_if<JournalTag>(&*file.change) : nullptr;
            return tagOutcome(writeTag(context, file.encoded, file.tag, planned));
        },
        control);
}
