// SPDX-License-Identifier: MIT
#include "macros/MacroRecord.h"

#include "settings/TextCodec.h"

#include <algorithm>
#include <cassert>

namespace krv {

std::u16string MacroRecord::name() const {
    std::u16string out;
    for (std::size_t u = 0; u < NameUnits; ++u) {
        auto unit = static_cast<char16_t>(bytes[NameOffset + 2 * u] | (bytes[NameOffset + 2 * u + 1] << 8));
        if (unit == 0)
            break;
        out += unit;
    }
    return out;
}

std::string MacroRecord::nameUtf8() const { return utf16ToUtf8(name()); }

void MacroRecord::setName(std::u16string_view name) {
    const std::size_t units = std::min(name.size(), NameUnits - 1);
    for (std::size_t u = 0; u < units; ++u) {
        bytes[NameOffset + 2 * u] = static_cast<std::uint8_t>(name[u] & 0xFF);
        bytes[NameOffset + 2 * u + 1] = static_cast<std::uint8_t>(name[u] >> 8);
    }
    bytes[NameOffset + 2 * units] = 0;
    bytes[NameOffset + 2 * units + 1] = 0;
}

MacroEvent MacroRecord::event(int j) const {
    assert(j >= 0 && j < EventSlots);
    const std::size_t pair = EventPairsOffset + 2 * static_cast<std::size_t>(j);
    const std::size_t delay = DelaysOffset + 2 * static_cast<std::size_t>(j);
    return {bytes[pair], bytes[pair + 1], static_cast<std::uint16_t>(bytes[delay] | (bytes[delay + 1] << 8))};
}

void MacroRecord::setEvent(int j, MacroEvent e) {
    assert(j >= 0 && j < EventSlots);
    const std::size_t pair = EventPairsOffset + 2 * static_cast<std::size_t>(j);
    const std::size_t delay = DelaysOffset + 2 * static_cast<std::size_t>(j);
    bytes[pair] = e.code;
    bytes[pair + 1] = e.action;
    bytes[delay] = static_cast<std::uint8_t>(e.delay & 0xFF);
    bytes[delay + 1] = static_cast<std::uint8_t>(e.delay >> 8);
}

} // namespace krv
