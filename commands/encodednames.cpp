#include "encodednames.h"

#include "filenames.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <memory>

namespace
{

// Names sorted in one run: a run's bytes are held in full.
constexpr std::size_t kRun = 4096;
// Bytes shared with the name before that are worth leaving out of a name's difference.
constexpr std::size_t kMinShared = 4;

// Eight bytes with their ASCII capital letters in lower case.
std::uint64_t foldWord(std::uint64_t word)
{
    // In each byte below 128: the top bit of low + 0x3f is set from 'A' on, that of low + 0x25
    // after 'Z'; where just the first is, the byte is a capital letter.
    const std::uint64_t low = word & 0x7f7f7f7f7f7f7f7fu;
    const std::uint64_t upper =
        ((low + 0x3f3f3f3f3f3f3f3fu) ^ (low + 0x2525252525252525u)) & ~word & 0x8080808080808080u;
    return word ^ (upper >> 2);
}

// Up to eight bytes of s from from on, zeros after its end, as they are in memory.
std::uint64_t loadWord(std::string_view s, std::size_t from)
{
    std::uint64_t word = 0;
    if (from + 8 <= s.size())
        std::memcpy(&word, s.data() + from, 8);
    else if (from < s.size())
        std::memcpy(&word, s.data() + from, s.size() - from);
    return word;
}

// The eight lower-case bytes of name from from on as a number that orders as they do.
std::uint64_t keyAt(std::string_view name, std::size_t from)
{
    return __builtin_bswap64(foldWord(loadWord(name, from)));
}

// How many bytes from the start a and b share, ASCII letter case disregarded (at most limit).
std::size_t sharedFolded(std::string_view a, std::string_view b, std::size_t limit)
{
    limit = std::min({limit, a.size(), b.size()});
    for (std::size_t i = 0; i < limit; i += 8) {
        const std::uint64_t diff = foldWord(loadWord(a, i)) ^ foldWord(loadWord(b, i));
        if (diff != 0)
            return std::min(limit, i + std::size_t(__builtin_ctzll(diff) / 8));
    }
    return limit;
}

// ASCII names compared from from on, ASCII letter case disregarded.
int compareFolded(std::string_view a, std::string_view b, std::size_t from)
{
    for (std::size_t i = from; i < a.size() || i < b.size(); i += 8) {
        const std::uint64_t x = keyAt(a, i);
        const std::uint64_t y = keyAt(b, i);
        if (x != y)
            return x < y ? -1 : 1;
    }
    return 0;
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

// A name as it is sorted: its bytes, whether it is plain ASCII, and the eight lower-case bytes
// after the start all names share (see NameOrder) as a number.
struct SortName {
    std::string_view bytes;
    std::uint64_t key;
    bool ascii;
};

// The order of EncodedNames::sort. Two ASCII names are in the order of their lower-case bytes
// (which is compareIgnoringCase on ASCII), then of their bytes; all others are compared by
// compareIgnoringCase, then lessExactly. Names that all begin with the same common lower-case
// bytes are compared after these; ASCII names hold no zero byte, so keys padded with zeros keep
// shorter names first.
struct NameOrder {
    std::size_t common = 0;

    SortName name(std::string_view bytes) const
    {
        const bool ascii = isAscii(bytes);
        return {bytes, ascii ? keyAt(bytes, common) : 0, ascii};
    }
    bool operator()(const SortName &x, const SortName &y) const
    {
        if (x.ascii && y.ascii) {
            if (x.key != y.key)
                return x.key < y.key;
            const int c = compareFolded(x.bytes, y.bytes, common + 8);
            return c != 0 ? c < 0 : x.bytes < y.bytes;
        }
        const int c = compareIgnoringCase(x.bytes, y.bytes);
        return c != 0 ? c < 0 : lessExactly(x.bytes, y.bytes);
    }
};

// Sorts by key, stably, a byte at a time from the lowest, leaving out the bytes all keys share.
template <typename T> void radixSortByKey(std::vector<T> &items, std::vector<T> &spare)
{
    std::uint64_t any = 0;
    std::uint64_t all = ~std::uint64_t(0);
    for (const T &item : items) {
        any |= item.key;
        all &= item.key;
    }
    const std::uint64_t varying = any ^ all;
    for (int shift = 0; shift < 64; shift += 8) {
        if (((varying >> shift) & 0xff) == 0)
            continue;
        std::size_t next[256] = {};
        for (const T &item : items)
            ++next[(item.key >> shift) & 0xff];
        std::size_t at = 0;
        for (std::size_t &n : next)
            at += std::exchange(n, at);
        spare.resize(items.size());
        for (const T &item : items)
            spare[next[(item.key >> shift) & 0xff]++] = item;
        items.swap(spare);
    }
}

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

char foldAscii(unsigned char c)
{
    return char(c >= 'A' && c <= 'Z' ? c + 32 : c);
}

const std::string &EncodedNames::group(int g) const
{
    if (std::size_t(g) >= m_groups.size())
        return m_open;
    return m_groups[std::size_t(g)];
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
        m_starts.reserve(kRun + 1);
    }
    const std::string_view name(encoded, length);
    // The lower-case start all names so far share.
    if (!m_any) {
        m_any = true;
        m_first.assign(name);
        m_shared = length;
    } else {
        m_shared = sharedFolded(m_first, name, m_shared);
    }
    m_starts.push_back(m_bytes.size());
    m_bytes.append(encoded, length);
    if (m_starts.size() == kRun)
        endRun();
}

void EncodedNamesSorter::endRun()
{
    if (m_starts.empty())
        return;
    m_starts.push_back(m_bytes.size());
    const NameOrder order{m_shared};
    const std::string_view bytes(m_bytes);
    auto nameAt = [&](std::uint32_t i) {
        return bytes.substr(m_starts[i], m_starts[i + 1] - m_starts[i]);
    };
    // ASCII names are sorted by their keys, a byte at a time, and those with equal keys by the
    // whole order; the few others by the whole order, then merged in.
    struct Place {
        std::uint64_t key;
        std::uint32_t index;
    };
    std::vector<Place> ascii;
    std::vector<Place> other;
    ascii.reserve(m_starts.size() - 1);
    for (std::uint32_t i = 0; i + 1 < m_starts.size(); ++i) {
        const SortName name = order.name(nameAt(i));
        (name.ascii ? ascii : other).push_back({name.key, i});
    }
    std::vector<Place> spare;
    radixSortByKey(ascii, spare);
    auto less = [&](const Place &x, const Place &y) {
        return order(order.name(nameAt(x.index)), order.name(nameAt(y.index)));
    };
    for (auto from = ascii.begin(); from != ascii.end();) {
        auto to = from + 1;
        while (to != ascii.end() && to->key == from->key)
            ++to;
        if (to - from > 1)
            std::sort(from, to, less);
        from = to;
    }
    std::vector<Place> places;
    if (other.empty()) {
        places.swap(ascii);
    } else {
        std::sort(other.begin(), other.end(), less);
        places.resize(ascii.size() + other.size());
        std::merge(ascii.begin(), ascii.end(), other.begin(), other.end(), places.begin(), less);
    }
    EncodedNames run;
    for (const Place &place : places) {
        const std::string_view name = nameAt(place.index);
        run.append(name.data(), name.size());
    }
    m_runs.push_back(std::move(run));
    m_bytes.clear();
    m_starts.clear();
}

EncodedNames EncodedNamesSorter::take()
{
    endRun();
    std::string().swap(m_bytes);
    std::vector<std::size_t>().swap(m_starts);
    std::vector<EncodedNames> runs;
    runs.swap(m_runs);
    if (runs.size() <= 1)
        return runs.empty() ? EncodedNames() : std::move(runs.front());
    return mergeRuns(runs, m_shared);
}

// The runs merged through a tree of losers: each inner node keeps the run that lost the match
// there, the root's winner goes next, and only its way up is played again. Each run's groups are
// freed as they are read.
EncodedNames EncodedNamesSorter::mergeRuns(std::vector<EncodedNames> &runs, std::size_t common)
{
    const NameOrder order{common};
    struct Head {
        EncodedNames::Reader reader;
        SortName name;
        bool more;
    };
    std::vector<Head> heads;
    heads.reserve(runs.size());
    for (EncodedNames &run : runs) {
        heads.push_back({EncodedNames::Reader(run, true), SortName(), false});
        Head &head = heads.back();
        head.more = head.reader.next();
        if (head.more)
            head.name = order.name(head.reader.name());
    }
    const std::size_t k = heads.size();
    // Whether run a's next name goes before run b's; a run read to its end goes last.
    auto before = [&](std::size_t a, std::size_t b) {
        if (!heads[a].more || !heads[b].more)
            return heads[a].more;
        return !order(heads[b].name, heads[a].name); // equal names: the earlier run first
    };
    // Leaves are k..2k-1 (run i at k + i); inner nodes 1..k-1 keep losers, tree[0] the winner.
    std::vector<std::size_t> tree(k);
    std::vector<std::size_t> winners(2 * k);
    for (std::size_t i = 0; i < k; ++i)
        winners[k + i] = i;
    for (std::size_t node = k - 1; node >= 1; --node) {
        const std::size_t a = winners[2 * node];
        const std::size_t b = winners[2 * node + 1];
        const bool aWins = before(a, b);
        winners[node] = aWins ? a : b;
        tree[node] = aWins ? b : a;
    }
    tree[0] = winners[1];
    EncodedNames merged;
    for (;;) {
        const std::size_t winner = tree[0];
        Head &head = heads[winner];
        if (!head.more)
            break;
        merged.append(head.reader.name().data(), head.reader.name().size());
        head.more = head.reader.next();
        if (head.more)
            head.name = order.name(head.reader.name());
        std::size_t current = winner;
        for (std::size_t node = (k + winner) / 2; node >= 1; node /= 2) {
            if (!before(current, tree[node]))
                std::swap(current, tree[node]);
        }
        tree[0] = current;
    }
    runs.clear();
    return merged;
}
