#include "desktop/window_service.h"

#include <QDBusAbstractAdaptor>
#include <QDBusMessage>
#include <QUrl>

namespace desktop {

namespace {

const QString kName = QStringLiteral("org.tamsel.mp3player");
const QString kPath = QStringLiteral("/org/tamsel/mp3player");
const QString kInterface = QStringLiteral("org.tamsel.mp3player.Window");
// The running program answers at once and opens afterwards.
constexpr int kAnswerTimeoutMs = 500;

}  // namespace

// The service's method on the bus: Open(uri), the file:// URI of a file or folder.
class WindowAdaptor : public QDBusAbstractAdaptor {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.tamsel.mp3player.Window")

public:
    explicit WindowAdaptor(WindowService& service)
        : QDBusAbstractAdaptor(&service), service_(service) {}

public slots:
    void Open(const QString& uri) {
        const core::FilePath path = core::FilePath::fromFileUrl(QUrl(uri));
        if (path.isEmpty()) {
            return;
        }
        // Answered first, so that the other start ends while the folder is still being listed.
        QMetaObject::invokeMethod(
            &service_, [this, path] { emit service_.openRequested(path); }, Qt::QueuedConnection);
    }

private:
    WindowService& service_;
};

bool WindowService::publish(QDBusConnection bus) {
    if (!bus.isConnected()) {
        return false;
    }
    new WindowAdaptor(*this);
    return bus.registerObject(kPath, this, QDBusConnection::ExportAdaptors) &&
           bus.registerService(kName);
}

bool handToRunningWindow(QDBusConnection bus, const core::FilePath& path) {
    if (!bus.isConnected()) {
        return false;
    }
    QDBusMessage open =
        QDBusMessage::createMethodCall(kName, kPath, kInterface, QStringLiteral("Open"));
    open.setAutoStartService(false);
    open << path.fileUri();
    const QDBusMessage reply = bus.call(open, QDBus::Block, kAnswerTimeoutMs);
    // A program too busy to answer in time still gets the request, which waits for it.
    return reply.type() == QDBusMessage::ReplyMessage ||
           reply.errorName() == QLatin1String("org.freedesktop.DBus.Error.NoReply");
}

}  // namespace desktop

#include "window_service.moc"
