#include "id3v2reader.h"

#include "regularfile.h"

#include <algorithm>
#include <cstring>
#include <fcntl.h>
#include <mutex>

#include <commentsframe.h>
#include <id3v2framefactory.h>
#include <id3v2tag.h>
#include <tbytevector.h>
#include <tbytevectorstream.h>
#include <tdebuglistener.h>
#include <textidentificationframe.h>
#include <tfile.h>

namespace
{

constexpr std::size_t kHeaderSize = 10;
constexpr std::size_t kFirstRead = 4096;
constexpr std::size_t kKeepBuffer = 4 * 1024 * 1024;

// TagLib reads through a File; this one is the tag's bytes in memory, so TagLib never opens a
// path and never sees more than the tag.
class MemoryFile : public TagLib::File
{
public:
    explicit MemoryFile(TagLib::IOStream *stream) : TagLib::File(stream) {}
    TagLib::Tag *tag() const override { return nullptr; }
    TagLib::AudioProperties *audioProperties() const override { return nullptr; }
    bool save() override { return false; }
};

// The frames an ID3v1 tag takes a text from (in their version 2.4 names, which TagLib gives
// the frames of older versions).
bool isFieldFrame(const TagLib::ByteVector &id)
{
    static const char *const kIds[] = {"TIT2", "TPE1", "TALB", "TDRC", "COMM", "TCON"};
    if (id.size() != 4)
        return false;
    for (const char *want : kIds) {
        if (std::memcmp(id.data(), want, 4) == 0)
            return true;
    }
    return false;
}

// TagLib's frame header is a protected type of Frame that FrameFactory::updateFrame() takes;
// a class derived from Frame may name it.
class FrameHeaderName : public TagLib::ID3v2::Frame
{
public:
    using Header = TagLib::ID3v2::Frame::Header;
};
using FrameHeader = FrameHeaderName::Header;

// Parses only the frames an ID3v1 tag can take; every other frame stays raw bytes. That keeps
// pictures unparsed and nested chapter frames (which nest as deep as a hostile tag likes) out of
// reach. A compressed frame is inflated only when it is one of those frames, small, and among
// the first few: a few kilobytes of zlib stream can inflate to gigabytes.
class FieldFrameFactory : public TagLib::ID3v2::FrameFactory
{
public:
    FieldFrameFactory() = default;
    ~FieldFrameFactory() override = default;

protected:
    bool updateFrame(FrameHeader *header) const override
    {
        const bool known = TagLib::ID3v2::FrameFactory::updateFrame(header);
        const bool wanted = isFieldFrame(header->frameID());
        // The frame headers of version 2.2 have no flags; version 2.3 frames of iTunes pass
        // through here once as 2.2 before their real turn.
        if (header->version() >= 3 && header->compression()) {
            const bool inflate = wanted && header->frameSize() <= kMaxCompressedFrame &&
                                 m_compressedFrames < kMaxCompressedFrames;
            if (!inflate) {
                // Drop every flag (render() writes none), so the frame is kept as raw bytes.
                header->setData(header->render(), header->version());
                return false;
            }
            ++m_compressedFrames;
        }
        return known && wanted;
    }

private:
    static constexpr unsigned kMaxCompressedFrame = 4096;
    static constexpr int kMaxCompressedFrames = 8;
    mutable int m_compressedFrames = 0;
};

// TagLib reports damaged frames on stderr in some builds; a damaged tag is ordinary input here.
class SilentListener : public TagLib::DebugListener
{
public:
    void printMessage(const TagLib::String &) override {}
};

void silenceTagLib()
{
    static std::once_flag once;
    std::call_once(once, [] {
        static SilentListener listener;
        TagLib::setDebugListener(&listener);
    });
}

std::string utf8(const TagLib::String &s)
{
    return s.to8Bit(true);
}

const TagLib::ID3v2::FrameList &frames(const TagLib::ID3v2::Tag &tag, const char *id)
{
    return tag.frameListMap()[id];
}

std::string firstText(const TagLib::ID3v2::Tag &tag, const char *id)
{
    const TagLib::ID3v2::FrameList &list = frames(tag, id);
    return list.isEmpty() ? std::string() : utf8(list.front()->toString());
}

std::string commentText(const TagLib::ID3v2::Tag &tag)
{
    const TagLib::ID3v2::FrameList &list = frames(tag, "COMM");
    const TagLib::ID3v2::CommentsFrame *other = nullptr;
    for (const TagLib::ID3v2::Frame *f : list) {
        const auto *c = dynamic_cast<const TagLib::ID3v2::CommentsFrame *>(f);
        if (!c)
            continue;
        if (c->description().isEmpty())
            return utf8(c->text());
        // Players keep their own data in described comments ("iTunNORM", ...): never a
        // comment a person wrote.
        if (!other && !c->description().startsWith("iTun"))
            other = c;
    }
    return other ? utf8(other->text()) : std::string();
}

std::string genreText(const TagLib::ID3v2::Tag &tag)
{
    const TagLib::ID3v2::FrameList &list = frames(tag, "TCON");
    if (list.isEmpty())
        return {};
    const auto *f = dynamic_cast<const TagLib::ID3v2::TextIdentificationFrame *>(list.front());
    if (!f)
        return {};
    for (const TagLib::String &value : f->fieldList()) {
        if (!value.isEmpty())
            return utf8(value);
    }
    return {};
}

Id3v2Info headerInfo(const std::uint8_t *data, std::size_t n)
{
    Id3v2Info info;
    info.size = id3v2DeclaredSize(data, n);
    info.present = info.size > 0;
    if (info.present)
        info.version = data[3];
    return info;
}

std::uint32_t bigEndian(const std::uint8_t *p, bool synchsafe)
{
    const int bits = synchsafe ? 7 : 8;
    return (std::uint32_t(p[0]) << (3 * bits)) | (std::uint32_t(p[1]) << (2 * bits)) |
           (std::uint32_t(p[2]) << bits) | std::uint32_t(p[3]);
}

// How TagLib 1.13 is handed a tag. It takes the extended header's size, and the footer's, off
// the end of the frames as well as the start, losing the last frames; and it reads the
// version 2.3 extended header's size as if it counted its own four bytes. So the body it gets
// is followed by as many zero bytes (padding) as it takes off, and a version 2.3 extended
// header's size counts its own four bytes. A TagLib without those faults sees the same frames
// followed by padding.
struct TagLibLayout {
    std::size_t body = 0; // the bytes after the header that the file holds, footer excluded
    std::size_t padding = 0;
    std::uint32_t extendedSize = 0; // as TagLib is to read it; 0 without an extended header
};

TagLibLayout tagLibLayout(const std::uint8_t *head, std::size_t headLen, std::size_t available)
{
    TagLibLayout layout;
    const std::size_t declared = bigEndian(head + 6, true);
    layout.body = std::min(declared, available > kHeaderSize ? available - kHeaderSize : 0);
    const std::uint8_t flags = head[5];
    if (flags & 0x10)
        layout.padding += 10;
    if ((flags & 0x40) && headLen >= kHeaderSize + 4) {
        const bool v23 = head[3] == 3;
        std::uint32_t size = bigEndian(head + kHeaderSize, !v23);
        if (v23 && (size == 6 || size == 10))
            size += 4;
        if (size <= layout.body) {
            layout.extendedSize = size;
            layout.padding += size;
        }
    }
    return layout;
}

// Makes the start of data the bytes TagLib reads: the header, the body, the padding of the
// layout, and returns their count. data holds the tag's first bytes (at least the header, and
// the extended header's size where it has one); it grows where it is too short, and bytes
// beyond the count are left as they are, so a buffer kept for the next file need not shrink.
std::size_t toTagLibBytes(const TagLibLayout &layout, TagLib::ByteVector &data)
{
    const std::size_t total = kHeaderSize + layout.body + layout.padding;
    if (data.size() < total)
        data.resize(unsigned(total), '\0');
    char *p = data.data();
    std::memset(p + kHeaderSize + layout.body, 0, layout.padding); // a footer, if read
    const std::size_t size = layout.body + layout.padding;
    for (int i = 0; i < 4; ++i)
        p[6 + i] = char((size >> (7 * (3 - i))) & 0x7F);
    if (layout.extendedSize && p[3] == 3) {
        for (int i = 0; i < 4; ++i)
            p[kHeaderSize + i] = char((layout.extendedSize >> (7 * (3 - i))) & 0x7F);
    }
    return total;
}

// The frames of the tag whose bytes TagLib is to read.
void readFrames(const TagLib::ByteVector &bytes, Id3v2Info &info)
{
    silenceTagLib();
    TagLib::ByteVectorStream stream(bytes);
    MemoryFile file(&stream);
    FieldFrameFactory factory;
    const TagLib::ID3v2::Tag tag(&file, 0, &factory);
    info.text.title = firstText(tag, "TIT2");
    info.text.artist = firstText(tag, "TPE1");
    info.text.album = firstText(tag, "TALB");
    info.text.year = firstText(tag, "TDRC");
    info.text.comment = commentText(tag);
    info.text.genre = genreText(tag);
    info.read = true;
}

} // namespace

