// SPDX-License-Identifier: MIT
// Checks the kernel's side of the road on its own, with plain hidraw calls and hidapi: a uhid device
// with the mouse's ids and descriptor shows up as one hidraw node carrying both vendor collections,
// a feature report written to the node reaches the device unchanged, input reports the device sends
// come out of the node, and the node reports its removal.

#include "GuestChecks.h"
#include "MouseDescriptor.h"
#include "UeventListener.h"
#include "UhidDevice.h"

#include <fcntl.h>
#include <hidapi/hidapi.h>
#include <libudev.h>
#include <linux/hidraw.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <cstring>
#include <string>

using namespace krv::guest;
using namespace std::chrono_literals;

namespace {

std::string hex(const Bytes& bytes)
{
    std::string out;
    char part[4];
    for (std::uint8_t b : bytes) {
        std::snprintf(part, sizeof part, "%02x ", b);
        out += part;
    }
    return out;
}

// One report from the node, or an empty result when none came within the limit or the read failed.
Bytes readReport(int fd, std::chrono::milliseconds limit, int* readErrno = nullptr)
{
    pollfd p{fd, POLLIN, 0};
    if (::poll(&p, 1, static_cast<int>(limit.count())) <= 0) {
        return {};
    }
    Bytes buffer(64);
    const ssize_t n = ::read(fd, buffer.data(), buffer.size());
    if (n < 0) {
        if (readErrno) {
            *readErrno = errno;
        }
        return {};
    }
    buffer.resize(static_cast<std::size_t>(n));
    return buffer;
}

// One change the udev daemon relays for a hidraw node.
struct UdevChange {
    std::string action;
    std::string node;
    bool userAccess = false; // tagged "uaccess" by the rules
};

// The next "add" or "remove" the udev daemon relays for a hidraw node.
UdevChange nextUdevChange(udev_monitor* monitor, std::chrono::milliseconds limit)
{
    pollfd p{udev_monitor_get_fd(monitor), POLLIN, 0};
    if (::poll(&p, 1, static_cast<int>(limit.count())) <= 0) {
        return {};
    }
    udev_device* device = udev_monitor_receive_device(monitor);
    if (!device) {
        return {};
    }
    const char* action = udev_device_get_action(device);
    const char* node = udev_device_get_devnode(device);
    UdevChange change{action ? action : "", node ? node : "", udev_device_has_tag(device, "uaccess") > 0};
    udev_device_unref(device);
    return change;
}

} // namespace

