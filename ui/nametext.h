#pragma once

#include <QLabel>
#include <QString>

class QFontMetrics;

// Names of files and folders and tag texts are shown as they are: never read as markup, never
// with "&" taken as a shortcut marker. Where a name does not fit, its middle gives way, so the
// start and the extension stay in sight, and the whole name is shown in a tooltip.

// A tooltip text that shows text exactly as it is (a tooltip would read "<b>" as markup).
QString plainToolTip(const QString &text);

// A label text that a label with a buddy shows exactly as it is ("&" is doubled).
QString withLiteralAmpersands(const QString &text);

// text elided in the middle to width pixels of metrics; text itself when it fits.
QString elidedName(const QFontMetrics &metrics, const QString &text, int width);

// A label for a name: plain text; a name too long for it is drawn elided in the middle, and the
// whole name is shown in a tooltip. text() is always the whole name.
class ElidedLabel : public QLabel
{
    Q_OBJECT
public:
    explicit ElidedLabel(QWidget *parent = nullptr);

    // Whether the name is drawn elided at the label's present size.
    bool isElided() const;
    // The text as it is drawn.
    QString shownText() const;

protected:
    bool event(QEvent *event) override;
    void paintEvent(QPaintEvent *event) override;

private:
    QRect textRect() const;
};

// The working directory, decoded as file names are (QDir::currentPath loses bytes that are not
// valid UTF-8); empty when it cannot be read (it was removed). The window's folder browser
// follows it; no command reads it.
QString currentFolder();
