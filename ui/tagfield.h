#pragma once

class QLineEdit;

// Limits a tag field to as many characters as a tag stores (an emoji or a letter with a
// combining accent is one), not to UTF-16 units as maxLength would. What would go beyond the
// limit is cut where it was put in: typed or pasted text loses its excess, and text set in code
// loses its end, as with maxLength.
void limitTagField(QLineEdit *field, int characters = 30);
