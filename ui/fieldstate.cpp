#include "fieldstate.h"

#include "genres.h"
#include "tagtext.h"

#include <QAbstractButton>
#include <QApplication>
#include <QCheckBox>
#include <QFontMetrics>
#include <QGroupBox>
#include <QGuiApplication>
#include <QLabel>
#include <QPalette>
#include <QRadioButton>
#include <QScreen>
#include <QStyle>
#include <QWidget>

void setFieldEnabled(QWidget *field, bool enabled)
{
    field->setEnabled(enabled);
    const QPalette app = QApplication::palette();
    QPalette p = field->palette();
    p.setColor(QPalette::Base,
               app.color(QPalette::Active, enabled ? QPalette::Base : QPalette::Button));
    field->setPalette(p);
}

const QStringList &genreNames()
{
    static const QStringList names = [] {
        QStringList list;
        for (const std::string &name : genreDropDownNames())
            list.append(fromTagText(name));
        return list;
    }();
    return names;
}

void centreOnScreen(QWidget *window)
{
    QScreen *screen = window->screen() ? window->screen() : QGuiApplication::primaryScreen();
    if (!screen)
        return;
    QRect frame = window->frameGeometry();
    frame.moveCenter(screen->availableGeometry().center());
    window->move(frame.topLeft());
}

namespace
{

// Room for the caption and the caption itself; false when the control shows no caption.
bool captionRoom(const QWidget *control, QString &caption, int &room)
{
    if (const auto *label = qobject_cast<const QLabel *>(control)) {
        if (label->text().isEmpty())
            return false;
        caption = label->text();
        room = label->contentsRect().width() - 2 * label->margin();
        return true;
    }
    if (qobject_cast<const QGroupBox *>(control))
        return false;
    if (const auto *button = qobject_cast<const QAbstractButton *>(control)) {
        if (button->text().isEmpty())
            return false;
        caption = button->text();
        const QStyle *style = button->style();
        if (qobject_cast<const QCheckBox *>(button))
            room = button->width() -
                   style->pixelMetric(QStyle::PM_IndicatorWidth, nullptr, button) -
                   style->pixelMetric(QStyle::PM_CheckBoxLabelSpacing, nullptr, button);
        else if (qobject_cast<const QRadioButton *>(button))
            room = button->width() -
                   style->pixelMetric(QStyle::PM_ExclusiveIndicatorWidth, nullptr, button) -
                   style->pixelMetric(QStyle::PM_RadioButtonLabelSpacing, nullptr, button);
        else
            room =
                button->width() - 2 * style->pixelMetric(QStyle::PM_ButtonMargin, nullptr, button);
        return true;
    }
    return false;
}

} // namespace

bool captionFitsWith(const QWidget *control, const QFont &font)
{
    QString caption;
    int room = 0;
    if (!captionRoom(control, caption, room))
        return true;
    return QFontMetrics(font).horizontalAdvance(caption) <= room;
}

bool captionFits(const QWidget *control)
{
    return captionFitsWith(control, control->font());
}

void fitCaptions(QWidget *window)
{
    for (QWidget *control : window->findChildren<QWidget *>()) {
        QFont font = control->font();
        if (captionFitsWith(control, font))
            continue;
        while (!captionFitsWith(control, font) && font.pointSizeF() > 6.0)
            font.setPointSizeF(font.pointSizeF() - 0.5);
        control->setFont(font);
    }
}

const char *const groupFrameStyle =
    "QGroupBox { border: 1px solid palette(mid); margin-top: 6px; }"
    "QGroupBox::title { subcontrol-origin: margin; subcontrol-position: top left;"
    " left: 7px; top: 0px; padding: 0px; }";
