// SPDX-License-Identifier: MIT
#include "UhidDevice.h"

#include <fcntl.h>
#include <linux/uhid.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace krv::guest {

UhidDevice::UhidDevice(SetReportHandler handler)
    : m_handler(std::move(handler))
{
}

UhidDevice::~UhidDevice()
{
    destroy();
}

bool UhidDevice::create(const UhidIdentity& identity, std::string& error)
{
    if (m_fd >= 0) {
        error = "already created";
        return false;
    }
    if (identity.descriptor.size() > HID_MAX_DESCRIPTOR_SIZE) {
        error = "report descriptor too long";
        return false;
    }
    m_fd = ::open("/dev/uhid", O_RDWR | O_CLOEXEC);
    if (m_fd < 0) {
        error = std::string("cannot open /dev/uhid: ") + std::strerror(errno);
        return false;
    }
    uhid_event event{};
    event.type = UHID_CREATE2;
    auto& create = event.u.create2;
    std::snprintf(reinterpret_cast<char*>(create.name), sizeof create.name, "%s", identity.name.c_str());
    std::snprintf(reinterpret_cast<char*>(create.phys), sizeof create.phys, "uhid-guest-test");
    create.rd_size = static_cast<__u16>(identity.descriptor.size());
    create.bus = identity.bus;
    create.vendor = identity.vendor;
    create.product = identity.product;
    create.version = identity.version;
    std::memcpy(create.rd_data, identity.descriptor.data(), identity.descriptor.size());
    if (!writeEvent(&event, sizeof event)) {
        error = std::string("UHID_CREATE2 failed: ") + std::strerror(errno);
        ::close(m_fd);
        m_fd = -1;
        return false;
    }
    m_stopFd = ::eventfd(0, EFD_CLOEXEC);
    m_thread = std::thread([this] { serve(); });
    return true;
}

bool UhidDevice::destroy()
{
    if (m_fd < 0) {
        return false;
    }
    uhid_event event{};
    event.type = UHID_DESTROY;
    const bool ok = writeEvent(&event, sizeof event);
    const std::uint64_t one = 1;
    [[maybe_unused]] const auto written = ::write(m_stopFd, &one, sizeof one);
    m_thread.join();
    ::close(m_stopFd);
    ::close(m_fd);
    m_fd = -1;
    m_stopFd = -1;
    return ok;
}

bool UhidDevice::sendInput(std::span<const std::uint8_t> report)
{
    if (m_fd < 0 || report.size() > UHID_DATA_MAX) {
        return false;
    }
    uhid_event event{};
    event.type = UHID_INPUT2;
    event.u.input2.size = static_cast<__u16>(report.size());
    std::memcpy(event.u.input2.data, report.data(), report.size());
    return writeEvent(&event, sizeof event);
}

bool UhidDevice::writeEvent(const void* event, std::size_t size)
{
    const ssize_t n = ::write(m_fd, event, size);
    return n == static_cast<ssize_t>(size);
}

bool UhidDevice::waitStarted(std::chrono::milliseconds limit)
{
    std::unique_lock lock(m_mutex);
    return m_changed.wait_for(lock, limit, [this] { return m_started; });
}

std::vector<Bytes> UhidDevice::waitSetReports(std::size_t count, std::chrono::milliseconds limit)
{
    std::unique_lock lock(m_mutex);
    m_changed.wait_for(lock, limit, [&] { return m_setReports.size() >= count; });
    return m_setReports;
}

bool UhidDevice::waitOpenState(bool open, std::chrono::milliseconds limit)
{
    std::unique_lock lock(m_mutex);
    return m_changed.wait_for(lock, limit, [&] { return m_open == open; });
}

void UhidDevice::serve()
{
    for (;;) {
        pollfd fds[2] = {{m_fd, POLLIN, 0}, {m_stopFd, POLLIN, 0}};
        if (::poll(fds, 2, -1) < 0) {
            if (errno == EINTR) {
                continue;
            }
            return;
        }
        if (fds[1].revents != 0) {
            return;
        }
        if ((fds[0].revents & POLLIN) == 0) {
            continue;
        }
        uhid_event event{};
        if (::read(m_fd, &event, sizeof event) <= 0) {
            continue;
        }
        switch (event.type) {
        case UHID_START: {
            std::lock_guard lock(m_mutex);
            m_started = true;
            break;
        }
        case UHID_OPEN: {
            std::lock_guard lock(m_mutex);
            m_open = true;
            break;
        }
        case UHID_CLOSE: {
            std::lock_guard lock(m_mutex);
            m_open = false;
            break;
        }
        case UHID_SET_REPORT: {
            const auto& request = event.u.set_report;
            const std::size_t size = std::min<std::size_t>(request.size, UHID_DATA_MAX);
            Bytes data(request.data, request.data + size);
            SetReportAnswer answer = m_handler ? m_handler(request.rtype, data) : SetReportAnswer{};
            uhid_event reply{};
            reply.type = UHID_SET_REPORT_REPLY;
            reply.u.set_report_reply.id = request.id;
            reply.u.set_report_reply.err = static_cast<__u16>(answer.error);
            writeEvent(&reply, sizeof reply);
            for (const Bytes& input : answer.inputsAfter) {
                sendInput(input);
            }
            std::lock_guard lock(m_mutex);
            m_setReports.push_back(std::move(data));
            break;
        }
        case UHID_GET_REPORT: {
            uhid_event reply{};
            reply.type = UHID_GET_REPORT_REPLY;
            reply.u.get_report_reply.id = event.u.get_report.id;
            reply.u.get_report_reply.err = EIO;
            writeEvent(&reply, sizeof reply);
            break;
        }
        default:
            break;
        }
        m_changed.notify_all();
    }
}

} // namespace krv::guest
