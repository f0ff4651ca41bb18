// SPDX-License-Identifier: MIT
#pragma once

#include "UhidDevice.h"
#include "sim/SimulatedMouse.h"

#include <memory>
#include <string>
#include <thread>

namespace krv::guest {

// The simulated mouse's firmware model behind a uhid transport: the kernel sees a USB HID device with
// the mouse's ids and report descriptor; the feature reports it is sent go to the model, and the
// input reports the model produces (acknowledgements, presses, releases) go back to the kernel.
class UhidMouse {
public:
    UhidMouse();
    ~UhidMouse();
    UhidMouse(const UhidMouse&) = delete;
    UhidMouse& operator=(const UhidMouse&) = delete;

    bool plugIn(std::string& error);
    // Unplugs the model and removes the device from the kernel.
    void unplug();

    SimulatedMouse& model() { return m_model; }
    UhidDevice& transport() { return m_transport; }

private:
    void pump(std::stop_token stop);

    SimulatedMouse m_model;
    std::unique_ptr<HidHandle> m_modelFeatures;
    std::unique_ptr<HidHandle> m_modelInputs;
    UhidDevice m_transport;
    std::jthread m_pump;
};

} // namespace krv::guest
