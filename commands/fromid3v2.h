#pragma once

#include "id3v2reader.h"

#include <string>
#include <vector>

struct TagWorkspace;

// The ID3v1 fields made from an ID3v2 tag's texts, as the workspace holds them: Latin-1 bytes.
struct Id3v1Fields {
    std::string title;
    std::string artist;
    std::string album;
    std::string year;
    std::string comment;
    std::string genre; // a name of the genre table; "(none)" when nothing matches
};

// Title, artist, album and comment: control characters become blanks, leading and trailing
// blanks go, characters the tag's character set cannot hold become "?", and the first 30
// characters are kept. The year is the first four characters of the year text. The genre is
// the table's name that the text names ("rock" gives "Rock") or numbers ("17", "(17)",
// "(17)Rock" give "Rock"); anything else gives "(none)". Never throws.
Id3v1Fields id3v1FieldsFromId3v2(const Id3v2Text &text);

// The names of the fields ("title", "artist", "album", "comment", in this order) whose text
// id3v1FieldsFromId3v2 cuts to 30 characters, losing more than blanks. Never throws.
std::vector<std::string> id3v2FieldsCut(const Id3v2Text &text);

// The genre table's name for an ID3v2 genre text, "(none)" when it names no row.
std::string genreFromId3v2(const std::string &utf8Genre);

// Puts the fields into the workspace's tag fields; the genre byte follows the genre name.
void storeId3v1Fields(const Id3v1Fields &fields, TagWorkspace &ws);
