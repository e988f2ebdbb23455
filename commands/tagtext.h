#pragma once

#include <QString>
#include <string>

// The one conversion between the text the program shows and edits and the bytes a tag field
// holds. Every command, the edit dialog and the prompts go through these two functions.
//
// A tag byte is one character. A character the tag's character set cannot hold becomes one "?"
// (one per character, also for a character beyond U+FFFF such as an emoji), so lengths and
// positions in the bytes count characters.
std::string toTagText(const QString &text);
QString fromTagText(const std::string &bytes);
