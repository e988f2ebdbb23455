#include "nametext.h"

#include "filenames.h"

#include <cerrno>
#include <unistd.h>

#include <QFontMetrics>
#include <QHelpEvent>
#include <QPainter>
#include <QStyle>
#include <QTextDocument>
#include <QToolTip>

QString plainToolTip(const QString &text)
{
    if (!Qt::mightBeRichText(text))
        return text;
    // As rich text that spells the name out, blanks kept.
    return QStringLiteral("<p style=\"white-space:pre\">%1</p>").arg(text.toHtmlEscaped());
}

QString withLiteralAmpersands(const QString &text)
{
    QString doubled = text;
    return doubled.replace(QLatin1Char('&'), QLatin1String("&&"));
}

QString elidedName(const QFontMetrics &metrics, const QString &text, int width)
{
    if (metrics.horizontalAdvance(text) <= width)
        return text;
    return metrics.elidedText(text, Qt::ElideMiddle, width);
}

ElidedLabel::ElidedLabel(QWidget *parent) : QLabel(parent)
{
    setTextFormat(Qt::PlainText);
}

QRect ElidedLabel::textRect() const
{
    const int m = margin();
    QRect r = contentsRect().adjusted(m, m, -m, -m);
    // The gap a framed label leaves between frame and text.
    if (indent() < 0 && frameWidth() > 0)
        r.adjust(fontMetrics().horizontalAdvance(QLatin1Char('x')) / 2, 0,
                 -fontMetrics().horizontalAdvance(QLatin1Char('x')) / 2, 0);
    else if (indent() > 0)
        r.adjust(indent(), 0, -indent(), 0);
    return r;
}

QString ElidedLabel::shownText() const
{
    return elidedName(fontMetrics(), text(), textRect().width());
}

bool ElidedLabel::isElided() const
{
    return shownText() != text();
}

bool ElidedLabel::event(QEvent *event)
{
    if (event->type() == QEvent::ToolTip) {
        const auto *help = static_cast<QHelpEvent *>(event);
        if (isElided())
            QToolTip::showText(help->globalPos(), plainToolTip(text()), this);
        else
            QToolTip::hideText();
        return true;
    }
    return QLabel::event(event);
}

void ElidedLabel::paintEvent(QPaintEvent *event)
{
    if (!isElided()) {
        QLabel::paintEvent(event);
        return;
    }
    QPainter painter(this);
    drawFrame(&painter);
    const Qt::Alignment align = QStyle::visualAlignment(layoutDirection(), alignment());
    style()->drawItemText(&painter, textRect(), int(align), palette(), isEnabled(), shownText(),
                          foregroundRole());
}

QString currentFolder()
{
    QByteArray buffer(4096, Qt::Uninitialized);
    while (!::getcwd(buffer.data(), std::size_t(buffer.size()))) {
        if (errno != ERANGE)
            return {};
        buffer.resize(buffer.size() * 2);
    }
    return decodeFileName(QByteArrayView(buffer.constData()));
}
