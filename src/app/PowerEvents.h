#pragma once

#include <QObject>

namespace krv {

// The system's power events: logind's PrepareForSleep, sent before a suspend (true) and after the
// resume (false). Without a system bus or logind nothing is ever emitted.
class PowerEvents : public QObject {
    Q_OBJECT
public:
    explicit PowerEvents(QObject* parent = nullptr);
    bool connected() const { return m_connected; }

signals:
    void powerEvent(bool goingToSleep);

private slots:
    void onPrepareForSleep(bool start);

private:
    bool m_connected = false;
};

} // namespace krv
