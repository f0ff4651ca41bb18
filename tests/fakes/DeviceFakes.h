// SPDX-License-Identifier: MIT
#pragma once

#include "ports/SystemPointer.h"
#include "ports/UiNotifier.h"
#include "fakes/RecordingNotifier.h"

#include <atomic>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace krv::test {

// Records what an apply asks of the desktop's pointer settings.
class RecordingPointer : public SystemPointer {
public:
    std::optional<int> speed = 10;
    std::optional<int> lines = 3;

    std::optional<int> pointerSpeed() override { return record("get speed", speed); }
    bool setPointerSpeed(int value) override { return set("set speed ", value, speed); }
    std::optional<int> wheelScrollLines() override { return record("get lines", lines); }
    bool setWheelScrollLines(int value) override { return set("set lines ", value, lines); }

    std::vector<std::string> calls() const {
        std::lock_guard lock(m_mutex);
        return m_calls;
    }

private:
    std::optional<int> record(const char* what, std::optional<int> value) {
        std::lock_guard lock(m_mutex);
        m_calls.emplace_back(what);
        return value;
    }
    bool set(const char* what, int value, std::optional<int>& field) {
        std::lock_guard lock(m_mutex);
        m_calls.push_back(what + std::to_string(value));
        field = value;
        return true;
    }

    mutable std::mutex m_mutex;
    std::vector<std::string> m_calls;
};

} // namespace krv::test
