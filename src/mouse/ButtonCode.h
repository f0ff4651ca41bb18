// SPDX-License-Identifier: MIT
#pragma once

#include "mouse/MouseProtocol.h"
#include "settings/ProfileSettings.h"

#include <array>
#include <cstdint>
#include <optional>

namespace krv {

// A button slot's function code (K1..K8). Codes 0..5, 11..16 and 21..25 are performed by the mouse
// itself; 6, 17..19 and 26..52 by the host, which the mouse is told with HostCode (27..30 lie in no
// menu and have no host function: a slot holding one reports its presses and nothing happens).
using ButtonCode = std::int32_t;

constexpr std::uint8_t HostCode = 31;
constexpr ButtonCode PrimaryButtonCode = 1; // some slot must always hold it
constexpr ButtonCode FirstMacroCode = 41;   // code 41 + i plays macro i
constexpr int MaxMacroCode = 52;

// What a host-performed code does.
enum class HostFunction {
    None,
    DpiCycle,      // 6
    DpiUp,         // 17
    DpiDown,       // 18
    LedToggle,     // 19
    Mute,          // 26
    CopyCtrlC,     // 31
    PasteCtrlV,    // 32
    SelectAllCtrlA,// 33
    UndoCtrlZ,     // 34
    CloseAltF4,    // 35
    OpenComputer,  // 36
    LockSession,   // 37
    Calculator,    // 38
    Terminal,      // 39
    NextProfile,   // 40
    PlayMacro,     // 41..52
};

enum class Performer { None, Mouse, Host };

struct ButtonCodeInfo {
    Performer performer = Performer::None;
    std::optional<std::uint8_t> deviceValue; // sent with command 0x10; none for unassignable codes
    int dpiAction = 0;                       // 2 cycle, 1 up, -1 down, 0 none
    HostFunction hostFunction = HostFunction::None;
};

// The one table of codes: where a code is performed, its device value, DPI action and host function.
ButtonCodeInfo DescribeButtonCode(ButtonCode code);

// Device value of a code: 0..17, or HostCode, or none for codes 7..10, 20, below 0 or above 52
// (an apply sends no slot report for those).
std::optional<std::uint8_t> DeviceValue(ButtonCode code);
// 2 for code 6, 1 for 17, -1 for 18, 0 otherwise.
int DpiAction(ButtonCode code);

// Slot 1..8 whose 240 + DeviceButtonId equals the report code, or none.
std::optional<int> SlotOfReportCode(std::uint8_t reportCode);

// After `assignedSlot` (1..8) received a code: when no slot holds code 1 any more, the next slot takes
// it, or slot 8 itself when slot 8 was assigned. Returns the slot changed, if any.
std::optional<int> KeepPrimaryButton(std::array<ButtonCode, ButtonSlotCount>& codes, int assignedSlot);
std::optional<int> KeepPrimaryButton(ProfileSettings& settings, int assignedSlot);
// True when a slot other than `slot` (1..8) holds code 1: taking code 1 from `slot` needs no warning.
bool OtherSlotHoldsPrimary(const ProfileSettings& settings, int slot);
// Whether some slot holds the left click: a profile without one is never sent to the mouse.
inline bool AnySlotHoldsPrimary(const ProfileSettings& settings) { return OtherSlotHoldsPrimary(settings, 0); }

} // namespace krv
