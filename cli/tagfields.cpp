#include "tagfields.h"

#include "genres.h"
#include "jsonline.h"
#include "output.h"
#include "tagtext.h"

#include <QList>

namespace
{

QString field(const QByteArray &tag, int from, int length, bool trim)
{
    std::string bytes = tag.mid(from, length).toStdString();
    if (trim) {
        const auto blank = [](char c) { return static_cast<unsigned char>(c) <= 32; };
        while (!bytes.empty() && blank(bytes.back()))
            bytes.pop_back();
        std::size_t start = 0;
        while (start < bytes.size() && blank(bytes[start]))
            ++start;
        bytes.erase(0, start);
    }
    return fromTagText(bytes);
}

} // namespace

QString genreNameOfByte(int byte)
{
    for (const GenreRow &row : GenreTable()) {
        if (row.byte == byte)
            return QString::fromLatin1(row.name);
    }
    return {};
}

TagFields tagFields(const QByteArray &tag)
{
    TagFields fields;
    if (tag.size() != 128)
        return fields;
    fields.texts.title = field(tag, 3, 30, true);
    fields.texts.artist = field(tag, 33, 30, true);
    fields.texts.album = field(tag, 63, 30, true);
    fields.texts.year = field(tag, 93, 4, false);
    fields.texts.comment = field(tag, 97, 30, true);
    fields.genreByte = static_cast<unsigned char>(tag.at(127));
    fields.texts.genre = genreNameOfByte(fields.genreByte);
    return fields;
}

std::optional<QString> genreName(const QString &given)
{
    bool number = false;
    const int byte = given.toInt(&number);
    if (number) {
        const QString name = genreNameOfByte(byte);
        if (!name.isEmpty())
            return name;
        return std::nullopt;
    }
    for (const GenreRow &row : GenreTable()) {
        if (given.compare(QLatin1String(row.name), Qt::CaseInsensitive) == 0)
            return QString::fromLatin1(row.name);
    }
    return std::nullopt;
}

int genreByteOf(const QString &name)
{
    for (const GenreRow &row : GenreTable()) {
        if (name == QLatin1String(row.name))
            return row.byte;
    }
    return 255;
}

JsonLine tagObject(const TagTexts &texts, int genreByte)
{
    JsonLine object;
    object.add("title", texts.title)
        .add("artist", texts.artist)
        .add("album", texts.album)
        .add("year", texts.year)
        .add("comment", texts.comment)
        .add("genre", texts.genre)
        .add("genreByte", genreByte);
    return object;
}

JsonLine tagObject(const TagFields &fields)
{
    return tagObject(fields.texts, fields.genreByte);
}

QByteArray genreText(const QString &name, int byte)
{
    const QByteArray number = '(' + QByteArray::number(byte) + ')';
    return name.isEmpty() ? number : quotedText(name) + ' ' + number;
}

QByteArray tagChangeText(const std::optional<TagFields> &before, const TagFields &after)
{
    struct Text {
        const char *name;
        const QString TagTexts::*member;
    };
    static const Text texts[] = {{"title", &TagTexts::title},
                                 {"artist", &TagTexts::artist},
                                 {"album", &TagTexts::album},
                                 {"year", &TagTexts::year},
                                 {"comment", &TagTexts::comment}};
    QList<QByteArray> parts;
    for (const Text &text : texts) {
        const QString &now = after.texts.*text.member;
        if (!before) {
            if (!now.trimmed().isEmpty())
                parts << QByteArray(text.name) + ' ' + quotedText(now);
        } else if (before->texts.*text.member != now) {
            parts << QByteArray(text.name) + ' ' + quotedText(before->texts.*text.member) + " -> " +
                         quotedText(now);
        }
    }
    const QByteArray genre = genreText(after.texts.genre, after.genreByte);
    if (!before)
        parts << "genre " + genre;
    else if (before->genreByte != after.genreByte)
        parts << "genre " + genreText(before->texts.genre, before->genreByte) + " -> " + genre;
    return parts.join(", ");
}
