#include "id3v2update.h"

#include "genres.h"
#include "tagtext.h"
#include "tagworkspace.h"

#include <cstring>

namespace
{

constexpr char kNoGenre[] = "(none)";

// A field's bytes without the blanks (and zero bytes, and other control bytes) around them, as
// the tag reader and the conversion from ID3v2 leave them.
std::string trimmed(const std::string &bytes)
{
    std::size_t b = 0, e = bytes.size();
    while (b < e && static_cast<unsigned char>(bytes[b]) <= 32)
        ++b;
    while (e > b && static_cast<unsigned char>(bytes[e - 1]) <= 32)
        --e;
    return bytes.substr(b, e - b);
}

std::string field(const std::uint8_t *p, std::size_t n)
{
    return trimmed(std::string(reinterpret_cast<const char *>(p), n));
}

std::string genreName(std::uint8_t byte)
{
    for (const GenreRow &row : GenreTable()) {
        if (row.byte == byte)
            return row.name;
    }
    return kNoGenre;
}

// The ID3v1 field as it reads once copied into the ID3v2 tag and made back into an ID3v1 field:
// the field cleaned as "ID3v1 from ID3v2" cleans (control characters, blanks around, width).
using TextMember = std::string Id3v2Text::*;
using FieldMember = std::string Id3v1Fields::*;

std::string cleaned(const std::string &v1Bytes, TextMember text, FieldMember field)
{
    Id3v2Text t;
    t.*text = fromTagText(v1Bytes).toStdString();
    return id3v1FieldsFromId3v2(t).*field;
}

// The text to write for one field, or nothing where the ID3v2 text already gives the field.
std::optional<std::string> textToWrite(const Id3v1Fields &v1, const Id3v1Fields &fromV2,
                                       TextMember text, FieldMember field)
{
    const std::string wanted = cleaned(v1.*field, text, field);
    if (wanted.empty() || wanted == fromV2.*field)
        return std::nullopt;
    return fromTagText(wanted).toStdString();
}

} // namespace

Id3v1Fields id3v1FieldsOfTag(const std::array<std::uint8_t, 128> &tag)
{
    Id3v1Fields f;
    f.genre = kNoGenre;
    if (std::memcmp(tag.data(), "TAG", 3) != 0)
        return f;
    f.title = field(tag.data() + 3, 30);
    f.artist = field(tag.data() + 33, 30);
    f.album = field(tag.data() + 63, 30);
    f.year = field(tag.data() + 93, 4);
    f.comment = field(tag.data() + 97, 30);
    f.genre = genreName(tag[127]);
    return f;
}

Id3v1Fields id3v1FieldsOfWorkspace(const TagWorkspace &ws)
{
    Id3v1Fields f;
    f.title = trimmed(ws.SongTitle);
    f.artist = trimmed(ws.SongArtist);
    f.album = trimmed(ws.SongAlbum);
    f.year = trimmed(ws.SongYear);
    f.comment = trimmed(ws.SongComment);
    f.genre = ws.SongGenre.empty() ? std::string(kNoGenre) : ws.SongGenre;
    return f;
}

Id3v2Update id3v2UpdateFromId3v1(const Id3v1Fields &v1, const Id3v2Text &v2)
{
    // One conversion for both directions: what "ID3v1 from ID3v2" would make of the ID3v2 tag.
    const Id3v1Fields fromV2 = id3v1FieldsFromId3v2(v2);
    Id3v2Update u;
    u.title = textToWrite(v1, fromV2, &Id3v2Text::title, &Id3v1Fields::title);
    u.artist = textToWrite(v1, fromV2, &Id3v2Text::artist, &Id3v1Fields::artist);
    u.album = textToWrite(v1, fromV2, &Id3v2Text::album, &Id3v1Fields::album);
    u.year = textToWrite(v1, fromV2, &Id3v2Text::year, &Id3v1Fields::year);
    u.comment = textToWrite(v1, fromV2, &Id3v2Text::comment, &Id3v1Fields::comment);
    if (!v1.genre.empty() && v1.genre != kNoGenre && v1.genre != fromV2.genre)
        u.genre = v1.genre; // the table's names are ASCII: the same bytes in UTF-8
    return u;
}

bool writesNothing(const Id3v2Update &u)
{
    return !u.title && !u.artist && !u.album && !u.year && !u.comment && !u.genre;
}

bool id3v2DiffersFromId3v1(const Id3v1Fields &v1, const Id3v2Text &v2)
{
    return !writesNothing(id3v2UpdateFromId3v1(v1, v2));
}
