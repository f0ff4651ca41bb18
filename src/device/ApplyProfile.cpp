// SPDX-License-Identifier: MIT
#include "device/ApplyProfile.h"

#include "log/Log.h"
#include "mouse/ButtonCode.h"
#include "settings/FileSystemCalls.h"
#include "settings/IniFile.h"

#include <utility>

namespace krv {

namespace {
constexpr auto relaxed = std::memory_order_relaxed;
}

int PointerSpeedOfStep(std::uint8_t dpiSpeed) {
    if (dpiSpeed == 0)
        return 1;
    if (dpiSpeed <= 8)
        return 2 * dpiSpeed;
    return 18;
}

ProfileApplier::ProfileApplier(Ports ports) : m_ports(std::move(ports)) {}

ProfileApplier::Outcome ProfileApplier::ApplyProfile() { return apply(std::nullopt, {}); }

ProfileApplier::Outcome ProfileApplier::ApplyStoredProfile(int n, const StoredRefusals& refusals) {
    return apply(n, refusals);
}

ProfileApplier::Outcome ProfileApplier::ApplyEdits(const ProfileValues& base) {
    return apply(std::nullopt, {}, &base);
}

ProfileApplier::Outcome ProfileApplier::apply(std::optional<int> stored, const StoredRefusals& refusals,
                                              const ProfileValues* editedFrom) {
    ProfileSettings& s = m_ports.settings;
    ApplyFeedback& feedback = m_ports.feedback;
    FeatureReportSender& device = m_ports.device;

    auto refuse = [&] {
        LogDetail(LogCategory::Apply) << "refused: no button is the left button";
        if (stored && refusals.noLeftButton)
            refusals.noLeftButton();
        else
            m_ports.notifier.showMessage(Messages::NoLeftButton(m_ports.language()));
        return Outcome::NotSent;
    };
    if (!stored && !AnySlotHoldsPrimary(s))
        return refuse();

    int curConfig = s.currentProfile.load(relaxed);
    ProfileValues sent = s.values();
    bool loaded = false;
    bool refused = false;
    FileStatus saved = IniFile::update(m_ports.configPath, [&](IniDocument& doc) {
        if (stored || editedFrom) {
            // Read, checked and saved in one hold of the lock: a stored profile as the file holds it,
            // or the window's changes over it; a refused profile is not taken.
            const int profile = !stored ? curConfig : *stored == CurrentStoredProfile ? ReadCurConfig(doc) : *stored;
            if (profile < 1 || profile > ProfileCount)
                return FileStatus::failure(fsys::Utf8Of(m_ports.configPath) + ": \"CurConfig\" is \"" +
                                           std::string(doc.value("Init", "CurConfig").value_or("")) +
                                           "\", not a profile number (1 to 5)");
            loaded = true;
            const ProfileValues onFile = ReadProfileValues(doc, profile, false, m_ports.language());
            ProfileSettings candidate;
            candidate.setValues(stored ? onFile : OverlayEdits(*editedFrom, sent, onFile));
            if (!AnySlotHoldsPrimary(candidate)) {
                refused = true;
                return FileStatus::failure("no button is the left button");
            }
            sent = candidate.values();
            curConfig = profile;
            s.setValues(sent);
            if (stored)
                s.currentProfile.store(curConfig, relaxed);
            WriteProfileValues(doc, sent, curConfig);
        }
        WriteCurConfig(doc, curConfig);
        WriteProfileValues(doc, sent, AppliedProfileSection);
        return FileStatus::success();
    });
    if (refused)
        return refuse();
    if (stored && !loaded) {
        LogDetail(LogCategory::Apply) << "not applied: " << saved.message();
        if (refusals.unreadable)
            refusals.unreadable(saved);
        else
            m_ports.notifier.showMessage(saved.message());
        return Outcome::NotSent;
    }
    LogDetail(LogCategory::Apply) << "applying profile " << curConfig
                                  << (device.writeHandleOpen() ? "" : " (the mouse is not connected: settings only)");
    feedback.HostFunctionsReady.store(true, relaxed);

    // The first HostCode slot of this apply starts the wait for the acknowledgement; later ones
    // change nothing. The wait starts before that slot's report goes out, so a mouse that
    // acknowledges at once is never taken for a release or overwritten by the wait.
    bool waitStarted = false;
    for (int slot = 1; slot <= ButtonSlotCount; ++slot) {
        const std::int32_t code = s.buttonCodes[slot - 1].load(relaxed);
        s.dpiActions[slot - 1].store(DpiAction(code), relaxed);
        const std::optional<std::uint8_t> value = DeviceValue(code);
        if (!value)
            continue; // no device value: the mouse keeps the slot's previous function
        if (*value == HostCode && !waitStarted) {
            waitStarted = true;
            feedback.HostFunctionsReady.store(false, relaxed);
            feedback.BlinkPhase.store(true, relaxed);
            feedback.BlinkSlot.store(slot, relaxed);
            if (!feedback.BlinkStarted.exchange(true, relaxed)) {
                feedback.BlinkRunning.store(true, relaxed);
                if (m_ports.startBlink)
                    m_ports.startBlink();
            }
        }
        // A send that fails (the mouse gone) is not retried: the removal reaches the program through the
        // hot-plug monitor, and a later apply sends everything again. The same holds for the sends below.
        if (device.writeHandleOpen())
            (void)device.SendFeatureReport(FeatureCommand::ButtonMap, DeviceButtonId[slot - 1], *value);
    }

    (void)device.SendFeatureReport(FeatureCommand::Wheel, static_cast<std::uint8_t>(s.wheelMode.load(relaxed) & 0xFF),
                                   0);

    for (int stage = 0; stage < DpiStageCount; ++stage)
        s.appliedDpiStagePositions[stage].store(s.dpiStagePositions[stage].load(relaxed), relaxed);
    const std::uint8_t led = s.ledMode.load(relaxed);
    s.appliedLedMode.store(led, relaxed);
    // A stage number out of 0..3 (a hand-edited file) is clamped rather than sent or used as an index.
    const int stage = s.dpiStageIndex();
    (void)device.SendFeatureReport(FeatureCommand::DpiLed, static_cast<std::uint8_t>(stage),
                                   DpiLedByte(s.appliedDpiStagePositions[stage].load(relaxed), led));

    m_ports.notifier.requestRepaint();

    // A desktop that refuses a pointer setting keeps its own; the profile is applied all the same.
    if (m_ports.pointer.pointerSpeed()) {
        const int speed = PointerSpeedOfStep(s.pointerSpeed.load(relaxed));
        if (!m_ports.pointer.setPointerSpeed(speed))
            LogWarning(LogCategory::Apply) << "the desktop refused pointer speed " << speed;
    }
    if (m_ports.pointer.wheelScrollLines()) {
        const int lines = s.wheelSpeed.load(relaxed) + 1;
        if (!m_ports.pointer.setWheelScrollLines(static_cast<std::uint8_t>(lines)))
            LogWarning(LogCategory::Apply) << "the desktop refused " << lines << " lines per wheel step";
    }

    (void)device.SendFeatureReport(FeatureCommand::FireTime, FireTimeByte(s.fireInterval.load(relaxed)), 0);

    // The window's values are saved as its profile last; a stored profile or the window's edits were
    // saved with them above.
    if (saved && !stored && !editedFrom)
        saved = SaveProfile(s, m_ports.configPath, curConfig);
    if (!saved) {
        LogDetail(LogCategory::Apply) << "applied, but not saved: " << saved.message();
        m_ports.notifier.showMessage(Messages::NotSaved(m_ports.language(), saved.message()));
        return Outcome::NotSaved;
    }
    LogDetail(LogCategory::Apply) << "applied and saved";
    return Outcome::Applied;
}

} // namespace krv
