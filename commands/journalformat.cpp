#include "journalformat.h"

#include "ioerror.h"
#include "regularfile.h"

#include <algorithm>
#include <cstring>
#include <zlib.h>

namespace journalformat
{
namespace
{

// Payloads larger than this are taken for corruption.
constexpr std::uint32_t kMaxPayload = 1u << 30;
// Padding of an ID3v2 tag larger than the reader's limit is taken for corruption.
constexpr std::uint32_t kId3v2PaddingLimit = 32u << 20;

std::uint32_t crc32(QByteArrayView data)
{
    // zlib's CRC-32 (the reflected 0xEDB88320 polynomial), which reads many bytes at a step.
    return std::uint32_t(::crc32_z(::crc32_z(0, nullptr, 0),
                                   reinterpret_cast<const Bytef *>(data.data()),
                                   std::size_t(data.size())));
}

// Where the bytes end once their trailing zeros are taken off: a word at a time, for the
// kilobytes of padding most ID3v2 tags carry.
qsizetype endOfData(QByteArrayView v)
{
    const char *data = v.data();
    qsizetype end = v.size();
    for (std::uint64_t word = 0; end >= 8; end -= 8) {
        std::memcpy(&word, data + end - 8, 8);
        if (word != 0)
            break;
    }
    while (end > 0 && data[end - 1] == '\0')
        --end;
    return end;
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
    Writer &u32(std::uint32_t v)
    {
        char *le = grow(4);
        for (int i = 0; i < 4; ++i)
            le[i] = char(v >> (8 * i));
        return *this;
    }
    Writer &bytes(QByteArrayView v)
    {
        u32(std::uint32_t(v.size()));
        if (!v.isEmpty())
            std::memcpy(grow(v.size()), v.data(), std::size_t(v.size()));
        return *this;
    }
    // Bytes whose trailing zeros (an ID3v2 tag's padding) are only counted.
    Writer &paddedBytes(QByteArrayView v)
    {
        const qsizetype end = endOfData(v);
        return u32(std::uint32_t(v.size() - end)).bytes(v.first(end));
    }
    Writer &identity(const FileIdentity &id)
    {
        return u64(id.device).u64(id.inode).u64(std::uint64_t(id.bornNs));
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
    std::uint32_t u32() { return std::uint32_t(number(4)); }
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
    // Bytes written by Writer::paddedBytes: their padding of zeros put back.
    QByteArray paddedBytes()
    {
        const std::uint32_t zeros = u32();
        QByteArray v = bytes();
        if (m_ok && zeros <= std::uint32_t(kId3v2PaddingLimit))
            v.append(qsizetype(zeros), '\0');
        return v;
    }
    FileIdentity identity()
    {
        FileIdentity id;
        id.device = u64();
        id.inode = u64();
        id.bornNs = std::int64_t(u64());
        return id;
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

// Records held in memory.
class MemoryRecords
{
public:
    explicit MemoryRecords(QByteArrayView data) : m_data(data) {}
    std::int64_t size() const { return m_data.size(); }
    QByteArrayView read(std::int64_t at, std::int64_t n) const { return m_data.sliced(at, n); }

private:
    QByteArrayView m_data;
};

// Records read from a file through a window of a megabyte (a record larger than that is read
// on its own), so that reading a command of gigabytes (whole ID3v2 tags) holds about one record,
// and a command of a million small records takes few reads. Throws IoError.
class FileRecords
{
public:
    FileRecords(int fd, std::int64_t size) : m_fd(fd), m_size(size) {}
    std::int64_t size() const { return m_size; }
    // The n bytes at offset at, valid until the next read.
    QByteArrayView read(std::int64_t at, std::int64_t n)
    {
        if (at < m_start || at + n > m_start + m_window.size()) {
            constexpr std::int64_t kWindow = 1 << 20;
            const std::int64_t want = std::max(n, std::min(kWindow, m_size - at));
            m_window.resize(qsizetype(want));
            m_window.truncate(qsizetype(readSome(m_fd, at, m_window.data(), std::size_t(want))));
            m_start = at;
            if (m_window.size() < n)
                throw IoError::readBeyondEnd(); // shorter than it was
        }
        return QByteArrayView(m_window).sliced(qsizetype(at - m_start), qsizetype(n));
    }

private:
    int m_fd;
    std::int64_t m_size;
    std::int64_t m_start = 0;
    QByteArray m_window;
};

// Walks the framed records of records from offset on, handing each payload and the record's
// offset to take (which returns false for a payload it cannot read). Returns how the records
// ended and, in end, where the last whole one ended.
template <typename Records, typename Take>
ReadEnd eachRecord(Records &records, std::int64_t offset, std::int64_t &end, Take take)
{
    const std::int64_t size = records.size();
    std::int64_t at = offset;
    end = at;
    while (at < size) {
        if (size - at < 8)
            return ReadEnd::Torn;
        const QByteArrayView head = records.read(at, 8);
        const std::uint32_t length = u32At(head, 0), sum = u32At(head, 4);
        if (length == 0 || length > kMaxPayload)
            return ReadEnd::Damaged;
        if (std::uint64_t(size - at - 8) < length)
            return ReadEnd::Torn; // runs past the end: the last write, cut short
        const QByteArrayView payload = records.read(at + 8, length);
        const bool last = at + 8 + std::int64_t(length) == size;
        if (crc32(payload) != sum || !take(payload, at))
            return last ? ReadEnd::Torn : ReadEnd::Damaged;
        at += 8 + std::int64_t(length);
        end = at;
    }
    return ReadEnd::Whole;
}

template <typename Take>
ReadEnd eachRecord(QByteArrayView data, std::int64_t offset, std::int64_t &end, Take take)
{
    MemoryRecords records(data);
    return eachRecord(records, offset, end, take);
}

std::optional<JournalChange> readChange(RecordType type, Reader &in, bool old)
{
    switch (type) {
    case Tag: {
        JournalTag c;
        c.path = in.bytes();
        c.oldSize = std::int64_t(in.u64());
        c.appended = in.u8() != 0;
        c.oldLast = in.bytes();
        c.newTag = in.bytes();
        if (!old)
            c.identity = in.identity();
        return c;
    }
    case Rename: {
        JournalRename c;
        c.folder = in.bytes();
        c.oldName = in.bytes();
        c.newName = in.bytes();
        if (old)
            c.identity.inode = in.u64();
        else
            c.identity = in.identity();
        return c;
    }
    case Id3v2: {
        if (old)
            return std::nullopt;
        JournalId3v2 c;
        c.path = in.bytes();
        c.oldSize = std::int64_t(in.u64());
        c.oldTag = in.paddedBytes();
        c.newTag = in.paddedBytes();
        c.inPlace = in.u8() != 0;
        c.identity = in.identity();
        c.written = in.identity();
        return c;
    }
    case Playlist: {
        JournalPlaylist c;
        c.path = in.bytes();
        const bool hadOld = in.u8() != 0;
        const QByteArray previous = in.bytes();
        if (hadOld)
            c.oldContent = previous;
        c.newContent = in.bytes();
        if (!old)
            c.written = in.identity();
        return c;
    }
    default:
        return std::nullopt;
    }
}

bool readBegin(Reader &in, JournalCommand &c)
{
    c.id = in.u64();
    c.stamp = std::int64_t(in.u64());
    c.timeMs = std::int64_t(in.u64());
    c.runId = in.bytes();
    c.name = QString::fromUtf8(in.bytes());
    c.folder = in.bytes();
    return in.ok() && in.atEnd();
}

bool hasMagic(QByteArrayView data, const char *magic)
{
    return data.size() >= kMagicSize && data.first(kMagicSize) == QByteArrayView(magic, kMagicSize);
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
        .u64(std::uint64_t(command.stamp))
        .u64(std::uint64_t(command.timeMs))
        .bytes(command.runId)
        .bytes(command.name.toUtf8())
        .bytes(command.folder)
        .done();
    return out;
}

qsizetype changeRecordSize(const JournalChange &change)
{
    constexpr qsizetype kFraming = 80; // length, checksum, type, numbers, field lengths
    if (const auto *t = std::get_if<JournalTag>(&change))
        return t->path.size() + t->oldLast.size() + t->newTag.size() + kFraming;
    if (const auto *r = std::get_if<JournalRename>(&change))
        return r->folder.size() + r->oldName.size() + r->newName.size() + kFraming;
    if (const auto *v = std::get_if<JournalId3v2>(&change))
        return v->path.size() + v->oldTag.size() + v->newTag.size() + kFraming + 48;
    const auto &p = std::get<JournalPlaylist>(change);
    return p.path.size() + p.newContent.size() + (p.oldContent ? p.oldContent->size() : 0) +
           kFraming;
}

void appendChangeRecord(QByteArray &out, int index, const JournalChange &change)
{
    if (const auto *t = std::get_if<JournalTag>(&change)) {
        Writer(out, Tag)
            .u32(std::uint32_t(index))
            .bytes(t->path)
            .u64(std::uint64_t(t->oldSize))
            .u8(t->appended)
            .bytes(t->oldLast)
            .bytes(t->newTag)
            .identity(t->identity)
            .done();
    } else if (const auto *r = std::get_if<JournalRename>(&change)) {
        Writer(out, Rename)
            .u32(std::uint32_t(index))
            .bytes(r->folder)
            .bytes(r->oldName)
            .bytes(r->newName)
            .identity(r->identity)
            .done();
    } else if (const auto *v = std::get_if<JournalId3v2>(&change)) {
        Writer(out, Id3v2)
            .u32(std::uint32_t(index))
            .bytes(v->path)
            .u64(std::uint64_t(v->oldSize))
            .paddedBytes(v->oldTag)
            .paddedBytes(v->newTag)
            .u8(v->inPlace)
            .identity(v->identity)
            .identity(v->written)
            .done();
    } else {
        const auto &p = std::get<JournalPlaylist>(change);
        Writer(out, Playlist)
            .u32(std::uint32_t(index))
            .bytes(p.path)
            .u8(p.oldContent.has_value())
            .bytes(p.oldContent.value_or(QByteArray()))
            .bytes(p.newContent)
            .identity(p.written)
            .done();
    }
}

void appendMadeRecord(QByteArray &out, const std::vector<int> &indices, bool final)
{
    Writer w(out, Made);
    w.u8(final).u32(std::uint32_t(indices.size()));
    for (const int index : indices)
        w.u32(std::uint32_t(index));
    w.done();
}

QByteArray passBeginRecord(bool undo, std::int64_t stamp)
{
    QByteArray out;
    Writer(out, PassBegin).u8(undo).u64(std::uint64_t(stamp)).done();
    return out;
}

QByteArray touchRecord(int index, const FileIdentity &newFile)
{
    QByteArray out;
    Writer(out, Touch).u32(std::uint32_t(index)).identity(newFile).done();
    return out;
}

QByteArray passEndRecord()
{
    QByteArray out;
    Writer(out, PassEnd).done();
    return out;
}

namespace
{

// A change record's payload after its type: the change's index and the change; nothing when it
// is no whole change.
std::optional<JournalChange> changeOf(RecordType type, Reader &in, int &index)
{
    index = int(in.u32());
    std::optional<JournalChange> change = readChange(type, in, false);
    if (!change || !in.ok() || !in.atEnd() || index < 0)
        return std::nullopt;
    return change;
}

// Reads a command's records. With tagsStored, an ID3v2 change keeps only where its record is.
template <typename Records>
ReadEnd readCommandFrom(Records &records, JournalCommand &out, bool headerOnly, bool tagsStored)
{
    if (records.size() < kMagicSize)
        return ReadEnd::Torn;
    if (!hasMagic(records.read(0, kMagicSize), kCommandMagic))
        return ReadEnd::Damaged;
    bool begun = false;
    // The latest change of each index, in index order.
    std::map<int, std::pair<JournalChange, bool>> changes;
    std::int64_t end = 0;
    const ReadEnd how =
        eachRecord(records, kMagicSize, end, [&](QByteArrayView payload, std::int64_t at) {
            Reader in(payload);
            const auto type = RecordType(in.u8());
            if (!begun) {
                begun = type == Begin && readBegin(in, out);
                return begun;
            }
            if (headerOnly)
                return true;
            if (type == Made) {
                const bool final = in.u8() != 0;
                const std::uint32_t n = in.u32();
                for (std::uint32_t i = 0; i < n && in.ok(); ++i) {
                    const auto it = changes.find(int(in.u32()));
                    if (it != changes.end())
                        it->second.second = true;
                }
                out.ended = out.ended || final;
                return in.ok() && in.atEnd();
            }
            int index = 0;
            std::optional<JournalChange> change = changeOf(type, in, index);
            if (!change)
                return false;
            if (auto *v = std::get_if<JournalId3v2>(&*change); v && tagsStored) {
                v->oldTag.clear();
                v->newTag.clear();
                v->storedAt = at;
            }
            changes.insert_or_assign(index, std::pair{std::move(*change), false});
            return true;
        });
    if (!begun)
        return ReadEnd::Damaged;
    out.changes.clear();
    out.made.clear();
    for (auto &[index, change] : changes) {
        out.changes.push_back(std::move(change.first));
        out.made.push_back(change.second);
    }
    return headerOnly && how != ReadEnd::Damaged ? ReadEnd::Whole : how;
}

} // namespace

ReadEnd readCommand(QByteArrayView data, JournalCommand &out, bool headerOnly)
{
    MemoryRecords records(data);
    return readCommandFrom(records, out, headerOnly, false);
}

ReadEnd readCommandFile(int fd, std::int64_t size, JournalCommand &out)
{
    FileRecords records(fd, size);
    return readCommandFrom(records, out, false, true);
}

std::optional<JournalChange> readStoredChange(int fd, std::int64_t at)
{
    FileRecords head(fd, at + 8);
    FileRecords record(fd, at + 8 + std::int64_t(u32At(head.read(at, 8), 0)));
    std::optional<JournalChange> change;
    std::int64_t end = 0;
    (void)eachRecord(record, at, end, [&](QByteArrayView payload, std::int64_t) {
        Reader in(payload);
        const auto type = RecordType(in.u8());
        int index = 0;
        change = changeOf(type, in, index);
        return change.has_value();
    });
    return change;
}

ReadEnd readPasses(QByteArrayView data, std::vector<JournalPass> &out)
{
    if (!hasMagic(data, kPassesMagic))
        return data.size() < kMagicSize ? ReadEnd::Torn : ReadEnd::Damaged;
    std::int64_t end = 0;
    return eachRecord(data, kMagicSize, end, [&](QByteArrayView payload, std::int64_t) {
        Reader in(payload);
        const auto type = RecordType(in.u8());
        if (type == PassBegin) {
            JournalPass pass;
            pass.undo = in.u8() != 0;
            pass.stamp = std::int64_t(in.u64());
            out.push_back(pass);
        } else if (type == Touch && !out.empty()) {
            const int index = int(in.u32());
            out.back().touched[index] = in.identity();
        } else if (type == PassEnd && !out.empty()) {
            out.back().complete = true;
        } else {
            return false;
        }
        return in.ok() && in.atEnd();
    });
}

std::int64_t wholeRecordsEnd(QByteArrayView data)
{
    if (data.size() < kMagicSize)
        return 0;
    std::int64_t end = 0;
    (void)eachRecord(data, kMagicSize, end, [](QByteArrayView, std::int64_t) { return true; });
    return end;
}

OldJournal readOldJournal(QByteArrayView whole)
{
    OldJournal journal;
    if (!hasMagic(whole, kJournalMagic))
        return journal;
    const auto moveBetween = [](std::vector<std::uint64_t> &from, std::vector<std::uint64_t> &to,
                                std::uint64_t id) {
        const auto it = std::find(from.begin(), from.end(), id);
        if (it == from.end())
            return;
        from.erase(it);
        to.push_back(id);
    };
    std::int64_t end = 0;
    (void)eachRecord(whole, kMagicSize, end, [&](QByteArrayView payload, std::int64_t) {
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
                return false;
            if (journal.commands.emplace(id, c).second) {
                journal.undo.push_back(id);
                journal.redo.clear();
            }
        } else if (type == Undo || type == Redo) {
            if (!in.ok() || !in.atEnd())
                return false;
            if (type == Undo)
                moveBetween(journal.undo, journal.redo, id);
            else
                moveBetween(journal.redo, journal.undo, id);
        } else {
            std::optional<JournalChange> change = readChange(type, in, true);
            if (!change || !in.ok() || !in.atEnd())
                return false;
            if (const auto it = journal.commands.find(id); it != journal.commands.end())
                it->second.changes.push_back(std::move(*change));
        }
        return true;
    });
    for (auto &[id, command] : journal.commands)
        command.made.assign(command.changes.size(), false);
    return journal;
}

} // namespace journalformat
