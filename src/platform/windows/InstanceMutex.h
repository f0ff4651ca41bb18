// SPDX-License-Identifier: MIT
#pragma once

#include "platform/windows/UniqueHandle.h"

#include <string>

namespace krv {

// One running companion per user session, through a named mutex: the first process to create it
// holds it until it ends (the system closes the handle also when the process dies); a later process
// finds it existing and learns that the program is already running.
class InstanceMutex {
public:
    static constexpr const char* MutexName = "CKRV_GlydeApp";
    enum class State { Acquired, AlreadyRunning, Failed };

    explicit InstanceMutex(const std::string& name = MutexName);
    ~InstanceMutex() = default;
    InstanceMutex(const InstanceMutex&) = delete;
    InstanceMutex& operator=(const InstanceMutex&) = delete;

    State state() const { return m_state; }
    // Why the mutex could not be created (Failed), with the system's message.
    const std::string& error() const { return m_error; }

private:
    UniqueHandle m_mutex;
    State m_state = State::Failed;
    std::string m_error;
};

} // namespace krv
