// SPDX-License-Identifier: MIT
#pragma once

#include "mouse/MouseProtocol.h"

#include <cstddef>
#include <cstdint>
#include <span>

namespace krv {

// The mouse's vendor input report. Only the first two bytes mean anything:
//   byte 0  report id (6 for the acknowledgement of a host-code assignment)
//   byte 1  event code: 241..255 a press of device button code - 240, 0 a release
struct InputReport {
    static constexpr std::size_t ReportIdOffset = 0;
    static constexpr std::size_t EventCodeOffset = 1;
    static constexpr std::size_t MeaningfulBytes = 2;
    static constexpr std::uint8_t AcknowledgementReportId = 6;
    static constexpr std::uint8_t ReleaseCode = 0;
    static constexpr std::uint8_t PressBase = PressReportBase; // a press carries 240 + DeviceButtonId
};

// The meaning of one input report, decided by HostFunctionsReady:
// - while ready: byte 1 above 240 is a press, byte 1 = 0 a release (also (6, 0));
// - while waiting for the acknowledgement: (6, 0) is the acknowledgement, presses and releases are ignored.
struct SpecialButtonEvent {
    enum class Kind { Press, Release, Acknowledgement, Other };
    Kind kind = Kind::Other;
    std::uint8_t code = 0; // byte 1
    bool handled = false;  // false when the event is ignored in the current mode

    bool operator==(const SpecialButtonEvent&) const = default;
};

// Classifies the bytes of one report as read. A report shorter than two bytes is Other.
SpecialButtonEvent ClassifyInputReport(std::span<const std::uint8_t> report, bool hostFunctionsReady);

} // namespace krv
