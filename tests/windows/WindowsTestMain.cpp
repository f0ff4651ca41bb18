// SPDX-License-Identifier: MIT
// The tests' main. Started with "--hold-instance <name>", the program is instead the second process
// of the single-instance test: it asks for the named instance and exits 0 when it got it, 3 when
// another process holds it, 4 on failure.
#include "platform/windows/InstanceMutex.h"

#include <gtest/gtest.h>

#include <cstring>

int main(int argc, char** argv) {
    if (argc == 3 && std::strcmp(argv[1], "--hold-instance") == 0) {
        krv::InstanceMutex instance(argv[2]);
        switch (instance.state()) {
        case krv::InstanceMutex::State::Acquired:
            return 0;
        case krv::InstanceMutex::State::AlreadyRunning:
            return 3;
        case krv::InstanceMutex::State::Failed:
            return 4;
        }
        return 4;
    }
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
