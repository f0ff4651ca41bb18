// SPDX-License-Identifier: MIT
#pragma once

#include "platform/windows/Win32.h"

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <vector>

namespace krv::test {

// How long a test waits for something the system does at once; only reached when it never comes.
inline constexpr std::chrono::seconds EventBound{10};

// A mark of the handles open in this process: a test takes it before and after some work, and equal
// marks mean the work left no handle open. Windows counts the handles; Wine answers 0 to that count,
// so there the mark is the value a new handle gets, which is the lowest free slot of Wine's handle
// table: a handle left open takes that slot and moves the mark.
inline std::uintptr_t HandleMark() {
    DWORD count = 0;
    if (GetProcessHandleCount(GetCurrentProcess(), &count) && count != 0)
        return count;
    const HANDLE probe = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    CloseHandle(probe);
    return reinterpret_cast<std::uintptr_t>(probe);
}

// True when the program runs under Wine (which exports wine_get_version from ntdll).
inline bool RunningUnderWine() {
    const HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
    return ntdll != nullptr && GetProcAddress(ntdll, "wine_get_version") != nullptr;
}

// Values handed over from another thread, waited for with a bound.
template <typename T> class Mailbox {
public:
    void put(T value) {
        {
            std::lock_guard lock(m_mutex);
            m_values.push_back(std::move(value));
        }
        m_changed.notify_all();
    }
    // True when at least `count` values have arrived within the bound.
    bool waitFor(std::size_t count, std::chrono::milliseconds bound = EventBound) {
        std::unique_lock lock(m_mutex);
        return m_changed.wait_for(lock, bound, [&] { return m_values.size() >= count; });
    }
    std::vector<T> values() const {
        std::lock_guard lock(m_mutex);
        return m_values;
    }

private:
    mutable std::mutex m_mutex;
    std::condition_variable m_changed;
    std::vector<T> m_values;
};

} // namespace krv::test
