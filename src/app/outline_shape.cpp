#include "app/outline_shape.h"

#include <QPainter>

OutlineShape::OutlineShape(QWidget* parent) : QWidget(parent) {
    setAttribute(Qt::WA_TransparentForMouseEvents);
    setFocusPolicy(Qt::NoFocus);
}

void OutlineShape::drawRing(QPainter& painter, const QRectF& edge, qreal width,
                            const QColor& colour) {
    painter.fillRect(QRectF(edge.left(), edge.top(), edge.width(), width), colour);
    painter.fillRect(QRectF(edge.left(), edge.bottom() - width, edge.width(), width), colour);
    painter.fillRect(QRectF(edge.left(), edge.top(), width, edge.height()), colour);
    painter.fillRect(QRectF(edge.right() - width, edge.top(), width, edge.height()), colour);
}

void OutlineShape::paintEvent(QPaintEvent* /*event*/) {
    QPainter painter(this);
    drawRing(painter, rect(), kPenWidth, kColour);
}
