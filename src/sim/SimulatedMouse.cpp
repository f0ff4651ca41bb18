// SPDX-License-Identifier: MIT
#include "sim/SimulatedMouse.h"

#include "mouse/ButtonCode.h"

#include <algorithm>
#include <cerrno>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <set>
#include <utility>

namespace krv {

namespace {

using Clock = std::chrono::steady_clock;
constexpr std::size_t QueueLimit = 64; // like hidraw, an unread node keeps at most this many reports

struct PendingReport {
    Clock::time_point due;
    std::vector<std::uint8_t> bytes;
};

// One open node: the reports waiting for it, and the plug cycle it belongs to.
struct HandleState {
    std::uint64_t plugCycle = 0;
    bool receivesReports = false;
    bool interrupted = false; // interruptRead() came: the current or next read returns 0
    std::deque<PendingReport> queue;
};

} // namespace

struct SimulatedMouse::Shared {
    mutable std::mutex mutex;
    std::condition_variable reportArrived;
    SimMouseState state;
    std::vector<Collection> order{Collection::Pointer, Collection::VendorInput, Collection::VendorFeature};
    std::vector<HidCollectionInfo> others;
    bool othersFirst = false;
    std::set<Collection> openFailures;
    std::chrono::milliseconds acknowledgementDelay{20};
    bool acknowledges = true;
    bool acknowledgementPending = false;
    std::uint64_t plugCycle = 0;
    std::vector<std::weak_ptr<HandleState>> handles;
    std::function<void()> onChange;

    // Caller holds the mutex.
    void deliver(std::vector<std::uint8_t> bytes, Clock::time_point due) {
        std::erase_if(handles, [](const std::weak_ptr<HandleState>& h) { return h.expired(); });
        for (const auto& weak : handles) {
            auto handle = weak.lock();
            if (!handle || !handle->receivesReports || handle->plugCycle != plugCycle)
                continue;
            if (handle->queue.size() >= QueueLimit)
                handle->queue.pop_front();
            handle->queue.push_back({due, bytes});
        }
        reportArrived.notify_all();
    }

    bool alive(const HandleState& handle) const { return state.plugged && handle.plugCycle == plugCycle; }

    // Runs the change callback outside the lock.
    void changed(std::unique_lock<std::mutex>& lock) {
        std::function<void()> callback = onChange;
        lock.unlock();
        if (callback)
            callback();
    }

    bool accept(std::span<const std::uint8_t> report) {
        if (report.size() < 4 || report[0] != FeatureReportId)
            return false;
        const std::uint8_t command = report[1];
        const std::uint8_t first = report[2];
        const std::uint8_t second = report[3];
        switch (static_cast<FeatureCommand>(command)) {
        case FeatureCommand::DpiLed:
            if (first < state.dpiPosition.size()) {
                state.dpiStage = first;
                state.dpiPosition[first] = DpiPositionOfByte(second);
                state.ledMode = LedModeOfByte(second);
            }
            break;
        case FeatureCommand::ButtonMap:
            if (first < state.buttonMap.size())
                state.buttonMap[first] = second;
            if (second == HostCode && acknowledges && !acknowledgementPending) {
                acknowledgementPending = true;
                ++state.acknowledgementsSent;
                std::vector<std::uint8_t> ack(InputReportLength, 0);
                ack[0] = AcknowledgementReportId;
                deliver(std::move(ack), Clock::now() + acknowledgementDelay);
            }
            break;
        case FeatureCommand::Wheel:
            state.wheelOption = first;
            break;
        case FeatureCommand::FireTime:
            state.fireTime = first;
            break;
        case FeatureCommand::Goodbye:
            state.goodbye = true;
            break;
        default:
            break; // the mouse takes commands it does not know and ignores them
        }
        state.featureReports.emplace_back(report.begin(), report.end());
        return true;
    }
};

namespace {

class SimHandle : public HidHandle {
public:
    SimHandle(std::shared_ptr<SimulatedMouse::Shared> shared, std::shared_ptr<HandleState> state)
        : m_shared(std::move(shared)), m_state(std::move(state)) {}

