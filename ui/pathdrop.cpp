#include "pathdrop.h"

#include "tform1.h"
#include "windowquestions.h"

#include "filenames.h"

#include "handler.h"
#include "startup.h"

#include <QDropEvent>
#include <QMimeData>
#include <QTimer>
#include <QUrl>
#include <QWidget>

namespace
{

class PathDropFilter : public QObject
{
public:
    explicit PathDropFilter(QWidget *window) : QObject(window), m_window(window) {}

    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (watched != m_window)
            return false;
        switch (event->type()) {
        case QEvent::DragEnter:
            m_takesDrag = takeAsCopy(static_cast<QDropEvent *>(event));
            return true;
        case QEvent::DragMove: {
            // As the drag came in: its paths are not read again at every move.
            auto *move = static_cast<QDropEvent *>(event);
            if (m_takesDrag) {
                move->setDropAction(Qt::CopyAction);
                move->accept();
            } else {
                move->ignore();
            }
            return true;
        }
        case QEvent::DragLeave:
            m_takesDrag = false;
            return false;
        case QEvent::Drop: {
            auto *drop = static_cast<QDropEvent *>(event);
            m_takesDrag = false;
            if (!takeAsCopy(drop))
                return true;
            const QStringList paths = droppedPaths(drop->mimeData());
            QWidget *window = m_window;
            QTimer::singleShot(0, window, [paths] {
                runHandler(Form1->questions(), [&paths] { openPaths(paths); });
            });
            return true;
        }
        default:
            return false;
        }
    }

private:
    // Accepts the event as a copy when it carries local paths and returns true; refuses it
    // otherwise.
    static bool takeAsCopy(QDropEvent *event)
    {
        if (!(event->possibleActions() & Qt::CopyAction) ||
            droppedPaths(event->mimeData()).isEmpty()) {
            event->ignore();
            return false;
        }
        event->setDropAction(Qt::CopyAction);
        event->accept();
        return true;
    }

    QWidget *m_window;
    bool m_takesDrag = false;
};

} // namespace

void acceptPathDrops(QWidget *window)
{
    window->setAcceptDrops(true);
    window->installEventFilter(new PathDropFilter(window));
}

QStringList droppedPaths(const QMimeData *data)
{
    QStringList paths;
    if (!data || !data->hasUrls())
        return paths;
    for (const QUrl &url : data->urls()) {
        if (!url.isLocalFile())
            continue;
        // The path's own bytes: toLocalFile() would turn bytes that are not UTF-8 into U+FFFD.
        const QByteArray bytes =
            QByteArray::fromPercentEncoding(url.path(QUrl::FullyEncoded).toLatin1());
        if (!bytes.isEmpty())
            paths += decodeFileName(bytes);
    }
    return paths;
}
