#pragma once

#include <QString>

#include <functional>

class QSlider;

namespace player {

// A slider's value as screen readers get it: where it stands and how far it goes, in a unit of
// the caller's choosing counted from 0 at the slider's minimum (seconds, percent), and in words.
struct SpokenValue {
    double value = 0;
    double maximum = 0;
    QString words;

    // A play position: the whole seconds played of the whole length, "1:23 of 4:05".
    static SpokenValue playPosition(double position, double length);
    // A level in percent, "80%".
    static SpokenValue percent(int percent);
};

// Has screen readers read `slider` as `spoken` tells, in place of its raw steps. Call it as soon
// as the slider is made: whatever asks for the slider's accessible interface before gets Qt's.
// A value a screen reader sets moves the slider there with a slider action, as a key would.
void speakValueAs(QSlider* slider, std::function<SpokenValue()> spoken);

}  // namespace player
