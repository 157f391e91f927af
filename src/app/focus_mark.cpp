#include "app/focus_mark.h"

#include <QAbstractButton>
#include <QAbstractScrollArea>
#include <QApplication>
#include <QComboBox>
#include <QLineEdit>
#include <QPainter>

#include <algorithm>
#include <cmath>

#include "app/outline_shape.h"

namespace {

// Relative luminance and contrast ratio as WCAG 2 defines them.
double luminance(const QColor& colour) {
    const auto linear = [](double channel) {
        return channel <= 0.04045 ? channel / 12.92 : std::pow((channel + 0.055) / 1.055, 2.4);
    };
    return 0.2126 * linear(colour.redF()) + 0.7152 * linear(colour.greenF()) +
           0.0722 * linear(colour.blueF());
}

double contrast(const QColor& a, const QColor& b) {
    const auto [darker, lighter] = std::minmax({luminance(a), luminance(b)});
    return (lighter + 0.05) / (darker + 0.05);
}

// The colour a control shows at its edge: text boxes and lists their base, buttons and the drive
// list their button face; anything else lets the window's dark background show.
QColor faceOf(const QWidget* control) {
    const auto* combo = qobject_cast<const QComboBox*>(control);
    if (qobject_cast<const QLineEdit*>(control) != nullptr ||
        qobject_cast<const QAbstractScrollArea*>(control) != nullptr ||
        (combo != nullptr && combo->isEditable())) {
        return control->palette().color(QPalette::Base);
    }
    if (qobject_cast<const QAbstractButton*>(control) != nullptr || combo != nullptr) {
        return control->palette().color(QPalette::Button);
    }
    return control->window()->palette().color(QPalette::Window);
}

}  // namespace

FocusMark::FocusMark(QWidget* window) : QWidget(window) {
    setObjectName(QStringLiteral("FocusMark"));
    setAttribute(Qt::WA_TransparentForMouseEvents);
    setFocusPolicy(Qt::NoFocus);
    hide();
    connect(qApp, &QApplication::focusChanged, this,
            [this](QWidget* /*old*/, QWidget* now) { follow(now); });
}

void FocusMark::follow(QWidget* focused) {
    QWidget* window = parentWidget();
    if (focused == nullptr || !window->isAncestorOf(focused)) {
        hide();
        return;
    }
    // The line edit inside the genre box takes the focus for it; the mark rings the whole box.
    QWidget* control = focused;
    while (control->parentWidget() != window &&
           control->parentWidget()->focusPolicy() != Qt::NoFocus) {
        control = control->parentWidget();
    }
    const QColor face = faceOf(control);
    const bool lightFace = contrast(kOnLightFace, face) >= contrast(kOnDarkFace, face);
    inner_ = lightFace ? kOnLightFace : kOnDarkFace;
    outer_ = lightFace ? kOnDarkFace : kOnLightFace;
    setGeometry(QRect(control->mapTo(window, QPoint(0, 0)), control->size()));
    raise();
    show();
    update();
}

void FocusMark::paintEvent(QPaintEvent* /*event*/) {
    // Whole device pixels, so that neither ring thins to a blend on a high-density screen.
    const qreal density = devicePixelRatioF();
    const qreal outer = std::ceil(density) / density;
    const qreal inner = std::ceil(2 * density) / density;
    QPainter painter(this);
    const QRectF edge = rect();
    OutlineShape::drawRing(painter, edge, outer, outer_);
    OutlineShape::drawRing(painter, edge.adjusted(outer, outer, -outer, -outer), inner, inner_);
}
