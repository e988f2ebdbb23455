#pragma once

#include "walk.h"

#include <QString>

class CommandQuestions;
class FileList;

// "Edit tag(s)": shows every selected file of the list, in list order, in the edit dialog
// (questions.editTag), and stores the tag of each one the person saves through the tag-write
// door. Cancel leaves that file as it was and goes on with the next. A read or write failure
// throws IoError and ends the walk at that file.
WalkReport editTags(FileList &list, CommandQuestions &questions, const WalkControl &control = {});

// The same for one file, named relative to the working directory; whether it was saved.
bool editTagOfFile(const QString &fileName, CommandQuestions &questions);
