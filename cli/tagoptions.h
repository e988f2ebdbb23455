#pragma once

#include "command.h"

#include <QString>
#include <optional>

class Invocation;

// The tag fields given on the command line, checked as the window's fields take them: a text of
// at most 30 characters (as a tag holds them), a year of up to four digits (given as the four
// positions of the year field, blanks after the digits), a genre of the genre list by name
// (letter case not regarded) or by its number. A value the window's fields would not take is a
// mistake in the command line.
inline constexpr CliOption kTitleOption = {"title", 0, "TEXT",
                                           "The title (at most 30 characters)."};
inline constexpr CliOption kArtistOption = {"artist", 0, "TEXT",
                                            "The artist (at most 30 characters)."};
inline constexpr CliOption kAlbumOption = {"album", 0, "TEXT",
                                           "The album (at most 30 characters)."};
inline constexpr CliOption kYearOption = {"year", 0, "YEAR", "The year: up to four digits."};
inline constexpr CliOption kCommentOption = {"comment", 0, "TEXT",
                                             "The comment (at most 30 characters)."};
inline constexpr CliOption kGenreOption = {
    "genre", 0, "GENRE",
    "A genre of the genre list, by name (letter case not regarded) or by its number; "
    "\"(none)\" or 255 for none."};
inline constexpr CliOption kFormatOption = {
    "format", 0, "0|1|2",
    "The file-name format: 0 \"xx. Song.mp3\" (the default), 1 \"xx. Artist - Song.mp3\", 2 "
    "\"Artist - Song.mp3\"."};

std::optional<QString> tagTextOption(const Invocation &invocation, const CliOption &option);
std::optional<QString> yearOption(const Invocation &invocation);
std::optional<QString> genreOption(const Invocation &invocation);
int formatOption(const Invocation &invocation);
