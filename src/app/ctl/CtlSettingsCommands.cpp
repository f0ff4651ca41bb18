// SPDX-License-Identifier: MIT
// krv-glyde-ctl: profile show/import/export and restore-defaults.
#include "app/RestoreDefaults.h"
#include "app/ctl/CtlCommands.h"
#include "app/ctl/CtlCompanion.h"
#include "settings/FileSystemCalls.h"
#include "settings/IniFile.h"
#include "settings/ProfileSettings.h"

#include <filesystem>

namespace krv::ctl {

namespace {

constexpr int HighestShownProfile = AppliedProfileSection; // 1..5 and 6, the settings last sent

// Profile N of the command line (1 to highest), or nothing with the error said.
std::optional<int> explicitProfile(const CtlContext& ctx, const std::string& text, int highest) {
    const std::optional<int> n = parseNumber(text, 1, highest);
    if (!n)
        ctx.fail("bad profile number: " + text + " (1 to " + std::to_string(highest) + ")");
    return n;
}

// Whether config.ini holds profile n; says so when it does not. A missing section would read as a
// profile of zeros, shown or exported as if it were stored.
bool storedProfile(const CtlContext& ctx, const IniDocument& config, int n) {
    const std::string section = ProfileSectionName(n);
    if (config.hasSection(section))
        return true;
    ctx.fail("profile " + std::to_string(n) + " is missing: " + fsys::Utf8Of(ctx.paths().configPath()) +
             " has no section " + section);
    return false;
}

int profileShow(CtlContext& ctx, const std::vector<std::string>& args) {
    if (args.size() > 1)
        return ctx.fail("usage: profile show [N]");
    std::optional<int> n;
    if (!args.empty() && !(n = explicitProfile(ctx, args[0], HighestShownProfile)))
        return ExitError;
    const IniRead config = IniFile::read(ctx.paths().configPath());
    if (config.unreadable())
        return ctx.fail(config.error);
    if (!n && !(n = ctx.currentProfile(config.document)))
        return ExitError;
    if (!storedProfile(ctx, config.document, *n))
        return ExitError;
    const ProfileValues values = ReadProfileValues(config.document, *n, false, ReadUiLanguage(config.document));
    for (const auto& [key, value] : ProfileKeyValues(values))
        ctx.out << key << '=' << value << '\n';
    return ExitOk;
}

int profileImport(CtlContext& ctx, const std::vector<std::string>& args) {
    if (args.empty() || args.size() > 2)
        return ctx.fail("usage: profile import FILE [N]");
    std::optional<int> target;
    if (args.size() == 2 && !(target = explicitProfile(ctx, args[1], ProfileCount)))
        return ExitError;
    ProfileValues values;
    if (const FileStatus read = ReadImportedProfile(fsys::PathFromUtf8(args[0]), values); !read)
        return ctx.fail(read.message());
    LinkedCompanion companion = FindCompanion(ctx);
    if (companion.refusal)
        return *companion.refusal;
    // The current profile is read under the same lock as the write, so a switch by another program
    // in between cannot send the import to the wrong profile.
    const FileStatus saved = IniFile::update(ctx.paths().configPath(), [&](IniDocument& config) {
        const std::optional<int> n = target ? target : ctx.currentProfile(config);
        if (!n)
            return FileStatus::failure({}); // already said why
        WriteProfileValues(config, values, *n);
        return FileStatus::success();
    });
    if (!saved)
        return saved.message().empty() ? ExitError : ctx.fail(saved.message());
    return ReloadCompanion(ctx, companion, "the profile");
}

int profileExport(CtlContext& ctx, const std::vector<std::string>& args) {
    if (args.empty() || args.size() > 2)
        return ctx.fail("usage: profile export FILE [N]");
    std::optional<int> n;
    if (args.size() == 2 && !(n = explicitProfile(ctx, args[1], HighestShownProfile)))
        return ExitError;
    const IniRead config = IniFile::read(ctx.paths().configPath());
    if (config.unreadable())
        return ctx.fail(config.error);
    if (!n && !(n = ctx.currentProfile(config.document)))
        return ExitError;
    if (!storedProfile(ctx, config.document, *n))
        return ExitError;
    const ProfileValues values = ReadProfileValues(config.document, *n, false, UiLanguage::English);
    if (const FileStatus saved = SaveProfileValues(values, fsys::PathFromUtf8(args[0]), ExchangeProfileSection,
                                                             FileLock::None); !saved)
        return ctx.fail(saved.message());
    return ExitOk;
}

int restoreDefaults(CtlContext& ctx, const std::vector<std::string>& args) {
    if (!args.empty())
        return ctx.fail("usage: restore-defaults");
    const IniRead config = IniFile::read(ctx.paths().configPath());
    if (config.unreadable())
        return ctx.fail(config.error);
    LinkedCompanion companion = FindCompanion(ctx);
    if (companion.refusal)
        return *companion.refusal;
    const UiLanguage language = ReadUiLanguage(config.document);
    ProfileSettings settings;
    settings.currentProfile = ReadCurConfig(config.document);
    settings.setValues(ReadProfileValues(config.document, settings.currentProfile, false, language));
    MacroTable macros;
    macros.filePath = ctx.paths().userMacroFile(language);
    // Failures are told through the notifier, one line on standard error. A half restore (the profiles
    // but not the macros) changed config.ini all the same: the companion reads the files again.
    const bool restored = static_cast<bool>(RestoreDefaults(settings, ctx.paths(), language, macros, ctx.notifier, nullptr, nullptr));
    const int reloaded = ReloadCompanion(ctx, companion, "the restored defaults");
    return restored ? reloaded : ExitError;
}

} // namespace

std::vector<CtlCommand> settingsCommands() {
    return {
        {{"profile", "show"}, "profile show [N]        print profile N (default: the current one), KEY=value", profileShow},
        {{"profile", "import"}, "profile import FILE [N] section Config7 of FILE into profile N (default: the current one)", profileImport},
        {{"profile", "export"}, "profile export FILE [N] profile N (default: the current one) into section Config7 of FILE", profileExport},
        {{"restore-defaults"}, "restore-defaults        factory profiles and the language's default macros", restoreDefaults},
    };
}

} // namespace krv::ctl
