#pragma once

#include "tagfile.h"
#include "walk.h"

#include <QString>
#include <optional>

class CommandQuestions;
class FileList;

// The naming patterns of the "Filename Format" choice, in the order of its items.
enum NamingPattern {
    PatternTrackSong = 0,       // "xx. Song.mp3"
    PatternTrackArtistSong = 1, // "xx. Artist - Song.mp3"
    PatternArtistSong = 2,      // "Artist - Song.mp3"
};

// What the main window's fields give every file of a tags-from-names run.
struct NamingOptions {
    int pattern = PatternTrackSong;
    QString artist; // used by pattern 0 only
    QString album;
    QString year; // the four positions as the year field shows them
    QString comment;
    QString genre; // a name of the genre drop-down
    bool askForLongTitles = true;
};

// Splits the workspace's WorkName at its first " - ": the text before it becomes SongArtist,
// the text after it less the last four characters (the extension) SongTitle; WorkPos holds the
// separator's position. A name without the separator gives an empty artist and the whole of
// WorkName less its extension as the title.
void SplitArtistTitle();

// Sets the workspace's SongTitle and SongArtist from a file name by the naming pattern; artist
// is used by pattern 0. Characters that a tag cannot hold become "?".
void titleAndArtistFromName(const QString &name, int pattern, const QString &artist);

// Artist and album guessed from a folder named 'Artist - Album'.
struct FolderGuess {
    QString artist;
    QString album;
};

// What the folder option puts into the Artist and Album fields. Nothing (leave the fields as
// they are) unless the option is checked and the pattern is 0. Otherwise both texts, cut to
// their first 30 characters, or both empty when the folder's own name (the text after the last
// "/" of folderPath) holds no " - " or the file list is empty.
std::optional<FolderGuess> guessFromDirectoryName(bool optionChecked, int pattern,
                                                  const QString &folderPath, bool hasFiles);

// Writes a tag into every selected file: title (and for patterns 1 and 2 the artist) from the
// file's name, the rest from options. A title longer than 30 characters is put to the person
// (askLongTitle) when options.askForLongTitles is set; otherwise, or on Cancel, the writer keeps
// its first 30 characters. A failing write throws IoError and ends the walk at that file.
WalkReport tagsFromFileNames(const Folder &folder, FileList &list, const NamingOptions &options,
                             CommandQuestions &questions, const WalkControl &control = {});

// What writing tag into the file name of folder would change: its size, its last 128 bytes and
// which file it is now, and whether the tag would go after them (they hold no tag) or over them,
// as the tag writer decides. Nothing when the file is missing, not a regular file or cannot be
// read; the tag door then finds out for itself.
std::optional<JournalTag> plannedTagWrite(const Folder &folder, const QByteArray &name,
                                          const std::array<std::uint8_t, 128> &tag);
// The same from the file's end as seen already (by the reader, say).
JournalTag plannedTagWrite(const Folder &folder, const QByteArray &name,
                           const std::array<std::uint8_t, 128> &tag, const TagFileState &state);
