// SPDX-License-Identifier: MIT
#include "mouse/ButtonCode.h"

namespace krv {

ButtonCodeInfo DescribeButtonCode(ButtonCode code) {
    auto mouse = [](int value) { return ButtonCodeInfo{Performer::Mouse, static_cast<std::uint8_t>(value), 0, HostFunction::None}; };
    auto host = [](HostFunction fn, int dpi = 0) { return ButtonCodeInfo{Performer::Host, HostCode, dpi, fn}; };
    if (code >= 0 && code <= 5)
        return mouse(code);
    if (code >= 11 && code <= 16)
        return mouse(code - 4);
    if (code >= 21 && code <= 25)
        return mouse(code - 8);
    if (code >= FirstMacroCode && code <= MaxMacroCode)
        return host(HostFunction::PlayMacro);
    if (code >= 27 && code <= 30)
        return host(HostFunction::None); // no menu offers them; the mouse reports them, the host does nothing
    switch (code) {
    case 6: return host(HostFunction::DpiCycle, 2);
    case 17: return host(HostFunction::DpiUp, 1);
    case 18: return host(HostFunction::DpiDown, -1);
    case 19: return host(HostFunction::LedToggle);
    case 26: return host(HostFunction::Mute);
    case 31: return host(HostFunction::CopyCtrlC);
    case 32: return host(HostFunction::PasteCtrlV);
    case 33: return host(HostFunction::SelectAllCtrlA);
    case 34: return host(HostFunction::UndoCtrlZ);
    case 35: return host(HostFunction::CloseAltF4);
    case 36: return host(HostFunction::OpenComputer);
    case 37: return host(HostFunction::LockSession);
    case 38: return host(HostFunction::Calculator);
    case 39: return host(HostFunction::Terminal);
    case 40: return host(HostFunction::NextProfile);
    default: return {};
    }
}

std::optional<std::uint8_t> DeviceValue(ButtonCode code) { return DescribeButtonCode(code).deviceValue; }

int DpiAction(ButtonCode code) { return DescribeButtonCode(code).dpiAction; }

std::optional<int> SlotOfReportCode(std::uint8_t reportCode) {
    for (int slot = 0; slot < ButtonSlotCount; ++slot)
        if (reportCode == PressReportBase + DeviceButtonId[slot])
            return slot + 1;
    return std::nullopt;
}

std::optional<int> KeepPrimaryButton(std::array<ButtonCode, ButtonSlotCount>& codes, int assignedSlot) {
    for (int slot = ButtonSlotCount; slot >= 1; --slot)
        if (codes[slot - 1] == PrimaryButtonCode)
            return std::nullopt;
    const int target = assignedSlot < ButtonSlotCount ? assignedSlot + 1 : ButtonSlotCount;
    codes[target - 1] = PrimaryButtonCode;
    return target;
}

std::optional<int> KeepPrimaryButton(ProfileSettings& settings, int assignedSlot) {
    std::array<ButtonCode, ButtonSlotCount> codes{};
    for (int i = 0; i < ButtonSlotCount; ++i)
        codes[i] = settings.buttonCodes[i].load(std::memory_order_relaxed);
    auto changed = KeepPrimaryButton(codes, assignedSlot);
    if (changed)
        settings.buttonCodes[*changed - 1].store(PrimaryButtonCode, std::memory_order_relaxed);
    return changed;
}

bool OtherSlotHoldsPrimary(const ProfileSettings& settings, int slot) {
    for (int b = 1; b <= ButtonSlotCount; ++b)
        if (b != slot && settings.buttonCodes[b - 1].load(std::memory_order_relaxed) == PrimaryButtonCode)
            return true;
    return false;
}

} // namespace krv
