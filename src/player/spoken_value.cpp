#include "player/spoken_value.h"

#include <QAccessible>
#include <QAccessibleWidget>
#include <QSlider>

#include <algorithm>
#include <utility>

#include "player/play_time.h"
#include "player/requested_level.h"

namespace player {

namespace {

double wholeSeconds(double seconds) {
    const MinutesSeconds time = splitPlayTime(seconds);
    return static_cast<double>(time.minutes * 60 + time.seconds);
}

// Rides on the slider, so that the accessible interface made for it finds what to say.
class SpokenValueSource : public QObject {
    Q_OBJECT

public:
    SpokenValueSource(QSlider* slider, std::function<SpokenValue()> speak)
        : QObject(slider), spoken(std::move(speak)) {}

    const std::function<SpokenValue()> spoken;
};

class SpokenSlider : public QAccessibleWidget, public QAccessibleValueInterface {
public:
    SpokenSlider(QSlider* slider, std::function<SpokenValue()> spoken)
        : QAccessibleWidget(slider, QAccessible::Slider), spoken_(std::move(spoken)) {}

    void* interface_cast(QAccessible::InterfaceType type) override {
        if (type == QAccessible::ValueInterface) {
            return static_cast<QAccessibleValueInterface*>(this);
        }
        return QAccessibleWidget::interface_cast(type);
    }

    // Qt's bridge to AT-SPI passes on a value only as a number, so the words go out as the
    // description as well, which screen readers speak after the value.
    QString text(QAccessible::Text kind) const override {
        if (kind == QAccessible::Value ||
            (kind == QAccessible::Description && widget()->accessibleDescription().isEmpty())) {
            return spoken_().words;
        }
        return QAccessibleWidget::text(kind);
    }

    QVariant currentValue() const override { return spoken_().value; }
    QVariant maximumValue() const override { return spoken_().maximum; }
    QVariant minimumValue() const override { return 0.0; }

    // One unit, or a slider step where that is more: a smaller step would not move it.
    QVariant minimumStepSize() const override {
        return std::max(1.0, spoken_().maximum / steps() * slider()->singleStep());
    }

    void setCurrentValue(const QVariant& value) override {
        const std::optional<double> fraction =
            requestedFraction(value.toDouble(), spoken_().maximum);
        if (!fraction) {
            return;
        }
        slider()->setSliderPosition(slider()->minimum() + qRound(*fraction * steps()));
        slider()->triggerAction(QAbstractSlider::SliderNoAction);
    }

private:
    QSlider* slider() const { return static_cast<QSlider*>(widget()); }
    int steps() const { return std::max(1, slider()->maximum() - slider()->minimum()); }

    std::function<SpokenValue()> spoken_;
};

QAccessibleInterface* spokenSliderFactory(const QString& /*className*/, QObject* object) {
    auto* slider = qobject_cast<QSlider*>(object);
    if (slider == nullptr) {
        return nullptr;
    }
    const auto* source =
        slider->findChild<SpokenValueSource*>(QString(), Qt::FindDirectChildrenOnly);
    return source != nullptr ? new SpokenSlider(slider, source->spoken) : nullptr;
}

}  // namespace

SpokenValue SpokenValue::playPosition(double position, double length) {
    const double whole = wholeSeconds(length);
    return {std::min(wholeSeconds(position), whole), whole,
            QString::fromStdString(spokenPosition(position, length))};
}

SpokenValue SpokenValue::percent(int percent) {
    return {static_cast<double>(percent), 100.0, QStringLiteral("%1%").arg(percent)};
}

void speakValueAs(QSlider* slider, std::function<SpokenValue()> spoken) {
    [[maybe_unused]] static const bool installed = [] {
        QAccessible::installFactory(spokenSliderFactory);
        return true;
    }();
    new SpokenValueSource(slider, std::move(spoken));
}

}  // namespace player

#include "spoken_value.moc"
