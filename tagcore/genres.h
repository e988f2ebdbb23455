#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct GenreRow {
    const char *name;
    std::uint8_t byte;
};

// 146 rows in ascending byte order: bytes 0 to 144, then "(none)" as 255.
const std::vector<GenreRow> &GenreTable();

// SongGenre -> SongGenreByte when a row's name matches exactly (case-sensitive); otherwise the
// byte keeps its value.
void GenreNameToByte();
// SongGenreByte -> SongGenre for bytes 0 to 144; otherwise the name keeps its value.
void GenreByteToName();

// The genre names as the drop-down lists show them: word-sort order (case and hyphens ignored,
// blanks and punctuation before digits and letters), so "(none)" comes first.
const std::vector<std::string> &genreDropDownNames();

// Word-sort comparison used for the drop-down order; true when a sorts before b.
bool wordSortLess(const std::string &a, const std::string &b);
