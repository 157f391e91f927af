#include "app/outline_shape.h"

#include <QPainter>

OutlineShape::OutlineShape(QWidget* parent) : QWidget(parent) {
    setAttribute(Qt::WA_TransparentForMouseEvents);
    setFocusPolicy(Qt::NoFocus);
}

void OutlineShape::paintEvent(QPaintEvent* /*event*/) {
    QPainter painter(this);
    const QRect inside = rect();
    painter.fillRect(inside.left(), inside.top(), inside.width(), kPenWidth, kColour);
    painter.fillRect(inside.left(), inside.bottom() - kPenWidth + 1, inside.width(), kPenWidth,
                     kColour);
    painter.fillRect(inside.left(), inside.top(), kPenWidth, inside.height(), kColour);
    painter.fillRect(inside.right() - kPenWidth + 1, inside.top(), kPenWidth, inside.height(),
                     kColour);
}
