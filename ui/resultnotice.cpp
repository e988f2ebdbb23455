#include "resultnotice.h"

#include <QAbstractScrollArea>
#include <QAccessible>
#include <QEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QMouseEvent>
#include <QPushButton>
#include <QScreen>
#include <QVBoxLayout>
#include <cmath>

namespace
{

// Relative luminance and contrast ratio as the accessibility guidelines define them.
double luminance(const QColor &colour)
{
    auto channel = [](double v) {
        return v <= 0.03928 ? v / 12.92 : std::pow((v + 0.055) / 1.055, 2.4);
    };
    const QColor rgb = colour.toRgb();
    return 0.2126 * channel(rgb.redF()) + 0.7152 * channel(rgb.greenF()) +
           0.0722 * channel(rgb.blueF());
}

double contrast(const QColor &a, const QColor &b)
{
    const double la = luminance(a), lb = luminance(b);
    return (std::max(la, lb) + 0.05) / (std::min(la, lb) + 0.05);
}

constexpr double kMinContrast = 4.5;

// The notice's one pair of colours: the tool-tip colours where they differ enough, else the
// list's own (the notice lies over it), else the window's; else black or white on the tool-tip
// background, whichever reads better.
std::pair<QColor, QColor> noticeColours(const QPalette &palette)
{
    const std::pair<QPalette::ColorRole, QPalette::ColorRole> pairs[] = {
        {QPalette::ToolTipBase, QPalette::ToolTipText},
        {QPalette::Base, QPalette::Text},
        {QPalette::Window, QPalette::WindowText}};
    for (const auto &[background, text] : pairs) {
        const QColor bg = palette.color(QPalette::Active, background);
        const QColor fg = palette.color(QPalette::Active, text);
        if (contrast(bg, fg) >= kMinContrast)
            return {bg, fg};
    }
    const QColor bg = palette.color(QPalette::Active, QPalette::ToolTipBase);
    return {bg, contrast(bg, Qt::black) >= contrast(bg, Qt::white) ? QColor(Qt::black)
                                                                   : QColor(Qt::white)};
}

QPushButton *noticeButton(QWidget *parent, const QString &text, const QString &description)
{
    auto *button = new QPushButton(text, parent);
    button->setFocusPolicy(Qt::NoFocus);
    button->setAutoDefault(false);
    button->setAccessibleDescription(description);
    button->hide();
    return button;
}

// Tells a screen reader of the notice's news (the notice is an alert; see accessibility.h).
void sendAccessibleEvent(QWidget *widget, QAccessible::Event type)
{
    QAccessibleEvent event(widget, type);
    QAccessible::updateAccessibility(&event);
}

} // namespace

ResultNotice::ResultNotice(QWidget *window, QAbstractScrollArea *over)
    : QFrame(window), m_over(over)
{
    setObjectName(QStringLiteral("ResultNotice"));
    setFocusPolicy(Qt::NoFocus);
    setAttribute(Qt::WA_ShowWithoutActivating);
    setFrameShape(QFrame::Box);
    setAutoFillBackground(true);

    m_text = new QLabel(this);
    m_text->setTextFormat(Qt::PlainText);
    m_text->setWordWrap(true);
    m_text->setFocusPolicy(Qt::NoFocus);
    m_text->setAttribute(Qt::WA_TransparentForMouseEvents);
    m_stop = noticeButton(this, QStringLiteral("Stop"),
                          QStringLiteral("Stops the command after the file in hand (Esc)"));
    m_undo = noticeButton(this, QStringLiteral("Undo"),
                          QStringLiteral("Takes back what the command changed (Ctrl+Z)"));
    m_action = noticeButton(this, {}, {});
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(4, 2, 2, 2);
    layout->setSpacing(2);
    m_top = new QHBoxLayout;
    m_top->setSpacing(4);
    m_top->addWidget(m_text, 1);
    m_top->addWidget(m_undo, 0, Qt::AlignVCenter);
    m_top->addWidget(m_stop, 0, Qt::AlignVCenter);
    m_bottom = new QHBoxLayout;
    m_bottom->setSpacing(4);
    m_bottom->addStretch(1);
    m_bottom->addWidget(m_action);
    layout->addLayout(m_top);
    layout->addLayout(m_bottom);
    connect(m_stop, &QPushButton::clicked, this, &ResultNotice::stopRequested);
    // A handler may show a new notice and set new handlers: each runs on a copy.
    connect(m_undo, &QPushButton::clicked, this, [this] {
        if (auto handler = m_undoHandler)
            handler();
    });
    connect(m_action, &QPushButton::clicked, this, [this] {
        if (auto handler = m_actionHandler)
            handler();
    });

    m_details = new QLabel(this, Qt::ToolTip);
    m_details->setObjectName(QStringLiteral("ResultNoticeDetails"));
    m_details->setTextFormat(Qt::PlainText);
    m_details->setFocusPolicy(Qt::NoFocus);
    m_details->setAttribute(Qt::WA_ShowWithoutActivating);
    m_details->setFrameShape(QFrame::Box);
    m_details->setMargin(4);
    m_details->setAutoFillBackground(true);
    m_details->setAccessibleName(QStringLiteral("Files left as they were"));

    // The notice follows the viewport: a scroll bar that comes or goes changes its width.
    m_viewport = m_over->viewport();
    m_viewport->installEventFilter(this);

    m_hide.setSingleShot(true);
    m_hide.setInterval(10000);
    connect(&m_hide, &QTimer::timeout, this, &ResultNotice::dismiss);
    applyColours();
    hide();
}