std::int64_t id3v2DeclaredSize(const std::uint8_t *data, std::size_t n)
{
    if (n < kHeaderSize || data[0] != 'I' || data[1] != 'D' || data[2] != '3')
        return 0;
    const int major = data[3];
    if (major < 2 || major > 4 || data[4] == 0xFF)
        return 0;
    std::int64_t body = 0;
    for (std::size_t i = 6; i < 10; ++i) {
        if (data[i] & 0x80)
            return 0; // a size that is no synchsafe integer: no ID3v2 header
        body = (body << 7) | data[i];
    }
    const bool footer = major == 4 && (data[5] & 0x10);
    return std::int64_t(kHeaderSize) + body + (footer ? 10 : 0);
}

Id3v2Info parseId3v2(const std::uint8_t *data, std::size_t n)
{
    Id3v2Info info = headerInfo(data, n);
    if (!info.present || info.size > kId3v2ReadLimit)
        return info;
    const std::size_t take = std::min<std::size_t>(n, std::size_t(info.size));
    TagLib::ByteVector bytes(reinterpret_cast<const char *>(data), unsigned(take));
    const std::size_t total = toTagLibBytes(tagLibLayout(data, take, take), bytes);
    readFrames(bytes.mid(0, unsigned(total)), info);
    return info;
}

