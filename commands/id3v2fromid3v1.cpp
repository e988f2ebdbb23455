#include "id3v2fromid3v1.h"

#include "id3v2door.h"
#include "id3v2reader.h"
#include "id3v2update.h"
#include "ioerror.h"

WalkReport id3v2FromId3v1(const Folder &folder, FileList &list, const WalkControl &control)
{
    // Both tags are read, the fields decided and the new tag rendered ahead, on the worker.
    const PrepareFile prepare = [](const Folder &in, PreparedFile &file) {
        Id3v2FileState state;
        try {
            state = readId3v2FileState(in, file.encoded);
        } catch (const IoError &e) {
            if (e.errorNumber() != 2)
                throw;
            file.leftReason = QStringLiteral("file not found"); // gone since the list was read
            return;
        }
        if (!state.hasLast || std::memcmp(state.last.data(), "TAG", 3) != 0) {
            file.leftReason = QStringLiteral("no ID3v1 tag");
            return;
        }
        const Id3v2Info info =
            parseId3v2(reinterpret_cast<const std::uint8_t *>(state.tag.constData()),
                       std::size_t(state.tag.size()));
        const Id3v2Update update = id3v2UpdateFromId3v1(id3v1FieldsOfTag(state.last), info.text);
        if (writesNothing(update)) {
            file.leftReason = QString::fromLatin1(kAlreadyInStep);
            return;
        }
        const Id3v2Rendering rendering =
            renderId3v2(reinterpret_cast<const std::uint8_t *>(state.tag.constData()),
                        std::size_t(state.tag.size()), update);
        if (!rendering.written) {
            file.leftReason = QString::fromStdString(rendering.reason);
            return;
        }
        file.extra = update;
        if (!rendering.inPlace && state.status.links > 1)
            return; // the door gives the reason, and records nothing ahead
        file.change = plannedId3v2Write(in, file.encoded, state, rendering);
    };
    return walkInBlocks(
        folder, list, prepare,
        [](PreparedFile &file, const ChangeContext &context) {
            if (!file.leftReason.isEmpty())
                return FileOutcome::leftAsItWas(file.leftReason);
            const auto *planned = file.change ? std::get_if<JournalId3v2>(&*file.change) : nullptr;
            return writeId3v2(context, file.encoded, std::any_cast<const Id3v2Update &>(file.extra),
                              planned);
        },
        control);
}
