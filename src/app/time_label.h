#pragma once

#include <QLabel>

// A label of the play times, its one line of text at its top. The elapsed time is repainted
// every second, and with it the total time's bottom row, which the two labels share; laying the
// text out is most of a label's paint, so a paint that reaches no row of the line is skipped.
class TimeLabel : public QLabel {
    Q_OBJECT

public:
    using QLabel::QLabel;

protected:
    void paintEvent(QPaintEvent* event) override;
};
