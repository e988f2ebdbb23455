#include "radiogroup.h"

#include <QButtonGroup>
#include <QRadioButton>

TRadioGroup::TRadioGroup(QWidget *parent) : QGroupBox(parent), m_group(new QButtonGroup(this))
{
    m_group->setExclusive(true);
    connect(m_group, &QButtonGroup::idClicked, this, [this](int id) {
        m_wantedIndex = id;
        emit clicked();
    });
}

void TRadioGroup::setItems(const QStringList &items)
{
    const int chosen = m_wantedIndex;
    for (QAbstractButton *b : m_group->buttons()) {
        m_group->removeButton(b);
        delete b;
    }
    m_items = items;
    for (int i = 0; i < items.size(); ++i) {
        auto *b = new QRadioButton(items[i], this);
        b->setObjectName(objectName() + QStringLiteral("Item%1").arg(i));
        m_group->addButton(b, i);
        b->show();
    }
    placeButtons();
    setItemIndex(chosen);
}

int TRadioGroup::itemIndex() const
{
    return m_group->checkedId();
}

void TRadioGroup::setItemIndex(int index)
{
    m_wantedIndex = index;
    if (QAbstractButton *b = m_group->button(index)) {
        b->setChecked(true);
        return;
    }
    if (QAbstractButton *b = m_group->checkedButton()) {
        m_group->setExclusive(false);
        b->setChecked(false);
        m_group->setExclusive(true);
    }
}

QRadioButton *TRadioGroup::button(int index) const
{
    return qobject_cast<QRadioButton *>(m_group->button(index));
}

void TRadioGroup::resizeEvent(QResizeEvent *event)
{
    QGroupBox::resizeEvent(event);
    placeButtons();
}

void TRadioGroup::placeButtons()
{
    // The items share the room below the caption evenly, as a radio group lays them out.
    const int n = int(m_items.size());
    if (n == 0)
        return;
    const int top = 15;
    const int room = height() - top - 4;
    const int step = room / n;
    for (int i = 0; i < n; ++i) {
        if (QAbstractButton *b = m_group->button(i))
            b->setGeometry(8, top + i * step, width() - 16, std::min(step, 17));
    }
}
