// SPDX-License-Identifier: MIT
#pragma once

#include <QObject>
#include <QStringList>
#include <QVariantMap>

namespace krv {

// The system's power events, each of which asks for the profile to be sent to the mouse again:
// logind's PrepareForSleep before a suspend and after the resume, and UPower's change of power
// source (its OnBattery property, announced through PropertiesChanged). Only signals sent by the
// owners of the two service names count. Without a system bus nothing is ever emitted.
class PowerEvents : public QObject {
    Q_OBJECT
public:
    enum class Kind { Suspend, Resume, PowerSourceChange };
    Q_ENUM(Kind)

    explicit PowerEvents(QObject* parent = nullptr);
    // True when the system bus is there and both signals are subscribed.
    bool connected() const { return m_connected; }

signals:
    void powerEvent(krv::PowerEvents::Kind kind);

private slots:
    void onPrepareForSleep(bool start);
    void onUPowerPropertiesChanged(const QString& interface, const QVariantMap& changed,
                                   const QStringList& invalidated);

private:
    bool m_connected = false;
};

} // namespace krv
