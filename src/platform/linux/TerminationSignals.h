// SPDX-License-Identifier: MIT
#pragma once

#include <QObject>

class QSocketNotifier;

namespace krv {

// Turns SIGTERM, SIGINT and SIGHUP (logout, `kill`, Ctrl+C in a terminal) into a signal on the UI
// thread, so that the companion ends through its shutdown (held keys released, goodbye report,
// pointer speed) instead of dying mid-way. One per process.
class TerminationSignals : public QObject {
    Q_OBJECT
public:
    explicit TerminationSignals(QObject* parent = nullptr);
    ~TerminationSignals() override;
    bool installed() const { return m_notifier != nullptr; }

signals:
    void terminationRequested(int signalNumber);

private:
    QSocketNotifier* m_notifier = nullptr;
};

} // namespace krv
