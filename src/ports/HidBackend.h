// SPDX-License-Identifier: MIT
#pragma once

#include <chrono>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <vector>

namespace krv {

// One top-level collection of a HID device, as the system lists it. A device with several
// collections is listed once per collection, and on Linux all of them may share one node path.
struct HidCollectionInfo {
    std::string path; // node to open (a hidraw node on Linux)
    std::uint16_t vendorId = 0;
    std::uint16_t productId = 0;
    std::uint16_t usagePage = 0;
    std::uint16_t usage = 0;
    std::uint16_t inputReportLength = 0;   // bytes of the longest input report, report id byte included; 0 for none
    std::uint16_t featureReportLength = 0; // the same for feature reports
    // Report ids of the collection's input reports; empty when it uses none or they are unknown.
    // Collections sharing a node share its input reports: a reader keeps only its collection's ids.
    std::vector<std::uint8_t> inputReportIds;

    bool operator==(const HidCollectionInfo&) const = default;
};

// An open device node. Closing is destroying it. A handle opened for reading is only read (by one
// thread); a handle opened for writing only sends, from any number of threads at once (the handle
// serialises them). The other operation fails on it.
class HidHandle {
public:
    virtual ~HidHandle() = default;

    // Sends one feature report; report[0] is the report id. True when the device took it.
    [[nodiscard]] virtual bool sendFeatureReport(std::span<const std::uint8_t> report) = 0;

    // Waits without end in readInputReport (until a report, a failure or interruptRead).
    static constexpr std::chrono::milliseconds WaitForever{-1};

    // Reads one input report into buffer, waiting at most `timeout` (WaitForever: no limit). Never
    // writes past the end of buffer: a longer report is cut. Returns the number of bytes stored
    // (> 0), 0 when the time ran out or the read was interrupted, or -1 when the node failed
    // (unplugged, closed by the system).
    virtual int readInputReport(std::span<std::uint8_t> buffer, std::chrono::milliseconds timeout) = 0;

    // From another thread: makes the read running on this handle, or else the next one, return 0 at
    // once. This is how a reader blocked without a timeout is stopped.
    virtual void interruptRead() = 0;
};

enum class HidAccess { Read, Write };

// The operating system's HID service: listing the present collections and opening their nodes.
class HidBackend {
public:
    virtual ~HidBackend() = default;

    // Every present HID collection, in the order the system gives them. Never fails: no devices or
    // no access gives an empty list.
    virtual std::vector<HidCollectionInfo> enumerate() = 0;

    // Opens a node for reading input reports or for sending feature reports; null when it cannot
    // be opened (missing, no permission), with errno telling why.
    [[nodiscard]] virtual std::unique_ptr<HidHandle> open(const std::string& path, HidAccess access) = 0;
};

} // namespace krv
