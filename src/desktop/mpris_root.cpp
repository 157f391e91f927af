#include "desktop/mpris_root.h"

namespace desktop {

MprisRoot::MprisRoot(QObject& service, QString identity, std::function<void()> raise,
                     std::function<void()> quit)
    : QDBusAbstractAdaptor(&service),
      identity_(std::move(identity)),
      raise_(std::move(raise)),
      quit_(std::move(quit)) {}

}  // namespace desktop
