#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

// The frames of an ID3v2 tag (versions 2.2 to 2.4), walked from its bytes without TagLib but as
// TagLib 1.13 walks them: the same frames are found and the walk ends where TagLib's ends, so
// that the reader can hand TagLib only the frames it uses and the writer can keep every other
// frame as the tag has it. Nothing here throws but std::bad_alloc, and the walk allocates nothing
// per frame (body() may, for an unsynchronised one); a damaged tag simply ends the walk early.
//
// How a tag is taken apart:
// - The body is what follows the 10-byte header, as far as the header declares it and the given
//   bytes hold it; a version 2.4 footer is not part of it.
// - In versions 2.2 and 2.3 the unsynchronisation flag covers the whole body: the frames are
//   read from a copy with it taken off (each 0xFF 0x00 becomes 0xFF). In version 2.4 it covers
//   each frame's body, as does the frame's own flag.
// - An extended header is skipped by the size it gives: synchsafe in 2.4 (and in 2.2, whose flag
//   TagLib takes for one), a plain integer in 2.3 that does not count its own four bytes.
// - Frames follow one another until a zero byte (padding), until no more than a frame header's
//   bytes are left, or until a frame header that TagLib would not take: an ID of other than
//   capital letters and digits, a size of zero (or no more than its data length indicator), a
//   size beyond the bytes left. A 2.4 size that is no synchsafe integer, or one after which no
//   frame ID follows while a plain integer's would, is read as iTunes writes it (a plain
//   integer). A 2.3 frame ID whose last byte is zero is the 2.2 ID of its first three (iTunes
//   again).

struct Id3v2Frame {
    std::string_view id;     // as the tag has it: three characters in 2.2, four in 2.3 and 2.4
    std::uint16_t flags = 0; // the two flag bytes of 2.3 and 2.4, first byte high; 0 in 2.2
    std::size_t offset = 0;  // where its header starts in Id3v2FrameWalk::frameData()
    std::size_t headerSize = 0;
    std::size_t bodySize = 0; // as the header declares it
    // The header and the body as far as frameData() holds them: shorter than headerSize +
    // bodySize only for a frame that runs past the end of the tag (TagLib reads what there is).
    std::string_view raw;
    bool compressed = false;
    bool encrypted = false;
    bool unsynchronised = false; // the body is unsynchronised (2.4: the frame's or the tag's flag)
    bool dataLength = false;     // the body starts with a data length indicator (2.4)

    bool whole() const { return raw.size() == headerSize + bodySize; }
};

class Id3v2FrameWalk
{
public:
    // tag holds the tag's bytes from its header on, as the file has them; it may end before the
    // size the header declares. The bytes must stay in place while the walk is used. A frame may
    // claim up to slack bytes more than the body holds (TagLib 1.13 reads the body followed by
    // as many zero bytes as its extended header and footer take: see readerSlack).
    Id3v2FrameWalk(const std::uint8_t *tag, std::size_t n, bool readerSlack = false);
    Id3v2FrameWalk(const Id3v2FrameWalk &) = delete; // frameData() may point into the walk
    Id3v2FrameWalk &operator=(const Id3v2FrameWalk &) = delete;

    // A header of version 2.2, 2.3 or 2.4 with a synchsafe size: otherwise nothing is walked.
    bool valid() const { return m_version != 0; }
    int version() const { return m_version; }
    std::uint8_t flags() const { return m_flags; }
    bool unsynchronised() const { return m_flags & 0x80; }
    bool hasFooter() const { return m_version == 4 && (m_flags & 0x10); }
    // Header, body and footer as the header declares them.
    std::size_t declaredSize() const { return m_declared; }
    // The body as the walk reads it: the tag's own bytes after the header, or in 2.2 and 2.3 with
    // the unsynchronisation flag a copy with it taken off.
    std::string_view frameData() const { return m_data; }
    // Where in frameData() the frames start: past the extended header (0 without one).
    std::size_t extendedHeaderSize() const { return m_begin; }

    // The next frame; false when the walk has ended.
    bool next(Id3v2Frame &frame);

    enum class End { NotYet, Padding, NoRoom, Damaged };
    // Why the walk ended, and where in frameData(): at the first padding byte, where too few bytes
    // were left for a frame, or at a frame header that could not be taken.
    End end() const { return m_end; }
    std::size_t endOffset() const { return m_pos; }

    // The body of a frame as its content is read: with unsynchronisation taken off and the data
    // length indicator (or the size of a 2.3 compressed frame) skipped, as long as that indicator
    // says. A compressed or encrypted body stays so. Uses scratch where it must copy.
    std::string_view body(const Id3v2Frame &frame, std::string &scratch) const;

private:
    std::string m_decoded;
    std::string_view m_data;
    std::size_t m_declared = 0;
    std::size_t m_begin = 0;
    std::size_t m_pos = 0;
    std::size_t m_slack = 0;
    End m_end = End::NotYet;
    int m_version = 0;
    std::uint8_t m_flags = 0;
};

// The 2.4 name of a frame that gives one of the six texts, as TagLib names it: "TIT2", "TPE1",
// "TALB", "TDRC", "COMM" or "TCON" (from TT2, TYE, TRD, TYER, TRDC, "TT2\0" and the like); empty
// for every other frame.
std::string_view id3v2FieldName(int version, std::string_view id);

// The same for a frame of a walk: TagLib files an encrypted frame under the ID it has (but for
// the 2.2 ID of an iTunes frame, which it takes before it looks at the flags).
std::string_view id3v2FieldName(int version, const Id3v2Frame &frame);

// Whether a comment frame's body (as Id3v2FrameWalk::body gives it, not compressed or
// encrypted) has a description as TagLib reads it, and whether that is one of the players' own
// ("iTunNORM" and the like). TagLib reads no description, and so an empty one, from a body
// shorter than five bytes, from one whose description is not followed by a text, and from one
// whose description does not decode (UTF-8 that is not valid, UTF-16 without a byte order
// mark).
enum class CommentDescription { Empty, Player, Other };
CommentDescription commentDescription(std::string_view body);

// Takes unsynchronisation off: every 0xFF 0x00 becomes 0xFF.
std::string withoutUnsynchronisation(std::string_view data);
// Puts it on: a zero byte after every 0xFF that is followed by a zero byte or by a byte of 0xE0
// or more, and after a 0xFF at the end.
std::string withUnsynchronisation(std::string_view data);
