// Handlers of the main window's batch commands. Each runs its command through runHandler, so an
// I/O failure ends the command and is shown in a message box.
#include "tform1.h"

#include "handler.h"

void TForm1::DirectoryListBox1Change()
{
    // Artist and album guessed from the folder name.
}

void TForm1::RadioGroup1Click()
{
    runHandler(this, [this] { UpdateFormatControls(); });
}

void TForm1::CheckBox2Click()
{
    // Artist and album guessed from the folder name.
}

void TForm1::Button3Click()
{
    // "Trim filename(s)".
}

void TForm1::Button4Click()
{
    // "Rename file(s)" (also F2).
}

void TForm1::Button5Click()
{
    // "Create playlist(s)".
}

void TForm1::Button6Click()
{
    // "Rename from tags".
}

void TForm1::Button8Click()
{
    // "Play file" / "Stop".
}

void TForm1::BitBtn1Click()
{
    // Tags from file names (TAG'EM!).
}
