#include "accessibility.h"

#include "resultnotice.h"

#include <QAbstractItemView>
#include <QAccessibleWidget>
#include <QComboBox>
#include <QKeySequence>
#include <QLabel>

namespace
{

// A combo box named by its accessible name, like every other control; its value, children and
// actions as Qt gives them.
class NamedComboBox : public QAccessibleWidget
{
public:
    explicit NamedComboBox(QComboBox *box) : QAccessibleWidget(box, QAccessible::ComboBox) {}

    QString text(QAccessible::Text t) const override
    {
        switch (t) {
        case QAccessible::Value:
            return comboBox()->currentText();
        case QAccessible::Accelerator:
            return QKeySequence(Qt::Key_Down).toString(QKeySequence::NativeText);
        default:
            return QAccessibleWidget::text(t);
        }
    }
    QAccessible::State state() const override
    {
        QAccessible::State s = QAccessibleWidget::state();
        s.expandable = true;
        s.expanded = comboBox()->view()->isVisible();
        s.editable = comboBox()->isEditable();
        return s;
    }
    // The drop-down list is its one child.
    int childCount() const override { return 1; }
    QAccessibleInterface *child(int index) const override
    {
        return index == 0 ? QAccessible::queryAccessibleInterface(comboBox()->view()) : nullptr;
    }
    int indexOfChild(const QAccessibleInterface *child) const override
    {
        return child && child->object() == comboBox()->view() ? 0 : -1;
    }
    QAccessibleInterface *childAt(int, int) const override { return nullptr; }
    QStringList actionNames() const override { return {showMenuAction(), pressAction()}; }
    void doAction(const QString &action) override
    {
        if (action != showMenuAction() && action != pressAction())
            return;
        if (comboBox()->view()->isVisible())
            comboBox()->hidePopup();
        else
            comboBox()->showPopup();
    }

private:
    QComboBox *comboBox() const { return static_cast<QComboBox *>(widget()); }
};

QAccessibleInterface *programInterfaces(const QString &, QObject *object)
{
    if (!object || !object->isWidgetType())
        return nullptr;
    auto *widget = static_cast<QWidget *>(object);
    if (auto *notice = qobject_cast<ResultNotice *>(widget))
        return new QAccessibleWidget(notice, QAccessible::AlertMessage);
    if (auto *label = qobject_cast<QLabel *>(widget)) {
        if (qobject_cast<ResultNotice *>(label->parentWidget()) && label->isWindow())
            return new QAccessibleWidget(label, QAccessible::ToolTip);
        return nullptr;
    }
    if (auto *box = qobject_cast<QComboBox *>(widget)) {
        if (!box->accessibleName().isEmpty())
            return new NamedComboBox(box);
    }
    return nullptr;
}

} // namespace

void installAccessibility()
{
    static bool installed = false;
    if (installed)
        return;
    installed = true;
    QAccessible::installFactory(programInterfaces);
}
