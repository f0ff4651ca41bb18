#include "app/PowerEvents.h"

#include <QDBusConnection>

namespace krv {

PowerEvents::PowerEvents(QObject* parent) : QObject(parent) {
    QDBusConnection bus = QDBusConnection::systemBus();
    if (!bus.isConnected())
        return;
    // Qt D-Bus signal connections take the slot by its normalised signature.
    m_connected = bus.connect(QStringLiteral("org.freedesktop.login1"), QStringLiteral("/org/freedesktop/login1"),
                              QStringLiteral("org.freedesktop.login1.Manager"), QStringLiteral("PrepareForSleep"), this,
                              SLOT(onPrepareForSleep(bool)));
}

void PowerEvents::onPrepareForSleep(bool start) {
    emit powerEvent(start);
}

} // namespace krv
