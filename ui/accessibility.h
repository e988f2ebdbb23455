#pragma once

// What the program tells a screen reader beyond what Qt tells of its widgets, installed once
// before the windows are made:
// - a combo box with an accessible name is named by it (Qt names a combo box by its current
//   value on Linux, so "Genre" would be read as "(none)"), its value being the current item;
// - the result notice is an alert, named by its text, and the list of files it left is a tool
//   tip, which tells the list as its description.
void installAccessibility();
