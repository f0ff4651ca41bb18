// SPDX-License-Identifier: MIT
#include "app/AppProfileSwitcher.h"

#include "log/Log.h"
#include "settings/AppProfileRules.h"
#include "settings/IniFile.h"
#include "settings/ProfileSettings.h"

#include <QSocketNotifier>

namespace krv {

namespace {

constexpr std::chrono::milliseconds StopCheckInterval{2};

// The profile on the mouse as the last apply saved it; 0 when config.ini cannot be read.
int profileOnMouse(const std::filesystem::path& configPath) {
    const IniRead config = IniFile::read(configPath);
    if (config.unreadable())
        return 0;
    return ReadCurConfig(config.document);
}

} // namespace

AppProfileSwitcher::AppProfileSwitcher(Dependencies deps, std::unique_ptr<ForegroundWatch> watch, QObject* parent)
    : QObject(parent), m_deps(std::move(deps)), m_watch(std::move(watch)) {
    m_settle.setSingleShot(true);
    m_settle.setInterval(m_deps.settleTime);
    connect(&m_settle, &QTimer::timeout, this, &AppProfileSwitcher::settle);
    m_waitForStop.setSingleShot(true);
    if (!m_watch)
        return;
    if (m_watch->fd() >= 0) {
        m_notifier = new QSocketNotifier(m_watch->fd(), QSocketNotifier::Read, this);
        connect(m_notifier, &QSocketNotifier::activated, this, &AppProfileSwitcher::readFocus);
        m_watching = true;
    } else {
        // The watch's thread only posts; the change is read here, on the UI thread.
        m_watching = m_watch->notifyOnChange(
            [this] { QMetaObject::invokeMethod(this, &AppProfileSwitcher::readFocus, Qt::QueuedConnection); });
    }
    if (!m_watching)
        return;
    // What is in front at the start is where the focus is: its rule counts once it settles.
    if (ForegroundProgram now = m_watch->current(); now.window != 0)
        onFocus(now);
}

AppProfileSwitcher::~AppProfileSwitcher() {
    // A watch with a thread of its own ends it here, while the object it posts to is still whole.
    m_watch.reset();
}

void AppProfileSwitcher::readFocus() {
    if (std::optional<ForegroundProgram> program = m_watch->readChange())
        onFocus(*program);
}

void AppProfileSwitcher::onFocus(const ForegroundProgram& program) {
    if (m_deps.ownPid != 0 && program.pid == m_deps.ownPid) {
        // The user is at the companion's own window: whatever was about to happen does not.
        m_settle.stop();
        return;
    }
    LogDetail(LogCategory::Apply) << "in front: " << program.executable << " (" << program.windowInstance << ", "
                                << program.windowClass << ")";
    m_inFront = program;
    m_profileAtFocus = profileOnMouse(m_deps.configPath);
    m_waitForStop.stop();
    m_settle.start();
}

void AppProfileSwitcher::settle() {
    if (!m_inFront)
        return;
    const AppProfileRulesRead read = ReadAppProfileRules(m_deps.rulesFile);
    if (!read.status.ok()) {
        // Said once, not at every focus change, until the file can be read again.
        if (!m_saidUnreadable)
            LogWarning(LogCategory::Apply) << "profiles for programs not used: " << read.status.message();
        m_saidUnreadable = true;
        return;
    }
    m_saidUnreadable = false;
    const std::optional<int> target = read.rules.profileFor(
        {m_inFront->executable, m_inFront->windowInstance, m_inFront->windowClass});
    if (!target)
        return;
    const int onMouse = profileOnMouse(m_deps.configPath);
    if (onMouse == 0 || onMouse != m_profileAtFocus || onMouse == *target)
        return; // unreadable, switched by hand since the focus moved, or already there
    applyWhenIdle(*target, std::chrono::steady_clock::now() + StopPatience);
}

void AppProfileSwitcher::applyWhenIdle(int profile, std::chrono::steady_clock::time_point deadline) {
    // A button's function still running (a macro) is asked to end; the switch follows once it has
    // let go of its keys, or after StopPatience whatever it does.
    if (m_deps.presses.PendingPress.load(std::memory_order_acquire) != 0 &&
        std::chrono::steady_clock::now() < deadline) {
        m_deps.presses.requestStop();
        m_waitForStop.disconnect(this);
        connect(&m_waitForStop, &QTimer::timeout, this, [this, profile, deadline] { applyWhenIdle(profile, deadline); });
        m_waitForStop.start(StopCheckInterval);
        return;
    }
    LogDetail(LogCategory::Apply) << "switching to profile " << profile;
    if (!m_deps.applyStoredProfile || !m_deps.applyStoredProfile(profile))
        return; // the mouse stays on its profile, and so does the record of it
    m_profileAtFocus = profile;
    emit switched(profile);
}

} // namespace krv
