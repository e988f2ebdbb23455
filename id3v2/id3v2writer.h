#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

// Renders a file's new leading ID3v2 tag in memory from its old one: only the frames of the six
// texts change, every other frame is kept as the tag has it. No file is read or written here;
// the door that places the bytes (over the old tag, or in a new file) lives in commands/.

// The new texts, UTF-8. A field left empty (nullopt) stays as it is; an empty text removes the
// field's frames.
struct Id3v2Update {
    std::optional<std::string> title;   // TIT2
    std::optional<std::string> artist;  // TPE1
    std::optional<std::string> album;   // TALB
    std::optional<std::string> year;    // TDRC in 2.4, TYER in 2.3
    std::optional<std::string> comment; // COMM, language "eng", no description
    std::optional<std::string> genre;   // TCON
};

struct Id3v2Rendering {
    bool written = false; // false: refused, and reason says why
    std::string reason;   // "ID3v2.2 is not written", "damaged ID3v2 tag", ...
    std::string bytes;    // the new tag, header included
    // The new tag is exactly as long as the old one declared itself (padding included), so it
    // goes over the old one and the audio stays where it is. Otherwise the tag has about 1 KiB of
    // padding and the audio must move behind it.
    bool inPlace = false;
    int version = 0; // 3 or 4
};

// Renders the new tag. oldTag holds the old tag's bytes as the file has them, from its header on
// (n bytes; bytes past the size the header declares are ignored); n == 0 means the file has no
// ID3v2 tag, and it gets a version 2.3 tag. An existing tag keeps its version.
//
// Refused (nothing rendered): bytes that are no ID3v2 header; version 2.2; a tag over the
// reader's 16 MiB limit; fewer bytes than the header declares; frames that cannot be walked to
// the padding or the end (a frame that runs past the end, a frame ID of other characters); a
// text that is not valid UTF-8.
//
// What is kept, and how:
// - Every frame but those the update replaces or removes, byte for byte and in its place; a
//   replaced field's new frame takes the place of its first old frame (the others of its kind
//   go), a new field's frame comes after the frames kept. The comment replaces only the comments
//   without a description (any language); described ones (players' data, other tools' notes)
//   stay.
// - Texts are written in ISO-8859-1 where they fit, else in UTF-16 with a byte order mark.
// - A version 2.3 tag whose body is unsynchronised as a whole is written without it: each kept
//   frame is its bytes with unsynchronisation taken off, which is what every reader reads. A
//   version 2.4 tag keeps its flag, and the new frames are unsynchronised (and flagged so) too.
// - An extended header is dropped: what it says (a CRC of the old frames, their padding, an
//   update flag, restrictions) describes the old tag and would be wrong or unchecked for the new
//   one. A 2.4 footer is dropped too: a tag at the start of a file needs none, and padding may
//   not come with one; its ten bytes become padding.
// Throws only std::bad_alloc.
Id3v2Rendering renderId3v2(const std::uint8_t *oldTag, std::size_t n, const Id3v2Update &update);
