#include "pictures.h"

#include <QApplication>
#include <QFont>
#include <QFontMetricsF>
#include <QImage>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QPalette>
#include <cmath>

namespace
{

QColor buttonFace()
{
    return QApplication::palette().color(QPalette::Active, QPalette::Button);
}

QPixmap blankPicture(QSize size, qreal dpr, const QColor &background)
{
    QPixmap pm(size * dpr);
    pm.setDevicePixelRatio(dpr);
    pm.fill(background);
    return pm;
}

// The words as a path, scaled to fit box and centred in it.
// All pictures draw their words from one font at one size, so only one is loaded; spacing is added
// after each letter, as a share of the font size.
QPainterPath wordsPath(const QString &words, const QRectF &box, int weight, qreal spacing = 0)
{
    QFont font(QStringLiteral("Liberation Sans"));
    font.setWeight(QFont::Weight(weight));
    font.setPixelSize(100);
    if (spacing > 0)
        font.setLetterSpacing(QFont::AbsoluteSpacing, spacing * 100);
    font.setStyleStrategy(QFont::PreferOutline);
    QPainterPath path;
    path.addText(0, 0, font, words);
    const QRectF r = path.boundingRect();
    const qreal scale = std::min(box.width() / r.width(), box.height() / r.height());
    QTransform t;
    t.translate(box.center().x(), box.center().y());
    t.scale(scale, scale);
    t.translate(-r.center().x(), -r.center().y());
    return t.map(path);
}

// The letters filled once, white on transparent, in device pixels; origin is where its top left
// corner goes (logical pixels).
QImage letterMask(const QPainterPath &path, qreal dpr, QPointF &origin)
{
    const QRect box = path.boundingRect().toAlignedRect();
    origin = box.topLeft();
    QImage mask(box.size() * dpr, QImage::Format_ARGB32_Premultiplied);
    mask.fill(Qt::transparent);
    QPainter p(&mask);
    p.setRenderHint(QPainter::Antialiasing);
    p.scale(dpr, dpr);
    p.translate(-origin);
    p.fillPath(path, Qt::white);
    p.end();
    mask.setDevicePixelRatio(dpr);
    return mask;
}

QImage tinted(const QImage &mask, const QColor &colour)
{
    QImage image = mask;
    QPainter p(&image);
    p.setCompositionMode(QPainter::CompositionMode_SourceIn);
    p.fillRect(image.rect(), colour);
    return image;
}

// White letters with a dark outline and a dark shadow to the lower right. Filling a path of
// letters is slow and stroking it slower still: the letters are filled once and outline and
// shadow are that picture tinted and laid down at small offsets.
void drawBlockLetters(QPainter &p, const QPainterPath &path, qreal shadow, qreal outline)
{
    const qreal dpr = std::max<qreal>(1.0, p.device()->devicePixelRatio());
    QPointF origin;
    const QImage letters = letterMask(path, dpr, origin);
    p.drawImage(origin + QPointF(shadow, shadow), tinted(letters, QColor(0, 0, 0, 110)));
    // The outline reaches half its width beyond the letters, in whole device pixels.
    const qreal r = std::max<qreal>(1.0, std::round(outline / 2 * dpr)) / dpr;
    const qreal d = std::max<qreal>(1.0, std::round(outline / 2 * dpr * M_SQRT1_2)) / dpr;
    const QImage edge = tinted(letters, QColor(20, 24, 48));
    for (QPointF offset : {QPointF(r, 0), QPointF(-r, 0), QPointF(0, r), QPointF(0, -r),
                           QPointF(d, d), QPointF(-d, d), QPointF(d, -d), QPointF(-d, -d)})
        p.drawImage(origin + offset, edge);
    p.drawImage(origin, letters);
}

} // namespace

