#pragma once

#include <QString>

class FileList;

// "Edit tag(s)": shows every selected file of the list, in list order, in the edit dialog, and
// stores the tag of each one the user saves. A read or write failure ends the command.
void editTags(FileList &list);
// The action for one file, named relative to the working directory.
void editTagOfFile(const QString &fileName);
