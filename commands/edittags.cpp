#include "edittags.h"

#include "changes.h"
#include "filenames.h"
#include "fromid3v2.h"
#include "id3v2door.h"
#include "questions.h"
#include "tagfile.h"
#include "tagtext.h"
#include "tagworkspace.h"

#include <algorithm>

namespace
{

TagEditView viewOfWorkspace(const QString &fileName, const Id3v2Info &id3v2)
{
    const TagWorkspace &ws = tagWorkspace();
    TagEditView view;
    view.fileName = fileName;
    view.tag = {fromTagText(ws.SongTitle), fromTagText(ws.SongArtist),  fromTagText(ws.SongAlbum),
                fromTagText(ws.SongYear),  fromTagText(ws.SongComment), fromTagText(ws.SongGenre)};
    view.info = {
        QStringLiteral("Size: ") + fromTagText(ws.InfoSize) + QStringLiteral(" bytes"),
        QStringLiteral("Length: ") + fromTagText(ws.InfoLength) + QStringLiteral(" minutes"),
        QString::fromStdString(id3v2InfoLine(id3v2)),
        fromTagText(ws.InfoVersion),
        fromTagText(ws.InfoBitrate),
        fromTagText(ws.InfoSampleRate),
        fromTagText(ws.InfoChannelMode),
    };
    return view;
}

} // namespace

bool editTagOfFile(const ChangeContext &context, const QString &fileName,
                   CommandQuestions &questions)
{
    const auto write = editTagOfFileReporting(context, fileName, questions);
    return write && write->written;
}

TagEditView readTagEditView(const Folder &folder, const QString &fileName)
{
    TagWorkspace &ws = tagWorkspace();
    const std::string path = encodeFileName(fileName).toStdString();
    const int dirfd = folder.fd();
    ws.clearForEdit();
    std::fill_n(ws.TagBuffer.begin(), 3, 0); // the reader puts "TAG" there for a tag it read
    // One file shown: the frames of a variable-bitrate file without a VBR header are counted.
    ReadTagFileAt(dirfd, path, AudioLength::CountFrames);
    const bool hasId3v1 = std::equal(ws.TagBuffer.begin(), ws.TagBuffer.begin() + 3, "TAG");

    // An empty tag is filled from the ID3v2 tag; for a file with a tag, only its header is read
    // for the information line.
    const Id3v2Info id3v2 = hasId3v1 ? readId3v2HeaderAt(dirfd, path) : readId3v2At(dirfd, path);
    if (id3v2.read)
        storeId3v1Fields(id3v1FieldsFromId3v2(id3v2.text), ws);
    return viewOfWorkspace(fileName, id3v2);
}

std::optional<TagWriteOutcome> editTagOfFileReporting(const ChangeContext &context,
                                                      const QString &fileName,
                                                      CommandQuestions &questions)
{
    TagWorkspace &ws = tagWorkspace();
    const std::optional<TagTexts> entered =
        questions.editTag(readTagEditView(context.folder, fileName));
    if (!entered)
        return std::nullopt;
    ws.SongTitle = toTagText(entered->title);
    ws.SongArtist = toTagText(entered->artist);
    ws.SongAlbum = toTagText(entered->album);
    ws.SongYear = toTagText(entered->year);
    ws.SongComment = toTagText(entered->comment);
    ws.SongGenre = toTagText(entered->genre);
    return writeTag(context, encodeFileName(fileName), tagToWrite());
}

WalkReport editTags(const Folder &folder, FileList &list, CommandQuestions &questions,
                    const WalkControl &control)
{
    return walkInBlocks(
        folder, list, {},
        [&](PreparedFile &file, const ChangeContext &context) {
            const auto write = editTagOfFileReporting(context, file.name, questions);
            if (!write || !write->written)
                return FileOutcome::leftAsItWas(QStringLiteral("not saved"));
            FileOutcome outcome = tagOutcome(*write);
            outcome.id3v2Differs = id3v2DiffersFrom(context.folder, file.encoded, write->newBytes);
            return outcome;
        },
        control);
}
