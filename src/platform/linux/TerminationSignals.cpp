// SPDX-License-Identifier: MIT
#include "platform/linux/TerminationSignals.h"

#include <QSocketNotifier>

#include <csignal>
#include <sys/socket.h>
#include <unistd.h>

#include <utility>

namespace krv {

namespace {

// The write end of the pipe the handler writes to (the only thing a signal handler may safely do).
int g_signalWriteFd = -1;

void onSignal(int number) {
    const unsigned char byte = static_cast<unsigned char>(number);
    [[maybe_unused]] const ssize_t written = ::write(g_signalWriteFd, &byte, 1);
}

} // namespace

TerminationSignals::TerminationSignals(std::function<void(int)> onRequest, QObject* parent)
    : QObject(parent), m_onRequest(std::move(onRequest)) {
    int fds[2];
    if (g_signalWriteFd >= 0 || ::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, fds) != 0)
        return;
    g_signalWriteFd = fds[1];
    m_notifier = new QSocketNotifier(fds[0], QSocketNotifier::Read, this);
    connect(m_notifier, &QSocketNotifier::activated, this, [this, fd = fds[0]] {
        unsigned char byte = 0;
        if (::read(fd, &byte, 1) != 1)
            return;
        emit terminationRequested(byte);
        if (m_onRequest)
            m_onRequest(byte);
    });
    struct sigaction action {};
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (int number : {SIGTERM, SIGINT, SIGHUP})
        ::sigaction(number, &action, nullptr);
}

TerminationSignals::~TerminationSignals() {
    if (!m_notifier)
        return;
    struct sigaction action {};
    action.sa_handler = SIG_DFL;
    for (int number : {SIGTERM, SIGINT, SIGHUP})
        ::sigaction(number, &action, nullptr);
    ::close(static_cast<int>(m_notifier->socket()));
    ::close(g_signalWriteFd);
    g_signalWriteFd = -1;
}

std::unique_ptr<ProcessEventWatch> WatchTerminationSignals(std::function<void(int)> onRequest) {
    return std::make_unique<TerminationSignals>(std::move(onRequest));
}

} // namespace krv
