#pragma once

#include <QString>
#include <string>

// The one conversion between the text the program shows and edits and the bytes a tag field
// holds. Every command, the edit dialog and the prompts go through these two functions.
//
// A tag byte is one character of Windows code page 1252, the code page of the Windows programs
// that wrote most ID3v1 tags: bytes 0x00-0x7F and 0xA0-0xFF are U+0000-U+007F and
// U+00A0-U+00FF, bytes 0x80-0x9F the 27 characters of the code page (€ ‚ ƒ „ … † ‡ ˆ ‰ Š ‹ Œ Ž
// ‘ ’ “ ” • – — ˜ ™ š › œ ž Ÿ), and the five bytes it leaves undefined (0x81, 0x8D, 0x8F, 0x90,
// 0x9D) read as U+0081, U+008D, U+008F, U+0090, U+009D and are written back as the same byte, so
// every byte reads back unchanged.
//
// Text is composed (Unicode NFC) before it is converted: "o" + U+0308 gives the byte of "ö". A
// character the code page cannot hold becomes one "?" (one per character, also for a character
// beyond U+FFFF such as an emoji), so lengths and positions in the bytes count characters.
std::string toTagText(const QString &text);
QString fromTagText(const std::string &bytes);

// The number of characters text stores as in a tag: composed characters, not UTF-16 units.
int tagTextLength(const QString &text);
