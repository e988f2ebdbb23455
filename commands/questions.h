#pragma once

#include <QString>
#include <QStringList>
#include <optional>

// One file's tag as text: what the edit dialog shows and what it gives back. An empty genre is
// "no genre chosen".
struct TagTexts {
    QString title;
    QString artist;
    QString album;
    QString year; // the four positions as the year field shows them
    QString comment;
    QString genre;
};

// The edit dialog's view of one file: its name, its tag and the audio information lines; and,
// for front ends that tell more than the dialog, whether the fields are the file's own ID3v1 tag
// (not made from its ID3v2 tag, or empty) and the genre byte they stand for.
struct TagEditView {
    QString fileName;
    TagTexts tag;
    QStringList info;
    bool hasId3v1 = false;
    int genreByte = 255;
};

// The tag of one file whose title is too long, as the restricted edit dialog shows it.
struct LongTitleQuestion {
    QString fileName;
    QString title; // its first 30 characters
    QString artist;
    QString album;
    QString year;
    QString comment;
    QString genre;
};

// The restricted dialog's answer on Save: the new title and this file's comment.
struct LongTitleAnswer {
    QString title;
    QString comment;
};

// Every question a command may ask the person using it. The main window owns the one that
// shows real dialogs (and shows the list's pending changes before each question); tests script
// the answers. Each ask returns nothing when the person cancels.
class CommandQuestions
{
public:
    virtual ~CommandQuestions() = default;

    // A one-line prompt: caption, prompt line, initial value, longest text.
    virtual std::optional<QString> askText(const QString &caption, const QString &label,
                                           const QString &initial, int maxLength) = 0;
    // The edit dialog: shows view; on Save, the fields as entered.
    virtual std::optional<TagTexts> editTag(const TagEditView &view) = 0;
    // The edit dialog in its restricted mode, asking for a shorter title.
    virtual std::optional<LongTitleAnswer> askLongTitle(const LongTitleQuestion &question) = 0;
    // A save dialog: title, proposed full path, Qt name filter, default suffix. The dialog asks
    // itself before replacing an existing file. The path comes back byte for byte as the file
    // system names it (decoded as commands/filenames.h does).
    virtual std::optional<QString> askSaveFileName(const QString &title,
                                                   const QString &proposedPath,
                                                   const QString &filter,
                                                   const QString &defaultSuffix) = 0;
    // A folder browser with an instruction text, opening in startFolder.
    virtual std::optional<QString> askExistingDirectory(const QString &title,
                                                        const QString &startFolder) = 0;
    // A message box with the program's caption.
    virtual void showError(const QString &message) = 0;
    // A question answered Yes or No ("Undo ... made by an earlier run?"); true for Yes. Questions
    // that cannot ask answer No.
    virtual bool confirm(const QString &question)
    {
        (void)question;
        return false;
    }
};
