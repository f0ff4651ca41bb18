// SPDX-License-Identifier: MIT
#pragma once

#include "device/FeatureReport.h"
#include "ports/DeviceChange.h"
#include "ports/HidBackend.h"

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <stop_token>
#include <string>
#include <string_view>

namespace krv {

// The connection to the mouse: its read collection (usage page 0xFF00, usage 1: vendor input
// reports) and its write collection (0xFF01, usage 1: vendor feature reports), their report lengths
// and the device path. One per process.
//
// The mouse counts as connected only when both collections are open: a mouse with one collection
// missing, or one that could not be opened, is not connected.
//
// Thread use: ScanForMouse and the device-change handling run on the UI thread; SendFeatureReport
// may be called from any thread at once; ReportReader takes the read handle with waitForReadHandle.
// Handles are shared pointers, so a scan or a removal never closes a node under a running read.
class DeviceLink : public FeatureReportSender {
public:
    static constexpr std::uint16_t VendorId = MouseVendorId;
    static constexpr std::uint16_t ProductId = MouseProductId;
    static constexpr std::uint16_t ReadUsagePage = InputUsagePage;
    static constexpr std::uint16_t WriteUsagePage = FeatureUsagePage;
    static constexpr std::uint16_t VendorUsage = VendorCollectionUsage;
    static constexpr int MaxInterfaces = 100; // a scan examines at most this many collections

    explicit DeviceLink(HidBackend& backend);
    ~DeviceLink() override;
    DeviceLink(const DeviceLink&) = delete;
    DeviceLink& operator=(const DeviceLink&) = delete;

    // Examines the present collections in the system's order, at most MaxInterfaces of them. Every
    // collection with the mouse's ids makes its path the DevicePath; the 0xFF00/1 collection is
    // opened for reading and the 0xFF01/1 collection for writing; the scan stops as soon as both
    // were tried (opened or failed). Handles of an earlier scan are closed first.
    // Returns Connected: true exactly when both handles are open.
    [[nodiscard]] bool ScanForMouse();

    // Why the last scan did not connect, for a message the user can act on.
    struct ScanReport {
        enum class Problem {
            None,              // connected
            NotPluggedIn,      // no collection with the mouse's ids
            NotAccessible,     // a vendor collection is there but cannot be opened
            CollectionMissing, // plugged in, but a vendor collection is absent
        };
        Problem problem = Problem::NotPluggedIn;
        std::string node;   // the node concerned
        std::string detail; // the system's reason, or which collection is missing
    };
    ScanReport lastScan() const;

    // True when `path` equals DevicePath without regard to ASCII letter case.
    bool IsOurDevice(std::string_view path) const;

    // Device-change handling. An arrival of our path while not connected scans again. A removal of
    // our path clears Connected, closes the handles and calls the removal callback (the program ends).
    // Other paths are ignored. Returns true when the change concerned the mouse.
    bool handleDeviceChange(const DeviceChange& change);
    void setRemovalCallback(std::function<void()> onRemoved);
    // Called after an arrival's scan, with its result.
    void setArrivalCallback(std::function<void(bool connected)> onArrival);

    bool connected() const { return m_connected.load(std::memory_order_acquire); }
    std::string devicePath() const;
    std::uint16_t inputReportLength() const { return m_inputReportLength.load(std::memory_order_acquire); }
    std::uint16_t featureReportLength() const { return m_featureReportLength.load(std::memory_order_acquire); }
    std::optional<HidCollectionInfo> readCollection() const;
    std::optional<HidCollectionInfo> writeCollection() const;

    // FeatureReportSender: one FeatureReport of FeatureReportLength bytes per call.
    [[nodiscard]] bool SendFeatureReport(FeatureCommand command, std::uint8_t first, std::uint8_t second) override;
    bool writeHandleOpen() const override;

    std::shared_ptr<HidHandle> readHandle() const;
    // True when an input report with this first byte belongs to the read collection (its node may
    // carry the reports of the mouse's other collections too).
    bool isReadCollectionReport(std::uint8_t reportId) const;
    // Blocks until a read handle is open or stop is requested (then returns null). No polling. The
    // one who requests the stop wakes the wait with wakeWaits().
    std::shared_ptr<HidHandle> waitForReadHandle(std::stop_token stop);
    // Blocks until the handles change (a scan or a removal), stop is requested or `timeout` passes.
    void waitForHandleChange(std::stop_token stop, std::chrono::milliseconds timeout);
    // Wakes the two waits above to look at their stop token again: called after a stop request.
    // (The waits take no stop callback: under MinGW's C++ library, removing a stop callback while
    // the stop request runs it can wait forever.)
    void wakeWaits();

    // Closes both handles and clears Connected (program end, tests).
    void close();

private:
    // Says in the device log what the scan found.
    void logScan(const ScanReport& report, std::size_t collectionCount) const;
    void setHandles(std::shared_ptr<HidHandle> read, std::shared_ptr<HidHandle> write);

    HidBackend& m_backend;
    mutable std::mutex m_mutex;
    std::condition_variable m_handlesChanged;
    std::shared_ptr<HidHandle> m_read;
    std::shared_ptr<HidHandle> m_write;
    std::uint64_t m_generation = 0;
    std::string m_devicePath;
    std::optional<HidCollectionInfo> m_readCollection;
    std::optional<HidCollectionInfo> m_writeCollection;
    ScanReport m_lastScan;
    std::function<void()> m_onRemoved;
    std::function<void(bool)> m_onArrival;
    std::atomic<bool> m_connected{false};
    std::atomic<std::uint16_t> m_inputReportLength{0};
    std::atomic<std::uint16_t> m_featureReportLength{0};
};

} // namespace krv
