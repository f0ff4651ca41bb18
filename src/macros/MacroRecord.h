// SPDX-License-Identifier: MIT
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace krv {

// One step of a macro.
struct MacroEvent {
    std::uint8_t code = 0;   // Windows virtual-key code; 240 left, 241 right, 242 middle mouse button
    std::uint8_t action = 0; // 1 press, 2 release; anything else plays no input but still waits
    std::uint16_t delay = 0; // milliseconds to wait after this event

    bool operator==(const MacroEvent&) const = default;
};

constexpr std::uint8_t MacroActionDown = 1;
constexpr std::uint8_t MacroActionUp = 2;
constexpr std::uint8_t MacroCodeLeftButton = 240;
constexpr std::uint8_t MacroCodeRightButton = 241;
constexpr std::uint8_t MacroCodeMiddleButton = 242;

// One macro as the fixed 1064-byte record stored in macro files. Codes and actions lie in one array
// of byte pairs, delays in a parallel array of little-endian 16-bit words.
struct MacroRecord {
    static constexpr std::size_t Size = 1064;
    static constexpr std::size_t NameOffset = 0;
    static constexpr std::size_t NameBytes = 40;   // UTF-16LE, room for 19 characters and the terminator
    static constexpr std::size_t NameUnits = NameBytes / 2;
    static constexpr std::size_t RepeatEnabledOffset = 40;
    static constexpr std::size_t RepeatCountLowOffset = 41;
    static constexpr std::size_t RepeatCountHighOffset = 42;
    static constexpr std::size_t EventCountOffset = 43;
    static constexpr std::size_t EventPairsOffset = 44; // code at 44 + 2j, action at 45 + 2j
    static constexpr std::size_t DelaysOffset = 554;    // delay j at 554 + 2j
    static constexpr int EventSlots = 255;
    static constexpr int MaxEvents = 254; // the editor refuses a 255th event

    std::array<std::uint8_t, Size> bytes{};

    // The name up to its 16-bit terminator; a name field without one ends at the field's end (20 units).
    std::u16string name() const;
    std::string nameUtf8() const;
    // Stores at most 19 units and the terminator; the bytes after the terminator keep what they held.
    void setName(std::u16string_view name);

    std::uint8_t repeatEnabled() const { return bytes[RepeatEnabledOffset]; }
    void setRepeatEnabled(std::uint8_t on) { bytes[RepeatEnabledOffset] = on; }
    std::uint16_t repeatCount() const {
        return static_cast<std::uint16_t>(bytes[RepeatCountLowOffset] | (bytes[RepeatCountHighOffset] << 8));
    }
    void setRepeatCount(std::uint16_t count) {
        bytes[RepeatCountLowOffset] = static_cast<std::uint8_t>(count & 0xFF);
        bytes[RepeatCountHighOffset] = static_cast<std::uint8_t>(count >> 8);
    }
    std::uint8_t eventCount() const { return bytes[EventCountOffset]; }
    void setEventCount(std::uint8_t n) { bytes[EventCountOffset] = n; }

    // Event slot j, 0..254 (slots at and above the event count are kept but not played).
    MacroEvent event(int j) const;
    void setEvent(int j, MacroEvent e);

    bool operator==(const MacroRecord&) const = default;
};
static_assert(sizeof(MacroRecord) == MacroRecord::Size, "a macro record is exactly 1064 bytes");
static_assert(MacroRecord::DelaysOffset + 2 * MacroRecord::EventSlots == MacroRecord::Size);

} // namespace krv