int main()
{
    GuestChecks checks;
    UeventListener uevents;
    checks.check(uevents.isOpen(), "uevent socket");
    udev* udevContext = udev_new();
    udev_monitor* monitor = udevContext ? udev_monitor_new_from_netlink(udevContext, "udev") : nullptr;
    checks.check(monitor && udev_monitor_filter_add_match_subsystem_devtype(monitor, "hidraw", nullptr) >= 0 &&
                     udev_monitor_enable_receiving(monitor) >= 0,
                 "udev monitor");

    UhidDevice device([](std::uint8_t type, const Bytes& data) {
        SetReportAnswer answer;
        // Like the mouse: a host assignment (command 0x10, value 31) is acknowledged with (6, 0).
        if (type == UhidFeatureReport && data.size() >= 4 && data[0] == 7 && data[1] == 0x10 && data[3] == 31) {
            answer.inputsAfter.push_back({6, 0, 0, 0, 0, 0, 0, 0});
        }
        return answer;
    });
    std::string error;
    UhidIdentity identity{"Veldra virtual mouse", 0x03, MouseVendorId, MouseProductId, 0x0100,
                          mouseReportDescriptor()};
    if (!checks.check(device.create(identity, error), "uhid create", error)) {
        return checks.exitCode();
    }
    const auto added = uevents.waitFor("add", "hidraw", 10s);
    if (!checks.check(added.has_value() && !added->get("DEVNAME").empty(), "hidraw node appears")) {
        return checks.exitCode();
    }
    checks.check(device.waitStarted(5s), "uhid device started by a driver");
    const std::string node = "/dev/" + added->get("DEVNAME");
    checks.note("hidraw node " + node);
    if (monitor) {
        const auto change = nextUdevChange(monitor, 10s);
        checks.check(change.action == "add" && change.node == node, "udev relays the arrival",
                     change.action + " " + change.node);
        // The program's udev rule gives the seat's user the mouse's node.
        checks.check(change.userAccess, "udev rule tags the mouse's node uaccess");
    }

    const int fd = ::open(node.c_str(), O_RDWR | O_CLOEXEC);
    if (!checks.check(fd >= 0, "open hidraw node", std::strerror(errno))) {
        return checks.exitCode();
    }
    checks.check(device.waitOpenState(true, 5s), "uhid device sees the open");

    hidraw_devinfo info{};
    checks.check(::ioctl(fd, HIDIOCGRAWINFO, &info) == 0 && info.bustype == 0x03 &&
                     static_cast<std::uint16_t>(info.vendor) == MouseVendorId &&
                     static_cast<std::uint16_t>(info.product) == MouseProductId,
                 "HIDIOCGRAWINFO ids");

    int descriptorSize = 0;
    checks.check(::ioctl(fd, HIDIOCGRDESCSIZE, &descriptorSize) == 0 &&
                     descriptorSize == static_cast<int>(mouseReportDescriptor().size()),
                 "HIDIOCGRDESCSIZE", "size " + std::to_string(descriptorSize));
    hidraw_report_descriptor descriptor{};
    descriptor.size = static_cast<__u32>(descriptorSize);
    checks.check(::ioctl(fd, HIDIOCGRDESC, &descriptor) == 0 &&
                     Bytes(descriptor.value, descriptor.value + descriptor.size) == mouseReportDescriptor(),
                 "HIDIOCGRDESC gives the descriptor back");

    // hidapi lists the pointer (with its nested pointer usage) and both vendor collections, all on
    // this one node.
    if (checks.check(hid_init() == 0, "hid_init")) {
        bool input = false;
        bool feature = false;
        int entries = 0;
        int elsewhere = 0;
        hid_device_info* list = hid_enumerate(MouseVendorId, MouseProductId);
        for (hid_device_info* d = list; d; d = d->next) {
            ++entries;
            checks.note("hidapi: " + std::string(d->path) + " usage page " + std::to_string(d->usage_page) +
                        " usage " + std::to_string(d->usage));
            if (node != d->path) {
                ++elsewhere;
                continue;
            }
            input = input || (d->usage_page == 0xFF00 && d->usage == 1);
            feature = feature || (d->usage_page == 0xFF01 && d->usage == 1);
        }
        hid_free_enumeration(list);
        checks.check(entries >= 3 && elsewhere == 0, "hidapi lists every collection on the one node",
                     std::to_string(entries) + " entries, " + std::to_string(elsewhere) + " elsewhere");
        checks.check(input && feature, "hidapi lists both vendor collections on the node");
    }

    const Bytes assignment = {0x07, 0x10, 5, 31, 0, 0, 0, 0};
    const int sent = ::ioctl(fd, HIDIOCSFEATURE(assignment.size()), assignment.data());
    checks.check(sent == static_cast<int>(assignment.size()), "HIDIOCSFEATURE",
                 sent < 0 ? std::strerror(errno) : std::to_string(sent));
    const auto received = device.waitSetReports(1, 5s);
    checks.check(received.size() == 1 && received[0] == assignment, "feature report arrives as SET_REPORT",
                 received.empty() ? "none" : hex(received[0]));

    const Bytes ack = readReport(fd, 5s);
    checks.check(ack == Bytes{6, 0, 0, 0, 0, 0, 0, 0}, "acknowledgement read from hidraw", hex(ack));

    const Bytes press = {6, 245, 0, 0, 0, 0, 0, 0};
    checks.check(device.sendInput(press), "UHID_INPUT2 accepted");
    const Bytes pressRead = readReport(fd, 5s);
    checks.check(pressRead == press, "press read from hidraw", hex(pressRead));

    // Removal: the node's reader is woken with an error and the kernel announces the removal.
    checks.check(device.destroy(), "uhid destroy");
    int readError = 0;
    const Bytes afterRemoval = readReport(fd, 5s, &readError);
    checks.check(afterRemoval.empty() && readError != 0, "read fails after removal",
                 "errno " + std::to_string(readError));
    checks.check(uevents.waitFor("remove", "hidraw", 5s).has_value(), "removal uevent");
    if (monitor) {
        const auto change = nextUdevChange(monitor, 10s);
        checks.check(change.action == "remove" && change.node == node, "udev relays the removal",
                     change.action + " " + change.node);

        // A HID device with other ids gets no such tag.
        UhidDevice other([](std::uint8_t, const Bytes&) { return SetReportAnswer{}; });
        UhidIdentity otherIdentity = identity;
        otherIdentity.name = "Other HID device";
        otherIdentity.vendor = 0x1234;
        otherIdentity.product = 0x5678;
        if (checks.check(other.create(otherIdentity, error), "second uhid device", error)) {
            const auto otherChange = nextUdevChange(monitor, 10s);
            checks.check(otherChange.action == "add" && !otherChange.userAccess,
                         "udev rule leaves other devices alone", otherChange.action + " " + otherChange.node);
            other.destroy();
        }
        udev_monitor_unref(monitor);
    }
    udev_unref(udevContext);
    ::close(fd);
    hid_exit();
    return checks.exitCode();
}
