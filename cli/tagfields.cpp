#include "tagfields.h"

#include "genres.h"
#include "jsonline.h"
#include "output.h"
#include "tagtext.h"

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

namespace
{

// A field's bytes as the tag reader takes them: trimmed of bytes 0 to 32 at both ends, or (the
// year) as they stand.
QByteArrayView fieldBytes(const QByteArray &tag, int from, int length, bool trim)
{
    QByteArrayView bytes = QByteArrayView(tag).sliced(from, length);
    if (!trim)
        return bytes;
    const auto blank = [](char c) { return static_cast<unsigned char>(c) <= 32; };
    while (!bytes.isEmpty() && blank(bytes.back()))
        bytes.chop(1);
    while (!bytes.isEmpty() && blank(bytes.front()))
        bytes = bytes.sliced(1);
    return bytes;
}

QString textOf(QByteArrayView bytes)
{
    return fromTagText(std::string(bytes.data(), std::size_t(bytes.size())));
}

} // namespace

QByteArray tagChangeText(const QByteArray &oldTag, const QByteArray &newTag)
{
    struct Field {
        const char *name;
        int from, length;
        bool trim;
    };
    static const Field fields[] = {{"title", 3, 30, true},
                                   {"artist", 33, 30, true},
                                   {"album", 63, 30, true},
                                   {"year", 93, 4, false},
                                   {"comment", 97, 30, true}};
    QByteArray out;
    const auto next = [&](const char *name) {
        if (!out.isEmpty())
            out += ", ";
        out += name;
        out += ' ';
    };
    // Only the fields that differ are converted to text.
    for (const Field &field : fields) {
        const QByteArrayView now = fieldBytes(newTag, field.from, field.length, field.trim);
        if (oldTag.isEmpty()) {
            if (textOf(now).trimmed().isEmpty())
                continue;
            next(field.name);
            appendQuoted(out, textOf(now));
            continue;
        }
        const QByteArrayView was = fieldBytes(oldTag, field.from, field.length, field.trim);
        if (was == now)
            continue;
        next(field.name);
        appendQuoted(out, textOf(was));
        out += " -> ";
        appendQuoted(out, textOf(now));
    }
    const int byte = static_cast<unsigned char>(newTag.at(127));
    if (oldTag.isEmpty()) {
        next("genre");
        out += genreText(genreNameOfByte(byte), byte);
    } else if (const int old = static_cast<unsigned char>(oldTag.at(127)); old != byte) {
        next("genre");
        out +=
            genreText(genreNameOfByte(old), old) + " -> " + genreText(genreNameOfByte(byte), byte);
    }
    return out;
}
