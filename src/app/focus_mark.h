#pragma once

#include <QColor>
#include <QWidget>

// A ring over the edge of whichever control of the window holds the keyboard focus. The style's
// own focus hints are faint or missing on the frameless fields, the lists and the picture
// buttons, so one mark serves every control alike. It is two rings in two colours far apart in
// lightness: the inner one, two pixels wide, in the colour that stands out from the control's
// face; the outer one, a pixel wide, in the other colour, so that it stands out from the dark
// frame a style draws round a light face, or from the window around a dark control.
class FocusMark : public QWidget {
    Q_OBJECT

public:
    explicit FocusMark(QWidget* window);

    static inline const QColor kOnLightFace{0, 0, 128};
    static inline const QColor kOnDarkFace{255, 215, 0};

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    void follow(QWidget* focused);

    QColor inner_;
    QColor outer_;
};
