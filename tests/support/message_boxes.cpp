#include "support/message_boxes.h"

#include <QAbstractButton>
#include <QApplication>
#include <QTimer>

ShownMessageBox answerMessageBox(const std::function<void()>& action) {
    ShownMessageBox seen;
    // Polls for the modal box from inside its own event loop, which runs while `action` waits.
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, &poll, [&seen, &poll] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (box == nullptr) {
            return;
        }
        poll.stop();
        seen.shown = true;
        seen.title = box->windowTitle();
        seen.text = box->text();
        seen.icon = box->icon();
        seen.buttonCount = static_cast<int>(box->buttons().size());
        seen.ownerVisible = box->parentWidget() != nullptr && box->parentWidget()->isVisible();
        box->button(QMessageBox::Ok) != nullptr ? box->button(QMessageBox::Ok)->click()
                                                : box->reject();
    });
    poll.start(10);
    action();
    // A box that `action` left queued opens here.
    QApplication::processEvents();
    return seen;
}
