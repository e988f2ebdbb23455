#include "resultnotice.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QMouseEvent>
#include <QToolButton>

namespace
{

QToolButton *actionButton(QWidget *parent, const QString &text)
{
    auto *button = new QToolButton(parent);
    button->setText(text);
    button->setFocusPolicy(Qt::NoFocus);
    button->setAutoRaise(true);
    button->hide();
    return button;
}

} // namespace

ResultNotice::ResultNotice(QWidget *window, QWidget *over) : QFrame(window), m_over(over)
{
    setObjectName(QStringLiteral("ResultNotice"));
    setFocusPolicy(Qt::NoFocus);
    setAttribute(Qt::WA_ShowWithoutActivating);
    setFrameShape(QFrame::Box);
    setAutoFillBackground(true);
    QPalette colours = palette();
    colours.setColor(QPalette::Window, colours.color(QPalette::ToolTipBase));
    colours.setColor(QPalette::WindowText, colours.color(QPalette::ToolTipText));
    setPalette(colours);

    m_text = new QLabel(this);
    m_text->setTextFormat(Qt::PlainText);
    m_text->setWordWrap(true);
    m_text->setFocusPolicy(Qt::NoFocus);
    m_text->setAttribute(Qt::WA_TransparentForMouseEvents);
    m_stop = actionButton(this, QStringLiteral("Stop"));
    m_undo = actionButton(this, QStringLiteral("Undo"));
    auto *layout = new QHBoxLayout(this);
    layout->setContentsMargins(4, 2, 2, 2);
    layout->setSpacing(2);
    layout->addWidget(m_text, 1);
    layout->addWidget(m_undo, 0, Qt::AlignVCenter);
    layout->addWidget(m_stop, 0, Qt::AlignVCenter);
    connect(m_stop, &QToolButton::clicked, this, &ResultNotice::stopRequested);
    connect(m_undo, &QToolButton::clicked, this, [this] {
        if (m_undoHandler)
            m_undoHandler();
    });

    m_details = new QLabel(this, Qt::ToolTip);
    m_details->setObjectName(QStringLiteral("ResultNoticeDetails"));
    m_details->setTextFormat(Qt::PlainText);
    m_details->setFocusPolicy(Qt::NoFocus);
    m_details->setAttribute(Qt::WA_ShowWithoutActivating);
    m_details->setFrameShape(QFrame::Box);
    m_details->setMargin(4);
    m_details->setAutoFillBackground(true);
    m_details->setPalette(colours);

    m_hide.setSingleShot(true);
    m_hide.setInterval(10000);
    connect(&m_hide, &QTimer::timeout, this, &ResultNotice::dismiss);
    hide();
}

ResultNotice::~ResultNotice() = default;

void ResultNotice::showProgress(const QString &text)
{
    m_hide.stop();
    m_details->hide();
    m_details->clear();
    m_progress = true;
    m_text->setText(text);
    m_undo->hide();
    m_stop->show();
    place();
}

void ResultNotice::showResult(const QString &text, const QString &details)
{
    m_progress = false;
    m_details->hide();
    m_details->setText(details);
    m_text->setText(text);
    m_stop->hide();
    m_undo->setVisible(bool(m_undoHandler));
    setCursor(details.isEmpty() ? Qt::ArrowCursor : Qt::PointingHandCursor);
    place();
    m_hide.start();
}

void ResultNotice::dismiss()
{
    m_hide.stop();
    m_details->hide();
    m_progress = false;
    hide();
}

QString ResultNotice::text() const
{
    return isHidden() ? QString() : m_text->text();
}

void ResultNotice::setUndoHandler(std::function<void()> handler, const QString &caption)
{
    m_undo->setText(caption);
    m_undoHandler = std::move(handler);
    if (!isHidden() && !m_progress)
        m_undo->setVisible(bool(m_undoHandler));
}

void ResultNotice::mousePressEvent(QMouseEvent *event)
{
    if (event->button() == Qt::LeftButton && !m_progress)
        toggleDetails();
    event->accept();
}

void ResultNotice::place()
{
    // Over the bottom of the control, inside its frame, as wide as it. Worked out by hand, so
    // that it is right also before the window is first shown and laid out.
    const QRect inner = m_over->contentsRect();
    const QRect box(m_over->mapTo(parentWidget(), inner.topLeft()), inner.size());
    const QMargins margins = layout()->contentsMargins();
    const int frame = 2 * frameWidth();
    int buttonsWidth = 0;
    int buttonsHeight = 0;
    for (const QToolButton *button : {m_stop, m_undo}) {
        if (button->isHidden())
            continue;
        buttonsWidth += button->sizeHint().width() + layout()->spacing();
        buttonsHeight = std::max(buttonsHeight, button->sizeHint().height());
    }
    const int textWidth =
        std::max(1, box.width() - frame - margins.left() - margins.right() - buttonsWidth);
    int height = std::max(m_text->heightForWidth(textWidth), buttonsHeight) + margins.top() +
                 margins.bottom() + frame;
    height = std::min(height, box.height() / 2);
    setGeometry(box.left(), box.bottom() + 1 - height, box.width(), height);
    raise();
    show();
}

void ResultNotice::toggleDetails()
{
    if (m_details->isVisible() || m_details->text().isEmpty()) {
        m_details->hide();
        return;
    }
    m_details->adjustSize();
    // Below the notice's right half where there is room, else above it.
    const QPoint below = mapToGlobal(QPoint(0, height()));
    QPoint at = below;
    if (const QScreen *screen = this->screen()) {
        if (below.y() + m_details->height() > screen->availableGeometry().bottom())
            at = mapToGlobal(QPoint(0, -m_details->height()));
    }
    m_details->move(at);
    m_details->show();
    m_hide.start(); // the notice stays while its details are read
}
