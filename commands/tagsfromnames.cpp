#include "tagsfromnames.h"

#include "filelist.h"
#include "filenames.h"
#include "tagfile.h"
#include "tagworkspace.h"
#include "textcuts.h"

#include <QFile>

namespace
{

constexpr int kTagTextWidth = 30;
const std::string kSeparator = " - ";

QString latin1(const std::string &text)
{
    return QString::fromLatin1(text.data(), qsizetype(text.size()));
}

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
    const std::string text = toLatin1Text(name);
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
        ws.SongArtist = toLatin1Text(artist);
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

void tagsFromFileNames(FileList &list, const NamingOptions &options, const LongTitlePrompt &prompt)
{
    TagWorkspace &ws = tagWorkspace();
    const std::string album = toLatin1Text(options.album);
    const std::string year = toLatin1Text(options.year);
    const std::string comment = toLatin1Text(options.comment);
    const std::string genre = toLatin1Text(options.genre);

    walkSelection(list, [&](int, const QString &name) {
        titleAndArtistFromName(name, options.pattern, options.artist);
        ws.SongAlbum = album;
        ws.SongYear = year;
        ws.SongComment = comment;
        ws.SongGenreByte = 255; // an unknown genre name stores "(none)", not a stale byte
        ws.SongGenre = genre;

        if (options.askForLongTitles && ws.SongTitle.size() > std::size_t(kTagTextWidth) &&
            prompt) {
            const LongTitleQuestion question{
                name,
                latin1(ws.SongTitle.substr(0, kTagTextWidth)),
                latin1(ws.SongArtist),
                latin1(ws.SongAlbum),
                latin1(ws.SongYear),
                latin1(ws.SongComment),
                latin1(ws.SongGenre),
            };
            if (const auto answer = prompt(question)) {
                ws.SongTitle = toLatin1Text(answer->title);
                ws.SongComment = toLatin1Text(answer->comment);
            }
        }

        WriteTagFile(encodeFileName(name).toStdString());
    });
}