Id3v2Info readId3v2(const std::string &fileName)
{
    return readId3v2At(AT_FDCWD, fileName);
}

Id3v2Info readId3v2At(int dirfd, const std::string &fileName)
{
    // One buffer per thread, kept between files so that a folder of tags or a large picture
    // costs no fresh memory per file; a buffer grown beyond kKeepBuffer is let go.
    thread_local TagLib::ByteVector bytes;
    FileStatus st;
    FileHandle file(openRegularAt(dirfd, fileName, O_RDONLY, st));
    // One read takes the header and, for most tags without pictures, the whole tag. The buffer
    // only grows (growing fills the new part with zeros, so it is not shrunk between files).
    if (bytes.size() < kFirstRead)
        bytes.resize(unsigned(kFirstRead));
    const std::size_t got = readSome(file.fd(), 0, bytes.data(), kFirstRead);
    const auto *head = reinterpret_cast<const std::uint8_t *>(bytes.data());
    Id3v2Info info = headerInfo(head, got);
    if (info.present && info.size <= kId3v2ReadLimit) {
        const std::size_t size = std::size_t(info.size);
        std::size_t len = std::min(got, size);
        if (size > got && got == kFirstRead) {
            // Room for TagLib's padding too, so the tag is read into its final place.
            if (bytes.size() < size + 10 + 16)
                bytes.resize(unsigned(size + 10 + 16));
            len = got + readSome(file.fd(), std::int64_t(got), bytes.data() + got, size - got);
        }
        const TagLibLayout layout =
            tagLibLayout(reinterpret_cast<const std::uint8_t *>(bytes.data()), len, len);
        const std::size_t total = toTagLibBytes(layout, bytes);
        // A view of the buffer's start: TagLib shares the bytes, never copies them.
        readFrames(bytes.mid(0, unsigned(total)), info);
    }
    if (bytes.size() > kKeepBuffer)
        bytes = TagLib::ByteVector();
    file.close();
    return info;
}

Id3v2Info readId3v2Header(const std::string &fileName)
{
    return readId3v2HeaderAt(AT_FDCWD, fileName);
}

Id3v2Info readId3v2HeaderAt(int dirfd, const std::string &fileName)
{
    FileStatus st;
    FileHandle file(openRegularAt(dirfd, fileName, O_RDONLY, st));
    std::uint8_t head[kHeaderSize];
    const Id3v2Info info = headerInfo(head, readSome(file.fd(), 0, head, sizeof head));
    file.close();
    return info;
}

std::string id3v2VersionText(const Id3v2Info &info)
{
    return "2." + std::to_string(info.version);
}

std::string id3v2InfoLine(const Id3v2Info &info)
{
    if (!info.present)
        return {};
    std::string digits = std::to_string(info.size);
    for (int at = int(digits.size()) - 3; at > 0; at -= 3)
        digits.insert(std::size_t(at), ",");
    return "ID3v" + id3v2VersionText(info) + ": " + digits + " bytes";
}
