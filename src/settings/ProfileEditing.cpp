// SPDX-License-Identifier: MIT
#include "settings/ProfileEditing.h"

#include <algorithm>

namespace krv {

void ToggleDpiStage(ProfileSettings& settings, int stage) {
    if (stage < 0 || stage >= DpiStageCount)
        return;
    auto& enabled = settings.dpiStageEnabled[static_cast<std::size_t>(stage)];
    if (enabled.load() == 0) {
        enabled.store(1);
        return;
    }
    enabled.store(0);
    if (settings.dpiStage.load() != stage)
        return;
    for (int i = 1; i < DpiStageCount; ++i) {
        const int next = (stage + i) % DpiStageCount;
        if (settings.dpiStageEnabled[static_cast<std::size_t>(next)].load() != 0) {
            settings.dpiStage.store(next);
            return;
        }
    }
    enabled.store(1); // the only enabled stage stays enabled and current
}

bool SelectDpiStage(ProfileSettings& settings, int stage) {
    if (stage < 0 || stage >= DpiStageCount || settings.dpiStageEnabled[static_cast<std::size_t>(stage)].load() == 0)
        return false;
    settings.dpiStage.store(stage);
    return true;
}

void SetDpiPosition(ProfileSettings& settings, int stage, int position) {
    if (stage < 0 || stage >= DpiStageCount || position < 0 || position >= DpiPositionCount)
        return;
    settings.dpiStagePositions[static_cast<std::size_t>(stage)].store(static_cast<std::uint8_t>(position));
}

std::int32_t FireTimeFromBar(int px, int barX, int barWidth) {
    if (barWidth <= 0)
        return 0;
    return static_cast<std::int32_t>(static_cast<long long>(px - barX) * MaxFireTime / barWidth);
}

void StepFireTime(ProfileSettings& settings, int delta) {
    const std::int32_t now = settings.fireInterval.load();
    settings.fireInterval.store(delta > 0 ? std::min(now + 1, MaxFireTime) : std::max(now - 1, 0));
}

} // namespace krv
