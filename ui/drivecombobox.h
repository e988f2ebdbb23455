#pragma once

#include <QComboBox>

class TDirectoryListBox;
class WindowQuestions;

// The drive selector: the mounted volumes a user can browse (no pseudo file systems), always
// with the volume that holds the current folder, each shown by its mount point and its label.
// Choosing one opens its mount point in the directory list; when that fails, the failure is
// shown and the folder stays as it was.
class TDriveComboBox : public QComboBox
{
    Q_OBJECT
public:
    explicit TDriveComboBox(QWidget *parent = nullptr);

    void setDirectoryList(TDirectoryListBox *directoryList);
    // Where a folder that cannot be opened is told (the window's questions).
    void setQuestions(WindowQuestions *questions) { m_questions = questions; }
    // Reads the volumes again and shows the one holding folder.
    void showVolumeOf(const QString &folder);
    QString volumePath(int index) const;

    void showPopup() override;

private:
    WindowQuestions *m_questions = nullptr;
    void chooseVolume(int index);

    TDirectoryListBox *m_directoryList = nullptr;
};
