// tag: TAG'EM!, the tags from the file names.
#include "cliquestions.h"
#include "command.h"
#include "filenames.h"
#include "invocation.h"
#include "runner.h"
#include "tagoptions.h"

namespace
{

constexpr CliOption kFromFolderName = {
    "from-folder-name", 0, nullptr,
    "With format 0, take the artist and the album from a folder named \"Artist - Album\" (each "
    "folder's own; --artist and --album win over it)."};

int tag(Invocation &invocation)
{
    NamingOptions naming;
    naming.pattern = formatOption(invocation);
    const auto artist = tagTextOption(invocation, kArtistOption);
    const auto album = tagTextOption(invocation, kAlbumOption);
    if (artist && naming.pattern != PatternTrackSong)
        invocation.usage("--artist is for format 0: formats 1 and 2 take the artist from the name");
    naming.artist = artist.value_or(QString());
    naming.album = album.value_or(QString());
    naming.year = yearOption(invocation).value_or(QStringLiteral("    "));
    naming.comment = tagTextOption(invocation, kCommentOption).value_or(QString());
    naming.genre = genreOption(invocation).value_or(QStringLiteral("(none)"));
    naming.askForLongTitles = false; // kept to its first 30 characters, as Cancel does
    const bool fromFolder = invocation.flag(kFromFolderName.longName);

    CliQuestions questions;
    const auto groups =
        collectTargets(invocation.operands(), invocation.flag(kRecursiveOption.longName));
    return runOnFiles(invocation, CommandKind::TagsFromNames, groups, questions,
                      [&](CommandRequest &request, const FileGroup &group) {
                          request.naming = naming;
                          const auto guess = guessFromDirectoryName(fromFolder, naming.pattern,
                                                                    decodeFileName(group.folder),
                                                                    !group.names.isEmpty());
                          if (!guess)
                              return;
                          if (!artist)
                              request.naming.artist = guess->artist;
                          if (!album)
                              request.naming.album = guess->album;
                      });
}

const CommandRegistration registration({
    "tag",
    30,
    "FILE|FOLDER...",
    1,
    -1,
    "TAG'EM!: writes each file's tag from its name (the title, and in formats 1 and 2 the "
    "artist) and the fields given.",
    "The title is the name without its first four and last four characters in format 0, the "
    "text after the first \" - \" in formats 1 and 2 (before it: the artist). Album, year, "
    "comment and genre are the same for every file; the genre is \"(none)\" unless given. A "
    "title over 30 characters is kept to its first 30 (the file is listed with that note), as "
    "Cancel in the window does.",
    {kFormatOption, kArtistOption, kAlbumOption, kYearOption, kCommentOption, kGenreOption,
     kFromFolderName, kRecursiveOption},
    tag,
});

} // namespace
