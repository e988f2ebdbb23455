#pragma once

#include "walk.h"

#include <QString>
#include <optional>

#include "tagfile.h"

class CommandQuestions;
class FileList;

// "Edit tag(s)": shows every selected file of the list, in list order, in the edit dialog
// (questions.editTag), and stores the tag of each one the person saves through the tag-write
// door. Cancel leaves that file as it was and goes on with the next. A read or write failure
// throws IoError and ends the walk at that file.
WalkReport editTags(const Folder &folder, FileList &list, CommandQuestions &questions,
                    const WalkControl &control = {});

// The same for one file, named inside the context's folder; whether it was saved. A file
// without an ID3v1 tag shows the fields made from its ID3v2 tag, if it has one
// (id3v1FieldsFromId3v2), and a line below the ID3v2 line says so and names the fields cut to
// 30 characters; the ID3v2 line tells of the tag's version and size and whether it differs from
// the ID3v1 tag shown (id3v2DiffersFromId3v1).
bool editTagOfFile(const ChangeContext &context, const QString &fileName,
                   CommandQuestions &questions);
// What the edit dialog shows of a file (its tag, or the fields made from its ID3v2 tag when it
// has no ID3v1 tag, and the audio information lines), read into the workspace as the dialog
// reads it. Throws IoError as the reader does.
struct TagEditView;
// A front end that needs only the fields may ask for the estimated length (no frames counted).
// endState, when given, receives the file's end as the reads saw it (see ReadTagFileAt), so that
// a tag write can be foreseen from them.
TagEditView readTagEditView(const Folder &folder, const QString &fileName,
                            AudioLength length = AudioLength::CountFrames,
                            std::optional<TagFileState> *endState = nullptr);

// The same, with what the write did; nothing when the dialog was cancelled.
std::optional<TagWriteOutcome> editTagOfFileReporting(const ChangeContext &context,
                                                      const QString &fileName,
                                                      CommandQuestions &questions);
