// SPDX-License-Identifier: MIT
#pragma once

#include "ports/DeviceChange.h"

#include <vector>

namespace krv {

// How a command-line program that runs until stopped (krv-glyde-ctl listen) waits: until the user
// interrupts it (Ctrl+C, a termination request) or the hot-plug monitor it was given reports changes.
// It is made before the program starts its threads, so that they never take the interruption
// themselves, and undoes what it set up when it goes.
class InterruptWait {
public:
    struct Wake {
        bool interrupted = false;
        std::vector<DeviceChange> changes; // read from the monitor when not interrupted
    };

    virtual ~InterruptWait() = default;
    // Blocks until the user interrupts the program or the monitor has changes.
    virtual Wake wait() = 0;
};

} // namespace krv
