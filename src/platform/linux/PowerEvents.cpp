// SPDX-License-Identifier: MIT
#include "platform/linux/PowerEvents.h"

#include <QDBusConnection>

namespace krv {

namespace {

const QString UPowerService = QStringLiteral("org.freedesktop.UPower");
const QString OnBatteryProperty = QStringLiteral("OnBattery");

} // namespace

PowerEvents::PowerEvents(QObject* parent) : QObject(parent) {
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
    emit powerEvent(start ? Kind::Suspend : Kind::Resume);
}

void PowerEvents::onUPowerPropertiesChanged(const QString& interface, const QVariantMap& changed,
                                            const QStringList& invalidated) {
    // UPower announces other properties (lid, battery state) the same way: only the power source counts.
    if (interface != UPowerService)
        return;
    if (changed.contains(OnBatteryProperty) || invalidated.contains(OnBatteryProperty))
        emit powerEvent(Kind::PowerSourceChange);
}

} // namespace krv
