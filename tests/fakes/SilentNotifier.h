#pragma once

#include "ports/UiNotifier.h"

#include <string_view>

namespace krv::test {

// Shows nothing: for tests that look at other outcomes than the messages.
class SilentNotifier : public UiNotifier {
public:
    void showMessage(std::string_view) override {}
};

} // namespace krv::test
