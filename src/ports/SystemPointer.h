// SPDX-License-Identifier: MIT
#pragma once

#include <optional>

namespace krv {

// The desktop's pointer speed and wheel scroll lines. The speed is on the Windows scale 1..20
// (10 is the neutral speed); a backend maps it to its own setting. A get that cannot be answered
// returns nothing, and the caller then skips the matching set.
class SystemPointer {
public:
    virtual ~SystemPointer() = default;
    virtual std::optional<int> pointerSpeed() = 0;
    [[nodiscard]] virtual bool setPointerSpeed(int speed) = 0;
    virtual std::optional<int> wheelScrollLines() = 0;
    [[nodiscard]] virtual bool setWheelScrollLines(int lines) = 0;
};

// A pointer setting that answers nothing: the apply and the shutdown then leave the desktop alone.
class NoSystemPointer final : public SystemPointer {
public:
    std::optional<int> pointerSpeed() override { return std::nullopt; }
    bool setPointerSpeed(int) override { return false; }
    std::optional<int> wheelScrollLines() override { return std::nullopt; }
    bool setWheelScrollLines(int) override { return false; }
};

} // namespace krv
