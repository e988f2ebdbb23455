#include "journalformat.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <zlib.h>

namespace journalformat
{
namespace
{

// Payloads larger than this are taken for corruption.
constexpr std::uint32_t kMaxPayload = 1u << 30;

std::uint32_t crc32(QByteArrayView data)
{
    // zlib's CRC-32 (the reflected 0xEDB88320 polynomial), which reads many bytes at a step.
    return std::uint32_t(::crc32_z(::crc32_z(0, nullptr, 0),
                                   reinterpret_cast<const Bytef *>(data.data()),
                                   std::size_t(data.size())));
}

// Builds one framed record at the end of out: room for the length and checksum, then the
// payload; done() fills them in.
class Writer
{
public:
    Writer(QByteArray &out, RecordType type) : m_data(out), m_start(out.size())
    {
        m_data.resize(m_start + 8);
        m_data.append(char(type));
    }
    Writer &u8(std::uint8_t v)
    {
        *grow(1) = char(v);
        return *this;
    }
    Writer &u64(std::uint64_t v)
    {
        char *le = grow(8);
        for (int i = 0; i < 8; ++i)
            le[i] = char(v >> (8 * i));
        return *this;
    }
    Writer &bytes(QByteArrayView v)
    {
        char *le = grow(4 + v.size());
        for (int i = 0; i < 4; ++i)
            le[i] = char(std::uint32_t(v.size()) >> (8 * i));
        if (!v.isEmpty())
            std::memcpy(le + 4, v.data(), std::size_t(v.size()));
        return *this;
    }
    void done()
    {
        const QByteArrayView payload = QByteArrayView(m_data).sliced(m_start + 8);
        putU32(m_start, std::uint32_t(payload.size()));
        putU32(m_start + 4, crc32(payload));
    }

private:
    // n more bytes at the end, to be written.
    char *grow(qsizetype n)
    {
        const qsizetype at = m_data.size();
        m_data.resize(at + n);
        return m_data.data() + at;
    }
    void putU32(qsizetype at, std::uint32_t v)
    {
        for (int i = 0; i < 4; ++i)
            m_data[at + i] = char(v >> (8 * i));
    }

    QByteArray &m_data;
    qsizetype m_start;
};

// Reads a payload; any read past its end marks it bad.
class Reader
{
public:
    explicit Reader(QByteArrayView data) : m_data(data) {}
    bool ok() const { return m_ok; }
    bool atEnd() const { return m_pos == m_data.size(); }

    std::uint64_t number(int width)
    {
        if (!have(width))
            return 0;
        std::uint64_t v = 0;
        for (int i = 0; i < width; ++i)
            v |= std::uint64_t(std::uint8_t(m_data[m_pos + i])) << (8 * i);
        m_pos += width;
        return v;
    }
    std::uint8_t u8() { return std::uint8_t(number(1)); }
    std::uint64_t u64() { return number(8); }
    QByteArray bytes()
    {
        const qsizetype n = qsizetype(number(4));
        if (!have(n))
            return {};
        const QByteArray v = m_data.sliced(m_pos, n).toByteArray();
        m_pos += n;
        return v;
    }

private:
    bool have(qsizetype n)
    {
        if (m_ok && n >= 0 && m_data.size() - m_pos >= n)
            return true;
        m_ok = false;
        return false;
    }

