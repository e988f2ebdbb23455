#pragma once

class QComboBox;

// Makes the drop-down list of box open with at most rows items of itemHeight pixels and a
// scroll bar for the rest (in the program's style; see ProgramStyle).
void setDropDownRows(QComboBox *box, int itemHeight, int rows = 8);

// Makes the drop-down list of box at least as wide as its widest item (call again after the
// items change).
void fitDropDownWidth(QComboBox *box);
