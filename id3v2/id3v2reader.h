#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

// The leading ID3v2 tag of a file: its header, and the six texts an ID3v1 tag can take from it.
// Only the tag at offset 0 is looked at; the file is never written.

// The texts as Unicode, UTF-8 encoded, empty where the tag has no such frame.
struct Id3v2Text {
    std::string title;   // TIT2 (TT2)
    std::string artist;  // TPE1 (TP1)
    std::string album;   // TALB (TAL)
    std::string year;    // TDRC (TYER, TYE), as written: "2003", "2003-05-01T12:00"
    std::string comment; // the first COMM without a description, else the first other one
    std::string genre;   // the first value of TCON: a name, or a number such as "17" or "(17)"
};

struct Id3v2Info {
    bool present = false;  // the file begins with an ID3v2 header of version 2.2, 2.3 or 2.4
    int version = 0;       // the major version: 2, 3 or 4
    std::int64_t size = 0; // header, body and footer as the header declares them, in bytes
    bool read = false;     // the frames were read; false for a tag over the read limit
    Id3v2Text text;
};

// A tag larger than this is reported as present but its frames are not read.
constexpr std::int64_t kId3v2ReadLimit = 16 * 1024 * 1024;

// The size of the leading ID3v2 tag that the first bytes of a file declare (header, body and,
// for version 2.4 with the footer flag, footer); 0 when they hold no ID3v2 header of version 2.2
// to 2.4. n may be shorter than the 10-byte header.
std::int64_t id3v2DeclaredSize(const std::uint8_t *data, std::size_t n);

// Reads the leading ID3v2 tag of the named file: opens it as a regular file only, reads the
// header and, up to kId3v2ReadLimit, the bytes it declares, walks their frame headers
// (id3v2frames.h) and hands TagLib (from memory) only the frames the six texts come from, so
// that a tag of any number of frames costs little more than reading it. The texts are those
// TagLib would read from the whole tag. A tag that declares more bytes than the file holds is
// read as far as the file goes. Throws IoError when the file cannot be opened or read; a damaged
// tag is never an error: it gives the texts that could be read, or none.
Id3v2Info readId3v2(const std::string &fileName);
// The same for the file name inside the folder dirfd.
Id3v2Info readId3v2At(int dirfd, const std::string &fileName);

// Only the header: whether the file begins with an ID3v2 tag, its version and size; the frames
// are not read (read stays false). Throws IoError as readId3v2 does.
Id3v2Info readId3v2Header(const std::string &fileName);
Id3v2Info readId3v2HeaderAt(int dirfd, const std::string &fileName);

// The same for a file's first bytes already in memory (data may end before the declared size).
Id3v2Info parseId3v2(const std::uint8_t *data, std::size_t n);

// "2.2", "2.3" or "2.4".
std::string id3v2VersionText(const Id3v2Info &info);

// The line that tells of the tag: "ID3v2.4: 12,345 bytes" (short enough for the edit dialog's
// information box up to the read limit); empty without a tag.
std::string id3v2InfoLine(const Id3v2Info &info);
