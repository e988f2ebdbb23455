#include "edittags.h"

#include "changes.h"
#include "filenames.h"
#include "fromid3v2.h"
#include "id3v2door.h"
#include "id3v2reader.h"
#include "id3v2update.h"
#include "questions.h"
#include "tagfile.h"
#include "tagtext.h"
#include "tagworkspace.h"

#include <algorithm>

namespace
{

// What the information box says of the ID3v2 tag: its version and size, and whether it says
// otherwise than the ID3v1 tag shown, which players would not show ("ID3v2.3: 4,096 bytes,
// differs from ID3v1").
QString id3v2Line(const Id3v2Info &id3v2, bool differs)
{
    QString line = QString::fromStdString(id3v2InfoLine(id3v2));
    if (differs)
        line += QStringLiteral(", differs from ID3v1");
    return line;
}

// Said when the fields shown were made from the ID3v2 tag (the file has no ID3v1 tag), naming
// those cut to the ID3v1 tag's 30 characters: "Fields from the ID3v2 tag; title, album cut to 30
// characters". Empty when the ID3v2 tag gave nothing.
QString filledFromId3v2Line(const Id3v2Text &text, const Id3v1Fields &fields)
{
    if (fields.title.empty() && fields.artist.empty() && fields.album.empty() &&
        fields.year.empty() && fields.comment.empty() && fields.genre == "(none)")
        return {};
    QString line = QStringLiteral("Fields from the ID3v2 tag");
    QStringList cut;
    for (const std::string &name : id3v2FieldsCut(text))
        cut << QString::fromStdString(name);
    if (!cut.isEmpty())
        line += QStringLiteral("; ") + cut.join(QStringLiteral(", ")) +
                QStringLiteral(" cut to 30 characters");
    return line;
}

TagEditView viewOfWorkspace(const QString &fileName, const QString &id3v2, const QString &filled)
{
    const TagWorkspace &ws = tagWorkspace();
    TagEditView view;
    view.fileName = fileName;
    view.tag = {fromTagText(ws.SongTitle), fromTagText(ws.SongArtist),  fromTagText(ws.SongAlbum),
                fromTagText(ws.SongYear),  fromTagText(ws.SongComment), fromTagText(ws.SongGenre)};
    view.info = {
        QStringLiteral("Size: ") + fromTagText(ws.InfoSize) + QStringLiteral(" bytes"),
        QStringLiteral("Length: ") + fromTagText(ws.InfoLength) + QStringLiteral(" minutes"),
        id3v2,
        fromTagText(ws.InfoVersion),
        fromTagText(ws.InfoBitrate),
        fromTagText(ws.InfoSampleRate),
        fromTagText(ws.InfoChannelMode),
    };
    // Right below the tag's line, where it is seen first.
    if (!filled.isEmpty())
        view.info.insert(3, filled);
    return view;
}

} // namespace

bool editTagOfFile(const ChangeContext &context, const QString &fileName,
                   CommandQuestions &questions)
{
    const auto write = editTagOfFileReporting(context, fileName, questions);
    return write && write->written;
}

TagEditView readTagEditView(const Folder &folder, const QString &fileName, AudioLength length,
                            std::optional<TagFileState> *endState)
{
    TagWorkspace &ws = tagWorkspace();
    const std::string path = encodeFileName(fileName).toStdString();
    const int dirfd = folder.fd();
    ws.clearForEdit();
    std::fill_n(ws.TagBuffer.begin(), 3, 0); // the reader puts "TAG" there for a tag it read
    // One file shown: the frames of a variable-bitrate file without a VBR header are counted
    // (unless the caller needs only the fields).
    std::string start;
    ReadTagFileAt(dirfd, path, length, nullptr, &start, endState);
    const bool hasId3v1 = std::equal(ws.TagBuffer.begin(), ws.TagBuffer.begin() + 3, "TAG");

    // An empty tag is filled from the ID3v2 tag; a tag read is compared with it. The tag comes
    // from the first bytes the reader read where they hold it all (readId3v2At would read those
    // very bytes first), so most files are opened once.
    const auto *head = reinterpret_cast<const std::uint8_t *>(start.data());
    const bool whole = start.size() < kTagReaderStartBytes; // the file is shorter than that
    const Id3v2Info id3v2 =
        whole || id3v2DeclaredSize(head, start.size()) <= std::int64_t(start.size())
            ? parseId3v2(head, start.size())
            : readId3v2At(dirfd, path);
    QString filled;
    bool differs = false;
    if (id3v2.read && !hasId3v1) {
        const Id3v1Fields fields = id3v1FieldsFromId3v2(id3v2.text);
        storeId3v1Fields(fields, ws);
        filled = filledFromId3v2Line(id3v2.text, fields);
    } else if (id3v2.read) {
        differs = id3v2DiffersFromId3v1(id3v1FieldsOfWorkspace(ws), id3v2.text);
    }
    TagEditView view = viewOfWorkspace(fileName, id3v2Line(id3v2, differs), filled);
    view.hasId3v1 = hasId3v1;
    view.genreByte = ws.SongGenreByte;
    return view;
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