    bool sendFeatureReport(std::span<const std::uint8_t> report) override {
        std::unique_lock lock(m_shared->mutex);
        if (!m_shared->alive(*m_state) || m_shared->state.refusingSends)
            return false;
        if (!m_shared->accept(report))
            return false;
        m_shared->changed(lock);
        return true;
    }

    int readInputReport(std::span<std::uint8_t> buffer, std::chrono::milliseconds timeout) override {
        const Clock::time_point deadline =
            timeout < std::chrono::milliseconds::zero() ? Clock::time_point::max() : Clock::now() + timeout;
        std::unique_lock lock(m_shared->mutex);
        for (;;) {
            if (!m_shared->alive(*m_state))
                return -1;
            if (std::exchange(m_state->interrupted, false))
                return 0;
            const Clock::time_point now = Clock::now();
            auto& queue = m_state->queue;
            if (!queue.empty() && queue.front().due <= now) {
                PendingReport report = std::move(queue.front());
                queue.pop_front();
                if (report.bytes.size() >= 1 && report.bytes[0] == SimulatedMouse::AcknowledgementReportId)
                    m_shared->acknowledgementPending = false;
                const std::size_t n = std::min(report.bytes.size(), buffer.size());
                std::copy_n(report.bytes.begin(), n, buffer.begin());
                if (n == 0)
                    continue; // an empty report carries nothing
                return static_cast<int>(n);
            }
            if (now >= deadline)
                return 0;
            const Clock::time_point wake = queue.empty() ? deadline : std::min(deadline, queue.front().due);
            if (wake == Clock::time_point::max())
                m_shared->reportArrived.wait(lock);
            else
                m_shared->reportArrived.wait_until(lock, wake);
        }
    }

