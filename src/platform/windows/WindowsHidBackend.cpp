// SPDX-License-Identifier: MIT
#include "platform/windows/WindowsHidBackend.h"

#include "platform/windows/Win32Text.h"

#include <setupapi.h>
// hidsdi.h brings NTSTATUS, the usages and hidpi.h in the order they need.
extern "C" {
#include <hidsdi.h>
}

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstring>

namespace krv {

namespace {

// A collection's capabilities, read from its preparsed data (freed here).
bool readCaps(HANDLE device, HIDP_CAPS& caps) {
    PHIDP_PREPARSED_DATA preparsed = nullptr;
    if (!HidD_GetPreparsedData(device, &preparsed))
        return false;
    const bool ok = HidP_GetCaps(preparsed, &caps) == HIDP_STATUS_SUCCESS;
    HidD_FreePreparsedData(preparsed);
    return ok;
}

UniqueHandle openInterface(const std::wstring& path, DWORD access, DWORD flags) {
    return UniqueHandle(
        CreateFileW(path.c_str(), access, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, flags, nullptr));
}

HidInterfaceRecord probeInterface(const std::wstring& path) {
    HidInterfaceRecord record;
    record.path = Utf8FromWide(path);
    // No access asked: a query of attributes and capabilities needs none, and so works also on the
    // collections the system holds open for itself.
    const UniqueHandle device = openInterface(path, 0, 0);
    if (!device)
        return record;
    HIDD_ATTRIBUTES attributes{};
    attributes.Size = sizeof attributes;
    if (HidD_GetAttributes(device.get(), &attributes)) {
        record.vendorId = attributes.VendorID;
        record.productId = attributes.ProductID;
    }
    HIDP_CAPS caps{};
    if (readCaps(device.get(), caps)) {
        record.capsKnown = true;
        record.usagePage = caps.UsagePage;
        record.usage = caps.Usage;
        record.inputReportLength = caps.InputReportByteLength;
        record.featureReportLength = caps.FeatureReportByteLength;
    }
    return record;
}

// Frees a SetupAPI device information set.
struct DeviceInfoSet {
    HDEVINFO set;
    ~DeviceInfoSet() {
        if (set != INVALID_HANDLE_VALUE)
            SetupDiDestroyDeviceInfoList(set);
    }
};

} // namespace

std::vector<HidCollectionInfo> DescribeInterfaces(const std::vector<HidInterfaceRecord>& records) {
    std::vector<HidCollectionInfo> list;
    for (const HidInterfaceRecord& record : records) {
        if (!record.vendorId)
            continue;
        HidCollectionInfo info;
        info.path = record.path;
        info.vendorId = *record.vendorId;
        info.productId = record.productId;
        if (record.capsKnown) {
            info.usagePage = record.usagePage;
            info.usage = record.usage;
            info.inputReportLength = record.inputReportLength;
            info.featureReportLength = record.featureReportLength;
        }
        list.push_back(std::move(info));
    }
    return list;
}

std::vector<std::uint8_t> FeatureReportBuffer(std::span<const std::uint8_t> report, std::size_t featureLength) {
    if (report.empty() || featureLength == 0)
        return {};
    if (report.size() > featureLength && !std::all_of(report.begin() + static_cast<std::ptrdiff_t>(featureLength),
                                                      report.end(), [](std::uint8_t byte) { return byte == 0; }))
        return {};
    std::vector<std::uint8_t> buffer(featureLength, 0);
    std::copy_n(report.begin(), std::min(report.size(), featureLength), buffer.begin());
    return buffer;
}

int ErrnoOfWin32Error(std::uint32_t error) {
    switch (error) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
    case ERROR_INVALID_NAME:
    case ERROR_DEV_NOT_EXIST:
    case ERROR_DEVICE_NOT_CONNECTED:
        return ENOENT;
    case ERROR_ACCESS_DENIED:
        return EACCES;
    case ERROR_SHARING_VIOLATION:
    case ERROR_BUSY:
        return EBUSY;
    case ERROR_NOT_ENOUGH_MEMORY:
    case ERROR_OUTOFMEMORY:
        return ENOMEM;
    case ERROR_TOO_MANY_OPEN_FILES:
        return EMFILE;
    default:
        return EIO;
    }
}

// --- OverlappedReadHandle

