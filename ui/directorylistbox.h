#pragma once

#include <QListWidget>

class TFileListBox;
class WindowQuestions;

// The folder list of the folder browser. Its items: "/", one item per folder on the path down to
// the current folder, then the current folder's subfolders (hidden ones left out) sorted by name
// with letter case disregarded. The current folder is always the process's working directory.
// A click or an arrow key moves the selection; a double click or Enter opens the selected item.
class TDirectoryListBox : public QListWidget
{
    Q_OBJECT
public:
    explicit TDirectoryListBox(QWidget *parent = nullptr);

    // The current folder as a full path, no trailing "/" except for the root.
    QString directory() const { return m_directory; }
    // Opens a folder: makes it the working directory, rebuilds the items, tells the file list,
    // then emits changed(). Throws IoError when the folder cannot be entered; then nothing
    // changes.
    void setDirectory(const QString &path);
    void setFileList(TFileListBox *fileList) { m_fileList = fileList; }
    // Where a folder that cannot be opened is told (the window's questions).
    void setQuestions(WindowQuestions *questions) { m_questions = questions; }

    // The subfolders of a folder that the list shows, sorted.
    static QStringList subfolders(const QString &directory);

    // The folder an item stands for.
    QString itemPath(int row) const;
    // The current folder's own item (the last of the path items).
    int currentFolderRow() const { return m_currentFolderRow; }
    int itemIndex() const { return currentRow(); }
    void setItemIndex(int row) { setCurrentRow(row); }
    // Opens the selected item; a failure is shown in a message box.
    void openSelected();

signals:
    void changed();

protected:
    void keyPressEvent(QKeyEvent *event) override;

private:
    WindowQuestions *m_questions = nullptr;
    void rebuild(const QStringList &subfolders);

    QString m_directory;
    int m_currentFolderRow = -1;
    TFileListBox *m_fileList = nullptr;
};
