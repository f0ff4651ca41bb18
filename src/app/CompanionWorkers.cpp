// SPDX-License-Identifier: MIT
#include "app/CompanionWorkers.h"

#include "app/GuiNotifier.h"

namespace krv {

CompanionWorkers::CompanionWorkers(Dependencies dependencies) : m_deps(std::move(dependencies)) {
    AppContext& ctx = m_deps.context;
    GuiNotifier& notifier = m_deps.notifier;
    m_applier = std::make_unique<ProfileApplier>(ProfileApplier::Ports{
        ctx.settings, ctx.paths.configPath(), ctx.link, ctx.feedback, *ctx.ports.pointer, notifier,
        [this] {
            QMetaObject::invokeMethod(
                this, [this] { startBlinkNow(); }, Qt::QueuedConnection);
        },
        m_deps.messageLanguage});
    m_reader = std::make_unique<ReportReader>(ctx.link, ctx.presses, ctx.feedback, ctx.settings, notifier);
    m_reader->setOnThreadStart(threadStart(ServiceThread::Reader));

    ProfileApplier* applier = m_applier.get();
    DeviceLink* link = &ctx.link;
    m_executor = std::make_unique<ActionExecutor>(ActionExecutorPorts{
        ctx.presses, ctx.settings, ctx.macros, ctx.heldInput, *ctx.ports.shell, ctx.clock, ctx.paths.configPath(),
        [link](std::uint8_t command, std::uint8_t p1, std::uint8_t p2) {
            // A failed send means the mouse is gone: the hot-plug monitor ends the program.
            (void)link->SendFeatureReport(static_cast<FeatureCommand>(command), p1, p2);
        },
        [applier](int n, const ProfileApplier::StoredRefusals& refusals) {
            return applier->ApplyStoredProfile(n, refusals);
        },
        [this, &notifier] {
            notifier.requestRepaint();
            QMetaObject::invokeMethod(
                this, [this] { emit stateChanged(); }, Qt::QueuedConnection);
        },
        threadStart(ServiceThread::Executor), [this](const FileStatus& problem) { reportNotSaved(problem); },
        [this](const FileStatus& problem) { reportNotLoaded(problem); },
        [this, &notifier](int next, int current) {
            notifier.showMessage(Messages::SwitchWithoutLeftButton(m_deps.messageLanguage(), next, current));
        }});

    m_blink = std::make_unique<ApplyBlink>(ctx.feedback, notifier, m_deps.blinkShown);
    m_blinkTimer.setInterval(ApplyBlink::TickInterval);
    connect(&m_blinkTimer, &QTimer::timeout, this, [this] {
        if (!m_blink->tick())
            m_blinkTimer.stop();
    });
}

CompanionWorkers::~CompanionWorkers() {
    stop();
}

std::function<void()> CompanionWorkers::threadStart(ServiceThread thread) const {
    if (!m_deps.raiseServiceThreads || !m_deps.context.ports.raiseServiceThread)
        return {};
    return [raise = m_deps.context.ports.raiseServiceThread, thread] { raise(thread); };
}

void CompanionWorkers::start(bool runThreads) {
    m_deps.context.presses.finishPress();
    if (runThreads) {
        m_reader->start();
        m_executor->start();
    }
    m_deps.context.feedback.BlinkRunning.store(true);
    startBlinkNow();
}

void CompanionWorkers::stopPlayback() {
    m_executor->stop();
}

void CompanionWorkers::stop() {
    m_executor->stop();
    m_reader->stop();
    m_blinkTimer.stop();
}

void CompanionWorkers::startBlinkNow() {
    if (m_blink->start())
        m_blinkTimer.start();
    else
        m_blinkTimer.stop();
}

void CompanionWorkers::startBlinkIfIdle() {
    if (m_deps.context.feedback.BlinkRunning.load())
        return;
    m_deps.context.feedback.BlinkRunning.store(true);
    startBlinkNow();
}

void CompanionWorkers::reportNotSaved(const FileStatus& problem) {
    m_deps.notifier.showMessage(Messages::NotSaved(m_deps.messageLanguage(), problem.message()));
}

void CompanionWorkers::reportNotLoaded(const FileStatus& problem) {
    m_deps.notifier.showMessage(Messages::FileNotUsed(m_deps.messageLanguage(), problem.message()));
}

} // namespace krv
