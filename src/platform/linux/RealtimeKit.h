// SPDX-License-Identifier: MIT
#pragma once

#include "platform/linux/ThreadPriority.h"
#include "ports/ProcessEvents.h"

#include <QDBusConnection>

#include <optional>
#include <string>

namespace krv {

// rtkit (org.freedesktop.RealtimeKit1), the broker that desktop audio asks for real-time threads, on
// the system bus. It grants a thread of the calling process SCHED_FIFO up to its MaxRealtimePriority,
// or a nice value down to its MinNiceLevel, and only to a process whose RLIMIT_RTTIME is at most its
// RTTimeUSecMax: makeThreadRealtime lowers the limit to that first. Calls may be made from any thread
// (they block for at most CallTimeoutMs); without a bus or without rtkit they fail at once.
class RealtimeKit final : public SchedulingBroker {
public:
    static constexpr int CallTimeoutMs = 2000;

    bool makeThreadRealtime(pid_t thread, int priority, std::string& error) override;
    bool makeThreadHighPriority(pid_t thread, int nice, std::string& error) override;

private:
    static QDBusConnection bus() { return QDBusConnection::systemBus(); }
    // A number property of rtkit; nothing when it cannot be read (`error` says why).
    std::optional<qlonglong> property(const char* name, std::string& error) const;
    bool call(const char* method, const QVariantList& arguments, std::string& error) const;
};

// Raises the calling thread's scheduling for its service (PrepareServiceThread, with rtkit on the
// system bus) and says on standard error what the thread runs at when real-time was refused. The
// companion's reader and executor call it first thing on their threads.
void RaiseServiceThread(ServiceThread thread);

} // namespace krv
