// SPDX-License-Identifier: MIT
#include "device/InputReport.h"

namespace krv {

SpecialButtonEvent ClassifyInputReport(std::span<const std::uint8_t> report, bool hostFunctionsReady) {
    SpecialButtonEvent event;
    if (report.size() < InputReport::MeaningfulBytes)
        return event;
    const std::uint8_t id = report[InputReport::ReportIdOffset];
    event.code = report[InputReport::EventCodeOffset];
    if (event.code > InputReport::PressBase) {
        event.kind = SpecialButtonEvent::Kind::Press;
        event.handled = hostFunctionsReady;
    } else if (event.code == InputReport::ReleaseCode) {
        if (hostFunctionsReady) {
            event.kind = SpecialButtonEvent::Kind::Release; // (6, 0) while ready is taken as a release
            event.handled = true;
        } else if (id == InputReport::AcknowledgementReportId) {
            event.kind = SpecialButtonEvent::Kind::Acknowledgement;
            event.handled = true;
        } else {
            event.kind = SpecialButtonEvent::Kind::Release;
        }
    }
    return event;
}

} // namespace krv
