#include "encodednames.h"

#include "filenames.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <memory>

namespace
{

// Names sorted in one run: a run's bytes are held in full (twice, as read and in lower case).
constexpr std::size_t kRun = 2048;
// Bytes shared with the name before that are worth leaving out of a name's difference.
constexpr std::size_t kMinShared = 4;

char foldAscii(unsigned char c)
{
    return char(c >= 'A' && c <= 'Z' ? c + 32 : c);
}

// Appends name with its ASCII letters in lower case, eight bytes at a time.
void appendFolded(std::string &out, std::string_view name)
{
    const std::size_t at = out.size();
    out.resize(at + name.size());
    const char *in = name.data();
    char *to = out.data() + at;
    const std::size_t n = name.size();
    std::size_t i = 0;
    for (; i + 8 <= n; i += 8) {
        std::uint64_t word;
        std::memcpy(&word, in + i, 8);
        // In each byte below 128: the top bit of low + 0x3f is set from 'A' on, that of
        // low + 0x25 after 'Z'; where just the first is, the byte is a capital letter.
        const std::uint64_t low = word & 0x7f7f7f7f7f7f7f7fu;
        const std::uint64_t upper = ((low + 0x3f3f3f3f3f3f3f3fu) ^ (low + 0x2525252525252525u)) &
                                    ~word & 0x8080808080808080u;
        word ^= upper >> 2;
        std::memcpy(to + i, &word, 8);
    }
    for (; i < n; ++i)
        to[i] = foldAscii(static_cast<unsigned char>(in[i]));
}

// Letter case disregarded. Plain ASCII is compared on the bytes; from the first byte outside
// ASCII on, the rest of both names is decoded and compared by Qt's case folding.
int compareIgnoringCase(std::string_view a, std::string_view b)
{
    const std::size_t n = std::min(a.size(), b.size());
    for (std::size_t i = 0; i < n; ++i) {
        const auto ca = static_cast<unsigned char>(a[i]);
        const auto cb = static_cast<unsigned char>(b[i]);
        if (ca >= 128 || cb >= 128) {
            const QString ra =
                decodeFileName(QByteArrayView(a.data() + i, qsizetype(a.size() - i)));
            const QString rb =
                decodeFileName(QByteArrayView(b.data() + i, qsizetype(b.size() - i)));
            return ra.compare(rb, Qt::CaseInsensitive);
        }
        const char fa = foldAscii(ca);
        const char fb = foldAscii(cb);
        if (fa != fb)
            return fa < fb ? -1 : 1;
    }
    return a.size() == b.size() ? 0 : (a.size() < b.size() ? -1 : 1);
}

bool isAscii(std::string_view s)
{
    std::size_t i = 0;
    for (; i + 8 <= s.size(); i += 8) {
        std::uint64_t word;
        std::memcpy(&word, s.data() + i, 8);
        if (word & 0x8080808080808080u)
            return false;
    }
    for (; i < s.size(); ++i) {
        if (static_cast<unsigned char>(s[i]) >= 128)
            return false;
    }
    return true;
}

// The order of names that differ in letter case only: by their characters, as QString orders
// them.
bool lessExactly(std::string_view a, std::string_view b)
{
    if (isAscii(a) && isAscii(b))
        return a < b;
    return decodeFileName(QByteArrayView(a.data(), qsizetype(a.size()))) <
           decodeFileName(QByteArrayView(b.data(), qsizetype(b.size())));
}

// A name as it is sorted: its bytes, the same in lower case, whether it is plain ASCII, and the
// eight lower-case bytes after the start all names share (see NameOrder) as a number.
struct SortName {
    std::string_view bytes;
    std::string_view folded;
    std::uint64_t key;
    bool ascii;
};

std::uint64_t keyAt(std::string_view folded, std::size_t from)
{
    std::uint64_t key = 0;
    for (std::size_t k = from; k < from + 8; ++k)
        key = key << 8 | (k < folded.size() ? static_cast<unsigned char>(folded[k]) : 0u);
    return key;
}

// The order of EncodedNames::sort. Two ASCII names are in the order of their lower-case bytes
// (which is compareIgnoringCase on ASCII), then of their bytes; all others are compared by
// compareIgnoringCase, then lessExactly. Names that all begin with the same common lower-case
// bytes are compared after these; ASCII names hold no zero byte, so keys padded with zeros keep
// shorter names first.
struct NameOrder {
    std::size_t common = 0;

