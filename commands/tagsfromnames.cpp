#include "tagsfromnames.h"

#include "changerecorder.h"
#include "changes.h"
#include "filelist.h"
#include "filenames.h"
#include "genres.h"
#include "questions.h"
#include "tagfile.h"
#include "tagtext.h"
#include "tagworkspace.h"
#include "textcuts.h"

#include <QFile>
#include <deque>
#include <mutex>

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

WalkReport tagsFromFileNames(FileList &list, const NamingOptions &options,
                             CommandQuestions &questions, const WalkControl &control)
{
    TagWorkspace &ws = tagWorkspace();
    const std::string album = toTagText(options.album);
    const std::string year = toTagText(options.year);
    const std::string comment = toTagText(options.comment);
    const std::string genre = toTagText(options.genre);

    // The fields every file gets, in the workspace of the calling thread.
    const auto fillOthers = [&] {
        TagWorkspace &here = tagWorkspace();
        here.SongAlbum = album;
        here.SongYear = year;
        here.SongComment = comment;
        here.SongGenreByte = 255; // an unknown genre name stores "(none)", not a stale byte
        here.SongGenre = genre;
    };
    // The journal's plan works out each file's title and artist ahead, in the walk's order and
    // maybe on another thread; the walk takes them from there rather than working them out
    // again.
    struct Foreseen {
        QString name;
        std::string title;
        std::string artist;
    };
    std::deque<Foreseen> foreseen;
    std::mutex foreseenLock;
    const auto fill = [&](const QString &name) {
        {
            std::lock_guard<std::mutex> lock(foreseenLock);
            while (!foreseen.empty() && foreseen.front().name != name)
                foreseen.pop_front(); // passed over
            if (!foreseen.empty()) {
                ws.SongTitle = std::move(foreseen.front().title);
                ws.SongArtist = std::move(foreseen.front().artist);
                foreseen.pop_front();
                fillOthers();
                return;
            }
        }
        titleAndArtistFromName(name, options.pattern, options.artist);
        fillOthers();
    };
    WalkControl planning = control;
    if (ChangeRecorder *recorder = currentRecorder()) {
        // Each file's tag is foreseen as written without a question, a block at a time.
        planning = recorder->planningWalk(
            control, [&](const QString &name) -> std::optional<PlannedChange> {
                titleAndArtistFromName(name, options.pattern, options.artist);
                const TagWorkspace &here = tagWorkspace();
                {
                    std::lock_guard<std::mutex> lock(foreseenLock);
                    foreseen.push_back({name, here.SongTitle, here.SongArtist});
                }
                fillOthers();
                const auto bytes = tagToWrite();
                return plannedTagWriteHeld(
                    name, QByteArray(reinterpret_cast<const char *>(bytes.data()), 128));
            });
    }

    return walkSelection(
        list,
        [&](const QString &name) {
            fill(name);

            if (options.askForLongTitles && ws.SongTitle.size() > std::size_t(kTagTextWidth)) {
                const LongTitleQuestion question{
                    name,
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
            }

            if (!writeTag(name).written)
                return FileOutcome::leftAsItWas(QStringLiteral("file not found"));
            return FileOutcome::changed();
        },
        planning);
}
