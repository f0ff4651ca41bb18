// SPDX-License-Identifier: MIT
#include "UeventListener.h"

#include <linux/netlink.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstring>

namespace krv::guest {

UeventListener::UeventListener()
{
    m_fd = ::socket(AF_NETLINK, SOCK_DGRAM | SOCK_CLOEXEC, NETLINK_KOBJECT_UEVENT);
    if (m_fd < 0) {
        return;
    }
    sockaddr_nl address{};
    address.nl_family = AF_NETLINK;
    address.nl_groups = 1; // the kernel's broadcast group
    if (::bind(m_fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
        ::close(m_fd);
        m_fd = -1;
    }
}

UeventListener::~UeventListener()
{
    if (m_fd >= 0) {
        ::close(m_fd);
    }
}

std::optional<Uevent> UeventListener::waitFor(const std::string& action, const std::string& subsystem,
                                              std::chrono::milliseconds limit)
{
    if (m_fd < 0) {
        return std::nullopt;
    }
    const auto deadline = std::chrono::steady_clock::now() + limit;
    for (;;) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) {
            return std::nullopt;
        }
        pollfd p{m_fd, POLLIN, 0};
        if (::poll(&p, 1, static_cast<int>(left.count())) <= 0) {
            continue;
        }
        char buffer[8192];
        const ssize_t n = ::recv(m_fd, buffer, sizeof buffer - 1, 0);
        if (n <= 0) {
            continue;
        }
        buffer[n] = '\0';
        // "action@devpath", then NUL-separated KEY=value pairs.
        Uevent event;
        for (ssize_t at = static_cast<ssize_t>(std::strlen(buffer)) + 1; at < n;) {
            const std::string pair(buffer + at);
            at += static_cast<ssize_t>(pair.size()) + 1;
            const auto eq = pair.find('=');
            if (eq != std::string::npos) {
                event.properties[pair.substr(0, eq)] = pair.substr(eq + 1);
            }
        }
        if (event.get("ACTION") == action && event.get("SUBSYSTEM") == subsystem) {
            return event;
        }
    }
}

} // namespace krv::guest
