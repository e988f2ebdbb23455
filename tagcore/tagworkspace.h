#pragma once

#include <array>
#include <cstdint>
#include <string>

// The one set of fields through which the reader, the commands, the edit dialog and the writer
// hand one file's tag and audio information from step to step. Texts hold Latin-1 bytes: one
// byte per character, read and written one for one, never converted.
struct TagWorkspace {
    // Tag fields.
    std::string SongTitle;
    std::string SongArtist;
    std::string SongAlbum;
    std::string SongYear;
    std::string SongComment;
    std::string SongGenre;
    std::uint8_t SongGenreByte = 0;

    // Audio information, display texts.
    std::string InfoSize;
    std::string InfoLength;
    std::string InfoVersion;
    std::string InfoBitrate;
    std::string InfoSampleRate;
    std::string InfoChannelMode;

    // Scratch shared by the routines and commands.
    std::array<std::uint8_t, 128> TagBuffer{};
    std::string WorkName;
    std::string WorkName2;
    std::int32_t WorkPos = 0;

    // Clears the six tag texts before a file is read for editing. The genre byte becomes 255,
    // "(none)", so that a file without a tag, saved with no genre chosen, never inherits the
    // genre of the file read before it.
    void clearForEdit();
};

// The program's single workspace.
// The calling thread's workspace (the window's is the GUI thread's).
TagWorkspace &tagWorkspace();

// The blank-padded first 30 characters of WorkName go into TagBuffer bytes 4 to 33; WorkName is
// left holding the padded text.
void FillTagField();
