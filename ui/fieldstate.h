#pragma once

#include <QString>
#include <QStringList>
#include <string>

class QWidget;

// Enables a field on the normal field colour, or disables it on the button-face colour.
void setFieldEnabled(QWidget *field, bool enabled);

// The genre drop-down's names in their order, "(none)" first; made once.
const QStringList &genreNames();

// Places a top-level window in the middle of the screen it will appear on.
void centreOnScreen(QWidget *window);

// Shrinks the font of any caption of the window that would not fit its control whole, in steps
// of half a point, so that no caption is clipped whichever sans-serif font the system has.
void fitCaptions(QWidget *window);
// Whether the caption of a label, button or check box fits inside the control.
bool captionFits(const QWidget *control);

// The look of group frames: a thin etched frame with the caption on its top line.
extern const char *const groupFrameStyle;
