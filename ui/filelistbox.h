#pragma once

#include "filelist.h"
#include "folderscan.h"

#include <QListView>
#include <vector>

class FileNameModel;

// The file list of the folder browser: the names of the current folder's files that match the
// mask (letter case disregarded), without hidden files (names beginning with ".") and without
// anything that is not a regular file (FIFOs, sockets, devices, broken links), sorted by name
// with letter case disregarded. Extended multiple selection.
//
// Unselecting one row is cheap: unselects are collected and shown as one selection change per
// run of rows, before any modal question and when the handler ends (flushPendingUnselect).
class TFileListBox : public QListView, public FileList
{
    Q_OBJECT
public:
    explicit TFileListBox(QWidget *parent = nullptr);

    QString mask() const { return m_mask; }
    void setMask(const QString &mask);
    QString directory() const { return m_directory; }
    // Reads the named folder (drops the selection).
    void setDirectory(const QString &directory);
    // Shows names already read from the folder (see scanFolder).
    void showFiles(const QString &directory, const QStringList &names);
    void showFiles(const QString &directory, EncodedNames names);

    // FileList
    int count() const override;
    QString itemText(int row) const override;
    std::vector<bool> selectedRows() const override;
    void unselect(int row) override;
    void reread() override;

    bool isSelected(int row) const;
    void setSelected(int row, bool selected);
    // Makes exactly the rows marked true selected, in one selection change.
    void selectRows(const std::vector<bool> &selected);
    // "Select all" and "Clear selection": one selection change over every row.
    void selectAllFiles();
    void clearFileSelection();
    // The current item (the one with the focus rectangle), -1 when there is none.
    int itemIndex() const;
    void setItemIndex(int row);

    // Shows the unselects collected so far.
    void flushPendingUnselect() const;

    // Keeps the rows out of the lowest height pixels of the list's inside (where a notice lies),
    // beside the scroll bar, which keeps its length; 0 gives them back.
    void reserveBottom(int height);

private:
    void applySelection(const std::vector<bool> &selected) const;

    FileNameModel *m_model;
    QString m_directory;
    QString m_mask = QStringLiteral("*.mp3");
    mutable std::vector<int> m_pendingUnselect;
};
