#pragma once

#include "tagsfromnames.h"

#include <optional>

// Asks for a shorter title in the edit dialog, set up in its restricted mode: the caption
// "Song title exceeds 30 characters!", the file's name, the title's first 30 characters, artist,
// album, year and genre shown but disabled, title and comment editable. Returns the new title
// and this file's comment on Save, nothing otherwise. The dialog keeps the restricted state; the
// edit command sets up its normal mode each time it opens the dialog.
std::optional<LongTitleAnswer> askForNewTitle(const LongTitleQuestion &question);
