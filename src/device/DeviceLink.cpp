// SPDX-License-Identifier: MIT
#include "device/DeviceLink.h"

#include "log/Log.h"

#include <cerrno>
#include <cstring>

#include <algorithm>
#include <utility>

namespace krv {

namespace {

char asciiLower(char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

bool equalsIgnoringAsciiCase(std::string_view a, std::string_view b) {
    return a.size() == b.size() &&
           std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) { return asciiLower(x) == asciiLower(y); });
}

} // namespace

DeviceLink::DeviceLink(HidBackend& backend) : m_backend(backend) {}

DeviceLink::~DeviceLink() {
    close();
}

bool DeviceLink::ScanForMouse() {
    // Handles of an earlier scan are closed first (a running read keeps its node until it returns).
    setHandles(nullptr, nullptr);
    m_connected.store(false, std::memory_order_release);

    const std::vector<HidCollectionInfo> collections = m_backend.enumerate();
    std::shared_ptr<HidHandle> read;
    std::shared_ptr<HidHandle> write;
    bool readTried = false;
    bool writeTried = false;
    std::optional<HidCollectionInfo> readInfo;
    std::optional<HidCollectionInfo> writeInfo;
    std::string path;
    {
        std::lock_guard lock(m_mutex);
        path = m_devicePath;
    }

    ScanReport report;
    auto openFailed = [&](const std::string& node) {
        if (report.problem == ScanReport::Problem::NotAccessible)
            return; // the first failure is the one told
        report = {ScanReport::Problem::NotAccessible, node, std::strerror(errno)};
    };
    const std::size_t count = std::min<std::size_t>(collections.size(), MaxInterfaces);
    for (std::size_t i = 0; i < count; ++i) {
        const HidCollectionInfo& info = collections[i];
        if (info.vendorId != VendorId || info.productId != ProductId)
            continue;
        path = info.path;
        if (info.usagePage == ReadUsagePage && info.usage == VendorUsage && !readTried) {
            readTried = true;
            readInfo = info;
            read = m_backend.open(info.path, HidAccess::Read);
            if (!read)
                openFailed(info.path);
        } else if (info.usagePage == WriteUsagePage && info.usage == VendorUsage && !writeTried) {
            writeTried = true;
            writeInfo = info;
            write = m_backend.open(info.path, HidAccess::Write);
            if (!write)
                openFailed(info.path);
        }
        if (readTried && writeTried)
            break;
    }

    const bool connected = read != nullptr && write != nullptr;
    if (connected)
        report = {ScanReport::Problem::None, path, {}};
    else if (report.problem != ScanReport::Problem::NotAccessible && !path.empty())
        report = {ScanReport::Problem::CollectionMissing, path,
                  !readInfo ? "vendor input interface (usage page 0xFF00)" : "vendor feature interface (usage page 0xFF01)"};
    {
        std::lock_guard lock(m_mutex);
        m_lastScan = report;
        m_devicePath = path;
        m_readCollection = readInfo;
        m_writeCollection = writeInfo;
    }
    m_inputReportLength.store(readInfo ? readInfo->inputReportLength : 0, std::memory_order_release);
    m_featureReportLength.store(writeInfo ? writeInfo->featureReportLength : 0, std::memory_order_release);
    if (connected)
        setHandles(std::move(read), std::move(write));
    m_connected.store(connected, std::memory_order_release);
    logScan(report, collections.size());
    return connected;
}

void DeviceLink::logScan(const ScanReport& report, std::size_t collectionCount) const {
    LogLine line = LogDetail(LogCategory::Device);
    line << "scan of " << collectionCount << " HID collections: ";
    switch (report.problem) {
    case ScanReport::Problem::None:
        line << "the mouse at " << report.node << " (input reports of " << inputReportLength()
             << " bytes, feature reports of " << featureReportLength() << " bytes)";
        break;
    case ScanReport::Problem::NotPluggedIn:
        line << "the mouse is not plugged in";
        break;
    case ScanReport::Problem::NotAccessible:
        line << "the mouse is plugged in but " << report.node << " cannot be opened: " << report.detail;
        break;
    case ScanReport::Problem::CollectionMissing:
        line << "the mouse at " << report.node << " has no " << report.detail;
        break;
    }
}

DeviceLink::ScanReport DeviceLink::lastScan() const {
    std::lock_guard lock(m_mutex);
    return m_lastScan;
}

bool DeviceLink::IsOurDevice(std::string_view path) const {
    std::lock_guard lock(m_mutex);
    return !m_devicePath.empty() && equalsIgnoringAsciiCase(path, m_devicePath);
}

