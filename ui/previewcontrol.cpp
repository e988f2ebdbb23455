#include "previewcontrol.h"

#include "pathinfolder.h"
#include "previewplayer.h"

PreviewControl::PreviewControl(PreviewPlayer &player, TextHandler setCaption, TextHandler showError)
    : m_player(player), m_setCaption(std::move(setCaption)), m_showError(std::move(showError))
{
    m_player.setErrorHandler([this](const QString &message) { onPlayerError(message); });
}

PreviewControl::~PreviewControl()
{
    m_player.setErrorHandler({});
}

void PreviewControl::toggle(const QString &folder, const std::optional<QString> &currentItem)
{
    if (!m_fileName.isEmpty()) {
        stopAndClose();
        return;
    }
    if (!currentItem)
        return;
    m_fileName = pathInFolder(folder, *currentItem);
    m_player.open(m_fileName);
    m_player.play();
    m_setCaption(QString::fromUtf16(kStopCaption));
}

void PreviewControl::stopForExit()
{
    if (!m_fileName.isEmpty())
        stopAndClose();
}

void PreviewControl::stopAndClose()
{
    m_player.stop();
    m_player.close();
    m_fileName.clear();
    m_setCaption(QString::fromUtf16(kPlayCaption));
}

void PreviewControl::onPlayerError(const QString &message)
{
    // A failure of a preview already stopped concerns nobody.
    if (m_fileName.isEmpty())
        return;
    // Back to idle first, so that the next press plays again.
    stopAndClose();
    // The message convention of file errors: a full stop after a last character beyond ".".
    const bool stop = !message.isEmpty() && message.back() > QLatin1Char('.');
    m_showError(stop ? message + QLatin1Char('.') : message);
}
