// SPDX-License-Identifier: MIT
#pragma once

#include "device/ApplyFeedback.h"
#include "device/FeatureReport.h"
#include "ports/SystemPointer.h"
#include "ports/UiNotifier.h"
#include "settings/ProfileSettings.h"

#include <array>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>

namespace krv {

// The system pointer speed (1..20 scale) for pointer speed steps 0..9: 0 gives 1, n gives 2n, 9 and above 18.
int PointerSpeedOfStep(std::uint8_t dpiSpeed);

// Writes the active profile to the mouse and saves it. One per process; ApplyProfile may run on
// the UI thread and on the executor thread (profile switch) at the same time: every report is built
// in its own buffer, flags are atomics, and file writes are serialised and atomic.
class ProfileApplier {
public:
    struct Ports {
        ProfileSettings& settings;
        std::filesystem::path configPath;
        FeatureReportSender& device;
        ApplyFeedback& feedback;
        SystemPointer& pointer;
        UiNotifier& notifier;
        // Starts ApplyBlink (BlinkRunning is already set). May be called on any thread that applies:
        // a UI implementation posts to its thread.
        std::function<void()> startBlink;
        // The language of the messages an apply may show.
        std::function<UiLanguage()> language = [] { return UiLanguage::English; };
    };

    enum class Outcome {
        Applied,
        NotSent,  // no slot holds the left click: nothing was sent or saved
        NotSaved, // sent to the mouse, but a save did not reach the disk
    };

    explicit ProfileApplier(Ports ports);

    // In this order: set HostFunctionsReady; write "CurConfig" and save the snapshot "Config6" (one
    // replace); per slot the DPI action and the 0x10 report (the first HostCode slot clears
    // HostFunctionsReady and starts the blink); 0x11 wheel; the applied stage positions and LED mode, and 0x09;
    // repaint; pointer speed; wheel lines; 0x12 fire time; save "Config" + the current profile.
    // A profile in which no slot holds the left click is refused before anything is sent, so the
    // mouse always keeps a left button. A refusal or a failed save is shown through the notifier.
    Outcome ApplyProfile();

    // Who tells the user why ApplyStoredProfile sent nothing, in place of the notifier's own messages:
    // the file could not be read (its problem), or profile n has no left click. Empty: the notifier.
    struct StoredRefusals {
        std::function<void(const FileStatus& problem)> unreadable;
        std::function<void()> noLeftButton;
    };

    // ApplyProfile of profile n as the file holds it (the command-line tool, the profile-switch function,
    // another program's request): the profile is read under the same lock hold as the save of
    // "CurConfig", "Config6" and "Config<n>", so a change another program saves meanwhile is applied,
    // never overwritten by an earlier copy. Only a profile that is sent becomes the current profile in
    // settings; an unreadable file or a profile without a left click sends and changes nothing.
    Outcome ApplyStoredProfile(int n, const StoredRefusals& refusals = {});
    // For ApplyStoredProfile: the profile "CurConfig" names, read in the same lock hold, so that a
    // switch another program saved meanwhile is what is applied, never undone. A "CurConfig" that names
    // no profile (1 to 5) sends and changes nothing, like an unreadable file.
    static constexpr int CurrentStoredProfile = 0;

    // ApplyProfile of the window's edits: the values in settings that differ from `base` (the profile as
    // the window last read or saved it) are put over the current profile as the file holds it now, read
    // under the same lock hold as the save of "CurConfig", "Config6" and the profile; the result is what
    // the mouse gets, what settings then hold and what is saved. So another program's change of the
    // profile's other keys (an import) is kept, never overwritten by the window's older copy.
    Outcome ApplyEdits(const ProfileValues& base);

    // ApplyProfile as a plain callback (RestoreDefaults, the profile-switch function).
    std::function<void()> callback() {
        return [this] { ApplyProfile(); };
    }

private:
    // stored: the profile to read from the file under the lock (ApplyStoredProfile); empty for the
    // values in settings.
    // editedFrom: the window's base for ApplyEdits; null otherwise.
    Outcome apply(std::optional<int> stored, const StoredRefusals& refusals,
                  const ProfileValues* editedFrom = nullptr);

    Ports m_ports;
};

} // namespace krv
