#include "previewplayer.h"

#include "filenames.h"
#include "ioerror.h"
#include "regularfile.h"

#include <QAudioOutput>
#include <QCoreApplication>
#include <QFile>
#include <QMediaPlayer>
#include <QUrl>
#include <fcntl.h>
#include <thread>
#include <unistd.h>

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
    dropSource();
}

void QtPreviewPlayer::open(const QString &path)
{
    const quint64 generation = ++m_generation;
    m_player->stop();
    dropSource();
    m_playWanted = false;
    const std::weak_ptr<int> alive = m_alive;
    std::thread([this, alive, generation, path, name = encodeFileName(path).toStdString()] {
        int fd = -1;
        QString error;
        try {
            FileStatus st;
            fd = openRegular(name, O_RDONLY, st); // checked again: swapped since it was looked at
        } catch (const IoError &e) {
            if (fd >= 0)
                ::close(fd);
            fd = -1;
            error = QString::fromStdString(e.message());
        }
        QCoreApplication *app = QCoreApplication::instance();
        auto deliver = [this, alive, generation, fd, error, path] {
            if (!alive.lock() || generation != m_generation) {
                if (fd >= 0)
                    ::close(fd); // closed or opened again meanwhile
            } else if (fd < 0) {
                reportError(error);
            } else {
                opened(fd, path);
            }
        };
        if (!app || !QMetaObject::invokeMethod(app, deliver, Qt::QueuedConnection)) {
            if (fd >= 0)
                ::close(fd);
        }
    }).detach();
}

void QtPreviewPlayer::opened(int fd, const QString &path)
{
    m_file = std::make_unique<QFile>();
    if (!m_file->open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
        ::close(fd);
        m_file.reset();
        reportError(QStringLiteral("File access denied"));
        return;
    }
    // The media player reads the open file; the path is only a name for it.
    m_player->setSourceDevice(m_file.get(), localFileUrl(path));
    if (m_playWanted)
        m_player->play();
}

void QtPreviewPlayer::dropSource()
{
    if (!m_file)
        return; // nothing set: an empty source makes the player report an error
    m_player->setSource(QUrl());
    m_file.reset();
}

void QtPreviewPlayer::play()
{
    if (m_file)
        m_player->play();
    else
        m_playWanted = true;
}

void QtPreviewPlayer::stop()
{
    m_playWanted = false;
    m_player->stop();
}

void QtPreviewPlayer::close()
{
    ++m_generation;
    m_playWanted = false;
    m_player->stop();
    dropSource();
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
