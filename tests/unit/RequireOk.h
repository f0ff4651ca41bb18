// SPDX-License-Identifier: MIT
#pragma once

#include "settings/FileStatus.h"

#include <cstdio>
#include <cstdlib>

namespace krv::test {

// For a test's own set-up and checks on its files: a read or write that fails there is a broken test
// machine, not the behaviour under test, so the test stops at once and says why.
inline void requireOk(const FileStatus& status) {
    if (!status) {
        std::fprintf(stderr, "test set-up: %s\n", status.message().c_str());
        std::abort();
    }
}

} // namespace krv::test
