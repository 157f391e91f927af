#pragma once

#include <QDBusConnection>
#include <QObject>

#include "core/file_path.h"

namespace desktop {

// One window a session: the program that starts first serves a name of its own on the session
// bus, and a later start with a file or folder hands it over there (handToRunningWindow()) and
// ends, leaving the window to come forward and open it.
class WindowService : public QObject {
    Q_OBJECT

public:
    using QObject::QObject;

    // Serves the name on `bus`, once; false when there is no bus or another program serves it.
    bool publish(QDBusConnection bus);

signals:
    // Another start asks to see the window with `path`, a file or a folder, opened in it.
    void openRequested(const core::FilePath& path);
};

// Hands `path` (absolute) to the program that serves the name on `bus`. False when none does
// or there is no bus: the caller then opens it in a window of its own.
bool handToRunningWindow(QDBusConnection bus, const core::FilePath& path);

}  // namespace desktop
