// SPDX-License-Identifier: MIT
// krv-glyde-ctl: app-profile list|add|remove|default|on|off, the profiles for programs that the
// companion switches to by the program in front (appprofiles.ini beside config.ini).
#include "app/ctl/CtlCommands.h"
#include "settings/AppProfileRules.h"
#include "settings/ProfileSettings.h"

namespace krv::ctl {

namespace {

std::filesystem::path rulesFile(const CtlContext& ctx) { return ctx.paths().appProfilesPath(); }

int appProfileList(CtlContext& ctx, const std::vector<std::string>& args) {
    if (!args.empty())
        return ctx.fail("usage: app-profile list");
    const AppProfileRulesRead read = ReadAppProfileRules(rulesFile(ctx));
    if (!read.status)
        return ctx.fail(read.status.message());
    const AppProfileRules& rules = read.rules;
    ctx.out << (rules.enabled ? "on" : "off") << '\n';
    ctx.out << "default ";
    if (rules.noMatchProfile == 0)
        ctx.out << "stay\n";
    else
        ctx.out << rules.noMatchProfile << '\n';
    for (const AppProfileRule& rule : rules.rules)
        ctx.out << rule.profile << ' ' << rule.program << '\n';
    return ExitOk;
}

int appProfileAdd(CtlContext& ctx, const std::vector<std::string>& args) {
    if (args.size() != 2)
        return ctx.fail("usage: app-profile add PROGRAM N");
    if (auto problem = ProgramNameProblem(args[0]))
        return ctx.fail("bad program: " + *problem);
    const std::optional<int> n = parseNumber(args[1], 1, ProfileCount);
    if (!n)
        return ctx.fail("bad profile number: " + args[1] + " (1 to " + std::to_string(ProfileCount) + ")");
    if (const FileStatus saved = AddAppProfileRule(rulesFile(ctx), args[0], *n); !saved)
        return ctx.fail(saved.message());
    ctx.out << *n << ' ' << args[0] << '\n';
    return ExitOk;
}

int appProfileRemove(CtlContext& ctx, const std::vector<std::string>& args) {
    if (args.size() != 1)
        return ctx.fail("usage: app-profile remove PROGRAM");
    if (const FileStatus saved = RemoveAppProfileRule(rulesFile(ctx), args[0]); !saved)
        return ctx.fail(saved.message());
    return ExitOk;
}

int appProfileDefault(CtlContext& ctx, const std::vector<std::string>& args) {
    if (args.size() != 1)
        return ctx.fail("usage: app-profile default N|stay");
    std::optional<int> n = args[0] == "stay" ? std::optional<int>(0) : parseNumber(args[0], 1, ProfileCount);
    if (!n)
        return ctx.fail("bad profile number: " + args[0] + " (1 to " + std::to_string(ProfileCount) + ", or stay)");
    if (const FileStatus saved = SetAppProfileNoMatch(rulesFile(ctx), *n); !saved)
        return ctx.fail(saved.message());
    return ExitOk;
}

int switchTo(CtlContext& ctx, const std::vector<std::string>& args, bool enabled) {
    if (!args.empty())
        return ctx.fail(enabled ? "usage: app-profile on" : "usage: app-profile off");
    if (const FileStatus saved = SetAppProfilesEnabled(rulesFile(ctx), enabled); !saved)
        return ctx.fail(saved.message());
    return ExitOk;
}

int appProfileOn(CtlContext& ctx, const std::vector<std::string>& args) { return switchTo(ctx, args, true); }
int appProfileOff(CtlContext& ctx, const std::vector<std::string>& args) { return switchTo(ctx, args, false); }

} // namespace

std::vector<CtlCommand> appProfileCommands() {
    return {
        {{"app-profile", "list"},
         "app-profile list        on or off, the profile without a rule (default), one \"N PROGRAM\" per rule",
         appProfileList},
        {{"app-profile", "add"},
         "app-profile add PROGRAM N  profile N while PROGRAM (executable, its path, or window class) is in front",
         appProfileAdd},
        {{"app-profile", "remove"}, "app-profile remove PROGRAM  forget the rule of PROGRAM", appProfileRemove},
        {{"app-profile", "default"},
         "app-profile default N|stay  a program without a rule brings back profile N, or keeps the profile",
         appProfileDefault},
        {{"app-profile", "on"}, "app-profile on          switch profiles by the program in front", appProfileOn},
        {{"app-profile", "off"}, "app-profile off         leave the profile alone whatever is in front", appProfileOff},
    };
}

} // namespace krv::ctl
