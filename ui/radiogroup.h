#pragma once

#include <QGroupBox>
#include <QStringList>

class QButtonGroup;
class QRadioButton;

// A framed group of radio buttons, one per item, stacked from the top; itemIndex() is the
// chosen item. clicked() is emitted when the user chooses an item.
class TRadioGroup : public QGroupBox
{
    Q_OBJECT
    Q_PROPERTY(QStringList items READ items WRITE setItems)
    Q_PROPERTY(int itemIndex READ itemIndex WRITE setItemIndex)
public:
    explicit TRadioGroup(QWidget *parent = nullptr);

    QStringList items() const { return m_items; }
    void setItems(const QStringList &items);
    int itemIndex() const;
    void setItemIndex(int index);
    QRadioButton *button(int index) const;

signals:
    void clicked();

protected:
    void resizeEvent(QResizeEvent *event) override;

private:
    void placeButtons();

    QStringList m_items;
    QButtonGroup *m_group;
    int m_wantedIndex = -1; // kept while the items are not there yet
};
