// SPDX-License-Identifier: MIT
#pragma once

#include <string>

namespace krv {

// The threads that serve the mouse's buttons.
enum class ServiceThread { Reader, Executor };

// What a service thread was given: normal scheduling, a priority above normal desktop work without
// real-time (a raised nice value on Linux, THREAD_PRIORITY_HIGHEST on Windows), or real-time.
enum class ThreadScheduling { Normal, RaisedNice, Realtime };

struct ServiceThreadScheduling {
    ThreadScheduling level = ThreadScheduling::Normal;
    // What the thread got and, below what was asked, why nothing better, e.g.
    // "nice -10 (real-time refused: ...)", "normal priority (refused: ...)".
    std::string description;
};

} // namespace krv
