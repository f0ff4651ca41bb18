// SPDX-License-Identifier: MIT
#include "platform/linux/SignalInterruptWait.h"

#include <poll.h>
#include <sys/signalfd.h>
#include <unistd.h>

#include <array>

namespace krv {

SignalInterruptWait::SignalInterruptWait(DeviceChangeMonitor* monitor) : m_monitor(monitor) {
    sigset_t signals;
    sigemptyset(&signals);
    sigaddset(&signals, SIGINT);
    sigaddset(&signals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &signals, &m_previous);
    m_signalFd = signalfd(-1, &signals, SFD_CLOEXEC);
    if (m_signalFd < 0)
        pthread_sigmask(SIG_SETMASK, &m_previous, nullptr);
}

SignalInterruptWait::~SignalInterruptWait() {
    if (m_signalFd < 0)
        return;
    ::close(m_signalFd);
    pthread_sigmask(SIG_SETMASK, &m_previous, nullptr);
}

InterruptWait::Wake SignalInterruptWait::wait() {
    for (;;) {
        std::array<pollfd, 2> fds{{{m_signalFd, POLLIN, 0}, {m_monitor ? m_monitor->fd() : -1, POLLIN, 0}}};
        if (poll(fds.data(), fds.size(), -1) < 0)
            continue;
        if (fds[0].revents & POLLIN)
            return {true, {}};
        if (fds[1].revents & POLLIN)
            return {false, m_monitor->readChanges()};
    }
}

} // namespace krv