    SortName name(std::string_view bytes, std::string_view folded, bool ascii) const
    {
        return {bytes, folded, keyAt(folded, common), ascii};
    }
    bool operator()(const SortName &x, const SortName &y) const
    {
        if (x.ascii && y.ascii) {
            if (x.key != y.key)
                return x.key < y.key;
            const int c = x.folded.substr(common).compare(y.folded.substr(common));
            return c != 0 ? c < 0 : x.bytes < y.bytes;
        }
        const int c = compareIgnoringCase(x.bytes, y.bytes);
        return c != 0 ? c < 0 : lessExactly(x.bytes, y.bytes);
    }
};

char *writeCount(char *out, std::size_t n)
{
    while (n >= 128) {
        *out++ = char((n & 127) | 128);
        n >>= 7;
    }
    *out++ = char(n);
    return out;
}

std::size_t readCount(const std::string &in, std::size_t &pos)
{
    std::size_t n = 0;
    for (int shift = 0;; shift += 7) {
        const auto byte = static_cast<unsigned char>(in[pos++]);
        n |= std::size_t(byte & 127) << shift;
        if (byte < 128)
            return n;
    }
}

// A name as its difference to the one before: its length, then pairs of a count of bytes equal
// to the previous name's at the same places and a count of new bytes followed by these. Equal
// bytes are left out in runs of kMinShared or more, or when they end the name.
void encode(std::string &out, std::string_view previous, std::string_view name)
{
    const char *a = name.data();
    const char *b = previous.data();
    const std::size_t length = name.size();
    const std::size_t common = std::min(length, previous.size());
    // At most a count of five bytes, then a pair of counts for every kMinShared bytes and one
    // more, and the new bytes.
    const std::size_t bound = 5 + 10 * (length / kMinShared + 2) + length;
    char local[1024];
    std::unique_ptr<char[]> large(bound > sizeof local ? new char[bound] : nullptr);
    char *const start = large ? large.get() : local;
    char *w = writeCount(start, length);
    for (std::size_t p = 0; p < length;) {
        std::size_t copy = p;
        for (std::uint64_t x, y; copy + 8 <= common; copy += 8) {
            std::memcpy(&x, a + copy, 8);
            std::memcpy(&y, b + copy, 8);
            if (x != y)
                break;
        }
        while (copy < common && a[copy] == b[copy])
            ++copy;
        std::size_t end = copy;
        while (end < length) {
            if (end >= common) {
                end = length; // nothing more to share
                break;
            }
            if (a[end] != b[end]) {
                ++end;
                continue;
            }
            std::size_t run = 1;
            while (run < kMinShared && end + run < common && a[end + run] == b[end + run])
                ++run;
            if (run == kMinShared || end + run == length)
                break;
            end += run; // too short to leave out; no longer run starts inside it
        }
        w = writeCount(w, copy - p);
        w = writeCount(w, end - copy);
        std::memcpy(w, a + copy, end - copy);
        w += end - copy;
        p = end;
    }
    out.append(start, std::size_t(w - start));
}

} // namespace

EncodedNames::EncodedNames(const QStringList &names)
{
    for (const QString &name : names) {
        const QByteArray encoded = encodeFileName(name);
        append(encoded.constData(), std::size_t(encoded.size()));
    }
}

void EncodedNames::decode(const std::string &group, std::size_t &pos, std::string &name)
{
    const std::size_t length = readCount(group, pos);
    name.resize(length); // the bytes kept from the name before stay where they are
    for (std::size_t p = 0; p < length;) {
        p += readCount(group, pos);
        const std::size_t fresh = readCount(group, pos);
        std::memcpy(name.data() + p, group.data() + pos, fresh);
        pos += fresh;
        p += fresh;
    }
}

QString EncodedNames::at(int i) const
{
    Cursor cursor;
    return at(i, cursor);
}

QString EncodedNames::at(int i, Cursor &cursor) const
{
    const std::string &bytes = group(i / kGroup);
    if (cursor.index < 0 || cursor.index > i || cursor.index / kGroup != i / kGroup) {
        cursor.pos = 0; // from the start of the group
        cursor.name.clear();
        cursor.index = i / kGroup * kGroup - 1;
    }
    for (; cursor.index < i; ++cursor.index)
        decode(bytes, cursor.pos, cursor.name);
    return decodeFileName(QByteArrayView(cursor.name.data(), qsizetype(cursor.name.size())));
}

QStringList EncodedNames::toStringList() const
{
    QStringList list;
    list.reserve(size());
    Reader reader(*this);
    while (reader.next())
        list.append(
            decodeFileName(QByteArrayView(reader.name().data(), qsizetype(reader.name().size()))));
    return list;
}

void EncodedNames::append(const char *encoded, std::size_t length)
{
    const std::string_view name(encoded, length);
    const bool starts = m_count % kGroup == 0;
    if (starts && m_count > 0) {
        m_groups.push_back(m_open); // a copy of exactly its size
        m_open.clear();
    }
    encode(m_open, starts ? std::string_view() : std::string_view(m_last), name);
    m_last.assign(name);
    ++m_count;
}

void EncodedNames::sort()
{
    EncodedNamesSorter sorter;
    Reader reader(*this, true);
    while (reader.next())
        sorter.add(reader.name().data(), reader.name().size());
    *this = sorter.take();
}

EncodedNames::Reader::Reader(EncodedNames &names, bool release)
    : m_names(&names), m_release(release)
{
}

EncodedNames::Reader::Reader(const EncodedNames &names)
    : m_names(const_cast<EncodedNames *>(&names)), m_release(false)
{
}