bool DeviceLink::handleDeviceChange(const DeviceChange& change) {
    if (!IsOurDevice(change.path))
        return false;
    LogDetail(LogCategory::Device) << (change.kind == DeviceChange::Kind::Arrival ? "arrival of " : "removal of ")
                                   << change.path;
    if (change.kind == DeviceChange::Kind::Arrival) {
        if (connected())
            return true;
        const bool now = ScanForMouse();
        std::function<void(bool)> onArrival;
        {
            std::lock_guard lock(m_mutex);
            onArrival = m_onArrival;
        }
        if (onArrival)
            onArrival(now);
        return true;
    }
    m_connected.store(false, std::memory_order_release);
    setHandles(nullptr, nullptr);
    std::function<void()> onRemoved;
    {
        std::lock_guard lock(m_mutex);
        onRemoved = m_onRemoved;
    }
    if (onRemoved)
        onRemoved();
    return true;
}

void DeviceLink::setRemovalCallback(std::function<void()> onRemoved) {
    std::lock_guard lock(m_mutex);
    m_onRemoved = std::move(onRemoved);
}

void DeviceLink::setArrivalCallback(std::function<void(bool)> onArrival) {
    std::lock_guard lock(m_mutex);
    m_onArrival = std::move(onArrival);
}

std::string DeviceLink::devicePath() const {
    std::lock_guard lock(m_mutex);
    return m_devicePath;
}

std::optional<HidCollectionInfo> DeviceLink::readCollection() const {
    std::lock_guard lock(m_mutex);
    return m_readCollection;
}

std::optional<HidCollectionInfo> DeviceLink::writeCollection() const {
    std::lock_guard lock(m_mutex);
    return m_writeCollection;
}

bool DeviceLink::SendFeatureReport(FeatureCommand command, std::uint8_t first, std::uint8_t second) {
    std::shared_ptr<HidHandle> write;
    {
        std::lock_guard lock(m_mutex);
        write = m_write;
    }
    if (!write)
        return false;
    const FeatureReport report(command, first, second, featureReportLength());
    if (!report.valid())
        return false;
    const bool sent = write->sendFeatureReport(report.bytes());
    {
        LogLine line = LogDetail(LogCategory::Device);
        line << "feature report";
        for (const std::uint8_t byte : report.bytes())
            line << ' ' << HexByte(byte);
        line << (sent ? "" : ": not sent");
    }
    return sent;
}

bool DeviceLink::writeHandleOpen() const {
    std::lock_guard lock(m_mutex);
    return m_write != nullptr;
}

bool DeviceLink::isReadCollectionReport(std::uint8_t reportId) const {
    std::lock_guard lock(m_mutex);
    if (!m_readCollection || m_readCollection->inputReportIds.empty())
        return true;
    const auto& ids = m_readCollection->inputReportIds;
    return std::find(ids.begin(), ids.end(), reportId) != ids.end();
}

std::shared_ptr<HidHandle> DeviceLink::readHandle() const {
    std::lock_guard lock(m_mutex);
    return m_read;
}

std::shared_ptr<HidHandle> DeviceLink::waitForReadHandle(std::stop_token stop) {
    std::unique_lock lock(m_mutex);
    m_handlesChanged.wait(lock, [&] { return m_read != nullptr || stop.stop_requested(); });
    return stop.stop_requested() ? nullptr : m_read;
}

void DeviceLink::waitForHandleChange(std::stop_token stop, std::chrono::milliseconds timeout) {
    std::unique_lock lock(m_mutex);
    const std::uint64_t seen = m_generation;
    m_handlesChanged.wait_for(lock, timeout, [&] { return m_generation != seen || stop.stop_requested(); });
}

void DeviceLink::wakeWaits() {
    // Taking the lock orders the wake after a waiter's look at its stop token: a waiter that looked
    // before the stop was requested is waiting by now, and is woken.
    { std::lock_guard lock(m_mutex); }
    m_handlesChanged.notify_all();
}

void DeviceLink::close() {
    m_connected.store(false, std::memory_order_release);
    setHandles(nullptr, nullptr);
}

void DeviceLink::setHandles(std::shared_ptr<HidHandle> read, std::shared_ptr<HidHandle> write) {
    std::shared_ptr<HidHandle> oldRead;
    std::shared_ptr<HidHandle> oldWrite;
    {
        std::lock_guard lock(m_mutex);
        oldRead = std::exchange(m_read, std::move(read));
        oldWrite = std::exchange(m_write, std::move(write));
        if (oldRead == m_read)
            oldRead.reset();
        ++m_generation;
    }
    m_handlesChanged.notify_all();
    // A reader still blocked on the old read handle lets go of it.
    if (oldRead)
        oldRead->interruptRead();
    // oldRead and oldWrite close here, outside the lock (or later, when a running read lets go).
}

} // namespace krv