    QByteArrayView m_data;
    qsizetype m_pos = 0;
    bool m_ok = true;
};

std::uint32_t u32At(QByteArrayView data, std::int64_t at)
{
    std::uint32_t v = 0;
    for (int i = 0; i < 4; ++i)
        v |= std::uint32_t(std::uint8_t(data[at + i])) << (8 * i);
    return v;
}

std::optional<JournalChange> readChange(RecordType type, Reader &in)
{
    switch (type) {
    case Tag: {
        JournalTag c;
        c.path = in.bytes();
        c.oldSize = std::int64_t(in.u64());
        c.appended = in.u8() != 0;
        c.oldLast = in.bytes();
        c.newTag = in.bytes();
        return c;
    }
    case Rename: {
        JournalRename c;
        c.folder = in.bytes();
        c.oldName = in.bytes();
        c.newName = in.bytes();
        c.inode = in.u64();
        return c;
    }
    case Playlist: {
        JournalPlaylist c;
        c.path = in.bytes();
        const bool hadOld = in.u8() != 0;
        const QByteArray old = in.bytes();
        if (hadOld)
            c.oldContent = old;
        c.newContent = in.bytes();
        return c;
    }
    default:
        return std::nullopt;
    }
}

void moveBetween(std::vector<std::uint64_t> &from, std::vector<std::uint64_t> &to, std::uint64_t id)
{
    const auto it = std::find(from.begin(), from.end(), id);
    if (it == from.end())
        return;
    from.erase(it);
    to.push_back(id);
}

} // namespace

std::uint32_t checksum(QByteArrayView data)
{
    return crc32(data);
}

QByteArray beginRecord(const JournalCommand &command)
{
    QByteArray out;
    Writer(out, Begin)
        .u64(command.id)
        .u64(std::uint64_t(command.timeMs))
        .bytes(command.runId)
        .bytes(command.name.toUtf8())
        .bytes(command.folder)
        .done();
    return out;
}

qsizetype changeRecordSize(const JournalChange &change)
{
    constexpr qsizetype kFraming = 48; // length, checksum, type, numbers, field lengths
    if (const auto *t = std::get_if<JournalTag>(&change))
        return t->path.size() + t->oldLast.size() + t->newTag.size() + kFraming;
    if (const auto *r = std::get_if<JournalRename>(&change))
        return r->folder.size() + r->oldName.size() + r->newName.size() + kFraming;
    const auto &p = std::get<JournalPlaylist>(change);
    return p.path.size() + p.newContent.size() + (p.oldContent ? p.oldContent->size() : 0) +
           kFraming;
}

void appendChangeRecord(QByteArray &out, std::uint64_t command, const JournalChange &change)
{
    if (const auto *t = std::get_if<JournalTag>(&change)) {
        Writer(out, Tag)
            .u64(command)
            .bytes(t->path)
            .u64(std::uint64_t(t->oldSize))
            .u8(t->appended)
            .bytes(t->oldLast)
            .bytes(t->newTag)
            .done();
    } else if (const auto *r = std::get_if<JournalRename>(&change)) {
        Writer(out, Rename)
            .u64(command)
            .bytes(r->folder)
            .bytes(r->oldName)
            .bytes(r->newName)
            .u64(r->inode)
            .done();
    } else {
        const auto &p = std::get<JournalPlaylist>(change);
        Writer(out, Playlist)
            .u64(command)
            .bytes(p.path)
            .u8(p.oldContent.has_value())
            .bytes(p.oldContent.value_or(QByteArray()))
            .bytes(p.newContent)
            .done();
    }
}

QByteArray changeRecord(std::uint64_t command, const JournalChange &change)
{
    QByteArray out;
    out.reserve(changeRecordSize(change));
    appendChangeRecord(out, command, change);
    return out;
}

QByteArray markRecord(RecordType type, std::uint64_t command)
{
    QByteArray out;
    Writer(out, type).u64(command).done();
    return out;
}

} // namespace journalformat

using namespace journalformat;

std::int64_t Journal::State::read(QByteArrayView data, std::int64_t offset)
{
    std::int64_t at = offset;
    while (data.size() - at >= 8) {
        const std::uint32_t length = u32At(data, at);
        if (length == 0 || length > kMaxPayload || std::uint64_t(data.size() - at - 8) < length)
            break;
        const QByteArrayView payload = data.sliced(at + 8, length);
        if (crc32(payload) != u32At(data, at + 4))
            break;
        Reader in(payload);
        const auto type = RecordType(in.u8());
        const std::uint64_t id = in.u64();
        if (type == Begin) {
            JournalCommand c;
            c.id = id;
            c.timeMs = std::int64_t(in.u64());
            c.runId = in.bytes();
            c.name = QString::fromUtf8(in.bytes());
            c.folder = in.bytes();
            if (!in.ok() || !in.atEnd())
                break;
            ++begins;
            if (commands.emplace(id, c).second) {
                undo.push_back(id);
                redo.clear();
            }
        } else if (type == Undo || type == Redo) {
            if (!in.ok() || !in.atEnd())
                break;
            if (type == Undo)
                moveBetween(undo, redo, id);
            else
                moveBetween(redo, undo, id);
        } else {
            std::optional<JournalChange> change = readChange(type, in);
            if (!change || !in.ok() || !in.atEnd())
                break;
            if (const auto it = commands.find(id); it != commands.end())
                it->second.changes.push_back(std::move(*change));
        }
        at += 8 + std::int64_t(length);
    }
    return at;
}

int Journal::State::keptCommands(int keep) const
{
    return int(std::min(undo.size(), std::size_t(keep)) + std::min(redo.size(), std::size_t(keep)));
}

QByteArray Journal::State::compacted(int keep) const
{
    // Undo side oldest first, then the redo side from the next to redo down, each with a
    // begin record (which clears the redo side); then undo marks for the redo side, oldest
    // first, move those back to where they stood.
    const std::size_t from = undo.size() > std::size_t(keep) ? undo.size() - keep : 0;
    std::vector<std::uint64_t> order(undo.begin() + std::ptrdiff_t(from), undo.end());
    const std::size_t redoFrom = redo.size() > std::size_t(keep) ? redo.size() - keep : 0;
    const std::vector<std::uint64_t> keptRedo(redo.begin() + std::ptrdiff_t(redoFrom), redo.end());
    order.insert(order.end(), keptRedo.rbegin(), keptRedo.rend());

    QByteArray out(kJournalMagic, kMagicSize);
    for (const std::uint64_t id : order) {
        const JournalCommand &c = commands.at(id);
        out += beginRecord(c);
        for (const JournalChange &change : c.changes)
            appendChangeRecord(out, id, change);
    }
    for (const std::uint64_t id : keptRedo)
        out += markRecord(Undo, id);
    return out;
}
