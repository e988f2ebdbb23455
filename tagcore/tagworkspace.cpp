#include "tagworkspace.h"

#include <cstring>

void TagWorkspace::clearForEdit()
{
    SongTitle.clear();
    SongArtist.clear();
    SongAlbum.clear();
    SongYear.clear();
    SongComment.clear();
    SongGenre.clear();
    SongGenreByte = 255;
}

TagWorkspace &tagWorkspace()
{
    // One for each thread: a batch command may foresee its next files on another thread.
    static thread_local TagWorkspace workspace;
    return workspace;
}

void FillTagField()
{
    TagWorkspace &ws = tagWorkspace();
    ws.WorkName.append(30, ' ');
    std::memcpy(ws.TagBuffer.data() + 4, ws.WorkName.data(), 30);
}
