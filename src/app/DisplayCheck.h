// SPDX-License-Identifier: MIT
#pragma once

#ifndef _WIN32
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace krv {

// Whether the window system a program would use can be reached at all. Without one, Qt ends the
// program with an abort; the programs say why in one line instead. The platform comes from
// -platform or QT_QPA_PLATFORM (a list separated by ';', the first that works is used); without
// either, the X or Wayland display of the session.
inline bool DisplayAvailable(int argc, char** argv) {
    auto set = [](const char* name) {
        const char* value = std::getenv(name);
        return value && *value;
    };
    std::string platforms = set("QT_QPA_PLATFORM") ? std::getenv("QT_QPA_PLATFORM") : "";
    for (int i = 1; i + 1 < argc; ++i)
        if (std::strcmp(argv[i], "-platform") == 0)
            platforms = argv[i + 1];
    if (platforms.empty())
        return set("DISPLAY") || set("WAYLAND_DISPLAY");
    std::size_t start = 0;
    while (start <= platforms.size()) {
        std::size_t end = platforms.find(';', start);
        if (end == std::string::npos)
            end = platforms.size();
        const std::string name = platforms.substr(start, end - start);
        if (name.rfind("xcb", 0) == 0) {
            if (set("DISPLAY"))
                return true;
        } else if (name.rfind("wayland", 0) == 0) {
            if (set("WAYLAND_DISPLAY"))
                return true;
        } else if (!name.empty()) {
            return true; // offscreen, vnc, eglfs and the like need no session display
        }
        start = end + 1;
    }
    return false;
}

// The one line a program without a display ends with (status 2).
inline void SayNoDisplay(const char* program) {
    std::fprintf(stderr,
                 "%s: no display to show the window on (neither DISPLAY nor WAYLAND_DISPLAY is set); start it in a "
                 "desktop session\n",
                 program);
}

} // namespace krv
#endif