bool EncodedNames::Reader::next()
{
    if (m_index + 1 >= m_names->m_count) {
        if (m_release)
            *m_names = EncodedNames();
        return false;
    }
    ++m_index;
    const int g = m_index / kGroup;
    if (m_index % kGroup == 0) {
        if (m_release && g > 0)
            std::string().swap(m_names->m_groups[std::size_t(g - 1)]);
        m_pos = 0;
        m_name.clear();
    }
    decode(m_names->group(g), m_pos, m_name);
    return true;
}

void EncodedNamesSorter::add(const char *encoded, std::size_t length)
{
    if (m_starts.empty()) {
        m_bytes.reserve(kRun * 48);
        m_folded.reserve(kRun * 48);
        m_starts.reserve(kRun + 1);
    }
    const std::size_t start = m_bytes.size();
    m_starts.push_back(start);
    m_bytes.append(encoded, length);
    appendFolded(m_folded, std::string_view(encoded, length));
    // The lower-case start all names so far share.
    const std::string_view folded = std::string_view(m_folded).substr(start);
    if (!m_any) {
        m_any = true;
        m_shared.assign(folded);
    } else {
        std::size_t n = std::min(m_shared.size(), folded.size());
        std::size_t k = 0;
        while (k < n && m_shared[k] == folded[k])
            ++k;
        m_shared.resize(k);
    }
    if (m_starts.size() == kRun)
        endRun();
}

void EncodedNamesSorter::endRun()
{
    if (m_starts.empty())
        return;
    m_starts.push_back(m_bytes.size());
    const NameOrder order{m_shared.size()};
    // Sorted as small places (key, where the name is, whether it is ASCII): most comparisons are
    // of the keys alone.
    struct Slot {
        std::uint64_t key;
        std::uint32_t index;
        bool ascii;
    };
    const std::string_view bytes(m_bytes);
    const std::string_view folded(m_folded);
    auto nameAt = [&](const Slot &slot) {
        const std::size_t start = m_starts[slot.index];
        const std::size_t length = m_starts[slot.index + 1] - start;
        return SortName{bytes.substr(start, length), folded.substr(start, length), slot.key,
                        slot.ascii};
    };
    std::vector<Slot> places(m_starts.size() - 1);
    for (std::size_t i = 0; i < places.size(); ++i) {
        const std::size_t start = m_starts[i];
        const std::size_t length = m_starts[i + 1] - start;
        places[i] = {keyAt(folded.substr(start, length), order.common), std::uint32_t(i),
                     isAscii(bytes.substr(start, length))};
    }
    std::sort(places.begin(), places.end(), [&](const Slot &x, const Slot &y) {
        if (x.ascii && y.ascii && x.key != y.key)
            return x.key < y.key;
        return order(nameAt(x), nameAt(y));
    });
    EncodedNames run;
    for (const Slot &slot : places) {
        const std::size_t start = m_starts[slot.index];
        run.append(m_bytes.data() + start, m_starts[slot.index + 1] - start);
    }
    m_runs.push_back(std::move(run));
    m_bytes.clear();
    m_folded.clear();
    m_starts.clear();
}

EncodedNames EncodedNamesSorter::take()
{
    endRun();
    std::string().swap(m_bytes);
    std::string().swap(m_folded);
    std::vector<std::size_t>().swap(m_starts);
    std::vector<EncodedNames> runs;
    runs.swap(m_runs);
    if (runs.size() <= 1)
        return runs.empty() ? EncodedNames() : std::move(runs.front());

    // The runs merged: the least of the runs' next names goes next, found through a heap of the
    // runs by their next names. Each run's groups are freed as they are read.
    const NameOrder order{m_shared.size()};
    struct Head {
        EncodedNames::Reader reader;
        std::string folded;
        SortName name;
        bool next(const NameOrder &order)
        {
            if (!reader.next())
                return false;
            folded.clear();
            appendFolded(folded, reader.name());
            name = order.name(reader.name(), folded, isAscii(reader.name()));
            return true;
        }
    };
    std::vector<Head> heads;
    heads.reserve(runs.size());
    for (EncodedNames &run : runs) {
        heads.push_back({EncodedNames::Reader(run, true), std::string(), SortName()});
        if (!heads.back().next(order))
            heads.pop_back();
    }
    auto less = [&](std::size_t a, std::size_t b) { return order(heads[a].name, heads[b].name); };
    std::vector<std::size_t> heap(heads.size());
    for (std::size_t i = 0; i < heap.size(); ++i)
        heap[i] = i;
    auto siftDown = [&](std::size_t at) {
        const std::size_t n = heap.size();
        for (;;) {
            std::size_t least = at;
            for (std::size_t child = 2 * at + 1; child <= 2 * at + 2 && child < n; ++child) {
                if (less(heap[child], heap[least]))
                    least = child;
            }
            if (least == at)
                return;
            std::swap(heap[at], heap[least]);
            at = least;
        }
    };
    for (std::size_t i = heap.size() / 2; i-- > 0;)
        siftDown(i);
    EncodedNames merged;
    while (!heap.empty()) {
        Head &head = heads[heap.front()];
        merged.append(head.reader.name().data(), head.reader.name().size());
        if (!head.next(order)) {
            heap.front() = heap.back();
            heap.pop_back();
        }
        siftDown(0);
    }
    return merged;
}
