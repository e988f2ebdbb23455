#include "id3v2reader.h"

#include "id3v2frames.h"

#include "regularfile.h"

#include <algorithm>
#include <cstring>
#include <fcntl.h>
#include <mutex>
#include <vector>

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

// TagLib reads through a File; this one is a tag's bytes in memory, so TagLib never opens a path
// and never sees more than the frames it is given.
class MemoryFile : public TagLib::File
{
public:
    explicit MemoryFile(TagLib::IOStream *stream) : TagLib::File(stream) {}
    TagLib::Tag *tag() const override { return nullptr; }
    TagLib::AudioProperties *audioProperties() const override { return nullptr; }
    bool save() override { return false; }
};

// TagLib's frame header is a protected type of Frame that FrameFactory::updateFrame() takes;
// a class derived from Frame may name it.
class FrameHeaderName : public TagLib::ID3v2::Frame
{
public:
    using Header = TagLib::ID3v2::Frame::Header;
};
using FrameHeader = FrameHeaderName::Header;

// A compressed frame is inflated only when it is one of the six, small, and among the first few
// of them in the tag: a few kilobytes of zlib stream can inflate to gigabytes.
constexpr std::uint32_t kMaxCompressedFrame = 4096;
constexpr int kMaxCompressedFrames = 8;

// Parses only the frames an ID3v1 tag can take; any other frame stays raw bytes. The walk decides
// which compressed frames are inflated (as if TagLib had seen the whole tag) and hands the
// decisions over in the order of the frames.
class FieldFrameFactory : public TagLib::ID3v2::FrameFactory
{
public:
    explicit FieldFrameFactory(std::vector<bool> inflate) : m_inflate(std::move(inflate)) {}
    ~FieldFrameFactory() override = default;

protected:
    bool updateFrame(FrameHeader *header) const override
    {
        const bool known = TagLib::ID3v2::FrameFactory::updateFrame(header);
        const TagLib::ByteVector id = header->frameID();
        // TagLib has given the frame its 2.4 name by now.
        const std::string_view name(id.data(), id.size());
        const bool wanted = !name.empty() && id3v2FieldName(4, name) == name;
        // The frame headers of version 2.2 have no flags; version 2.3 frames of iTunes pass
        // through here once as 2.2 before their real turn.
        if (header->version() >= 3 && header->compression()) {
            bool inflate = false;
            if (wanted && m_next < m_inflate.size())
                inflate = m_inflate[m_next++];
            if (!inflate) {
                // Drop every flag (render() writes none), so the frame is kept as raw bytes.
                header->setData(header->render(), header->version());
                return false;
            }
        }
        return known && wanted;
    }

private:
    std::vector<bool> m_inflate;
    mutable std::size_t m_next = 0;
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

// The frames the six texts come from, chosen as the frames are walked: the first of each kind,
// and of the comments those TagLib must look at to find the first without a description (else
// the first other one that is not a player's own). A 2.3 year of four digits takes the month
// and day from TDAT, and the time from TIME, when the tag has one of each (TagLib merges them),
// so those are counted to the end of the tag.
class FieldFrameChoice
{
public:
    explicit FieldFrameChoice(const Id3v2FrameWalk &walk) : m_walk(walk) {}

    // Takes the frame into account; false once nothing later in the tag can change a text.
    bool take(const Id3v2Frame &f)
    {
        const int version = m_walk.version();
        const std::string_view name = id3v2FieldName(version, f);
        if (name.empty()) {
            if (version == 3 && f.id == "TDAT")
                count(m_dates, m_date, f);
            else if (version == 3 && f.id == "TIME")
                count(m_times, m_time, f);
            return !done();
        }
        bool inflate = false;
        if (version >= 3 && f.compressed && !f.encrypted) {
            inflate = f.bodySize <= kMaxCompressedFrame && m_inflated < kMaxCompressedFrames;
            m_inflated += inflate;
        }
        if (name == "COMM") {
            takeComment(f, inflate);
        } else {
            static const char *const kKinds[] = {"TIT2", "TPE1", "TALB", "TDRC", "TCON"};
            const std::size_t kind = std::size_t(
                std::find(std::begin(kKinds), std::end(kKinds), name) - std::begin(kKinds));
            m_years += name == "TDRC";
            if (!m_found[kind]) {
                m_found[kind] = true;
                pick(f, inflate);
            }
        }
        return !done();
    }

