// SPDX-License-Identifier: MIT
#pragma once

#include "mouse/MouseProtocol.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace krv {

// The vendor feature report on the wire: report id 0x07, a command, two parameters, then zeros up to
// the length the mouse's feature collection states. Every send builds its own FeatureReport, so two
// threads sending at once never share a half-filled buffer.
class FeatureReport {
public:
    static constexpr std::uint8_t ReportId = FeatureReportId;
    static constexpr std::size_t ReportIdOffset = 0;
    static constexpr std::size_t CommandOffset = 1;
    static constexpr std::size_t FirstParameterOffset = 2;
    static constexpr std::size_t SecondParameterOffset = 3;
    static constexpr std::size_t HeaderSize = 4; // the shortest report that holds the command

    // Header bytes as laid out on the wire; the rest of the report is zero.
    struct Header {
        std::uint8_t reportId;
        std::uint8_t command;
        std::uint8_t firstParameter;
        std::uint8_t secondParameter;
    };

    // A report of `length` bytes (the collection's FeatureReportLength). A length below HeaderSize
    // cannot carry a command: the report is then empty and valid() is false.
    FeatureReport(FeatureCommand command, std::uint8_t first, std::uint8_t second, std::size_t length);

    bool valid() const { return !m_bytes.empty(); }
    std::span<const std::uint8_t> bytes() const { return m_bytes; }
    FeatureCommand command() const { return static_cast<FeatureCommand>(m_bytes[CommandOffset]); }

private:
    std::vector<std::uint8_t> m_bytes;
};

static_assert(sizeof(FeatureReport::Header) == FeatureReport::HeaderSize);
static_assert(offsetof(FeatureReport::Header, command) == FeatureReport::CommandOffset);
static_assert(offsetof(FeatureReport::Header, firstParameter) == FeatureReport::FirstParameterOffset);
static_assert(offsetof(FeatureReport::Header, secondParameter) == FeatureReport::SecondParameterOffset);

// Where feature reports go: the mouse's feature collection (DeviceLink) or a test's recorder.
class FeatureReportSender {
public:
    virtual ~FeatureReportSender() = default;
    // Builds one report and sends it on the write handle. False when it was not sent (no open
    // handle, the device refused it); callers that follow the mouse's protocol ignore the result.
    [[nodiscard]] virtual bool SendFeatureReport(FeatureCommand command, std::uint8_t first, std::uint8_t second) = 0;
    // True when the write collection is open.
    virtual bool writeHandleOpen() const = 0;
};

} // namespace krv
