#include "genres.h"

#include "tagworkspace.h"

#include <algorithm>
#include <string_view>
#include <unordered_map>

const std::vector<GenreRow> &GenreTable()
{
    static const std::vector<GenreRow> table = {
        {"Blues", 0},
        {"Classic Rock", 1},
        {"Country", 2},
        {"Dance", 3},
        {"Disco", 4},
        {"Funk", 5},
        {"Grunge", 6},
        {"Hip-Hop", 7},
        {"Jazz", 8},
        {"Metal", 9},
        {"New Age", 10},
        {"Oldies", 11},
        {"Other", 12},
        {"Pop", 13},
        {"R&B", 14},
        {"Rap", 15},
        {"Reggae", 16},
        {"Rock", 17},
        {"Techno", 18},
        {"Industrial", 19},
        {"Alternative", 20},
        {"Ska", 21},
        {"Death Metal", 22},
        {"Pranks", 23},
        {"Soundtrack", 24},
        {"Euro-Techno", 25},
        {"Ambient", 26},
        {"Trip-Hop", 27},
        {"Vocal", 28},
        {"Jazz+Funk", 29},
        {"Fusion", 30},
        {"Trance", 31},
        {"Classical", 32},
        {"Instrumental", 33},
        {"Acid", 34},
        {"House", 35},
        {"Game", 36},
        {"Sound Clip", 37},
        {"Gospel", 38},
        {"Noise", 39},
        {"Alternative Rock", 40},
        {"Bass", 41},
        {"Soul", 42},
        {"Punk", 43},
        {"Space", 44},
        {"Meditative", 45},
        {"Instrumental Pop", 46},
        {"Instrumental Rock", 47},
        {"Ethnic", 48},
        {"Gothic", 49},
        {"Darkwave", 50},
        {"Techno-Industrial", 51},
        {"Electronic", 52},
        {"Pop-Folk", 53},
        {"Eurodance", 54},
        {"Dream", 55},
        {"Southern Rock", 56},
        {"Comedy", 57},
        {"Cult", 58},
        {"Gangsta", 59},
        {"Top 40", 60},
        {"Christian Rap", 61},
        {"Pop/Funk", 62},
        {"Jungle", 63},
        {"Native US", 64},
        {"Cabaret", 65},
        {"New Wave", 66},
        {"Psychadelic", 67},
        {"Rave", 68},
        {"Showtunes", 69},
        {"Trailer", 70},
        {"Lo-Fi", 71},
        {"Tribal", 72},
        {"Acid Punk", 73},
        {"Acid Jazz", 74},
        {"Polka", 75},
        {"Retro", 76},
        {"Musical", 77},
        {"Rock & Roll", 78},
        {"Hard Rock", 79},
        {"Folk", 80},
        {"Folk-Rock", 81},
        {"National Folk", 82},
        {"Swing", 83},
        {"Fast Fusion", 84},
        {"Bebob", 85},
        {"Latin", 86},
        {"Revival", 87},
        {"Celtic", 88},
        {"Bluegrass", 89},
        {"Avantgarde", 90},
        {"Gothic Rock", 91},
        {"Progressive Rock", 92},
        {"Psychedelic Rock", 93},
        {"Symphonic Rock", 94},
        {"Slow Rock", 95},
        {"Big Band", 96},
        {"Chorus", 97},
        {"Easy Listening", 98},
        {"Acoustic", 99},
        {"Humour", 100},
        {"Speech", 101},
        {"Chanson", 102},
        {"Opera", 103},
        {"Chamber Music", 104},
        {"Sonata", 105},
        {"Symphony", 106},
        {"Booty Bass", 107},
        {"Primus", 108},
        {"Porn Groove", 109},
        {"Satire", 110},
        {"Slow Jam", 111},
        {"Club", 112},
        {"Tango", 113},
        {"Samba", 114},
        {"Folklore", 115},
        {"Ballad", 116},
        {"Power Ballad", 117},
        {"Rhytmic Soul", 118},
        {"Freestyle", 119},
        {"Duet", 120},
        {"Punk Rock", 121},
        {"Drum Solo", 122},
        {"Acapella", 123},
        {"Euro-House", 124},
        {"Dance Hall", 125},
        {"Goa", 126},
        {"Drum & Bass", 127},
        {"Club-House", 128},
        {"Hardcore", 129},
        {"Terror", 130},
        {"Indie", 131},
        {"BritPop", 132},
        {"Negerpunk", 133},
        {"Polsk Punk", 134},
        {"Beat", 135},
        {"Christian Gangsta Rap", 136},
        {"Heavy Metal", 137},
        {"Black Metal", 138},
        {"Crossover", 139},
        {"Contemporary Christian", 140},
        {"Christian Rock", 141},
        {"Merengue", 142},
        {"Salsa", 143},
        {"Trash Metal", 144},
        {"(none)", 255},
    };
    return table;
}

void GenreNameToByte()
{
    // Looked up by hash: a batch command asks once for every file.
    static const std::unordered_map<std::string_view, std::uint8_t> byName = [] {
        std::unordered_map<std::string_view, std::uint8_t> map;
        for (const GenreRow &row : GenreTable())
            map[row.name] = row.byte; // a later row with the same name wins
        return map;
    }();
    TagWorkspace &ws = tagWorkspace();
    if (const auto found = byName.find(ws.SongGenre); found != byName.end())
        ws.SongGenreByte = found->second;
}

void GenreByteToName()
{
    TagWorkspace &ws = tagWorkspace();
    for (const GenreRow &row : GenreTable()) {
        if (row.byte <= 144 && row.byte == ws.SongGenreByte) {
            ws.SongGenre = row.name;
            return;
        }
    }
}

namespace
{

// Sort class of a character: blanks and punctuation, then digits, then letters.
int sortClass(unsigned char c)
{
    if (c >= '0' && c <= '9')
        return 1;
    if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c >= 0xC0)
        return 2;
    return 0;
}

unsigned char foldCase(unsigned char c)
{
    if (c >= 'A' && c <= 'Z')
        return static_cast<unsigned char>(c - 'A' + 'a');
    return c;
}

// The characters that count for the word sort: hyphens and apostrophes are ignored.
std::string sortKey(const std::string &s)
{
    std::string key;
    key.reserve(s.size());
    for (char c : s) {
        if (c != '-' && c != '\'')
            key += c;
    }
    return key;
}

} // namespace

bool wordSortLess(const std::string &a, const std::string &b)
{
    const std::string ka = sortKey(a), kb = sortKey(b);
    const std::size_t n = std::min(ka.size(), kb.size());
    for (std::size_t i = 0; i < n; ++i) {
        const auto ca = static_cast<unsigned char>(ka[i]), cb = static_cast<unsigned char>(kb[i]);
        const int classA = sortClass(ca), classB = sortClass(cb);
        if (classA != classB)
            return classA < classB;
        const unsigned char fa = foldCase(ca), fb = foldCase(cb);
        if (fa != fb)
            return fa < fb;
    }
    if (ka.size() != kb.size())
        return ka.size() < kb.size();
    return a < b; // equal but for hyphens or case: a stable, total order
}

const std::vector<std::string> &genreDropDownNames()
{
    static const std::vector<std::string> names = [] {
        std::vector<std::string> v;
        for (const GenreRow &row : GenreTable())
            v.emplace_back(row.name);
        std::sort(v.begin(), v.end(), wordSortLess);
        return v;
    }();
    return names;
}
