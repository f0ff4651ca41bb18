// SPDX-License-Identifier: MIT
#include "app/RunningCompanionChannel.h"

#include "log/Log.h"

#include <QDeadlineTimer>
#include <QThread>

namespace krv {

bool RunningCompanionChannel::askToShowWindow(QString& error, std::chrono::milliseconds bound) {
    const QDeadlineTimer deadline(bound);
    Answer answer = Answer::NotListening;
    while (!deadline.hasExpired()) {
        answer = askOnce();
        if (answer == Answer::Shown) {
            LogDetail(LogCategory::Instance) << "a companion runs already: it was asked to show its window";
            return true;
        }
        if (answer == Answer::Silent)
            break;
        // Another process that is still starting: there is nothing to wait on but its channel.
        QThread::msleep(50);
    }
    const qint64 pid = processId();
    // One pass over the three, so that a folder's name holding "%2" stays as it is.
    error = QStringLiteral("the running companion%1 does not answer%2; %3")
                .arg(pid > 0 ? QStringLiteral(" (process %1)").arg(pid) : QString(),
                     answer == Answer::Silent ? QStringLiteral(" (it may be stopped or hung)") : QString(),
                     holding(answer));
    return false;
}

} // namespace krv