ResultNotice::~ResultNotice() = default;

void ResultNotice::showProgress(const QString &text)
{
    m_hide.stop();
    m_details->hide();
    m_details->clear();
    const bool news = isHidden() || !m_progress;
    m_progress = true;
    m_text->setText(text);
    setAccessibleName(text);
    setAccessibleDescription({});
    m_undo->hide();
    m_action->hide();
    m_stop->show();
    arrangeButtons();
    place();
    if (news)
        announce();
}

void ResultNotice::showResult(const QString &text, const QString &details)
{
    m_progress = false;
    m_details->hide();
    m_details->setText(details);
    m_text->setText(text);
    setAccessibleName(text);
    setAccessibleDescription(
        details.isEmpty()
            ? QString()
            : QStringLiteral("Click it, or open the file list's menu (Shift+F10), to list the "
                             "files left as they were"));
    m_stop->hide();
    m_undo->setVisible(bool(m_undoHandler));
    m_action->setVisible(bool(m_actionHandler));
    arrangeButtons();
    setCursor(details.isEmpty() ? Qt::ArrowCursor : Qt::PointingHandCursor);
    // Shown anew, so that a screen reader tells of it also when it replaces a notice (the
    // rows' room stays).
    hide();
    place();
    announce();
    m_hide.start();
}

void ResultNotice::dismiss()
{
    m_hide.stop();
    m_details->hide();
    m_progress = false;
    hide();
    reserve(0);
}

QString ResultNotice::text() const
{
    return isHidden() ? QString() : m_text->text();
}

bool ResultNotice::hasDetails() const
{
    return !isHidden() && !m_progress && !m_details->text().isEmpty();
}

void ResultNotice::showDetails()
{
    if (hasDetails() && !m_details->isVisible())
        toggleDetails();
}

void ResultNotice::setUndoHandler(std::function<void()> handler, const QString &caption)
{
    m_undo->setText(caption);
    m_undoHandler = std::move(handler);
    if (!isHidden() && !m_progress) {
        m_undo->setVisible(bool(m_undoHandler));
        arrangeButtons();
        place();
    }
}

void ResultNotice::setActionHandler(std::function<void()> handler, const QString &caption,
                                    const QString &description)
{
    m_action->setText(caption);
    m_action->setAccessibleDescription(description);
    m_actionHandler = std::move(handler);
    if (!isHidden() && !m_progress) {
        m_action->setVisible(bool(m_actionHandler));
        arrangeButtons();
        place();
    }
}

void ResultNotice::arrangeButtons()
{
    QBoxLayout *row = m_action->isHidden() ? m_top : m_bottom;
    if (row->indexOf(m_undo) >= 0)
        return;
    (row == m_top ? m_bottom : m_top)->removeWidget(m_undo);
    if (row == m_top)
        m_top->insertWidget(1, m_undo, 0, Qt::AlignVCenter);
    else
        m_bottom->addWidget(m_undo);
}

void ResultNotice::setReserveSpace(std::function<void(int height)> reserve)
{
    m_reserve = std::move(reserve);
    m_reserved = 0;
}