    // The chosen frames as a tag of their own for TagLib: the same version, each frame with the
    // size the walk gave it, then padding. Sets inflate to the decisions for its compressed
    // frames, in their order.
    std::string tagBytes(std::vector<bool> &inflate)
    {
        // A frame that ends where the tag does (or is cut off there) stays the last, so that
        // TagLib reads it (and a compressed stream in it) as far as it goes, as in the whole tag.
        const bool cut = !m_picked.empty() && atEnd(m_picked.back().frame);
        std::vector<Picked> date;
        // TagLib merges them only after a walk that did not end at a damaged frame.
        if (m_walk.version() == 3 && m_years == 1 && m_dates == 1 &&
            m_walk.end() != Id3v2FrameWalk::End::Damaged) {
            date.push_back({m_date, false});
            if (m_times == 1)
                date.push_back({m_time, false});
        }
        m_picked.insert(cut ? m_picked.end() - 1 : m_picked.end(), date.begin(), date.end());
        const int version = m_walk.version();
        std::string out = "ID3";
        out += char(version);
        out += '\0';
        out += char(version == 4 ? m_walk.flags() & 0x80 : 0); // 2.4 frames stay unsynchronised
        out += std::string(4, '\0');
        for (const Picked &p : m_picked) {
            const Id3v2Frame &f = p.frame;
            const auto size = std::uint32_t(f.bodySize);
            out += f.id;
            if (version == 2) {
                for (int shift : {16, 8, 0})
                    out += char((size >> shift) & 0xFF);
            } else {
                for (int shift : {24, 16, 8, 0})
                    out += char(version == 4 ? (size >> (shift / 8 * 7)) & 0x7F
                                             : (size >> shift) & 0xFF);
                out += char(f.flags >> 8);
                out += char(f.flags & 0xFF);
            }
            out += f.raw.substr(f.headerSize);
            if (version >= 3 && f.compressed && !f.encrypted &&
                !id3v2FieldName(version, f.id).empty())
                inflate.push_back(p.inflate);
        }
        // TagLib reads the whole tag with as many zero bytes after the frames as it takes its
        // extended header and footer to be: a frame cut off at the end reads into them.
        const std::size_t trail = m_walk.extendedHeaderSize() + (m_walk.flags() & 0x10 ? 10 : 0);
        out += std::string(cut ? trail : 10, '\0');
        const std::size_t size = out.size() - 10;
        for (int i = 0; i < 4; ++i)
            out[6 + i] = char((size >> (7 * (3 - i))) & 0x7F);
        return out;
    }

    bool empty() const { return m_picked.empty(); }

private:
    struct Picked {
        Id3v2Frame frame;
        bool inflate;
    };

    void pick(const Id3v2Frame &f, bool inflate) { m_picked.push_back({f, inflate}); }

    bool atEnd(const Id3v2Frame &f) const
    {
        return f.offset + f.raw.size() == m_walk.frameData().size();
    }

    static void count(int &n, Id3v2Frame &first, const Id3v2Frame &f)
    {
        if (n++ == 0)
            first = f;
    }

    void takeComment(const Id3v2Frame &f, bool inflate)
    {
        if (m_commentFound || f.encrypted)
            return; // TagLib keeps an encrypted frame as raw bytes: no comment
        if (f.compressed) {
            if (inflate)
                pick(f, true); // only TagLib can tell what it holds
            return;
        }
        switch (commentDescription(m_walk.body(f, m_scratch))) {
        case CommentDescription::Empty:
            pick(f, false);
            m_commentFound = true;
            break;
        case CommentDescription::Other:
            if (!m_otherComment)
                pick(f, false);
            m_otherComment = true;
            break;
        case CommentDescription::Player:
            break;
        }
    }

    bool done() const
    {
        const bool all =
            std::all_of(std::begin(m_found), std::end(m_found), [](bool b) { return b; });
        return all && m_commentFound && (m_walk.version() != 3 || m_years >= 2 || m_dates >= 2);
    }

    const Id3v2FrameWalk &m_walk;
    std::vector<Picked> m_picked;
    std::string m_scratch;
    bool m_found[5] = {};
    bool m_commentFound = false;
    bool m_otherComment = false;
    int m_inflated = 0;
    int m_years = 0, m_dates = 0, m_times = 0;
    Id3v2Frame m_date, m_time;
};

// Reads the six texts from the tag's bytes (header included; n may be less than it declares).
void readFrames(const std::uint8_t *tag, std::size_t n, Id3v2Info &info)
{
    info.read = true;
    Id3v2FrameWalk walk(tag, n, true);
    FieldFrameChoice choice(walk);
    Id3v2Frame f;
    while (walk.next(f) && choice.take(f)) {
    }
    if (choice.empty())
        return;
    std::vector<bool> inflate;
    const std::string bytes = choice.tagBytes(inflate);
    silenceTagLib();
    TagLib::ByteVectorStream stream(TagLib::ByteVector(bytes.data(), unsigned(bytes.size())));
    MemoryFile file(&stream);
    FieldFrameFactory factory(std::move(inflate));
    const TagLib::ID3v2::Tag t(&file, 0, &factory);
    info.text.title = firstText(t, "TIT2");
    info.text.artist = firstText(t, "TPE1");
    info.text.album = firstText(t, "TALB");
    info.text.year = firstText(t, "TDRC");
    info.text.comment = commentText(t);
    info.text.genre = genreText(t);
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
    readFrames(data, std::min<std::size_t>(n, std::size_t(info.size)), info);
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
    thread_local std::string bytes;
    FileStatus st;
    FileHandle file(openRegularAt(dirfd, fileName, O_RDONLY, st));
    // One read takes the header and, for most tags without pictures, the whole tag.
    if (bytes.size() < kFirstRead)
        bytes.resize(kFirstRead);
    const std::size_t got = readSome(file.fd(), 0, bytes.data(), kFirstRead);
    const auto *head = reinterpret_cast<const std::uint8_t *>(bytes.data());
    Id3v2Info info = headerInfo(head, got);
    if (info.present && info.size <= kId3v2ReadLimit) {
        const std::size_t size = std::size_t(info.size);
        std::size_t len = std::min(got, size);
        if (size > got && got == kFirstRead) {
            if (bytes.size() < size)
                bytes.resize(size);
            len = got + readSome(file.fd(), std::int64_t(got), bytes.data() + got, size - got);
        }
        readFrames(reinterpret_cast<const std::uint8_t *>(bytes.data()), len, info);
    }
    if (bytes.size() > kKeepBuffer)
        std::string().swap(bytes);
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
