// SPDX-License-Identifier: MIT
#pragma once

#include "app/ctl/CtlCommands.h"
#include "ports/CompanionLink.h"

#include <memory>
#include <optional>
#include <string>

namespace krv::ctl {

// The running companion a command of the tool goes through. Only a companion that keeps its files in
// the folder of the tool's config.ini counts; without one the tool works on its own.
struct LinkedCompanion {
    std::unique_ptr<CompanionLink> link; // set when a companion on these files answered
    CompanionState state;
    // Set (to ExitError, the line said) when a companion holds its name on the bus but does not
    // answer: the command must change no file and send nothing.
    std::optional<int> refusal;

    explicit operator bool() const { return link != nullptr; }
};

// Looks for the companion of ctx's files (bounded in time; see CompanionLink::find).
LinkedCompanion FindCompanion(const CtlContext& ctx);

// After a command changed the files under their lock: the companion reads them again and applies the
// current profile, so that the mouse, the profile it serves and the files agree. ExitOk, or ExitError
// with a line that says the files were changed but the companion did not take them (`what`: "the
// profile", "the macros", ...).
int ReloadCompanion(const CtlContext& ctx, LinkedCompanion& companion, const std::string& what);

// The lines of "status" about the companion: "no companion running", or its name and state.
void PrintCompanionState(const CtlContext& ctx, const LinkedCompanion& companion);

} // namespace krv::ctl