std::unique_ptr<OverlappedReadHandle> OverlappedReadHandle::adopt(UniqueHandle device, std::size_t reportLength,
                                                                  std::string* error) {
    if (!device || reportLength == 0 || reportLength > ULONG_MAX) {
        if (error)
            *error = "no device or no input reports";
        return nullptr;
    }
    UniqueHandle completion(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    UniqueHandle wake(CreateEventW(nullptr, FALSE, FALSE, nullptr));
    if (!completion || !wake) {
        if (error)
            *error = "cannot create an event: " + LastErrorMessage();
        return nullptr;
    }
    return std::unique_ptr<OverlappedReadHandle>(
        new OverlappedReadHandle(std::move(device), std::move(completion), std::move(wake), reportLength));
}

OverlappedReadHandle::OverlappedReadHandle(UniqueHandle device, UniqueHandle completion, UniqueHandle wake,
                                           std::size_t reportLength)
    : m_device(std::move(device)), m_completion(std::move(completion)), m_wake(std::move(wake)),
      m_report(reportLength, 0) {}

void OverlappedReadHandle::interruptRead() {
    SetEvent(m_wake.get());
}

int OverlappedReadHandle::readInputReport(std::span<std::uint8_t> buffer, std::chrono::milliseconds timeout) {
    if (buffer.empty())
        return -1;
    // An interrupt that came between two reads ends this one at once (and is used up).
    if (WaitForSingleObject(m_wake.get(), 0) == WAIT_OBJECT_0)
        return 0;

    OVERLAPPED overlapped{};
    overlapped.hEvent = m_completion.get();
    ResetEvent(m_completion.get());
    DWORD transferred = 0;
    bool interrupted = false;
    if (!ReadFile(m_device.get(), m_report.data(), static_cast<DWORD>(m_report.size()), nullptr, &overlapped)) {
        const DWORD error = GetLastError();
        if (error != ERROR_IO_PENDING) {
            m_lastError = SystemErrorMessage(error);
            return -1;
        }
        const HANDLE waits[2] = {m_completion.get(), m_wake.get()};
        const DWORD wait = timeout < std::chrono::milliseconds::zero()
                               ? INFINITE
                               : static_cast<DWORD>(std::min<long long>(timeout.count(), INFINITE - 1));
        const DWORD woken = WaitForMultipleObjects(2, waits, FALSE, wait);
        interrupted = woken == WAIT_OBJECT_0 + 1;
        if (woken != WAIT_OBJECT_0)
            CancelIoEx(m_device.get(), &overlapped);
        // The record and the buffer stay in use until the read has ended, also when cancelled.
        if (!GetOverlappedResult(m_device.get(), &overlapped, &transferred, TRUE)) {
            const DWORD result = GetLastError();
            if (result == ERROR_OPERATION_ABORTED && woken != WAIT_FAILED)
                return 0;
            m_lastError = SystemErrorMessage(result);
            return -1;
        }
        if (woken == WAIT_FAILED) {
            m_lastError = LastErrorMessage();
            return -1;
        }
    } else if (!GetOverlappedResult(m_device.get(), &overlapped, &transferred, FALSE)) {
        m_lastError = LastErrorMessage();
        return -1;
    }
    if (interrupted)
        SetEvent(m_wake.get()); // the report is kept; the interrupt ends the next read
    const std::size_t length = std::min<std::size_t>({transferred, m_report.size(), buffer.size()});
    std::copy_n(m_report.begin(), length, buffer.begin());
    return static_cast<int>(length);
}

// --- HidFeatureHandle

HidFeatureHandle::HidFeatureHandle(UniqueHandle device, std::size_t featureLength)
    : m_device(std::move(device)), m_featureLength(featureLength) {}

bool HidFeatureHandle::sendFeatureReport(std::span<const std::uint8_t> report) {
    std::vector<std::uint8_t> buffer = FeatureReportBuffer(report, m_featureLength);
    if (buffer.empty())
        return false;
    std::lock_guard lock(m_mutex);
    return HidD_SetFeature(m_device.get(), buffer.data(), static_cast<ULONG>(buffer.size())) != FALSE;
}

std::optional<std::vector<std::uint8_t>> HidFeatureHandle::getFeatureReport(std::uint8_t reportId) {
    const std::uint8_t id[1] = {reportId};
    std::vector<std::uint8_t> buffer = FeatureReportBuffer(id, m_featureLength);
    if (buffer.empty())
        return std::nullopt;
    std::lock_guard lock(m_mutex);
    if (!HidD_GetFeature(m_device.get(), buffer.data(), static_cast<ULONG>(buffer.size())))
        return std::nullopt;
    return buffer;
}

// --- WindowsHidBackend

WindowsHidBackend::WindowsHidBackend() : m_lister(&WindowsHidBackend::ListHidInterfaces) {}

WindowsHidBackend::WindowsHidBackend(InterfaceLister lister) : m_lister(std::move(lister)) {}

std::vector<HidCollectionInfo> WindowsHidBackend::enumerate() {
    return DescribeInterfaces(m_lister());
}

std::vector<HidInterfaceRecord> WindowsHidBackend::ListHidInterfaces() {
    std::vector<HidInterfaceRecord> records;
    GUID hidClass;
    HidD_GetHidGuid(&hidClass);
    const DeviceInfoSet interfaces{
        SetupDiGetClassDevsW(&hidClass, nullptr, nullptr, DIGCF_PRESENT | DIGCF_DEVICEINTERFACE)};
    if (interfaces.set == INVALID_HANDLE_VALUE)
        return records;
    for (DWORD index = 0;; ++index) {
        SP_DEVICE_INTERFACE_DATA data{};
        data.cbSize = sizeof data;
        if (!SetupDiEnumDeviceInterfaces(interfaces.set, nullptr, &hidClass, index, &data))
            break; // ERROR_NO_MORE_ITEMS past the last one
        DWORD size = 0;
        SetupDiGetDeviceInterfaceDetailW(interfaces.set, &data, nullptr, 0, &size, nullptr);
        if (size < sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_W))
            continue;
        // Storage aligned for the detail record, which ends in the path.
        std::vector<std::uint64_t> storage((size + sizeof(std::uint64_t) - 1) / sizeof(std::uint64_t));
        auto* detail = reinterpret_cast<SP_DEVICE_INTERFACE_DETAIL_DATA_W*>(storage.data());
        detail->cbSize = sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_W);
        if (!SetupDiGetDeviceInterfaceDetailW(interfaces.set, &data, detail, size, nullptr, nullptr))
            continue;
        const std::size_t maxChars = (size - offsetof(SP_DEVICE_INTERFACE_DETAIL_DATA_W, DevicePath)) / sizeof(wchar_t);
        const std::wstring path(detail->DevicePath, wcsnlen(detail->DevicePath, maxChars));
        records.push_back(probeInterface(path));
    }
    return records;
}