QPixmap bannerPicture(qreal dpr)
{
    const QSize size(425, 73);
    QPixmap pm = blankPicture(size, dpr, buttonFace());
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    // A dark band with a light edge, behind the name.
    QLinearGradient band(0, 0, 0, size.height());
    band.setColorAt(0, QColor(40, 70, 140));
    band.setColorAt(1, QColor(15, 30, 75));
    p.setPen(QPen(QColor(255, 255, 255, 160), 1));
    p.setBrush(band);
    // In strips: the painter hands a large fill with many edges to helper threads, and starting
    // them costs more than the fill.
    const qreal strip = 16 / dpr;
    for (qreal top = 0; top < size.height(); top += strip) {
        p.setClipRect(QRectF(0, top, size.width(), strip));
        p.drawRoundedRect(QRectF(0.5, 0.5, size.width() - 1, size.height() - 1), 6, 6);
    }
    p.setClipping(false);
    // Two small notes on either side.
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(255, 255, 255, 70));
    for (qreal x : {22.0, 395.0}) {
        p.drawEllipse(QPointF(x, 48), 7, 5.5);
        p.drawRect(QRectF(x + 5, 18, 2.5, 30));
    }
    drawBlockLetters(p, wordsPath(QStringLiteral("TRACKLING"), QRectF(44, 8, 337, 44), QFont::Bold),
                     3, 2.2);
    // Capitals 8 pixels high (the letters of an 11-pixel font), 2.5 pixels apart.
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(220, 228, 255));
    p.drawPath(wordsPath(QStringLiteral("MP3 TAG TOOL"), QRectF(0, 58, size.width(), 8),
                         QFont::Bold, 2.5 / 11));
    return pm;
}

QPixmap buttonPicture(const QString &words, qreal dpr, bool focusMark)
{
    const QSize size(100, 40);
    QPixmap pm = blankPicture(size, dpr, buttonFace());
    QPainter p(&pm);
    drawBlockLetters(p, wordsPath(words, QRectF(5, 6, 88, 26), QFont::Bold), 2, 1.6);
    if (focusMark) {
        // One device pixel wide, dotted, in the text colour, so it shows in dark themes too.
        QPen pen(QApplication::palette().color(QPalette::Active, QPalette::ButtonText), 0,
                 Qt::DotLine);
        p.setPen(pen);
        p.setBrush(Qt::NoBrush);
        const qreal half = 0.5 / dpr;
        p.drawRect(
            QRectF(1, 1, size.width() - 2, size.height() - 2).adjusted(half, half, -half, -half));
    }
    return pm;
}

namespace
{

QPixmap folderPixmap(FolderPicture kind, qreal dpr)
{
    QPixmap pm(QSize(16, 16) * dpr);
    pm.setDevicePixelRatio(dpr);
    pm.fill(Qt::transparent);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    const QColor edge(120, 90, 20);
    const QColor back(230, 190, 70);
    const QColor front(250, 220, 110);
    p.setPen(QPen(edge, 1));
    // Back of the folder with its tab.
    QPainterPath backPath;
    backPath.moveTo(1.5, 3.5);
    backPath.lineTo(6.0, 3.5);
    backPath.lineTo(7.5, 5.0);
    backPath.lineTo(13.5, 5.0);
    backPath.lineTo(13.5, 13.5);
    backPath.lineTo(1.5, 13.5);
    backPath.closeSubpath();
    p.setBrush(back);
    p.drawPath(backPath);
    if (kind == FolderPicture::Closed) {
        p.setBrush(front);
        p.drawRect(QRectF(1.5, 6.5, 12, 7));
        return pm;
    }
    // An open folder: the front flap leans out.
    QPainterPath flap;
    flap.moveTo(4.0, 7.5);
    flap.lineTo(15.5, 7.5);
    flap.lineTo(13.0, 13.5);
    flap.lineTo(1.5, 13.5);
    flap.closeSubpath();
    p.setBrush(kind == FolderPicture::Current ? QColor(255, 245, 170) : front);
    p.drawPath(flap);
    if (kind == FolderPicture::Current) {
        p.setPen(Qt::NoPen);
        p.setBrush(QColor(30, 80, 190));
        p.drawEllipse(QPointF(8.5, 10.5), 2.2, 2.2);
    }
    return pm;
}

} // namespace

QIcon folderIcon(FolderPicture kind)
{
    QIcon icon;
    for (qreal dpr : {1.0, 2.0})
        icon.addPixmap(folderPixmap(kind, dpr));
    return icon;
}
