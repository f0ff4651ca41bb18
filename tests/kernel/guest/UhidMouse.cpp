// SPDX-License-Identifier: MIT
#include "UhidMouse.h"

#include "MouseDescriptor.h"

#include <array>
#include <cerrno>

namespace krv::guest {

UhidMouse::UhidMouse()
    : m_modelFeatures(m_model.open(SimulatedMouse::VendorPath, HidAccess::Write))
    , m_modelInputs(m_model.open(SimulatedMouse::VendorPath, HidAccess::Read))
    , m_transport([this](std::uint8_t type, const Bytes& data) {
        SetReportAnswer answer;
        if (type != UhidFeatureReport || !m_modelFeatures || !m_modelFeatures->sendFeatureReport(data)) {
            answer.error = EIO;
        }
        return answer;
    })
{
}

UhidMouse::~UhidMouse()
{
    unplug();
}

bool UhidMouse::plugIn(std::string& error)
{
    if (!m_modelFeatures || !m_modelInputs) {
        error = "the model's vendor collections cannot be opened";
        return false;
    }
    const UhidIdentity identity{"Veldra virtual mouse", 0x03, MouseVendorId, MouseProductId, 0x0100,
                                mouseReportDescriptor()};
    if (!m_transport.create(identity, error)) {
        return false;
    }
    m_pump = std::jthread([this](std::stop_token stop) { pump(stop); });
    return true;
}

void UhidMouse::unplug()
{
    // The pump stops first (the model's unplug fails its read), so that nothing writes to the
    // transport while it goes away.
    m_model.unplug();
    if (m_pump.joinable()) {
        m_pump.request_stop();
        m_pump.join();
    }
    m_transport.destroy();
}

void UhidMouse::pump(std::stop_token stop)
{
    std::array<std::uint8_t, 64> buffer{};
    while (!stop.stop_requested()) {
        const int n = m_modelInputs->readInputReport(buffer, std::chrono::milliseconds(100));
        if (n < 0) {
            return;
        }
        if (n > 0) {
            m_transport.sendInput(std::span(buffer.data(), static_cast<std::size_t>(n)));
        }
    }
}

} // namespace krv::guest
