#include "id3v1fromid3v2.h"

#include "changes.h"
#include "filenames.h"
#include "fromid3v2.h"
#include "id3v2reader.h"
#include "ioerror.h"
#include "tagworkspace.h"

WalkReport id3v1FromId3v2(FileList &list, const WalkControl &control)
{
    return walkSelection(
        list,
        [](const QString &name) {
            Id3v2Info info;
            try {
                info = readId3v2(encodeFileName(name).toStdString());
            } catch (const IoError &e) {
                if (e.errorNumber() != 2)
                    throw;
                // Gone since the list was read: passed over, as the tag writer does.
                return FileOutcome::leftAsItWas(QStringLiteral("file not found"));
            }
            if (!info.present)
                return FileOutcome::leftAsItWas(QStringLiteral("no ID3v2 tag"));
            if (!info.read)
                return FileOutcome::leftAsItWas(QStringLiteral("ID3v2 tag too large"));
            const Id3v1Fields fields = id3v1FieldsFromId3v2(info.text);
            if (fields.title.empty() && fields.artist.empty() && fields.album.empty() &&
                fields.year.empty() && fields.comment.empty() && fields.genre == "(none)")
                return FileOutcome::leftAsItWas(QStringLiteral("nothing in the ID3v2 tag"));
            storeId3v1Fields(fields, tagWorkspace());
            return writeTag(name).written
                       ? FileOutcome::changed()
                       : FileOutcome::leftAsItWas(QStringLiteral("file not found"));
        },
        control);
}
