// SPDX-License-Identifier: MIT
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <vector>

namespace krv {

// Report sizes of one top-level collection of a HID report descriptor, counted the way the Windows
// HID parser states them in HIDP_CAPS: the longest report of each kind in the collection in bytes,
// plus one byte for the report id (also when the collection uses no report ids; the byte is then 0).
// A kind the collection has no report of has length 0.
struct TopLevelCollection {
    std::uint16_t usagePage = 0;
    std::uint16_t usage = 0;
    std::uint16_t inputReportLength = 0;
    std::uint16_t outputReportLength = 0;
    std::uint16_t featureReportLength = 0;
    // Report ids of the collection's input reports, ascending; empty when it uses no report ids.
    // A hidraw node delivers the input reports of all its collections: these tell them apart.
    std::vector<std::uint8_t> inputReportIds;

    bool operator==(const TopLevelCollection&) const = default;
};

// Parses a report descriptor into its top-level collections, in descriptor order. Returns nothing
// for a malformed descriptor (an item cut off at the end, an End Collection without a Collection,
// a Pop without a Push, nesting or a push stack deeper than the parser allows).
std::optional<std::vector<TopLevelCollection>> ParseReportDescriptor(std::span<const std::uint8_t> descriptor);

} // namespace krv
