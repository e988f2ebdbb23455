#pragma once

#include <QObject>
#include <QString>
#include <functional>

class QAudioOutput;
class QMediaPlayer;

// The media player behind "Play file": opens one file and plays it in the background.
class PreviewPlayer
{
public:
    using ErrorHandler = std::function<void(const QString &message)>;

    virtual ~PreviewPlayer() = default;

    // Closes any open file, then opens path. Opening goes on in the background: a failure (the
    // file has gone, cannot be played, no playing device) arrives later through the error
    // handler with the player's own text.
    virtual void open(const QString &path) = 0;
    // Plays the opened file from its beginning and returns at once.
    virtual void play() = 0;
    virtual void stop() = 0;
    // Closes the open file; nothing when none is open.
    virtual void close() = 0;
    virtual void setErrorHandler(ErrorHandler handler) = 0;
};

// The player over Qt Multimedia (QMediaPlayer with a QAudioOutput, on GStreamer here).
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

    QMediaPlayer *m_player;
    QAudioOutput *m_output;
    ErrorHandler m_onError;
    // Counts opens and closes, so that an error still queued for a file closed since is dropped.
    quint64 m_generation = 0;
};
