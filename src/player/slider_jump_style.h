#pragma once

#include <QProxyStyle>

// A slider style under which a click on the groove puts the handle where the click lands,
// instead of paging toward it.
class SliderJumpStyle : public QProxyStyle {
    Q_OBJECT

public:
    int styleHint(StyleHint hint, const QStyleOption* option, const QWidget* widget,
                  QStyleHintReturn* returnData) const override;
};
