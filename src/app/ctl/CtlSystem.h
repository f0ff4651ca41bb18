// SPDX-License-Identifier: MIT
#pragma once

#include "mouse/MouseProtocol.h"
#include "ports/CompanionLink.h"
#include "ports/DeviceChange.h"
#include "ports/HidBackend.h"
#include "ports/InterruptWait.h"

#include <cstdio>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace krv::ctl {

// The operating system's side of krv-glyde-ctl, chosen by main: the ports its mouse commands use.
struct CtlSystem {
    // The system's HID devices, where the real mouse is looked for.
    std::function<std::unique_ptr<HidBackend>()> hidBackend;
    // The hot-plug monitor of those devices ("listen" ends when the mouse is removed); null when the
    // system offers none.
    std::function<std::unique_ptr<DeviceChangeMonitor>()> deviceChanges;
    // The command that gives the user access to a mouse that is present but cannot be opened; empty
    // when there is none to offer.
    std::function<std::string()> deviceAccessCommand;
    // The next step when no mouse is found at all: how to see whether the system knows the mouse.
    std::string notFoundHint;
    // The wait of "listen" for an interruption or the monitor's changes (monitor may be null); null
    // when the system cannot wait for an interruption.
    std::function<std::unique_ptr<InterruptWait>(DeviceChangeMonitor* monitor)> interruptWait;
    // Where the user's files are kept when the program's folder is not writable, as the help says it.
    std::string userSettingsFolder;
    // The way to the running companion (the session bus on Linux); null: never a companion.
    std::function<std::unique_ptr<CompanionLink>()> companionLink;
};

// The mouse's USB id as lsusb and udev write it: "18f8:0f99".
inline std::string UsbIdText() {
    char text[10];
    std::snprintf(text, sizeof text, "%04x:%04x", unsigned{MouseVendorId}, unsigned{MouseProductId});
    return text;
}

// This system's side (CtlSystemLinux.cpp, CtlSystemWindows.cpp).
CtlSystem ThisSystem();

// The program's arguments (without its name) in UTF-8.
std::vector<std::string> CommandLineArguments(int argc, char** argv);
// Standard output and error write the bytes they are given, as UTF-8 text with "\n" line ends.
void PrepareStandardStreams();

} // namespace krv::ctl