std::unique_ptr<HidHandle> WindowsHidBackend::open(const std::string& path, HidAccess access) {
    auto fail = [this](DWORD error, const std::string& message) -> std::unique_ptr<HidHandle> {
        {
            std::lock_guard lock(m_errorMutex);
            m_lastOpenError = message;
        }
        errno = ErrnoOfWin32Error(error);
        return nullptr;
    };
    const std::optional<std::wstring> widePath = WideFromUtf8(path);
    if (!widePath)
        return fail(ERROR_INVALID_NAME, SystemErrorMessage(ERROR_INVALID_NAME));
    const bool read = access == HidAccess::Read;
    UniqueHandle device =
        openInterface(*widePath, read ? GENERIC_READ : GENERIC_READ | GENERIC_WRITE, read ? FILE_FLAG_OVERLAPPED : 0);
    if (!device) {
        const DWORD error = GetLastError();
        return fail(error, SystemErrorMessage(error));
    }
    HIDP_CAPS caps{};
    if (!readCaps(device.get(), caps)) {
        const DWORD error = GetLastError();
        return fail(error, "not a HID collection: " + SystemErrorMessage(error));
    }
    if (!read)
        return std::make_unique<HidFeatureHandle>(std::move(device), caps.FeatureReportByteLength);
    std::string error;
    auto handle = OverlappedReadHandle::adopt(std::move(device), caps.InputReportByteLength, &error);
    if (!handle)
        return fail(ERROR_INVALID_FUNCTION, error);
    return handle;
}

std::string WindowsHidBackend::lastOpenError() const {
    std::lock_guard lock(m_errorMutex);
    return m_lastOpenError;
}

} // namespace krv
