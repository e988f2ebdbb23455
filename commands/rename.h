#pragma once

#include "walk.h"

#include <QByteArray>
#include <QString>

class CommandQuestions;
class FileList;

// Renames the file from to the name to, both inside folder, without ever replacing an existing
// file, in one atomic step where the file system allows it. A new name that is empty, starts
// with "." or holds "/" or a NUL character is refused, so a rename never moves a file out of its
// folder or hides it from the list. A change of letter case alone is an ordinary rename, also on
// a file system that ignores letter case. Returns whether the file now has the new name; a
// refusal leaves it under its old name.
bool renameNoReplace(const Folder &folder, const QString &from, const QString &to);

// "Rename file(s)": asks for each selected file's new name ("Rename", the old name as prompt
// line and initial value, at most 255 characters) and renames it to the text entered; Cancel
// skips that file only. The caller reads the folder again afterwards.
WalkReport renameByPrompt(const Folder &folder, FileList &list, CommandQuestions &questions,
                          const WalkControl &control = {});

// "Rename from tags": renames each selected file whose tag holds both an artist and a title to
// artist + " - " + title + ".mp3". A failure of the tag reader throws IoError and ends the walk
// at that file. The caller reads the folder again when it returns.
WalkReport renameFromTags(const Folder &folder, FileList &list, const WalkControl &control = {});
