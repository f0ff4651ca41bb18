// SPDX-License-Identifier: MIT
#pragma once

#include "ports/ProcessEvents.h"

#include <QMetaType>
#include <QObject>
#include <QStringList>
#include <QVariantMap>

#include <functional>

namespace krv {

// The system's power events, each of which asks for the profile to be sent to the mouse again:
// logind's PrepareForSleep before a suspend and after the resume, and UPower's change of power
// source (its OnBattery property, announced through PropertiesChanged). Only signals sent by the
// owners of the two service names count. Without a system bus nothing is ever emitted.
class PowerEvents : public QObject, public ProcessEventWatch {
    Q_OBJECT
public:
    explicit PowerEvents(std::function<void(PowerEvent)> onEvent = {}, QObject* parent = nullptr);
    // True when the system bus is there and both signals are subscribed.
    bool watching() const override { return m_connected; }

signals:
    void powerEvent(krv::PowerEvent event);

private slots:
    void onPrepareForSleep(bool start);
    void onUPowerPropertiesChanged(const QString& interface, const QVariantMap& changed,
                                   const QStringList& invalidated);

private:
    void tell(PowerEvent event);

    std::function<void(PowerEvent)> m_onEvent;
    bool m_connected = false;
};

// The desktop's power events (the companion's WatchPowerEvents on Linux).
std::unique_ptr<ProcessEventWatch> WatchDesktopPowerEvents(std::function<void(PowerEvent)> onEvent);

} // namespace krv

Q_DECLARE_METATYPE(krv::PowerEvent)
