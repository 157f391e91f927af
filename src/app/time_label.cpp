#include "app/time_label.h"

#include <QPaintEvent>

void TimeLabel::paintEvent(QPaintEvent* event) {
    const int lineEnd = contentsRect().top() + fontMetrics().height();
    if (event->rect().top() < lineEnd) {
        QLabel::paintEvent(event);
    }
}
