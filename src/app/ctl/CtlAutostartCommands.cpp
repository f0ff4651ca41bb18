// SPDX-License-Identifier: MIT
// krv-glyde-ctl: autostart on|off|status, the desktop's autostart entry that starts the companion at
// login in the tray.
#include "app/ctl/CtlCommands.h"
#include "settings/FileSystemCalls.h"
#include "settings/IniFile.h"

#include <sstream>
#include <system_error>

namespace krv::ctl {

namespace fs = std::filesystem;

namespace {

// $XDG_CONFIG_HOME/autostart/krv-glyde.desktop, else under $HOME/.config; empty without either.
fs::path autostartEntry() {
    fs::path config;
    if (fs::path xdg = fsys::EnvironmentFolder("XDG_CONFIG_HOME"); !xdg.empty())
        config = xdg;
    else if (fs::path home = fsys::EnvironmentFolder("HOME"); !home.empty())
        config = home / ".config";
    else
        return {};
    return config / "autostart" / "krv-glyde.desktop";
}

int autostartOn(CtlContext& ctx, const std::vector<std::string>& args) {
    if (!args.empty())
        return ctx.fail("usage: autostart on");
    const fs::path entry = autostartEntry();
    if (entry.empty())
        return ctx.fail("no HOME or XDG_CONFIG_HOME: nowhere to put the autostart entry");
    const fs::path companion = ctx.programFolder / "krv-glyde";
    if (std::error_code ec; !fs::is_regular_file(companion, ec))
        return ctx.fail(fsys::Utf8Of(companion) + ": the companion is not installed beside krv-glyde-ctl");
    std::ostringstream text;
    text << "[Desktop Entry]\n"
            "Type=Application\n"
            "Name=KRV Glyde\n"
            "Comment=Companion of the VELDRA gaming mouse, started in the tray\n"
            // The command name, not the installed program's private path: an uninstalled program
            // leaves an entry the desktop skips (TryExec) instead of a broken login item.
            "TryExec=krv-glyde\n"
            "Exec=krv-glyde --tray\n"
            "Icon=" KRV_APP_ID "\n"
            "Terminal=false\n"
            "X-GNOME-Autostart-enabled=true\n";
    std::error_code ec;
    fs::create_directories(entry.parent_path(), ec);
    if (ec)
        return ctx.fail(fsys::Utf8Of(entry.parent_path()) + ": cannot create the folder: " + ec.message());
    // Flushed and renamed into place: a crash or a full disk leaves the old entry or none, never half of one.
    if (const FileStatus saved = IniFile::replaceWhole(entry, text.str()); !saved)
        return ctx.fail(saved.message());
    ctx.out << "on " << fsys::Utf8Of(entry) << '\n';
    return ExitOk;
}

int autostartOff(CtlContext& ctx, const std::vector<std::string>& args) {
    if (!args.empty())
        return ctx.fail("usage: autostart off");
    const fs::path entry = autostartEntry();
    std::error_code ec;
    if (!entry.empty() && fs::remove(entry, ec); ec)
        return ctx.fail(fsys::Utf8Of(entry) + ": " + ec.message());
    ctx.out << "off\n";
    return ExitOk;
}

int autostartStatus(CtlContext& ctx, const std::vector<std::string>& args) {
    if (!args.empty())
        return ctx.fail("usage: autostart status");
    const fs::path entry = autostartEntry();
    std::error_code ec;
    if (!entry.empty() && fs::is_regular_file(entry, ec))
        ctx.out << "on " << fsys::Utf8Of(entry) << '\n';
    else
        ctx.out << "off\n";
    return ExitOk;
}

} // namespace

std::vector<CtlCommand> autostartCommands() {
    return {
        {{"autostart", "on"}, "autostart on            start the companion in the tray at login", autostartOn},
        {{"autostart", "off"}, "autostart off           do not start the companion at login", autostartOff},
        {{"autostart", "status"}, "autostart status        on (with the entry's path) or off", autostartStatus},
    };
}

} // namespace krv::ctl
