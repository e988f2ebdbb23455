#include "id3v2frames.h"

#include <algorithm>
#include <cstring>

namespace
{

constexpr std::size_t kTagHeader = 10;

std::uint8_t byteAt(std::string_view s, std::size_t i)
{
    return static_cast<std::uint8_t>(s[i]);
}

std::uint32_t plainInteger(std::string_view s)
{
    std::uint32_t v = 0;
    for (std::size_t i = 0; i < std::min<std::size_t>(s.size(), 4); ++i)
        v = (v << 8) | byteAt(s, i);
    return v;
}

// A synchsafe integer of up to four bytes; as TagLib does, one with a high bit set is taken for a
// plain integer that a buggy tagger wrote.
std::uint32_t synchsafeInteger(std::string_view s)
{
    const std::size_t n = std::min<std::size_t>(s.size(), 4);
    std::uint32_t v = 0;
    for (std::size_t i = 0; i < n; ++i) {
        if (byteAt(s, i) & 0x80)
            return plainInteger(s);
        v = (v << 7) | byteAt(s, i);
    }
    return v;
}

bool isIdCharacter(char c)
{
    return (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
}

// Whether four bytes at `at` of s (counted in 32 bits, as TagLib counts) are a frame ID.
bool frameIdAt(std::string_view s, std::uint32_t at)
{
    if (at > s.size() || s.size() - at < 4)
        return false;
    return std::all_of(s.begin() + at, s.begin() + at + 4, isIdCharacter);
}

// Whether s is UTF-8 that a strict decoder takes: no stray or missing continuation bytes, no
// overlong forms, no surrogates, nothing beyond U+10FFFF.
bool isValidUtf8(std::string_view s)
{
    std::size_t i = 0;
    while (i < s.size()) {
        const std::uint8_t lead = byteAt(s, i);
        std::size_t len;
        std::uint32_t cp;
        if (lead < 0x80) {
            ++i;
            continue;
        } else if ((lead >> 5) == 0x6) {
            len = 2;
            cp = lead & 0x1F;
        } else if ((lead >> 4) == 0xE) {
            len = 3;
            cp = lead & 0x0F;
        } else if ((lead >> 3) == 0x1E) {
            len = 4;
            cp = lead & 0x07;
        } else {
            return false;
        }
        if (s.size() - i < len)
            return false;
        for (std::size_t k = 1; k < len; ++k) {
            const std::uint8_t c = byteAt(s, i + k);
            if ((c & 0xC0) != 0x80)
                return false;
            cp = (cp << 6) | (c & 0x3F);
        }
        if (cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF))
            return false;
        if ((cp < 0x80) || (cp < 0x800 && len != 2) || (cp < 0x10000 && len > 3))
            return false; // overlong
        i += len;
    }
    return true;
}

bool startsWithPlayerMark(std::string_view s, bool wide, bool bigEndian)
{
    static const char kMark[] = "iTun";
    if (!wide)
        return s.substr(0, 4) == kMark;
    if (s.size() < 8)
        return false;
    for (std::size_t i = 0; i < 4; ++i) {
        const std::uint8_t hi = byteAt(s, 2 * i + (bigEndian ? 0 : 1));
        const std::uint8_t lo = byteAt(s, 2 * i + (bigEndian ? 1 : 0));
        if (hi != 0 || lo != std::uint8_t(kMark[i]))
            return false;
    }
    return true;
}

} // namespace

Id3v2FrameWalk::Id3v2FrameWalk(const std::uint8_t *tag, std::size_t n, bool readerSlack)
{
    m_end = End::Damaged;
    if (n < kTagHeader || std::memcmp(tag, "ID3", 3) != 0 || tag[3] < 2 || tag[3] > 4 ||
        tag[4] == 0xFF)
        return;
    std::size_t body = 0;
    for (std::size_t i = 6; i < 10; ++i) {
        if (tag[i] & 0x80)
            return;
        body = (body << 7) | tag[i];
    }
    m_version = tag[3];
    m_flags = tag[5];
    m_declared = kTagHeader + body + (hasFooter() ? 10 : 0);
    m_data = std::string_view(reinterpret_cast<const char *>(tag) + kTagHeader,
                              std::min(body, n - kTagHeader));
    if (m_version <= 3 && unsynchronised()) {
        m_decoded = withoutUnsynchronisation(m_data);
        m_data = m_decoded;
    }
    if ((m_flags & 0x40) && m_data.size() >= 4) {
        std::uint32_t size;
        if (m_version == 3) {
            size = plainInteger(m_data.substr(0, 4));
            if (size == 6 || size == 10)
                size += 4; // the size of a 2.3 extended header leaves out its own four bytes
        } else {
            size = synchsafeInteger(m_data.substr(0, 4));
        }
        if (size <= m_data.size())
            m_begin = size;
    }
    if (readerSlack)
        m_slack = m_begin + ((m_flags & 0x10) ? 10 : 0);
    m_pos = m_begin;
    m_end = End::NotYet;
}

