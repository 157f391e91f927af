#include "app/after_first_paint.h"

#include <QEvent>
#include <QTimer>
#include <QWidget>

#include <utility>

namespace {

class FirstPaintWatch : public QObject {
public:
    FirstPaintWatch(QWidget& window, std::function<void()> action, int latestMs)
        : QObject(&window), action_(std::move(action)) {
        window.installEventFilter(this);
        QTimer::singleShot(latestMs, this, &FirstPaintWatch::act);
    }

    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::Paint) {
            // The window's children are painted in the same pass, right after it.
            QMetaObject::invokeMethod(this, &FirstPaintWatch::act, Qt::QueuedConnection);
        }
        return QObject::eventFilter(watched, event);
    }

private:
    void act() {
        if (action_) {
            std::exchange(action_, nullptr)();
            deleteLater();
        }
    }

    std::function<void()> action_;
};

}  // namespace

void afterFirstPaint(QWidget& window, std::function<void()> action, int latestMs) {
    new FirstPaintWatch(window, std::move(action), latestMs);
}
