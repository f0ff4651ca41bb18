// SPDX-License-Identifier: MIT
#pragma once

#include "platform/windows/UniqueHandle.h"
#include "ports/HidBackend.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace krv {

// What the system tells about one HID interface (one top-level collection on Windows: a device with
// several collections has one interface path per collection, "...&col01#...", "...&col02#...").
struct HidInterfaceRecord {
    std::string path; // the interface path, UTF-8
    // From HidD_GetAttributes; nothing when the interface could not be asked (opened for a query).
    std::optional<std::uint16_t> vendorId;
    std::uint16_t productId = 0;
    // From HidP_GetCaps; false when the collection's capabilities could not be read.
    bool capsKnown = false;
    std::uint16_t usagePage = 0;
    std::uint16_t usage = 0;
    std::uint16_t inputReportLength = 0; // report id byte included, as HidP_GetCaps counts
    std::uint16_t featureReportLength = 0;

    bool operator==(const HidInterfaceRecord&) const = default;
};

// The listing the core sees, in the system's order: an interface whose ids could not be read is left
// out (nothing can be said of it); one whose capabilities could not be read is listed with usage and
// lengths 0, so it is never taken for a vendor collection. Input report ids stay empty: a Windows
// interface delivers only its own collection's reports.
std::vector<HidCollectionInfo> DescribeInterfaces(const std::vector<HidInterfaceRecord>& records);

// The buffer HidD_SetFeature / HidD_GetFeature are given: exactly the collection's feature report
// length (the HID class driver refuses other lengths), the report followed by zeros. Empty when the
// report cannot be sent: an empty report, a collection without feature reports, or a report longer
// than the collection's whose extra bytes are not all zero.
std::vector<std::uint8_t> FeatureReportBuffer(std::span<const std::uint8_t> report, std::size_t featureLength);

// errno for a Win32 error of opening a device (the port reports open failures through errno).
int ErrnoOfWin32Error(std::uint32_t error);

// Input reports from a handle opened for overlapped I/O (FILE_FLAG_OVERLAPPED): each read is one
// ReadFile of `reportLength` bytes (the collection's input report length, which the HID class
// driver requires), waiting on its completion and on a wake event together, so the reader sleeps
// until a report comes and interruptRead() wakes it at once; an interrupted or timed-out read is
// cancelled with CancelIoEx. A report that completes at the moment of the interrupt is returned, and
// the interrupt then ends the next read instead.
class OverlappedReadHandle final : public HidHandle {
public:
    // Takes ownership of `device`. Nothing (and `device` closed) when the events cannot be made.
    static std::unique_ptr<OverlappedReadHandle> adopt(UniqueHandle device, std::size_t reportLength,
                                                       std::string* error = nullptr);
    ~OverlappedReadHandle() override = default;

    bool sendFeatureReport(std::span<const std::uint8_t>) override { return false; }
    int readInputReport(std::span<std::uint8_t> buffer, std::chrono::milliseconds timeout) override;
    void interruptRead() override;
    // The system's message for the last read that returned -1.
    const std::string& lastError() const { return m_lastError; }

private:
    OverlappedReadHandle(UniqueHandle device, UniqueHandle completion, UniqueHandle wake, std::size_t reportLength);

    UniqueHandle m_device;
    UniqueHandle m_completion; // manual-reset, the OVERLAPPED record's event
    UniqueHandle m_wake;       // auto-reset, set by interruptRead
    std::vector<std::uint8_t> m_report;
    std::string m_lastError;
};

// Feature reports to a collection opened for writing, sent with HidD_SetFeature padded to the
// collection's feature report length; sends from several threads go one at a time.
class HidFeatureHandle final : public HidHandle {
public:
    HidFeatureHandle(UniqueHandle device, std::size_t featureLength);

    bool sendFeatureReport(std::span<const std::uint8_t> report) override;
    int readInputReport(std::span<std::uint8_t>, std::chrono::milliseconds) override { return -1; }
    void interruptRead() override {}
    // Reads the feature report `reportId` with HidD_GetFeature; nothing when the device refuses.
    std::optional<std::vector<std::uint8_t>> getFeatureReport(std::uint8_t reportId);

private:
    std::mutex m_mutex;
    UniqueHandle m_device;
    std::size_t m_featureLength;
};

// HidBackend on the Windows HID class driver: SetupAPI lists the present HID interfaces; each is
// opened for a query only (no access, so also the system's own keyboards and mice) to read its ids
// (HidD_GetAttributes) and its collection's usage and report lengths (HidP_GetCaps). open() opens an
// interface for overlapped reads of input reports, or for HidD_SetFeature; a failed open sets errno
// and keeps the system's message in lastOpenError().
class WindowsHidBackend final : public HidBackend {
public:
    using InterfaceLister = std::function<std::vector<HidInterfaceRecord>()>;

    // The system's HID interfaces (ListHidInterfaces).
    WindowsHidBackend();
    // The listing comes from `lister` (tests); open() still opens real paths.
    explicit WindowsHidBackend(InterfaceLister lister);

    std::vector<HidCollectionInfo> enumerate() override;
    std::unique_ptr<HidHandle> open(const std::string& path, HidAccess access) override;
    std::string lastOpenError() const;

    // Every present HID interface, through SetupDiGetClassDevsW (present device interfaces of the
    // HID class) and a query-only open of each.
    static std::vector<HidInterfaceRecord> ListHidInterfaces();

private:
    InterfaceLister m_lister;
    mutable std::mutex m_errorMutex;
    std::string m_lastOpenError;
};

} // namespace krv
