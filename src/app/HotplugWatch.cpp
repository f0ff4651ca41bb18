// SPDX-License-Identifier: MIT
#include "app/HotplugWatch.h"

#ifdef _WIN32
#include "platform/windows/WindowsDeviceChanges.h"

#include <QWinEventNotifier>
#endif
#include <QSocketNotifier>

namespace krv {

HotplugWatch::HotplugWatch(std::unique_ptr<DeviceChangeMonitor> monitor,
                           std::function<void(const DeviceChange&)> onChange, QObject* parent)
    : QObject(parent), m_monitor(std::move(monitor)), m_onChange(std::move(onChange)) {
    if (!m_monitor)
        return;
    if (m_monitor->fd() >= 0) {
        auto* notifier = new QSocketNotifier(m_monitor->fd(), QSocketNotifier::Read, this);
        connect(notifier, &QSocketNotifier::activated, this, &HotplugWatch::readChanges);
        m_notifier = notifier;
    }
#ifdef _WIN32
    // Windows gives an event to wait on instead of a descriptor.
    if (auto* windows = dynamic_cast<WindowsDeviceChangeMonitor*>(m_monitor.get()); windows && windows->valid()) {
        auto* notifier = new QWinEventNotifier(windows->changesEvent(), this);
        connect(notifier, &QWinEventNotifier::activated, this, &HotplugWatch::readChanges);
        m_notifier = notifier;
    }
#endif
}

HotplugWatch::~HotplugWatch() {
    delete m_notifier.data(); // before the monitor whose descriptor or event it waits on
}

void HotplugWatch::readChanges() {
    for (const DeviceChange& change : m_monitor->readChanges())
        m_onChange(change);
}

} // namespace krv
