#pragma once

#include <QString>
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