bool Id3v2FrameWalk::next(Id3v2Frame &frame)
{
    if (m_end != End::NotYet)
        return false;
    const std::size_t len = m_data.size();
    const std::size_t headerSize = m_version == 2 ? 6 : 10;
    // Room for more than a frame header (TagLib's count, which wraps below a header's size).
    const bool room = len >= headerSize ? m_pos < len - headerSize : m_pos < len;
    if (!room) {
        m_end = End::NoRoom;
        return false;
    }
    if (m_data[m_pos] == '\0') {
        m_end = End::Padding;
        return false;
    }
    const std::string_view rest = m_data.substr(m_pos);
    if (rest.size() < headerSize) {
        m_end = End::Damaged;
        return false;
    }
    Id3v2Frame f;
    f.offset = m_pos;
    f.headerSize = headerSize;
    std::uint32_t size;
    if (m_version == 2) {
        f.id = rest.substr(0, 3);
        size = (std::uint32_t(byteAt(rest, 3)) << 16) | (std::uint32_t(byteAt(rest, 4)) << 8) |
               byteAt(rest, 5);
    } else {
        f.id = rest.substr(0, 4);
        f.flags = std::uint16_t((byteAt(rest, 8) << 8) | byteAt(rest, 9));
        if (m_version == 3) {
            size = plainInteger(rest.substr(4, 4));
            f.compressed = f.flags & 0x0080;
            f.encrypted = f.flags & 0x0040;
        } else {
            size = synchsafeInteger(rest.substr(4, 4));
            // iTunes writes 2.4 frames with 2.3 sizes: where no frame follows the synchsafe
            // size but one follows the plain one, the plain one it is.
            if (size > 127 && !frameIdAt(rest, size + 10)) {
                const std::uint32_t plain = plainInteger(rest.substr(4, 4));
                if (frameIdAt(rest, plain + 10))
                    size = plain;
            }
            f.compressed = f.flags & 0x0008;
            f.encrypted = f.flags & 0x0004;
            f.unsynchronised = (f.flags & 0x0002) || unsynchronised();
            f.dataLength = f.flags & 0x0001;
        }
    }
    f.bodySize = size;
    std::string_view id = f.id;
    if (m_version == 3 && id[3] == '\0')
        id = id.substr(0, 3); // iTunes: a 2.2 frame in a 2.3 tag
    // TagLib compares the size with the bytes left from the frame's start, header included.
    if (size <= (f.dataLength ? 4u : 0u) || size > rest.size() + m_slack ||
        !std::all_of(id.begin(), id.end(), isIdCharacter)) {
        m_end = End::Damaged;
        return false;
    }
    f.raw = rest.substr(0, headerSize + size);
    m_pos += headerSize + size;
    frame = f;
    return true;
}

std::string_view Id3v2FrameWalk::body(const Id3v2Frame &frame, std::string &scratch) const
{
    std::string_view b = frame.raw.substr(std::min(frame.headerSize, frame.raw.size()));
    if (m_version == 4 && frame.unsynchronised) {
        scratch = withoutUnsynchronisation(b);
        b = scratch;
    }
    if (frame.compressed || frame.dataLength) {
        const std::uint32_t length = synchsafeInteger(b.substr(0, 4));
        b = b.size() > 4 ? b.substr(4, length) : std::string_view();
    }
    return b;
}

