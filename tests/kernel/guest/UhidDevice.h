// SPDX-License-Identifier: MIT
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <span>
#include <string>
#include <thread>
#include <vector>

namespace krv::guest {

using Bytes = std::vector<std::uint8_t>;

// Report types as uhid numbers them.
inline constexpr std::uint8_t UhidFeatureReport = 0;
inline constexpr std::uint8_t UhidOutputReport = 1;
inline constexpr std::uint8_t UhidInputReport = 2;

// What the kernel sees of the device: its name, ids and report descriptor.
struct UhidIdentity {
    std::string name;
    std::uint16_t bus = 0x03; // USB
    std::uint16_t vendor = 0;
    std::uint16_t product = 0;
    std::uint32_t version = 0x0100;
    Bytes descriptor;
};

// The device's answer to a SET_REPORT: the error to report (0 = accepted), and the input reports it
// sends once the host has its answer.
struct SetReportAnswer {
    int error = 0;
    std::vector<Bytes> inputsAfter;
};

// A HID device implemented in user space through /dev/uhid. A thread serves the kernel's requests:
// SET_REPORT goes to the handler, GET_REPORT is refused, open and close are counted.
class UhidDevice {
public:
    // reportType: 0 feature, 1 output, 2 input (the uhid numbering); data starts with the report id.
    using SetReportHandler = std::function<SetReportAnswer(std::uint8_t reportType, const Bytes& data)>;

    explicit UhidDevice(SetReportHandler handler);
    ~UhidDevice();
    UhidDevice(const UhidDevice&) = delete;
    UhidDevice& operator=(const UhidDevice&) = delete;

    bool create(const UhidIdentity& identity, std::string& error);
    // Removes the device from the kernel (its hidraw and input nodes go away).
    bool destroy();
    // Sends one input report; data starts with the report id.
    bool sendInput(std::span<const std::uint8_t> report);

    // Waits until the kernel started the device (a driver bound to it).
    bool waitStarted(std::chrono::milliseconds limit);
    // Waits until at least `count` SET_REPORT requests arrived; returns all received so far.
    std::vector<Bytes> waitSetReports(std::size_t count, std::chrono::milliseconds limit);
    // Waits until a hidraw node of the device is held open by someone (count > 0) or by no one (0).
    bool waitOpenState(bool open, std::chrono::milliseconds limit);

private:
    void serve();
    bool writeEvent(const void* event, std::size_t size);

    SetReportHandler m_handler;
    int m_fd = -1;
    int m_stopFd = -1;
    std::thread m_thread;
    std::mutex m_mutex;
    std::condition_variable m_changed;
    bool m_started = false;
    bool m_open = false;
    std::vector<Bytes> m_setReports;
};

} // namespace krv::guest
