#pragma once

#include <cstdint>
#include <vector>

namespace krv::guest {

inline constexpr std::uint16_t MouseVendorId = 0x18F8;
inline constexpr std::uint16_t MouseProductId = 0x0F99;

// The mouse's report descriptor as the virtual mouse presents it: the pointer (report 1: five
// buttons, 16-bit X and Y, wheel), the vendor input collection 0xFF00/1 (report 5 for presses and
// releases, report 6 for the acknowledgement, 7 data bytes each) and the vendor feature collection
// 0xFF01/1 (report 7, 7 data bytes). With the report id each vendor report is 8 bytes long.
inline const std::vector<std::uint8_t>& mouseReportDescriptor()
{
    static const std::vector<std::uint8_t> descriptor = {
        0x05, 0x01,       // Usage Page (Generic Desktop)
        0x09, 0x02,       // Usage (Mouse)
        0xA1, 0x01,       // Collection (Application)
        0x85, 0x01,       //   Report ID (1)
        0x09, 0x01,       //   Usage (Pointer)
        0xA1, 0x00,       //   Collection (Physical)
        0x05, 0x09,       //     Usage Page (Button)
        0x19, 0x01,       //     Usage Minimum (1)
        0x29, 0x05,       //     Usage Maximum (5)
        0x15, 0x00,       //     Logical Minimum (0)
        0x25, 0x01,       //     Logical Maximum (1)
        0x95, 0x05,       //     Report Count (5)
        0x75, 0x01,       //     Report Size (1)
        0x81, 0x02,       //     Input (Data, Variable, Absolute)
        0x95, 0x01,       //     Report Count (1)
        0x75, 0x03,       //     Report Size (3)
        0x81, 0x01,       //     Input (Constant)
        0x05, 0x01,       //     Usage Page (Generic Desktop)
        0x09, 0x30,       //     Usage (X)
        0x09, 0x31,       //     Usage (Y)
        0x16, 0x01, 0x80, //     Logical Minimum (-32767)
        0x26, 0xFF, 0x7F, //     Logical Maximum (32767)
        0x75, 0x10,       //     Report Size (16)
        0x95, 0x02,       //     Report Count (2)
        0x81, 0x06,       //     Input (Data, Variable, Relative)
        0x09, 0x38,       //     Usage (Wheel)
        0x15, 0x81,       //     Logical Minimum (-127)
        0x25, 0x7F,       //     Logical Maximum (127)
        0x75, 0x08,       //     Report Size (8)
        0x95, 0x01,       //     Report Count (1)
        0x81, 0x06,       //     Input (Data, Variable, Relative)
        0xC0,             //   End Collection
        0xC0,             // End Collection
        0x06, 0x00, 0xFF, // Usage Page (Vendor 0xFF00)
        0x09, 0x01,       // Usage (1)
        0xA1, 0x01,       // Collection (Application)
        0x85, 0x05,       //   Report ID (5)
        0x09, 0x01,       //   Usage (1)
        0x15, 0x00,       //   Logical Minimum (0)
        0x26, 0xFF, 0x00, //   Logical Maximum (255)
        0x75, 0x08,       //   Report Size (8)
        0x95, 0x07,       //   Report Count (7)
        0x81, 0x02,       //   Input (Data, Variable, Absolute)
        0x85, 0x06,       //   Report ID (6)
        0x09, 0x01,       //   Usage (1)
        0x95, 0x07,       //   Report Count (7)
        0x81, 0x02,       //   Input (Data, Variable, Absolute)
        0xC0,             // End Collection
        0x06, 0x01, 0xFF, // Usage Page (Vendor 0xFF01)
        0x09, 0x01,       // Usage (1)
        0xA1, 0x01,       // Collection (Application)
        0x85, 0x07,       //   Report ID (7)
        0x09, 0x01,       //   Usage (1)
        0x15, 0x00,       //   Logical Minimum (0)
        0x26, 0xFF, 0x00, //   Logical Maximum (255)
        0x75, 0x08,       //   Report Size (8)
        0x95, 0x07,       //   Report Count (7)
        0xB1, 0x02,       //   Feature (Data, Variable, Absolute)
        0xC0,             // End Collection
    };
    return descriptor;
}

inline constexpr std::size_t MouseInputReportLength = 8;
inline constexpr std::size_t MouseFeatureReportLength = 8;

} // namespace krv::guest
