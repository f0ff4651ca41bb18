// SPDX-License-Identifier: MIT
#pragma once

#include "settings/ProfileSettings.h"

#include <array>
#include <cstdint>

namespace krv {

// The facts of the mouse's USB and HID side, written once: every part that sends to the mouse, reads
// from it or plays it (the simulated mouse) takes them from here.

constexpr std::uint16_t MouseVendorId = 0x18F8;
constexpr std::uint16_t MouseProductId = 0x0F99;
// The vendor collections: input reports come from usage page 0xFF00, feature reports go to 0xFF01,
// both with usage 1.
constexpr std::uint16_t InputUsagePage = 0xFF00;
constexpr std::uint16_t FeatureUsagePage = 0xFF01;
constexpr std::uint16_t VendorCollectionUsage = 1;

// The vendor feature report's id, and its commands.
constexpr std::uint8_t FeatureReportId = 0x07;
// Commands of the mouse's vendor feature report 0x07.
enum class FeatureCommand : std::uint8_t {
    DpiLed = 0x09,    // stage index 0..3, DPI and LED byte
    ButtonMap = 0x10, // DeviceButtonId, device value (0..17 or HostCode)
    Wheel = 0x11,     // wheel option (low byte), 0
    FireTime = 0x12,  // auto-fire interval / 8 (low byte), 0
    Goodbye = 0x20,   // 0, 0: the program ends
};

// Byte 3 of command 0x09: high nibble 8 + DPI position (0..4), low nibble LED mode (0..3),
// ((position + 8) * 16 + led) mod 256.
constexpr std::uint8_t DpiLedByte(std::uint8_t position, std::uint8_t led) {
    return static_cast<std::uint8_t>(((position + 8) * 16 + led) & 0xFF);
}
// The DPI position and the LED mode that the mouse reads from that byte.
constexpr std::uint8_t DpiPositionOfByte(std::uint8_t value) {
    return static_cast<std::uint8_t>((value >> 4) - 8);
}
constexpr std::uint8_t LedModeOfByte(std::uint8_t value) {
    return static_cast<std::uint8_t>(value & 0x0F);
}

// Byte 2 of command 0x12: the auto-fire interval / 8, truncated toward zero, low byte.
constexpr std::uint8_t FireTimeByte(std::int32_t fireTime) {
    return static_cast<std::uint8_t>(static_cast<std::uint32_t>(fireTime / 8) & 0xFF);
}

// The device's own id of button slots 1..8 (index 0 is slot 1). Slot 4 is device button 5 and slot 5
// is device button 4; id 7 is never used.
constexpr std::array<std::uint8_t, ButtonSlotCount> DeviceButtonId{1, 2, 3, 5, 4, 6, 8, 9};
// The mouse reports a press of device button b as input code 240 + b.
constexpr std::uint8_t PressReportBase = 240;

} // namespace krv
