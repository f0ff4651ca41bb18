// SPDX-License-Identifier: MIT
#include "platform/linux/PowerEvents.h"

#include <QDBusConnection>

#include <utility>

namespace krv {

namespace {

const QString UPowerService = QStringLiteral("org.freedesktop.UPower");
const QString OnBatteryProperty = QStringLiteral("OnBattery");

} // namespace

PowerEvents::PowerEvents(std::function<void(PowerEvent)> onEvent, QObject* parent)
    : QObject(parent), m_onEvent(std::move(onEvent)) {
    QDBusConnection bus = QDBusConnection::systemBus();
    if (!bus.isConnected())
        return;
    // Qt D-Bus signal connections take the slot by its normalised signature. Naming the service makes
    // Qt drop the same signal sent by anyone but the name's owner.
    const bool sleep = bus.connect(QStringLiteral("org.freedesktop.login1"), QStringLiteral("/org/freedesktop/login1"),
                                   QStringLiteral("org.freedesktop.login1.Manager"), QStringLiteral("PrepareForSleep"),
                                   this, SLOT(onPrepareForSleep(bool)));
    const bool source = bus.connect(
        UPowerService, QStringLiteral("/org/freedesktop/UPower"), QStringLiteral("org.freedesktop.DBus.Properties"),
        QStringLiteral("PropertiesChanged"), this, SLOT(onUPowerPropertiesChanged(QString, QVariantMap, QStringList)));
    m_connected = sleep && source;
}

void PowerEvents::onPrepareForSleep(bool start) {
    tell(start ? PowerEvent::Suspend : PowerEvent::Resume);
}

void PowerEvents::onUPowerPropertiesChanged(const QString& interface, const QVariantMap& changed,
                                            const QStringList& invalidated) {
    // UPower announces other properties (lid, battery state) the same way: only the power source counts.
    if (interface != UPowerService)
        return;
    if (changed.contains(OnBatteryProperty) || invalidated.contains(OnBatteryProperty))
        tell(PowerEvent::PowerSourceChange);
}

void PowerEvents::tell(PowerEvent event) {
    emit powerEvent(event);
    if (m_onEvent)
        m_onEvent(event);
}

std::unique_ptr<ProcessEventWatch> WatchDesktopPowerEvents(std::function<void(PowerEvent)> onEvent) {
    return std::make_unique<PowerEvents>(std::move(onEvent));
}

} // namespace krv
