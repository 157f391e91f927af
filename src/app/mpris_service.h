#pragma once

#include <QDBusConnection>
#include <QString>

class Form1;

namespace mpris {

// Lets the desktop's media keys and media panel steer `window` through MPRIS on `bus`. Returns
// the bus name taken, or an empty string when there is no bus or it would not have the player;
// the window then works as it does without a desktop.
QString publish(Form1& window, QDBusConnection bus);

}  // namespace mpris
