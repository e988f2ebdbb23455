#pragma once

#include <QString>
#include <functional>
#include <vector>

// What the batch commands need of the main window's file list. The window's list implements
// it; tests use an in-memory list.
class FileList
{
public:
    virtual ~FileList() = default;

    virtual int count() const = 0;
    virtual QString itemText(int row) const = 0;
    // The selection of every row, read in one go (size count()).
    virtual std::vector<bool> selectedRows() const = 0;
    // Unselects one row. Must be cheap: a list may show the change later, but before any
    // dialog appears and when the command ends.
    virtual void unselect(int row) = 0;
    // Reads the current folder again (drops the selection).
    virtual void reread() = 0;
};

// The one way commands walk the selected files: the count and the selection are read once; each
// selected row, in list order, is unselected and then handed to action with its text. An
// exception from action ends the walk: that row and the ones before it are unselected, the later
// ones keep their selection.
void walkSelection(FileList &list, const std::function<void(int row, const QString &name)> &action);