    void interruptRead() override {
        std::lock_guard lock(m_shared->mutex);
        m_state->interrupted = true;
        m_shared->reportArrived.notify_all();
    }

private:
    std::shared_ptr<SimulatedMouse::Shared> m_shared;
    std::shared_ptr<HandleState> m_state;
};

} // namespace

SimulatedMouse::SimulatedMouse() : m_shared(std::make_shared<Shared>()) {
    for (std::uint8_t b = 1; b <= 5; ++b)
        m_shared->state.buttonMap[b] = b;
}

SimulatedMouse::~SimulatedMouse() {
    // Open handles outlive the mouse and fail from now on.
    std::lock_guard lock(m_shared->mutex);
    m_shared->state.plugged = false;
    m_shared->onChange = nullptr;
    m_shared->reportArrived.notify_all();
}

HidCollectionInfo SimulatedMouse::collectionInfo(Collection collection) {
    HidCollectionInfo info;
    info.vendorId = VendorId;
    info.productId = ProductId;
    switch (collection) {
    case Collection::Pointer:
        info.path = PointerPath;
        info.usagePage = 0x0001;
        info.usage = 0x0002;
        info.inputReportLength = 7;
        info.inputReportIds = {PointerReportId};
        break;
    case Collection::VendorInput:
        info.path = VendorPath;
        info.usagePage = InputUsagePage;
        info.usage = VendorCollectionUsage;
        info.inputReportLength = InputReportLength;
        info.inputReportIds = {ButtonReportId, AcknowledgementReportId};
        break;
    case Collection::VendorFeature:
        info.path = VendorPath;
        info.usagePage = FeatureUsagePage;
        info.usage = VendorCollectionUsage;
        info.featureReportLength = FeatureReportLength;
        break;
    }
    return info;
}

void SimulatedMouse::setEnumerationOrder(std::vector<Collection> order) {
    std::lock_guard lock(m_shared->mutex);
    m_shared->order = std::move(order);
}

void SimulatedMouse::setOtherDevices(std::vector<HidCollectionInfo> others, bool listedFirst) {
    std::lock_guard lock(m_shared->mutex);
    m_shared->others = std::move(others);
    m_shared->othersFirst = listedFirst;
}

void SimulatedMouse::setOpenFailure(Collection collection, bool fails) {
    std::lock_guard lock(m_shared->mutex);
    if (fails)
        m_shared->openFailures.insert(collection);
    else
        m_shared->openFailures.erase(collection);
}

std::vector<HidCollectionInfo> SimulatedMouse::enumerate() {
    std::lock_guard lock(m_shared->mutex);
    std::vector<HidCollectionInfo> list;
    if (m_shared->state.plugged)
        for (Collection c : m_shared->order)
            list.push_back(collectionInfo(c));
    list.insert(m_shared->othersFirst ? list.begin() : list.end(), m_shared->others.begin(), m_shared->others.end());
    return list;
}

std::unique_ptr<HidHandle> SimulatedMouse::open(const std::string& path, HidAccess access) {
    std::lock_guard lock(m_shared->mutex);
    auto state = std::make_shared<HandleState>();
    state->plugCycle = m_shared->plugCycle;
    const bool mouseNode = path == PointerPath || path == VendorPath;
    if (mouseNode) {
        if (!m_shared->state.plugged)
            return nullptr;
        if (path == VendorPath) {
            const Collection wanted = access == HidAccess::Read ? Collection::VendorInput : Collection::VendorFeature;
            if (m_shared->openFailures.contains(wanted)) {
                errno = EACCES; // as a node without permission answers
                return nullptr;
            }
            state->receivesReports = access == HidAccess::Read;
        } else if (m_shared->openFailures.contains(Collection::Pointer)) {
            return nullptr;
        }
    } else {
        const bool listed = std::any_of(m_shared->others.begin(), m_shared->others.end(),
                                        [&](const HidCollectionInfo& info) { return info.path == path; });
        if (!listed)
            return nullptr;
    }
    m_shared->handles.push_back(state);
    return std::make_unique<SimHandle>(m_shared, std::move(state));
}

void SimulatedMouse::setAcknowledgementDelay(std::chrono::milliseconds delay) {
    std::lock_guard lock(m_shared->mutex);
    m_shared->acknowledgementDelay = delay;
}

void SimulatedMouse::setAcknowledges(bool acknowledges) {
    std::lock_guard lock(m_shared->mutex);
    m_shared->acknowledges = acknowledges;
}

void SimulatedMouse::press(std::uint8_t deviceButtonId) {
    std::vector<std::uint8_t> report(InputReportLength, 0);
    report[0] = ButtonReportId;
    report[1] = static_cast<std::uint8_t>(PressReportBase + deviceButtonId);
    sendInputReport(std::move(report));
}

void SimulatedMouse::release() {
    std::vector<std::uint8_t> report(InputReportLength, 0);
    report[0] = ButtonReportId;
    sendInputReport(std::move(report));
}

void SimulatedMouse::sendInputReport(std::vector<std::uint8_t> report) {
    std::lock_guard lock(m_shared->mutex);
    if (m_shared->state.plugged)
        m_shared->deliver(std::move(report), Clock::now());
}

void SimulatedMouse::unplug() {
    std::unique_lock lock(m_shared->mutex);
    m_shared->state.plugged = false;
    m_shared->acknowledgementPending = false;
    m_shared->reportArrived.notify_all();
    m_shared->changed(lock);
}

void SimulatedMouse::plugIn() {
    std::unique_lock lock(m_shared->mutex);
    if (m_shared->state.plugged)
        return;
    m_shared->state.plugged = true;
    ++m_shared->plugCycle; // handles of the earlier connection stay dead
    m_shared->changed(lock);
}

void SimulatedMouse::setRefuseSends(bool refuse) {
    std::unique_lock lock(m_shared->mutex);
    m_shared->state.refusingSends = refuse;
    m_shared->changed(lock);
}

SimMouseState SimulatedMouse::state() const {
    std::lock_guard lock(m_shared->mutex);
    return m_shared->state;
}

void SimulatedMouse::setChangeCallback(std::function<void()> onChange) {
    std::lock_guard lock(m_shared->mutex);
    m_shared->onChange = std::move(onChange);
}

} // namespace krv
