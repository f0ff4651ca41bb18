// SPDX-License-Identifier: MIT
#pragma once

#include <gtest/gtest.h>

#include <QApplication>

#include <memory>

namespace krv::test {

// One application for the GoogleTest program, made before the first test and destroyed after the
// last one (before static destruction, so that Qt frees its font and window caches). A test file
// registers it once: `AddGlobalTestEnvironment(new QtEnvironment)`.
class QtEnvironment : public ::testing::Environment {
public:
    void SetUp() override {
        static int argc = 1;
        static char name[] = "krv-x11-test";
        static char* argv[] = {name, nullptr};
        m_app = std::make_unique<QApplication>(argc, argv);
    }
    void TearDown() override { m_app.reset(); }

private:
    std::unique_ptr<QApplication> m_app;
};

} // namespace krv::test
