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

// A mark of the handles open in this process. Windows counts the handles; Wine answers 0 to that
// count, so there the mark is the slot a new handle gets, which is the lowest free slot of Wine's
// handle table (slots are 4 apart): a handle left open takes that slot and moves the mark by one.
inline long HandleMark() {
    DWORD count = 0;
    if (GetProcessHandleCount(GetCurrentProcess(), &count) && count != 0)
        return static_cast<long>(count);
    const HANDLE probe = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    CloseHandle(probe);
    return static_cast<long>(reinterpret_cast<std::uintptr_t>(probe) / 4);
}

// Runs `work` once, then `times` more times, and returns how far the handle mark moved over those.
// A handle left open by each run moves it by at least `times`; the system's own helper threads,
// started by the first run, may still take a handle or two meanwhile, so a test expects less than
// `times`, not exactly nothing.
template <typename Work> long HandlesLeftOpen(int times, Work work) {
    work();
    const long before = HandleMark();
    for (int i = 0; i < times; ++i)
        work();
    return HandleMark() - before;
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
