#pragma once

class QIcon;

// The program's icon, drawn in code at every size a window manager asks for (the same picture
// as the installed SVG: a luggage tag with a note on a blue tile).
QIcon tracklingAppIcon();
