#include "app/window_accessibility.h"

#include <QAccessible>
#include <QAccessibleWidget>

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

QAccessibleInterface* windowControlFactory(const QString& /*className*/, QObject* object) {
    if (auto* window = qobject_cast<Form1*>(object)) {
        return new WindowAccessible(window);
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
