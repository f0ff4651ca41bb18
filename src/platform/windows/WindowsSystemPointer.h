// SPDX-License-Identifier: MIT
#pragma once

#include "ports/SystemPointer.h"

namespace krv {

// The system's pointer speed (1..20, 10 neutral: the scale of the port) and wheel scroll lines,
// through SystemParametersInfoW, written to the user's profile and announced to running programs.
// The speed is set at every apply and back to 10 when the program ends, as its owner does.
class WindowsSystemPointer final : public SystemPointer {
public:
    std::optional<int> pointerSpeed() override;
    // Speeds outside 1..20 are refused.
    bool setPointerSpeed(int speed) override;
    std::optional<int> wheelScrollLines() override;
    // Lines below 0 are refused.
    bool setWheelScrollLines(int lines) override;
};

} // namespace krv
