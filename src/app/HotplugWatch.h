// SPDX-License-Identifier: MIT
#pragma once

#include "ports/DeviceChange.h"

#include <QObject>
#include <QPointer>

#include <functional>
#include <memory>

namespace krv {

// Follows the system's device arrivals and removals on the UI thread: udev's descriptor on Linux, the
// device notifications' event on Windows. Every change is handed to onChange as it is read.
class HotplugWatch : public QObject {
    Q_OBJECT
public:
    HotplugWatch(std::unique_ptr<DeviceChangeMonitor> monitor, std::function<void(const DeviceChange&)> onChange,
                 QObject* parent = nullptr);
    ~HotplugWatch() override;

    // Whether changes are followed (the monitor could be set up).
    bool watching() const { return !m_notifier.isNull(); }

private:
    void readChanges();

    std::unique_ptr<DeviceChangeMonitor> m_monitor;
    std::function<void(const DeviceChange&)> m_onChange;
    QPointer<QObject> m_notifier;
};

} // namespace krv
