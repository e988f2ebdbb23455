#pragma once

// Starts reading the folder the program starts in (the working directory), for the file list;
// may be called before the application object exists, so the reading overlaps its setting up.
void readStartFolderAhead();
// Creates the two windows as the program starts: the main window first (its FormCreate runs
// when it is complete), then the edit dialog, hidden.
void createWindows();
// Shows the main window centred on the screen.
void showMainWindow();
// Destroys both windows, the edit dialog first.
void destroyWindows();
