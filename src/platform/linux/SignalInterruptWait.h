// SPDX-License-Identifier: MIT
#pragma once

#include "ports/InterruptWait.h"

#include <signal.h>

namespace krv {

// SIGINT and SIGTERM on a signal descriptor, polled together with the hot-plug monitor's descriptor.
// The signals are blocked while it lives (made before any thread starts, no thread takes them).
class SignalInterruptWait final : public InterruptWait {
public:
    // monitor may be null: then only the signals end the wait.
    explicit SignalInterruptWait(DeviceChangeMonitor* monitor);
    ~SignalInterruptWait() override;
    SignalInterruptWait(const SignalInterruptWait&) = delete;
    SignalInterruptWait& operator=(const SignalInterruptWait&) = delete;

    // False when the signal descriptor could not be made (nothing is blocked then).
    bool valid() const { return m_signalFd >= 0; }
    Wake wait() override;

private:
    DeviceChangeMonitor* m_monitor;
    sigset_t m_previous{};
    int m_signalFd = -1;
};

} // namespace krv
