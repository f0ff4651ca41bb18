// SPDX-License-Identifier: MIT
// The HID report-descriptor parser on arbitrary bytes: never crash, hang or grow without bound,
// and give the same answer for the same bytes.
#include "device/ReportDescriptor.h"

#include <cstdint>
#include <cstdlib>
#include <span>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::span<const std::uint8_t> bytes(data, size);
    const auto parsed = krv::ParseReportDescriptor(bytes);
    if (!parsed)
        return 0;
    if (parsed->size() > size)
        std::abort(); // every top-level collection takes at least one item
    if (krv::ParseReportDescriptor(bytes) != parsed)
        std::abort();
    return 0;
}