void ResultNotice::mousePressEvent(QMouseEvent *event)
{
    if (event->button() == Qt::LeftButton && !m_progress)
        toggleDetails();
    event->accept();
}

void ResultNotice::changeEvent(QEvent *event)
{
    // A new palette (a light or dark desktop theme) gives new colours.
    if (event->type() == QEvent::ApplicationPaletteChange ||
        (event->type() == QEvent::PaletteChange && !m_colouring))
        applyColours();
    QFrame::changeEvent(event);
}

bool ResultNotice::eventFilter(QObject *watched, QEvent *event)
{
    // Only the viewport's own pointer is compared: the list may be half destroyed when its
    // viewport's last events come.
    if (watched == m_viewport && event->type() == QEvent::Resize && !isHidden())
        place();
    return QFrame::eventFilter(watched, event);
}

void ResultNotice::applyColours()
{
    m_colouring = true;
    const auto [background, text] = noticeColours(m_over->palette());
    QPalette colours = m_over->palette();
    for (const QPalette::ColorGroup group : {QPalette::Active, QPalette::Inactive}) {
        for (const QPalette::ColorRole role : {QPalette::Window, QPalette::Button, QPalette::Base})
            colours.setColor(group, role, background);
        for (const QPalette::ColorRole role :
             {QPalette::WindowText, QPalette::ButtonText, QPalette::Text})
            colours.setColor(group, role, text);
    }
    if (colours != palette()) {
        setPalette(colours);
        m_details->setPalette(colours);
    }
    m_colouring = false;
}

void ResultNotice::place()
{
    // Over the bottom of the list's viewport (the part the notice keeps clear of rows belongs to
    // it), never over a scroll bar, as wide as the viewport. Before the window is first shown and
    // laid out, the viewport is the inside of the frame; once shown the notice follows it.
    QRect area = m_over->isVisible() ? m_over->viewport()->geometry().adjusted(0, 0, 0, m_reserved)
                                     : m_over->contentsRect();
    area.moveTopLeft(m_over->mapTo(parentWidget(), area.topLeft()));
    applyColours();
    const QMargins margins = layout()->contentsMargins();
    const int frame = 2 * frameWidth();
    // Beside the text: the buttons of its row; below it, the row of the other action.
    int buttonsWidth = 0;
    int buttonsHeight = 0;
    int belowHeight = 0;
    for (QPushButton *button : {m_stop, m_undo, m_action}) {
        // As wide as its words need, not the style's usual minimum: the list is narrow.
        button->setFixedWidth(button->fontMetrics().horizontalAdvance(button->text()) + 16);
        if (button->isHidden())
            continue;
        if (m_top->indexOf(button) >= 0) {
            buttonsWidth += button->width() + m_top->spacing();
            buttonsHeight = std::max(buttonsHeight, button->sizeHint().height());
        } else {
            belowHeight = std::max(belowHeight, button->sizeHint().height());
        }
    }
    const int textWidth =
        std::max(1, area.width() - frame - margins.left() - margins.right() - buttonsWidth);
    int height = std::max(m_text->heightForWidth(textWidth), buttonsHeight) + margins.top() +
                 margins.bottom() + frame;
    if (belowHeight > 0)
        height += layout()->spacing() + belowHeight;
    height = std::min(height, area.height() / 2);
    setGeometry(area.left(), area.bottom() + 1 - height, area.width(), height);
    raise();
    show();
    reserve(height);
}

void ResultNotice::announce()
{
    sendAccessibleEvent(this, QAccessible::Alert);
}

void ResultNotice::reserve(int height)
{
    if (height == m_reserved)
        return;
    m_reserved = height;
    if (m_reserve)
        m_reserve(height);
}

void ResultNotice::toggleDetails()
{
    if (m_details->isVisible() || m_details->text().isEmpty()) {
        m_details->hide();
        return;
    }
    m_details->adjustSize();
    // Below the notice where there is room, else above it.
    const QPoint below = mapToGlobal(QPoint(0, height()));
    QPoint at = below;
    if (const QScreen *screen = this->screen()) {
        if (below.y() + m_details->height() > screen->availableGeometry().bottom())
            at = mapToGlobal(QPoint(0, -m_details->height()));
    }
    m_details->move(at);
    m_details->setAccessibleDescription(m_details->text());
    m_details->show();
    sendAccessibleEvent(m_details, QAccessible::Alert);
    m_hide.start(); // the notice stays while its details are read
}
