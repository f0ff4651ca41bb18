// SPDX-License-Identifier: MIT
#include "app/ctl/CtlCompanion.h"

#include "app/ctl/CtlSystem.h"
#include "log/Log.h"

#include <ostream>

namespace krv::ctl {

LinkedCompanion FindCompanion(const CtlContext& ctx) {
    LinkedCompanion companion;
    if (!ctx.system.companionLink)
        return companion;
    std::unique_ptr<CompanionLink> link = ctx.system.companionLink();
    if (!link)
        return companion;
    const CompanionLink::Found found = link->find(ctx.paths().configPath().parent_path());
    switch (found.presence) {
    case CompanionLink::Presence::Absent:
        LogDetail(LogCategory::Instance) << "no companion runs on these files: the tool works on its own";
        break;
    case CompanionLink::Presence::NotAnswering:
        companion.refusal = ctx.fail(found.detail + ": nothing was changed or sent to the mouse");
        break;
    case CompanionLink::Presence::Present:
        LogDetail(LogCategory::Instance) << "the companion " << found.state.name << " runs on these files: through it";
        companion.state = found.state;
        companion.link = std::move(link);
        break;
    }
    return companion;
}

int ReloadCompanion(const CtlContext& ctx, LinkedCompanion& companion, const std::string& what) {
    if (!companion)
        return ExitOk;
    if (const CompanionLink::CallResult reloaded = companion.link->reload(); !reloaded.ok)
        return ctx.fail(what + " was saved, but the companion did not take it: " + reloaded.error);
    return ExitOk;
}

void PrintCompanionState(const CtlContext& ctx, const LinkedCompanion& companion) {
    if (!companion) {
        ctx.out << "no companion running\n";
        return;
    }
    const CompanionState& s = companion.state;
    ctx.out << "companion " << s.name << '\n'
            << "companion profile " << s.currentProfile << '\n'
            << "companion mouse " << (s.connected ? "connected" : "not connected") << '\n'
            << "companion dpi stage " << s.dpiStage << '\n'
            << "companion language " << s.language << '\n'
            << "companion folder " << s.configFolder << '\n';
}

} // namespace krv::ctl