std::string_view id3v2FieldName(int version, std::string_view id)
{
    struct Name {
        const char *id;
        const char *name;
    };
    static const Name k22[] = {{"TT2", "TIT2"}, {"TP1", "TPE1"}, {"TAL", "TALB"}, {"TYE", "TDRC"},
                               {"TRD", "TDRC"}, {"COM", "COMM"}, {"TCO", "TCON"}};
    static const Name k23[] = {{"TIT2", "TIT2"}, {"TPE1", "TPE1"}, {"TALB", "TALB"},
                               {"TYER", "TDRC"}, {"TDRC", "TDRC"}, {"COMM", "COMM"},
                               {"TCON", "TCON"}};
    static const Name k24[] = {{"TIT2", "TIT2"}, {"TPE1", "TPE1"}, {"TALB", "TALB"},
                               {"TDRC", "TDRC"}, {"TRDC", "TDRC"}, {"COMM", "COMM"},
                               {"TCON", "TCON"}};
    if (version == 3 && id.size() == 4 && id[3] == '\0')
        return id3v2FieldName(2, id.substr(0, 3));
    const Name *table = version == 2 ? k22 : version == 3 ? k23 : k24;
    for (std::size_t i = 0; i < 7; ++i) {
        if (id == table[i].id)
            return table[i].name;
    }
    return {};
}

std::string_view id3v2FieldName(int version, const Id3v2Frame &frame)
{
    const std::string_view name = id3v2FieldName(version, frame.id);
    if (!frame.encrypted || (version == 3 && frame.id[3] == '\0'))
        return name;
    return name == frame.id ? name : std::string_view();
}

CommentDescription commentDescription(std::string_view body)
{
    if (body.size() < 5)
        return CommentDescription::Empty;
    const auto encoding = static_cast<signed char>(body[0]);
    const bool wideDelimiter = encoding == 1 || encoding == 2 || encoding == 4;
    const std::size_t align = (encoding == 0 || encoding == 3) ? 1 : 2;
    const std::size_t delimiter = wideDelimiter ? 2 : 1;
    const std::string_view v = body.substr(4);
    std::size_t k = 0;
    for (; k + delimiter <= v.size(); k += align) {
        if (v[k] == '\0' && (delimiter == 1 || v[k + 1] == '\0'))
            break;
    }
    // No delimiter, or nothing after it: TagLib then reads neither description nor text.
    if (k + delimiter >= v.size() || k == 0)
        return CommentDescription::Empty;
    const std::string_view d = v.substr(0, k);
    switch (encoding) {
    case 0: // Latin-1
        return startsWithPlayerMark(d, false, false) ? CommentDescription::Player
                                                     : CommentDescription::Other;
    case 3: // UTF-8
        if (!isValidUtf8(d))
            return CommentDescription::Empty;
        return startsWithPlayerMark(d, false, false) ? CommentDescription::Player
                                                     : CommentDescription::Other;
    case 1: { // UTF-16 after a byte order mark
        const bool le = byteAt(d, 0) == 0xFF && d.size() >= 2 && byteAt(d, 1) == 0xFE;
        const bool be = byteAt(d, 0) == 0xFE && d.size() >= 2 && byteAt(d, 1) == 0xFF;
        if ((!le && !be) || d.size() < 4)
            return CommentDescription::Empty;
        return startsWithPlayerMark(d.substr(2), true, be) ? CommentDescription::Player
                                                           : CommentDescription::Other;
    }
    default: // UTF-16LE (4); UTF-16BE (2) and, so TagLib reads them, unknown encodings
        return startsWithPlayerMark(d, true, encoding != 4) ? CommentDescription::Player
                                                            : CommentDescription::Other;
    }
}

std::string withoutUnsynchronisation(std::string_view data)
{
    std::string out;
    out.reserve(data.size());
    for (std::size_t i = 0; i < data.size(); ++i) {
        out += data[i];
        if (byteAt(data, i) == 0xFF && i + 1 < data.size() && data[i + 1] == '\0')
            ++i;
    }
    return out;
}

std::string withUnsynchronisation(std::string_view data)
{
    std::string out;
    out.reserve(data.size() + data.size() / 64 + 1);
    for (std::size_t i = 0; i < data.size(); ++i) {
        out += data[i];
        if (byteAt(data, i) != 0xFF)
            continue;
        if (i + 1 == data.size() || data[i + 1] == '\0' || byteAt(data, i + 1) >= 0xE0)
            out += '\0';
    }
    return out;
}
