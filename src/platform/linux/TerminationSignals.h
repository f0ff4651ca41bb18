// SPDX-License-Identifier: MIT
#pragma once

#include "ports/ProcessEvents.h"

#include <QObject>

#include <functional>

class QSocketNotifier;

namespace krv {

// Turns SIGTERM, SIGINT and SIGHUP (logout, `kill`, Ctrl+C in a terminal) into a call on the UI
// thread, so that the companion ends through its shutdown (held keys released, goodbye report,
// pointer speed) instead of dying mid-way. One per process: a second one watches nothing.
class TerminationSignals : public QObject, public ProcessEventWatch {
    Q_OBJECT
public:
    explicit TerminationSignals(std::function<void(int)> onRequest = {}, QObject* parent = nullptr);
    ~TerminationSignals() override;
    bool watching() const override { return m_notifier != nullptr; }

signals:
    void terminationRequested(int signalNumber);

private:
    std::function<void(int)> m_onRequest;
    QSocketNotifier* m_notifier = nullptr;
};

// The termination signals (the companion's WatchTerminationRequests on Linux).
std::unique_ptr<ProcessEventWatch> WatchTerminationSignals(std::function<void(int)> onRequest);

} // namespace krv
