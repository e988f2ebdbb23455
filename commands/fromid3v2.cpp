#include "fromid3v2.h"

#include "genres.h"
#include "tagtext.h"
#include "tagworkspace.h"

#include <QString>
#include <limits>
#include <utility>

namespace
{

constexpr int kFieldWidth = 30;
constexpr int kYearWidth = 4;
constexpr char kNoGenre[] = "(none)";

bool isBlank(char32_t c)
{
    return c <= 32;
}

// The tag's bytes for a text: one line, without surrounding blanks, at most width characters.
std::string tagText(const std::string &utf8, int width)
{
    QString text = QString::fromUtf8(utf8.data(), qsizetype(utf8.size()));
    for (QChar &c : text) {
        if (c.unicode() < 32)
            c = QLatin1Char(' ');
    }
    text = text.normalized(QString::NormalizationForm_C);
    std::string bytes = toTagText(text);
    std::size_t b = 0;
    while (b < bytes.size() && isBlank(static_cast<unsigned char>(bytes[b])))
        ++b;
    bytes = bytes.substr(b, std::size_t(width));
    while (!bytes.empty() && isBlank(static_cast<unsigned char>(bytes.back())))
        bytes.pop_back();
    return bytes;
}

// The row name for a genre number, empty for a number the table does not hold.
std::string genreByNumber(const QString &digits)
{
    if (digits.isEmpty() || digits.size() > 3)
        return {};
    for (const QChar c : digits) {
        if (c < QLatin1Char('0') || c > QLatin1Char('9'))
            return {};
    }
    const int number = digits.toInt();
    for (const GenreRow &row : GenreTable()) {
        if (row.byte == number)
            return row.name;
    }
    return {};
}

std::string genreByName(const QString &name)
{
    if (name.isEmpty())
        return {};
    const GenreRow *folded = nullptr;
    for (const GenreRow &row : GenreTable()) {
        const QString rowName = QString::fromLatin1(row.name);
        if (rowName == name)
            return row.name;
        if (!folded && rowName.compare(name, Qt::CaseInsensitive) == 0)
            folded = &row;
    }
    return folded ? std::string(folded->name) : std::string();
}

} // namespace

std::string genreFromId3v2(const std::string &utf8Genre)
{
    const QString text = QString::fromUtf8(utf8Genre.data(), qsizetype(utf8Genre.size())).trimmed();
    std::string name;
    if (text.startsWith(QLatin1Char('('))) {
        // "(17)" or "(17)Rock": the number first, then the refinement's name.
        const qsizetype close = text.indexOf(QLatin1Char(')'));
        if (close > 1) {
            name = genreByNumber(text.mid(1, close - 1));
            if (name.empty())
                name = genreByName(text.mid(close + 1).trimmed());
        }
    } else {
        name = genreByNumber(text);
    }
    if (name.empty())
        name = genreByName(text);
    return name.empty() ? kNoGenre : name;
}

Id3v1Fields id3v1FieldsFromId3v2(const Id3v2Text &text)
{
    Id3v1Fields f;
    f.title = tagText(text.title, kFieldWidth);
    f.artist = tagText(text.artist, kFieldWidth);
    f.album = tagText(text.album, kFieldWidth);
    f.year = tagText(text.year, kYearWidth);
    f.comment = tagText(text.comment, kFieldWidth);
    f.genre = genreFromId3v2(text.genre);
    return f;
}

std::vector<std::string> id3v2FieldsCut(const Id3v2Text &text)
{
    // The whole text made into tag bytes (one byte a character) is longer than the field.
    std::vector<std::string> cut;
    for (const auto &[name, value] :
         {std::pair{"title", &text.title}, std::pair{"artist", &text.artist},
          std::pair{"album", &text.album}, std::pair{"comment", &text.comment}}) {
        if (tagText(*value, std::numeric_limits<int>::max()).size() > std::size_t(kFieldWidth))
            cut.emplace_back(name);
    }
    return cut;
}

void storeId3v1Fields(const Id3v1Fields &fields, TagWorkspace &ws)
{
    ws.SongTitle = fields.title;
    ws.SongArtist = fields.artist;
    ws.SongAlbum = fields.album;
    ws.SongYear = fields.year;
    ws.SongComment = fields.comment;
    ws.SongGenre = fields.genre;
    for (const GenreRow &row : GenreTable()) {
        if (fields.genre == row.name)
            ws.SongGenreByte = row.byte;
    }
}
