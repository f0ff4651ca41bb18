// SPDX-License-Identifier: MIT
#pragma once

#include "MouseDescriptorData.h"

#include <cstdint>
#include <vector>

namespace krv::guest {

inline constexpr std::uint16_t MouseVendorId = 0x18F8;
inline constexpr std::uint16_t MouseProductId = 0x0F99;

// The mouse's report descriptor (tests/data/descriptors/krv-glyde-mouse.bin, compiled in): the
// pointer (report 1), the vendor input collection 0xFF00/1 (report 5 for presses and releases,
// report 6 for the acknowledgement) and the vendor feature collection 0xFF01/1 (report 7). With the
// report id each vendor report is 8 bytes long.
inline const std::vector<std::uint8_t>& mouseReportDescriptor()
{
    static const std::vector<std::uint8_t> descriptor = {KRV_MOUSE_DESCRIPTOR_BYTES};
    return descriptor;
}

} // namespace krv::guest
