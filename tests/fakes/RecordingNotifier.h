// SPDX-License-Identifier: MIT
#pragma once

#include "ports/UiNotifier.h"

#include <atomic>
#include <mutex>
#include <string>
#include <vector>

namespace krv::test {

// Remembers every message shown and counts repaint requests.
class RecordingNotifier : public UiNotifier {
public:
    void showMessage(std::string_view text) override {
        std::lock_guard guard(m_mutex);
        m_messages.emplace_back(text);
    }
    void requestRepaint() override { repaints.fetch_add(1); }

    std::vector<std::string> messages() const {
        std::lock_guard guard(m_mutex);
        return m_messages;
    }

    std::atomic<int> repaints{0};

private:
    mutable std::mutex m_mutex;
    std::vector<std::string> m_messages;
};

} // namespace krv::test
