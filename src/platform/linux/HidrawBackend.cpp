// SPDX-License-Identifier: MIT
#include "platform/linux/HidrawBackend.h"

#include "device/ReportDescriptor.h"

#include <hidapi.h>

#include <cerrno>
#include <fcntl.h>
#include <fstream>
#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>
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

// Sends feature reports through hidapi. hidapi keeps an error text inside each device, so the
// device is used under the handle's lock.
class HidapiWriteHandle : public HidHandle {
public:
    explicit HidapiWriteHandle(hid_device* device) : m_device(device) {}
    ~HidapiWriteHandle() override { hid_close(m_device); }
    HidapiWriteHandle(const HidapiWriteHandle&) = delete;
    HidapiWriteHandle& operator=(const HidapiWriteHandle&) = delete;

    bool sendFeatureReport(std::span<const std::uint8_t> report) override {
        if (report.empty())
            return false;
        std::lock_guard lock(m_mutex);
        return hid_send_feature_report(m_device, report.data(), report.size()) >= 0;
    }
    int readInputReport(std::span<std::uint8_t>, std::chrono::milliseconds) override { return -1; }
    void interruptRead() override {}

private:
    hid_device* m_device;
    std::mutex m_mutex;
};

// Reads input reports from the hidraw node itself (one read() is one report, cut to the buffer, as
// hidapi does on Linux), waiting in poll() on the node and on an eventfd: the reader sleeps until a
// report comes, with no periodic wake-up, and interruptRead() wakes it at once.
class HidrawReadHandle : public HidHandle {
public:
    HidrawReadHandle(int fd, int wakeFd) : m_fd(fd), m_wakeFd(wakeFd) {}
    ~HidrawReadHandle() override {
        ::close(m_fd);
        ::close(m_wakeFd);
    }
    HidrawReadHandle(const HidrawReadHandle&) = delete;
    HidrawReadHandle& operator=(const HidrawReadHandle&) = delete;

    bool sendFeatureReport(std::span<const std::uint8_t>) override { return false; }

    int readInputReport(std::span<std::uint8_t> buffer, std::chrono::milliseconds timeout) override {
        if (buffer.empty())
            return -1;
        pollfd fds[2] = {{m_fd, POLLIN, 0}, {m_wakeFd, POLLIN, 0}};
        const int wait = timeout < std::chrono::milliseconds::zero() ? -1 : static_cast<int>(timeout.count());
        int ready;
        do {
            ready = ::poll(fds, 2, wait);
        } while (ready < 0 && errno == EINTR);
        if (ready < 0)
            return -1;
        if (fds[1].revents & POLLIN) {
            std::uint64_t count;
            [[maybe_unused]] ssize_t drained = ::read(m_wakeFd, &count, sizeof count);
            return 0;
        }
        if (fds[0].revents & (POLLERR | POLLHUP | POLLNVAL))
            return -1;
        if (!(fds[0].revents & POLLIN))
            return 0;
        const ssize_t n = ::read(m_fd, buffer.data(), buffer.size());
        if (n < 0)
            return (errno == EAGAIN || errno == EINTR) ? 0 : -1;
        return static_cast<int>(n);
    }

    void interruptRead() override {
        const std::uint64_t one = 1;
        [[maybe_unused]] ssize_t written = ::write(m_wakeFd, &one, sizeof one);
    }

private:
    int m_fd;
    int m_wakeFd;
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
    if (access == HidAccess::Read) {
        const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
        if (fd < 0)
            return nullptr;
        const int wakeFd = ::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
        if (wakeFd < 0) {
            ::close(fd);
            return nullptr;
        }
        return std::make_unique<HidrawReadHandle>(fd, wakeFd);
    }
    hid_device* device = hid_open_path(path.c_str());
    if (!device)
        return nullptr;
    return std::make_unique<HidapiWriteHandle>(device);
}

} // namespace krv
