#pragma once

#include "questions.h"

#include <QByteArray>

class JsonLine;

// An ID3v1 tag's fields as text, read from its 128 bytes as the tag reader reads them (the four
// texts trimmed of blanks and control bytes at both ends, the year as it stands), with the genre
// by name ("" for a byte the genre list does not name) and by its byte.
struct TagFields {
    TagTexts texts;
    int genreByte = 255;
};
TagFields tagFields(const QByteArray &tag);

// The genre list's name for a genre given by name (letter case not regarded) or by its number
// (0 to 144, and 255 for "(none)"); nothing for any other text.
std::optional<QString> genreName(const QString &given);
// The genre list's name of a byte ("(none)" for 255), "" for a byte it does not name.
QString genreNameOfByte(int byte);
// The byte of a genre name, 255 for one the list does not hold.
int genreByteOf(const QString &name);

// The fields as a JSON object: title, artist, album, year, comment, genre, genreByte.
JsonLine tagObject(const TagFields &fields);
JsonLine tagObject(const TagTexts &texts, int genreByte);
// What differs between two tags' 128 bytes, for a line of text: 'title "A" -> "B", genre "Rock"
// (17) -> "Pop" (13)'; a new tag (oldTag empty) gives the fields that are not empty.
QByteArray tagChangeText(const QByteArray &oldTag, const QByteArray &newTag);
// A genre for a line of text: '"Rock" (17)', or '(200)' for a byte the list does not name.
QByteArray genreText(const QString &name, int byte);
