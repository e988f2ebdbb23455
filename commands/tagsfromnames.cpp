#include "tagsfromnames.h"

#include "changes.h"
#include "filelist.h"
#include "filenames.h"
#include "genres.h"
#include "id3v2door.h"
#include "questions.h"
#include "tagfile.h"
#include "tagtext.h"
#include "tagworkspace.h"
#include "textcuts.h"

namespace
{

constexpr int kTagTextWidth = 30;
const std::string kSeparator = " - ";

} // namespace

void SplitArtistTitle()
{
    TagWorkspace &ws = tagWorkspace();
    const int len = int(ws.WorkName.size());
    ws.WorkPos = positionOf(kSeparator, ws.WorkName);
    if (ws.WorkPos == 0) {
        ws.SongArtist.clear();
        ws.SongTitle = copyText(ws.WorkName, 1, len - 4);
        return;
    }
    ws.SongArtist = copyText(ws.WorkName, 1, ws.WorkPos - 1);
    ws.SongTitle = copyText(ws.WorkName, ws.WorkPos + 3, len - ws.WorkPos - 6);
}

void titleAndArtistFromName(const QString &name, int pattern, const QString &artist)
{
    TagWorkspace &ws = tagWorkspace();
    const std::string text = toTagText(name);
    const int len = int(text.size());
    switch (pattern) {
    case PatternTrackArtistSong:
        ws.WorkName = copyText(text, 5, len - 4);
        SplitArtistTitle();
        break;
    case PatternArtistSong:
        ws.WorkName = text;
        SplitArtistTitle();
        break;
    default:
        ws.SongArtist = toTagText(artist);
        ws.SongTitle = copyText(text, 5, len - 8);
        break;
    }
}

std::optional<FolderGuess> guessFromDirectoryName(bool optionChecked, int pattern,
                                                  const QString &folderPath, bool hasFiles)
{
    if (!optionChecked || pattern != PatternTrackSong)
        return std::nullopt;
    const QString folder = folderPath.mid(folderPath.lastIndexOf(QLatin1Char('/')) + 1);
    const int pos = positionOf(QStringLiteral(" - "), folder);
    if (pos == 0 || !hasFiles)
        return FolderGuess{};
    return FolderGuess{copyText(folder, 1, pos - 1).left(kTagTextWidth),
                       copyText(folder, pos + 3, int(folder.size()) - pos - 2).left(kTagTextWidth)};
}

namespace
{

// The fields every file of the run gets, as tag text.
struct OtherFields {
    std::string album, year, comment, genre;

    void fill(TagWorkspace &ws) const
    {
        ws.SongAlbum = album;
        ws.SongYear = year;
        ws.SongComment = comment;
        ws.SongGenreByte = 255; // an unknown genre name stores "(none)", not a stale byte
        ws.SongGenre = genre;
    }
};

QByteArray bytesOf(const std::array<std::uint8_t, 128> &tag)
{
    return QByteArray(reinterpret_cast<const char *>(tag.data()), 128);
}

} // namespace

std::optional<JournalTag> plannedTagWrite(const Folder &folder, const QByteArray &name,
                                          const std::array<std::uint8_t, 128> &tag)
{
    const auto state = readTagFileState(folder.fd(), name.toStdString());
    if (!state)
        return std::nullopt; // the write finds out for itself
    return plannedTagWrite(folder, name, tag, *state);
}

JournalTag plannedTagWrite(const Folder &folder, const QByteArray &name,
                           const std::array<std::uint8_t, 128> &tag, const TagFileState &state)
{
    return JournalTag{folder.pathOf(name), state.size,   bytesOf(state.last),
                      !state.hasTag(),     bytesOf(tag), state.identity};
}

WalkReport tagsFromFileNames(const Folder &folder, FileList &list, const NamingOptions &options,
                             CommandQuestions &questions, const WalkControl &control)
{
    const OtherFields others{toTagText(options.album), toTagText(options.year),
                             toTagText(options.comment), toTagText(options.genre)};
    // Each file's title, artist and tag are worked out ahead, on the worker, in a workspace of
    // its own, and the write foreseen from the file's end as it is then.
    const PrepareFile prepare = [others, pattern = options.pattern,
                                 artist = options.artist](const Folder &in, PreparedFile &file) {
        titleAndArtistFromName(file.name, pattern, artist);
        TagWorkspace &here = tagWorkspace();
        file.title = here.SongTitle;
        file.artist = here.SongArtist;
        others.fill(here);
        file.tag = tagToWrite();
        const auto state = readTagFileState(in.fd(), file.encoded.toStdString());
        if (state)
            file.change = plannedTagWrite(in, file.encoded, file.tag, *state);
        // Only a file that begins with an ID3v2 tag is read again for it.
        file.extra = state && std::equal(state->first.begin(), state->first.end(), "ID3") &&
                     id3v2DiffersFrom(in, file.encoded, file.tag);
    };
    return walkInBlocks(
        folder, list, prepare,
        [&](PreparedFile &file, const ChangeContext &context) {
            TagWorkspace &ws = tagWorkspace();
            ws.SongTitle = std::move(file.title);
            ws.SongArtist = std::move(file.artist);
            others.fill(ws);
            std::array<std::uint8_t, 128> tag = file.tag;
            const bool longTitle = ws.SongTitle.size() > std::size_t(kTagTextWidth);
            if (options.askForLongTitles && longTitle) {
                const LongTitleQuestion question{
                    file.name,
                    fromTagText(ws.SongTitle.substr(0, kTagTextWidth)),
                    fromTagText(ws.SongArtist),
                    fromTagText(ws.SongAlbum),
                    fromTagText(ws.SongYear),
                    fromTagText(ws.SongComment),
                    fromTagText(ws.SongGenre),
                };
                if (const auto answer = questions.askLongTitle(question)) {
                    ws.SongTitle = toTagText(answer->title);
                    ws.SongComment = toTagText(answer->comment);
                }
                tag = tagToWrite();
            } else {
                (void)tagToWrite(); // the workspace's buffers as the write leaves them
            }
            const auto *planned = file.change ? std::get_if<JournalTag>(&*file.change) : nullptr;
            FileOutcome outcome = tagOutcome(writeTag(context, file.encoded, tag, planned));
            if (outcome.done && ws.SongTitle.size() > std::size_t(kTagTextWidth))
                outcome.note = QStringLiteral("title cut to its first 30 characters");
            // As foreseen, unless a question changed the tag.
            outcome.id3v2Differs = tag == file.tag
                                       ? std::any_cast<bool>(file.extra)
                                       : id3v2DiffersFrom(context.folder, file.encoded, tag);
            return outcome;
        },
        control);
}
