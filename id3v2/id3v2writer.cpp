#include "id3v2writer.h"

#include "id3v2frames.h"
#include "id3v2reader.h"

#include <commentsframe.h>
#include <textidentificationframe.h>
#include <tstring.h>

namespace
{

constexpr std::size_t kHeaderSize = 10;
// As much padding as TagLib and mutagen leave, so that the next changes fit in place.
constexpr std::size_t kPadding = 1024;

enum Field { Title, Artist, Album, Year, Comment, Genre, FieldCount };
const char *const kFieldNames[FieldCount] = {"TIT2", "TPE1", "TALB", "TDRC", "COMM", "TCON"};

const std::optional<std::string> &updateText(const Id3v2Update &u, int field)
{
    switch (field) {
    case Title:
        return u.title;
    case Artist:
        return u.artist;
    case Album:
        return u.album;
    case Year:
        return u.year;
    case Comment:
        return u.comment;
    default:
        return u.genre;
    }
}

Id3v2Rendering refusal(const char *reason)
{
    Id3v2Rendering r;
    r.reason = reason;
    return r;
}

// The field a frame of the old tag gives, or -1 for a frame that is kept whatever the update.
// Of the comments only those without a description count (a compressed or encrypted one is
// kept: its description cannot be told).
int fieldOf(const Id3v2FrameWalk &walk, const Id3v2Frame &f, std::string &scratch)
{
    const std::string_view name = id3v2FieldName(walk.version(), f);
    if (name.empty())
        return -1;
    int field = 0;
    while (name != kFieldNames[field])
        ++field;
    if (field == Comment &&
        (f.compressed || f.encrypted ||
         commentDescription(walk.body(f, scratch)) != CommentDescription::Empty))
        return -1;
    return field;
}

void appendSize(std::string &out, std::size_t size, bool synchsafe, int bytes = 4)
{
    for (int i = bytes - 1; i >= 0; --i)
        out += char(synchsafe ? (size >> (7 * i)) & 0x7F : (size >> (8 * i)) & 0xFF);
}

// TagLib's frames of the tag's version: the frame header is TagLib's to set, through a class of
// its own.
template <class FrameClass> class VersionedFrame : public FrameClass
{
public:
    using FrameClass::FrameClass;
    void setVersion(int version) { this->header()->setVersion(unsigned(version)); }
};

// The frame of a field's new text, rendered by TagLib with the tag's version; in an
// unsynchronised 2.4 tag its body is unsynchronised and flagged so.
std::string renderFrame(int field, const TagLib::String &text, int version, bool unsynchronised)
{
    const TagLib::String::Type encoding =
        text.isLatin1() ? TagLib::String::Latin1 : TagLib::String::UTF16;
    TagLib::ByteVector rendered;
    if (field == Comment) {
        VersionedFrame<TagLib::ID3v2::CommentsFrame> frame(encoding);
        frame.setLanguage("eng");
        frame.setText(text);
        frame.setVersion(version);
        rendered = frame.render();
    } else {
        const char *id = field == Year && version == 3 ? "TYER" : kFieldNames[field];
        VersionedFrame<TagLib::ID3v2::TextIdentificationFrame> frame(id, encoding);
        frame.setText(text);
        frame.setVersion(version);
        rendered = frame.render();
    }
    std::string out(rendered.data(), rendered.size());
    if (unsynchronised) {
        const std::string body = withUnsynchronisation(std::string_view(out).substr(kHeaderSize));
        std::string frame = out.substr(0, 4);
        appendSize(frame, body.size(), true);
        frame += '\0';
        frame += '\x02';
        out = frame + body;
    }
    return out;
}

std::string tagHeader(int version, std::uint8_t flags, std::size_t bodySize)
{
    std::string out = "ID3";
    out += char(version);
    out += '\0';
    out += char(flags);
    appendSize(out, bodySize, true);
    return out;
}

// The finished tag: header, frames, and padding up to the old tag's size where they fit in it.
Id3v2Rendering finish(int version, std::uint8_t flags, std::string frames, std::size_t oldSize)
{
    Id3v2Rendering r;
    r.written = true;
    r.version = version;
    const std::size_t needed = kHeaderSize + frames.size();
    r.inPlace = oldSize > 0 && needed <= oldSize;
    const std::size_t total = r.inPlace ? oldSize : needed + kPadding;
    r.bytes = tagHeader(version, flags, total - kHeaderSize);
    r.bytes += frames;
    r.bytes.resize(total, '\0');
    return r;
}

// Whether the rendered tag walks to exactly the frames put into it: a kept frame whose size
// only made sense beside its old neighbours (2.4 sizes as iTunes writes them) would not.
bool walksBack(const std::string &tag, std::size_t frames, std::size_t framesSize)
{
    Id3v2FrameWalk walk(reinterpret_cast<const std::uint8_t *>(tag.data()), tag.size());
    Id3v2Frame f;
    std::size_t count = 0;
    while (walk.next(f)) {
        if (!f.whole())
            return false;
        ++count;
    }
    return count == frames && walk.endOffset() == framesSize &&
           walk.end() != Id3v2FrameWalk::End::Damaged;
}

} // namespace

