// SPDX-License-Identifier: MIT
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

namespace krv {

// The program whose window has the focus, as the desktop tells it. Any part may be unknown (empty, 0).
struct ForegroundProgram {
    std::uint64_t window = 0;   // the desktop's id of the window (0: no window has the focus)
    std::int64_t pid = 0;       // its process
    std::string executable;     // the full path of the process's executable (under Wine, the Windows program's)
    std::string windowInstance; // the window's class, first half (X11 WM_CLASS); empty on Windows
    std::string windowClass;    // second half; on Windows the window's one class name

    bool operator==(const ForegroundProgram&) const = default;
};

// The desktop's word on which window has the focus, without polling. The owner watches fd() for
// readability (a socket notifier on the UI thread) and then calls readChange(), which never blocks.
// A desktop that gives no descriptor to watch (Windows) tells through notifyOnChange() instead.
class ForegroundWatch {
public:
    virtual ~ForegroundWatch() = default;
    // -1 when the watch could not be set up, or tells through notifyOnChange(); readChange() then
    // returns nothing until told.
    virtual int fd() const = 0;
    // Asks the watch to call `onChange` whenever readChange() may have news; true when it will (its
    // fd() is then -1), false when it never calls (watch fd()). The call comes from a thread of the
    // watch's own: it only hands the news on (posts it to the owner's thread, which then calls
    // readChange()), and the watch makes no call once it is destroyed. A second call replaces the
    // first's callback.
    virtual bool notifyOnChange(std::function<void()> onChange) {
        (void)onChange;
        return false;
    }
    // Takes every event waiting; the program in front when the focus moved to another window since
    // the last call, else nothing.
    virtual std::optional<ForegroundProgram> readChange() = 0;
    // The program in front now.
    virtual ForegroundProgram current() = 0;
};

// Opens the desktop's watch; null where this desktop tells nothing of the focus.
using OpenForegroundWatch = std::function<std::unique_ptr<ForegroundWatch>()>;

} // namespace krv
