#include "platform/linux/HidrawBackend.h"

#include "device/ReportDescriptor.h"

#include <hidapi.h>

#include <fstream>
#include <iterator>
#include <mutex>
#include <optional>
#include <set>
#include <utility>

namespace krv {

namespace {

constexpr std::size_t MaxDescriptorBytes = 16384;

void initHidapiOnce() {
    static std::once_flag once;
    std::call_once(once, [] { hid_init(); });
}

// hidapi keeps an error text inside each device, so one hid_device is never used by two threads at
// once: a read handle is only read, a write handle only sends, under its own lock.
class HidrawHandle : public HidHandle {
public:
    HidrawHandle(hid_device* device, HidAccess access) : m_device(device), m_access(access) {}
    ~HidrawHandle() override { hid_close(m_device); }
    HidrawHandle(const HidrawHandle&) = delete;
    HidrawHandle& operator=(const HidrawHandle&) = delete;

    bool sendFeatureReport(std::span<const std::uint8_t> report) override {
        if (m_access != HidAccess::Write || report.empty())
            return false;
        std::lock_guard lock(m_mutex);
        return hid_send_feature_report(m_device, report.data(), report.size()) >= 0;
    }

    int readInputReport(std::span<std::uint8_t> buffer, std::chrono::milliseconds timeout) override {
        if (m_access != HidAccess::Read || buffer.empty())
            return -1;
        std::lock_guard lock(m_mutex);
        const int result = hid_read_timeout(m_device, buffer.data(), buffer.size(), static_cast<int>(timeout.count()));
        return result < 0 ? -1 : result;
    }

private:
    hid_device* m_device;
    HidAccess m_access;
    std::mutex m_mutex;
};

} // namespace

HidrawBackend::HidrawBackend(std::filesystem::path sysfsRoot) : m_sysfsRoot(std::move(sysfsRoot)) {
    initHidapiOnce();
}

HidrawBackend::~HidrawBackend() = default;

std::vector<HidCollectionInfo> HidrawBackend::enumerate() {
    std::vector<HidCollectionInfo> list;
    hid_device_info* devices = hid_enumerate(0, 0);
    for (const hid_device_info* d = devices; d; d = d->next) {
        HidCollectionInfo info;
        info.path = d->path ? d->path : "";
        info.vendorId = d->vendor_id;
        info.productId = d->product_id;
        info.usagePage = d->usage_page;
        info.usage = d->usage;
        list.push_back(std::move(info));
    }
    hid_free_enumeration(devices);
    return describeCollections(list);
}

std::vector<HidCollectionInfo> HidrawBackend::describeCollections(const std::vector<HidCollectionInfo>& listed) const {
    std::vector<HidCollectionInfo> result;
    std::set<std::string> done;
    for (const HidCollectionInfo& first : listed) {
        if (!done.insert(first.path).second)
            continue; // the node was described at its first entry
        const std::string node = std::filesystem::path(first.path).filename().string();
        std::ifstream in(m_sysfsRoot / "class" / "hidraw" / node / "device" / "report_descriptor", std::ios::binary);
        std::vector<std::uint8_t> bytes;
        char c;
        while (bytes.size() < MaxDescriptorBytes && in.get(c))
            bytes.push_back(static_cast<std::uint8_t>(c));
        const auto parsed = bytes.empty() ? std::nullopt : ParseReportDescriptor(bytes);
        if (parsed && !parsed->empty()) {
            for (const TopLevelCollection& tlc : *parsed) {
                HidCollectionInfo info = first;
                info.usagePage = tlc.usagePage;
                info.usage = tlc.usage;
                info.inputReportLength = tlc.inputReportLength;
                info.featureReportLength = tlc.featureReportLength;
                info.inputReportIds = tlc.inputReportIds;
                result.push_back(std::move(info));
            }
            continue;
        }
        for (const HidCollectionInfo& entry : listed)
            if (entry.path == first.path)
                result.push_back(entry);
    }
    return result;
}

std::unique_ptr<HidHandle> HidrawBackend::open(const std::string& path, HidAccess access) {
    hid_device* device = hid_open_path(path.c_str());
    if (!device)
        return nullptr;
    return std::make_unique<HidrawHandle>(device, access);
}

} // namespace krv
