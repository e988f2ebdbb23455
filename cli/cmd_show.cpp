// show: each file's ID3v1 tag and the audio information, as the edit dialog shows them.
#include "command.h"
#include "edittags.h"
#include "filenames.h"
#include "folder.h"
#include "invocation.h"
#include "jsonline.h"
#include "output.h"
#include "questions.h"
#include "reporttext.h"
#include "runner.h"
#include "signals.h"
#include "tagfields.h"
#include "targets.h"

namespace
{

void tell(Output &out, const FileGroup &group, const QByteArray &name, const TagEditView &view)
{
    TagTexts tag = view.tag;
    if (tag.genre.isEmpty()) // a byte the dialog shows no name for: "(none)", or none at all
        tag.genre = genreNameOfByte(view.genreByte);
    const QString id3v2 = view.info.value(2);
    if (out.json()) {
        JsonLine object;
        object.addName("path", group.folder == "/" ? "/" + name : group.folder + '/' + name)
            .addName("name", name)
            .addName("folder", group.folder)
            .add("id3v1", view.hasId3v1)
            .add("tag", tagObject(tag, view.genreByte))
            .add("info", view.info);
        if (id3v2.isEmpty())
            object.addNull("id3v2");
        else
            object.add("id3v2", id3v2);
        out.fileObject(object);
        return;
    }
    QByteArray block;
    block.reserve(512);
    block += displayBytes(group.shown + name);
    const auto line = [&](const char *label, QStringView value) {
        block += label;
        appendDisplay(block, value);
    };
    // The view's own lines say where the fields came from when the file has no ID3v1 tag.
    block += view.hasId3v1 ? "\n  ID3v1:   tag" : "\n  ID3v1:   none";
    line("\n  Title:   ", tag.title);
    line("\n  Artist:  ", tag.artist);
    line("\n  Album:   ", tag.album);
    line("\n  Year:    ", tag.year);
    line("\n  Comment: ", tag.comment);
    block += "\n  Genre:   ";
    block += genreText(tag.genre, view.genreByte);
    for (const QString &info : view.info) {
        if (!info.isEmpty())
            line("\n  ", info);
    }
    if (id3v2.isEmpty())
        block += "\n  No ID3v2 tag";
    out.fileLine(block);
}

int show(Invocation &invocation)
{
    const std::vector<FileGroup> groups =
        collectTargets(invocation.operands(), invocation.flag(kRecursiveOption.longName));
    Output &out = invocation.out();
    WalkReport report;
    report.total = int(fileCount(groups));
    QString error;
    QByteArray failed;
    for (const FileGroup &group : groups) {
        if (report.stopped)
            break;
        EncodedNames::Reader names(group.names);
        try {
            const Folder folder = Folder::open(group.folder);
            while (names.next()) {
                if (stopRequested().load()) {
                    report.stopped = true;
                    break;
                }
                const QByteArray name = QByteArray::fromStdString(names.name());
                failed = group.shown + name;
                tell(out, group, name, readTagEditView(folder, decodeFileName(name)));
                ++report.done;
                if (out.showsProgress())
                    out.progress(QStringLiteral("Reading ") + countText(report.done) +
                                 QStringLiteral(" of ") + countText(report.total));
            }
        } catch (const IoError &e) {
            error = QString::fromLocal8Bit(e.what());
            if (failed.isEmpty())
                failed = group.folder;
            break;
        }
        failed.clear();
    }
    Summary summary;
    summary.done = report.done;
    summary.total = report.total;
    summary.stopped = report.stopped;
    summary.text = countText(report.done) + (report.done == 1 ? QStringLiteral(" file shown")
                                                              : QStringLiteral(" files shown"));
    if (report.total == 0)
        summary.text += QStringLiteral(": no MP3 files found");
    if (report.stopped)
        summary.text += QStringLiteral(", stopped after ") + countText(report.done) +
                        QStringLiteral(" of ") + countText(report.total);
    int status = report.stopped ? stoppedStatus() : 0;
    if (!error.isEmpty()) {
        summary.error = error;
        summary.text += QStringLiteral("; stopped by an error: ") + error;
        out.message(decodeFileName(failed) + QStringLiteral(": ") + error);
        status = 3;
    }
    return finish(invocation, summary, status);
}

const CommandRegistration registration({
    "show",
    10,
    "FILE|FOLDER...",
    1,
    -1,
    "Show each file's ID3v1 tag and audio information, as the tag editor does. Changes nothing.",
    "For each file: title, artist, album, year, comment, the genre by name and by its byte, "
    "then the size, the playing time, the ID3v2 tag's version and size, the MPEG version and "
    "layer, the bitrate, the sample rate and the channel mode (the frames of a file of variable "
    "bitrate counted as the editor counts them). A file without an ID3v1 tag shows the fields "
    "the editor would fill in from its ID3v2 tag.",
    {kRecursiveOption},
    show,
});

} // namespace
