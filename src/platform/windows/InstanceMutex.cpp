// SPDX-License-Identifier: MIT
#include "platform/windows/InstanceMutex.h"

#include "platform/windows/Win32Text.h"

namespace krv {

InstanceMutex::InstanceMutex(const std::string& name) {
    const std::optional<std::wstring> wideName = WideFromUtf8(name);
    if (!wideName) {
        m_error = "the instance name is not valid UTF-8";
        return;
    }
    // Not owned: the mutex only marks the instance; its existence is what a second start sees.
    m_mutex.reset(CreateMutexW(nullptr, FALSE, wideName->c_str()));
    const DWORD error = GetLastError();
    if (!m_mutex) {
        // A mutex of that name made by another user is there but may not be opened: also running.
        if (error == ERROR_ACCESS_DENIED) {
            m_state = State::AlreadyRunning;
            return;
        }
        m_error = "cannot create the instance mutex: " + SystemErrorMessage(error);
        return;
    }
    if (error == ERROR_ALREADY_EXISTS) {
        m_mutex.reset(); // the handle to the other process's mutex is not kept
        m_state = State::AlreadyRunning;
        return;
    }
    m_state = State::Acquired;
}

} // namespace krv
