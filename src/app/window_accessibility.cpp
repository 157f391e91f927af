#include "app/window_accessibility.h"

#include <QAbstractItemView>
#include <QAccessible>
#include <QAccessibleWidget>
#include <QComboBox>
#include <QLineEdit>

#include "app/focus_mark.h"
#include "app/form1.h"
#include "app/outline_shape.h"

namespace {

bool onlyDecorates(const QWidget* part) {
    return qobject_cast<const OutlineShape*>(part) != nullptr ||
           qobject_cast<const FocusMark*>(part) != nullptr;
}

class WindowAccessible : public QAccessibleWidget {
public:
    explicit WindowAccessible(Form1* window) : QAccessibleWidget(window, QAccessible::Window) {}

    int childCount() const override { return static_cast<int>(controls().size()); }

    QAccessibleInterface* child(int index) const override {
        const QWidgetList shown = controls();
        return index >= 0 && index < shown.size()
                   ? QAccessible::queryAccessibleInterface(shown[index])
                   : nullptr;
    }

    int indexOfChild(const QAccessibleInterface* child) const override {
        auto* control = child != nullptr ? qobject_cast<QWidget*>(child->object()) : nullptr;
        return control != nullptr ? static_cast<int>(controls().indexOf(control)) : -1;
    }

private:
    QWidgetList controls() const {
        QWidgetList shown;
        for (QObject* part : widget()->children()) {
            auto* control = qobject_cast<QWidget*>(part);
            if (control != nullptr && !control->isWindow() && !onlyDecorates(control)) {
                shown << control;
            }
        }
        return shown;
    }
};

// Qt names a drop-down list by its chosen entry on Linux; this one keeps its own name, and
// gives the entry as its value and as the selected entry of its list.
class NamedComboBox : public QAccessibleWidget {
public:
    explicit NamedComboBox(QComboBox* box) : QAccessibleWidget(box, QAccessible::ComboBox) {}

    QString text(QAccessible::Text kind) const override {
        return kind == QAccessible::Value ? box()->currentText() : QAccessibleWidget::text(kind);
    }

    int childCount() const override { return box()->isEditable() ? 2 : 1; }

    QAccessibleInterface* child(int index) const override {
        if (index == 0) {
            selectChosenEntry();
            return QAccessible::queryAccessibleInterface(box()->view());
        }
        if (index == 1 && box()->isEditable()) {
            return QAccessible::queryAccessibleInterface(box()->lineEdit());
        }
        return nullptr;
    }

    int indexOfChild(const QAccessibleInterface* child) const override {
        const QObject* part = child != nullptr ? child->object() : nullptr;
        if (part == nullptr) {
            return -1;
        }
        if (part == box()->view()) {
            return 0;
        }
        return part == box()->lineEdit() ? 1 : -1;
    }

    QStringList actionNames() const override {
        return QAccessibleWidget::actionNames() << showMenuAction() << pressAction();
    }

    void doAction(const QString& action) override {
        if (action != showMenuAction() && action != pressAction()) {
            QAccessibleWidget::doAction(action);
        } else if (box()->view()->isVisible()) {
            box()->hidePopup();
        } else {
            box()->showPopup();
        }
    }

private:
    QComboBox* box() const { return static_cast<QComboBox*>(widget()); }

    // Looked at when a screen reader turns to the list, since the box can change its entry
    // without a signal. While the list is open, its selection is the user's.
    void selectChosenEntry() const {
        QAbstractItemView* list = box()->view();
        if (!list->isVisible()) {
            list->selectionModel()->select(
                box()->model()->index(box()->currentIndex(), box()->modelColumn(),
                                      box()->rootModelIndex()),
                QItemSelectionModel::ClearAndSelect);
        }
    }
};

QAccessibleInterface* windowControlFactory(const QString& /*className*/, QObject* object) {
    if (auto* window = qobject_cast<Form1*>(object)) {
        return new WindowAccessible(window);
    }
    if (auto* box = qobject_cast<QComboBox*>(object)) {
        return new NamedComboBox(box);
    }
    return nullptr;
}

}  // namespace

void installWindowAccessibility() {
    [[maybe_unused]] static const bool installed = [] {
        QAccessible::installFactory(windowControlFactory);
        return true;
    }();
}