Id3v2Rendering renderId3v2(const std::uint8_t *oldTag, std::size_t n, const Id3v2Update &update)
{
    TagLib::String texts[FieldCount];
    bool set[FieldCount] = {};
    for (int field = 0; field < FieldCount; ++field) {
        const std::optional<std::string> &text = updateText(update, field);
        if (!text)
            continue;
        texts[field] = TagLib::String(*text, TagLib::String::UTF8);
        if (texts[field].isEmpty() && !text->empty())
            return refusal("a text is not valid UTF-8");
        set[field] = true;
    }

    if (!oldTag || n == 0) {
        std::string frames;
        for (int field = 0; field < FieldCount; ++field) {
            if (set[field] && !texts[field].isEmpty())
                frames += renderFrame(field, texts[field], 3, false);
        }
        return finish(3, 0, std::move(frames), 0);
    }

    const std::int64_t declared = id3v2DeclaredSize(oldTag, n);
    if (declared == 0)
        return refusal("not an ID3v2 tag");
    if (oldTag[3] == 2)
        return refusal("ID3v2.2 is not written");
    if (declared > kId3v2ReadLimit)
        return refusal("ID3v2 tag over 16 MiB");
    if (std::int64_t(n) < declared)
        return refusal("ID3v2 tag cut short");

    Id3v2FrameWalk walk(oldTag, std::size_t(declared));
    const int version = walk.version();
    const bool unsynchronised = version == 4 && walk.unsynchronised();
    std::string frames, scratch;
    std::size_t count = 0;
    bool placed[FieldCount] = {};
    Id3v2Frame f;
    while (walk.next(f)) {
        if (!f.whole())
            return refusal("damaged ID3v2 tag");
        const int field = fieldOf(walk, f, scratch);
        if (field < 0 || !set[field]) {
            frames += f.raw;
            ++count;
            continue;
        }
        if (!placed[field] && !texts[field].isEmpty()) {
            frames += renderFrame(field, texts[field], version, unsynchronised);
            ++count;
        }
        placed[field] = true;
    }
    if (walk.end() == Id3v2FrameWalk::End::Damaged)
        return refusal("damaged ID3v2 tag");
    for (int field = 0; field < FieldCount; ++field) {
        if (set[field] && !placed[field] && !texts[field].isEmpty()) {
            frames += renderFrame(field, texts[field], version, unsynchronised);
            ++count;
        }
    }
    // Kept: the experimental flag, and in 2.4 unsynchronisation. Dropped: the extended header,
    // the footer, and in 2.3 unsynchronisation (the frames are kept without it).
    const std::uint8_t flags = walk.flags() & (version == 4 ? 0xA0 : 0x20);
    const std::size_t framesSize = frames.size();
    Id3v2Rendering r = finish(version, flags, std::move(frames), std::size_t(declared));
    if (!walksBack(r.bytes, count, framesSize))
        return refusal("damaged ID3v2 tag");
    return r;
}
