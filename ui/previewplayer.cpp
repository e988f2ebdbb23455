#include "previewplayer.h"

#include "filenames.h"

#include <QAudioOutput>
#include <QMediaPlayer>
#include <QUrl>

QtPreviewPlayer::QtPreviewPlayer(QObject *parent)
    : QObject(parent), m_player(new QMediaPlayer(this)), m_output(new QAudioOutput(this))
{
    // Without an audio output nothing plays at all.
    m_player->setAudioOutput(m_output);
    connect(m_player, &QMediaPlayer::errorOccurred, this,
            [this](QMediaPlayer::Error, const QString &text) { reportError(text); });
}

QtPreviewPlayer::~QtPreviewPlayer()
{
    m_player->stop();
}

void QtPreviewPlayer::open(const QString &path)
{
    ++m_generation;
    m_player->stop();
    m_player->setSource(localFileUrl(path));
}

void QtPreviewPlayer::play()
{
    m_player->play();
}

void QtPreviewPlayer::stop()
{
    m_player->stop();
}

void QtPreviewPlayer::close()
{
    ++m_generation;
    m_player->stop();
    m_player->setSource(QUrl());
}

void QtPreviewPlayer::setErrorHandler(ErrorHandler handler)
{
    m_onError = std::move(handler);
}

void QtPreviewPlayer::reportError(const QString &text)
{
    // After an error the player still claims to be playing until told to stop.
    m_player->stop();
    const QString message = text.isEmpty() ? QStringLiteral("Unknown error code") : text;
    const quint64 generation = m_generation;
    // Delivered from the event loop, not from inside the player's signal, since the handler
    // shows a modal message box.
    QMetaObject::invokeMethod(
        this,
        [this, generation, message] {
            if (generation == m_generation && m_onError)
                m_onError(message);
        },
        Qt::QueuedConnection);
}
