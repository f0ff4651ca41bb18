// SPDX-License-Identifier: MIT
#pragma once

#include "ports/ThreadScheduling.h"

#include <functional>
#include <memory>

namespace krv {

// What the system tells the companion's process besides the mouse: power events, after each of which
// the profile is sent to the mouse again (a mouse that slept or lost power has forgotten it), and
// requests to end (logout, Ctrl+C), after which the companion ends through its shutdown.
enum class PowerEvent { Suspend, Resume, PowerSourceChange };

// Watches while it lives. Callbacks come on the thread that started the watch, from its event loop.
class ProcessEventWatch {
public:
    virtual ~ProcessEventWatch() = default;
    // False when the system offers no such events here (no system bus, a second watch of a kind that
    // exists once per process): nothing will be reported.
    virtual bool watching() const = 0;
};

using WatchPowerEvents = std::function<std::unique_ptr<ProcessEventWatch>(std::function<void(PowerEvent)> onEvent)>;
// onRequest receives the request's number (the signal, on Linux).
using WatchTerminationRequests = std::function<std::unique_ptr<ProcessEventWatch>(std::function<void(int)> onRequest)>;

// Called first thing on each thread that serves the mouse's buttons, to ask for the scheduling its job
// needs.
using ServiceThreadStart = std::function<void(ServiceThread)>;

} // namespace krv
