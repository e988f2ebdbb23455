#pragma once

#include <QProxyStyle>

// The program's style: the platform's (Fusion where there is none) with two mends.
// - A drop-down list opens as a list of the combo box's maxVisibleItems rows with a scroll bar,
//   not as a menu as tall as the screen.
// - The frame of a list (any scroll area) is drawn on whole device pixels at the edge of the
//   control, so that at fractional scale factors (1.25, 1.5, ...) no edge falls on a pixel that
//   the list's contents cover.
class ProgramStyle : public QProxyStyle
{
    Q_OBJECT
public:
    explicit ProgramStyle(QStyle *base = nullptr);

    int styleHint(StyleHint hint, const QStyleOption *option = nullptr,
                  const QWidget *widget = nullptr,
                  QStyleHintReturn *returnData = nullptr) const override;
    void drawPrimitive(PrimitiveElement element, const QStyleOption *option, QPainter *painter,
                       const QWidget *widget = nullptr) const override;
};

// Makes the program's style the application's style, once.
void useProgramStyle();
