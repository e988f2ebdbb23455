#pragma once

#include <QObject>
#include <QString>
#include <functional>
#include <memory>

class QAudioOutput;
class QFile;
class QMediaPlayer;

// The media player behind "Play file": opens one file and plays it in the background.
class PreviewPlayer
{
public:
    using ErrorHandler = std::function<void(const QString &message)>;

    virtual ~PreviewPlayer() = default;

    // Closes any open file, then opens path. Opening goes on in the background: a failure (the
    // file has gone, is no regular file, cannot be played, no playing device) arrives later
    // through the error handler with its text.
    virtual void open(const QString &path) = 0;
    // Plays the opened file from its beginning and returns at once.
    virtual void play() = 0;
    virtual void stop() = 0;
    // Closes the open file; nothing when none is open.
    virtual void close() = 0;
    virtual void setErrorHandler(ErrorHandler handler) = 0;
};

// The player over Qt Multimedia (QMediaPlayer with a QAudioOutput, on GStreamer here). The
// player never sees a path: the file is opened on a thread of its own by the tag reader's rule
// (regular files only, never blocking), and the media player reads the open file. A FIFO, a
// device, a vanished file or a mount that does not answer cannot stop the window.
class QtPreviewPlayer : public QObject, public PreviewPlayer
{
    Q_OBJECT

public:
    explicit QtPreviewPlayer(QObject *parent = nullptr);
    ~QtPreviewPlayer() override;

    void open(const QString &path) override;
    void play() override;
    void stop() override;
    void close() override;
    void setErrorHandler(ErrorHandler handler) override;

    QMediaPlayer *mediaPlayer() const { return m_player; }

private:
    void reportError(const QString &text);
    void opened(int fd, const QString &path);
    void dropSource();

    QMediaPlayer *m_player;
    QAudioOutput *m_output;
    std::unique_ptr<QFile> m_file; // the file the media player reads
    ErrorHandler m_onError;
    // Counts opens and closes, so that an error still queued for a file closed since is dropped.
    quint64 m_generation = 0;
    bool m_playWanted = false; // play() came before the file was open
    // Expires with the player: an open finishing later finds it gone.
    std::shared_ptr<int> m_alive = std::make_shared<int>(0);
};
