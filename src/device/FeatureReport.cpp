// SPDX-License-Identifier: MIT
#include "device/FeatureReport.h"

namespace krv {

FeatureReport::FeatureReport(FeatureCommand command, std::uint8_t first, std::uint8_t second, std::size_t length) {
    if (length < HeaderSize)
        return;
    m_bytes.assign(length, 0);
    m_bytes[ReportIdOffset] = ReportId;
    m_bytes[CommandOffset] = static_cast<std::uint8_t>(command);
    m_bytes[FirstParameterOffset] = first;
    m_bytes[SecondParameterOffset] = second;
}

} // namespace krv
