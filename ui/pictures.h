#pragma once

#include <QIcon>
#include <QPixmap>
#include <QString>

// The program's pictures, drawn in code at the given device pixel ratio so they stay crisp on
// high-density screens.

// The banner with the program's name, 425 x 73 (logical pixels).
QPixmap bannerPicture(qreal dpr);
// A button picture: the words in white block letters with a dark outline and shadow on the
// button face, 100 x 40 (logical pixels). With focusMark, a dotted frame inside its edge shows
// that the button has the focus.
QPixmap buttonPicture(const QString &words, qreal dpr, bool focusMark = false);

// Folder pictures of the directory list, 16 x 16.
enum class FolderPicture { Open, Current, Closed };
QIcon folderIcon(FolderPicture kind);
