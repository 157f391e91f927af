#pragma once

#include <functional>

class QWidget;

// Calls `action` once, as soon as `window`'s first paint is over, so that work the first frame
// does not need waits for it; or after `latestMs` when the window has not been painted by then
// (started minimized, on a screen nobody looks at).
void afterFirstPaint(QWidget& window, std::function<void()> action, int latestMs = 1000);
