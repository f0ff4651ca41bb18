// SPDX-License-Identifier: MIT
#pragma once

#include <cstdio>
#include <string>
#include <string_view>

namespace krv::guest {

// Prints one line per checked step on the console, "PASS name" or "FAIL name: detail", which the
// host reads back from the virtual machine's serial port.
class GuestChecks {
public:
    bool check(bool ok, std::string_view name, const std::string& detail = {})
    {
        if (ok) {
            std::printf("PASS %.*s\n", static_cast<int>(name.size()), name.data());
        } else {
            ++m_failures;
            std::printf("FAIL %.*s: %s\n", static_cast<int>(name.size()), name.data(),
                        detail.empty() ? "failed" : detail.c_str());
        }
        std::fflush(stdout);
        return ok;
    }

    void note(const std::string& text)
    {
        std::printf("note: %s\n", text.c_str());
        std::fflush(stdout);
    }

    int exitCode() const { return m_failures == 0 ? 0 : 1; }

private:
    int m_failures = 0;
};

} // namespace krv::guest
