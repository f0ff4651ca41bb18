// SPDX-License-Identifier: MIT
#pragma once

#include "platform/windows/Win32.h"

#include <utility>

namespace krv {

// Owns one kernel object handle (file, event, mutex, thread) and closes it. Both null and
// INVALID_HANDLE_VALUE count as no handle, since Win32 calls return one or the other on failure.
class UniqueHandle {
public:
    UniqueHandle() = default;
    explicit UniqueHandle(HANDLE handle) : m_handle(valid(handle) ? handle : nullptr) {}
    ~UniqueHandle() { reset(); }
    UniqueHandle(UniqueHandle&& other) noexcept : m_handle(std::exchange(other.m_handle, nullptr)) {}
    UniqueHandle& operator=(UniqueHandle&& other) noexcept {
        if (this != &other)
            reset(std::exchange(other.m_handle, nullptr));
        return *this;
    }
    UniqueHandle(const UniqueHandle&) = delete;
    UniqueHandle& operator=(const UniqueHandle&) = delete;

    HANDLE get() const { return m_handle; }
    explicit operator bool() const { return m_handle != nullptr; }
    void reset(HANDLE handle = nullptr) {
        if (m_handle != nullptr)
            CloseHandle(m_handle);
        m_handle = valid(handle) ? handle : nullptr;
    }
    HANDLE release() { return std::exchange(m_handle, nullptr); }

private:
    static bool valid(HANDLE handle) { return handle != nullptr && handle != INVALID_HANDLE_VALUE; }
    HANDLE m_handle = nullptr;
};

} // namespace krv
