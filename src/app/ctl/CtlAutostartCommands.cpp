// SPDX-License-Identifier: MIT
// krv-glyde-ctl: autostart on|off|status, the desktop's autostart entry that starts the companion at
// login in the tray.
#include "app/ctl/CtlCommands.h"
#include "settings/FileSystemCalls.h"
#include "settings/IniFile.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <sstream>
#include <string_view>
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

// Whether `krv-glyde` as the login session finds it on $PATH is the companion at `companion` (the
// package's /usr/bin/krv-glyde is a link to its private path).
bool companionOnPath(const fs::path& companion) {
    const char* path = std::getenv("PATH");
    if (path == nullptr)
        return false;
#ifdef _WIN32
    constexpr char Separator = ';';
#else
    constexpr char Separator = ':';
#endif
    std::string_view rest(path);
    while (!rest.empty()) {
        const std::size_t end = std::min(rest.find(Separator), rest.size());
        const std::string_view folder = rest.substr(0, end);
        rest.remove_prefix(std::min(end + 1, rest.size()));
        if (folder.empty() || !fs::path(folder).is_absolute())
            continue;
        std::error_code ec;
        const fs::path candidate = fsys::PathFromUtf8(folder) / "krv-glyde";
        if (fs::is_regular_file(candidate, ec))
            return fs::equivalent(candidate, companion, ec) && !ec; // the first one found is the one started
    }
    return false;
}

// A desktop entry's Exec argument: quoted when it holds anything but plain characters, with the
// quoting's and the entry's own backslash escapes.
std::string execArgument(const std::string& text) {
    const bool plain = std::all_of(text.begin(), text.end(), [](char c) {
        return std::isalnum(static_cast<unsigned char>(c)) || std::string_view("/._+-").find(c) != std::string_view::npos;
    });
    if (plain)
        return text;
    std::string quoted = "\"";
    for (char c : text) {
        if (c == '"' || c == '`' || c == '$' || c == '\\')
            quoted += "\\\\"; // an escaping backslash, itself escaped for the entry's string
        if (c == '\\')
            quoted += "\\"; // the entry's own escape of the backslash being quoted
        if (c == '%')
            quoted += '%'; // "%%" is a plain percent sign, not a field code
        quoted += c;
    }
    return quoted + "\"";
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
    // The command name, not the installed program's private path: an uninstalled program leaves an
    // entry the desktop skips (TryExec) instead of a broken login item. A companion the command name
    // does not reach (a build tree, a copy) is named by its path, which TryExec checks the same way.
    std::string tryExec = "krv-glyde";
    std::string exec = "krv-glyde";
    if (!companionOnPath(companion)) {
        std::error_code ec;
        const fs::path absolute = fs::absolute(companion, ec).lexically_normal();
        tryExec = fsys::Utf8Of(absolute);
        if (std::any_of(tryExec.begin(), tryExec.end(), [](char c) { return static_cast<unsigned char>(c) < 0x20; }))
            return ctx.fail(tryExec + ": a path with a line break or a control character cannot be named in a "
                                      "desktop entry");
        exec = execArgument(tryExec);
        std::string escaped;
        for (char c : tryExec)
            escaped += c == '\\' ? std::string("\\\\") : std::string(1, c);
        tryExec = escaped;
    }
    std::ostringstream text;
    text << "[Desktop Entry]\n"
            "Type=Application\n"
            "Name=KRV Glyde\n"
            "Comment=Companion of the VELDRA gaming mouse, started in the tray\n"
         << "TryExec=" << tryExec << "\n"
         << "Exec=" << exec << " --tray\n"
         << "Icon=" KRV_APP_ID "\n"
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
