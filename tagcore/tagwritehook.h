#pragma once

#include <functional>

// For tests only: lets a test act as another program that appends to the file while
// WriteTagFile runs, at the moments where that matters. Unset in the program.
enum class TagWriteStage {
    SizeRead,     // the size of the open file is known, the end not yet read
    BeforeWrite,  // the end has been read and the place of the tag decided
    AfterFailure, // a write fell short or failed, before it is undone
};
using TagWriteHook = std::function<void(TagWriteStage stage, int fd)>;
void setTagWriteHook(TagWriteHook hook);
