#include "edittags.h"

#include "changes.h"
#include "filenames.h"
#include "questions.h"
#include "tagfile.h"
#include "tagtext.h"
#include "tagworkspace.h"

namespace
{

TagEditView viewOfWorkspace(const QString &fileName)
{
    const TagWorkspace &ws = tagWorkspace();
    TagEditView view;
    view.fileName = fileName;
    view.tag = {fromTagText(ws.SongTitle), fromTagText(ws.SongArtist),  fromTagText(ws.SongAlbum),
                fromTagText(ws.SongYear),  fromTagText(ws.SongComment), fromTagText(ws.SongGenre)};
    view.info = {
        QStringLiteral("Size: ") + fromTagText(ws.InfoSize) + QStringLiteral(" bytes"),
        QStringLiteral("Length: ") + fromTagText(ws.InfoLength) + QStringLiteral(" minutes"),
        QString(),
        fromTagText(ws.InfoVersion),
        fromTagText(ws.InfoBitrate),
        fromTagText(ws.InfoSampleRate),
        fromTagText(ws.InfoChannelMode),
    };
    return view;
}

} // namespace

bool editTagOfFile(const QString &fileName, CommandQuestions &questions)
{
    TagWorkspace &ws = tagWorkspace();
    ws.clearForEdit();
    ReadTagFile(encodeFileName(fileName).toStdString());

    const std::optional<TagTexts> entered = questions.editTag(viewOfWorkspace(fileName));
    if (!entered)
        return false;
    ws.SongTitle = toTagText(entered->title);
    ws.SongArtist = toTagText(entered->artist);
    ws.SongAlbum = toTagText(entered->album);
    ws.SongYear = toTagText(entered->year);
    ws.SongComment = toTagText(entered->comment);
    ws.SongGenre = toTagText(entered->genre);
    return writeTag(fileName).written;
}

WalkReport editTags(FileList &list, CommandQuestions &questions, const WalkControl &control)
{
    return walkSelection(
        list,
        [&](const QString &name) {
            return editTagOfFile(name, questions)
                       ? FileOutcome::changed()
                       : FileOutcome::leftAsItWas(QStringLiteral("not saved"));
        },
        control);
}
