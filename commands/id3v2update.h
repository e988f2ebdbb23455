#pragma once

#include "fromid3v2.h"
#include "id3v2writer.h"

#include <array>
#include <cstdint>

struct TagWorkspace;

// What "ID3v2 from ID3v1" writes into a file's ID3v2 tag, decided from its ID3v1 fields and its
// ID3v2 texts. Pure functions: nothing is read or written here, nothing throws.
//
// The ID3v1 side is the tag's bytes (Windows-1252, as every field of the program), read back to
// Unicode through the one tag-text conversion (tagtext.h). A field is written only where it
// really differs: where the ID3v2 text, made into an ID3v1 field as "ID3v1 from ID3v2" makes it
// (id3v1FieldsFromId3v2), gives the ID3v1 field already, the ID3v2 text stays, so copying never
// shortens or spoils the richer tag (a long title of which ID3v1 holds the first 30 characters;
// a "ł" that ID3v1 holds as "?"). An empty ID3v1 field removes nothing. The genre is written as
// the ID3v1 genre's name; "(none)" writes nothing.

// A 128-byte ID3v1 tag's fields as the tag reader takes them: each text without the blanks and
// zero bytes around it, the genre byte's name ("(none)" for one the table does not hold). Bytes
// that do not start with "TAG" give empty fields and "(none)".
Id3v1Fields id3v1FieldsOfTag(const std::array<std::uint8_t, 128> &tag);

// The same from the workspace's tag fields (SongTitle ... SongGenre).
Id3v1Fields id3v1FieldsOfWorkspace(const TagWorkspace &ws);

// The fields to write, as texts for renderId3v2; every field left (nullopt) when the ID3v2 tag
// already says all of it.
Id3v2Update id3v2UpdateFromId3v1(const Id3v1Fields &v1, const Id3v2Text &v2);

// Whether the update writes nothing.
bool writesNothing(const Id3v2Update &update);

// Whether the two tags differ in what "ID3v2 from ID3v1" would write: the editor's "differs
// from ID3v1". An empty ID3v1 field says nothing, so it never makes the tags differ.
bool id3v2DiffersFromId3v1(const Id3v1Fields &v1, const Id3v2Text &v2);

// The reason a file whose ID3v2 tag says all of its ID3v1 tag already is left as it was.
inline constexpr char kAlreadyInStep[] = "already in step";
