#pragma once

#include <QColor>
#include <QRectF>
#include <QWidget>

class QPainter;

// A drawn outline that frames a group of controls, or, when it is as thin as its pen, a line.
// It takes no input, so whatever lies under it still gets the mouse.
class OutlineShape : public QWidget {
    Q_OBJECT

public:
    explicit OutlineShape(QWidget* parent = nullptr);

    static constexpr int kPenWidth = 2;
    static inline const QColor kColour{128, 128, 128};

    // Fills a band `width` wide along the inside of `edge`; fractions of a window pixel fill
    // whole device pixels on a high-density screen.
    static void drawRing(QPainter& painter, const QRectF& edge, qreal width, const QColor& colour);

protected:
    void paintEvent(QPaintEvent* event) override;
};
