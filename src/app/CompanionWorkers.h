// SPDX-License-Identifier: MIT
#pragma once

#include "app/AppContext.h"
#include "device/ApplyBlink.h"
#include "device/ApplyProfile.h"
#include "device/ReportReader.h"
#include "functions/ActionExecutor.h"

#include <QObject>
#include <QTimer>

#include <functional>
#include <memory>

namespace krv {

class GuiNotifier;

// The companion's background work: the report reader and the action executor on threads of their
// own, the profile applier that they and the window share, and the apply blink on the UI thread's
// timer. Messages composed on the workers' threads go through the notifier in the language that
// messageLanguage() gives there.
class CompanionWorkers : public QObject {
    Q_OBJECT
public:
    struct Dependencies {
        AppContext& context;
        GuiNotifier& notifier;
        std::function<UiLanguage()> messageLanguage;
        // Whether the blink is seen: the main page is shown.
        std::function<bool()> blinkShown;
        // The reader's and the executor's threads ask for real-time scheduling first thing.
        bool raiseServiceThreads = false;
    };

    explicit CompanionWorkers(Dependencies dependencies);
    ~CompanionWorkers() override;

    // Nothing is pending; then the reader and the executor (when runThreads), then a first blink run,
    // which finds the host functions ready and ends at once.
    void start(bool runThreads);
    // A macro still playing ends first and lets go of its keys; the reader goes on.
    void stopPlayback();
    // Both threads end (a playing macro lets go of its keys) and the blink stops.
    void stop();

    ProfileApplier& applier() { return *m_applier; }

    // The blink of the last apply (again), or its end when there is nothing to blink.
    void startBlinkNow();
    // A blink run unless one runs now.
    void startBlinkIfIdle();
    bool blinkTimerActive() const { return m_blinkTimer.isActive(); }

    // Messages about the user's files, in the program's language; callable from any thread.
    void reportNotSaved(const FileStatus& problem);
    void reportNotLoaded(const FileStatus& problem);

signals:
    // The executor stepped the DPI stage or switched the profile (emitted on the UI thread).
    void stateChanged();

private:
    std::function<void()> threadStart(ServiceThread thread) const;

    Dependencies m_deps;
    std::unique_ptr<ProfileApplier> m_applier;
    std::unique_ptr<ReportReader> m_reader;
    std::unique_ptr<ActionExecutor> m_executor;
    std::unique_ptr<ApplyBlink> m_blink;
    QTimer m_blinkTimer;
};

} // namespace krv
