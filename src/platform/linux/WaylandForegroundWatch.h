// SPDX-License-Identifier: MIT
#pragma once

#include "ports/ForegroundWatch.h"

#include <cstdint>
#include <list>
#include <memory>
#include <optional>
#include <string>

struct wl_display;
struct wl_registry;
struct zwlr_foreign_toplevel_manager_v1;
struct zwlr_foreign_toplevel_handle_v1;

namespace krv {

// The focused window of a wlroots compositor (sway, labwc, Hyprland, river, ...), on a Wayland
// connection of its own: the foreign-toplevel manager announces every open window with its app id and
// states, and the window whose states hold "activated" is in front. Changes arrive as events on the
// connection (no polling).
//
// Wayland tells no process: the program in front carries the window's app id as its window class
// (windowClass; windowInstance holds the last part of a reverse-domain id, "firefox" of
// "org.mozilla.firefox", else the id again), and no pid nor executable, except that a window with
// ownAppId (the companion's own windows) gets this process's pid, so that the focus on them counts as
// the companion's. Windows are numbered in the order they appear, from 1.
//
// A connection that fails later (the compositor ended, a protocol error) falls silent: fd() stays
// valid but never becomes readable again, and the program in front is then none.
class WaylandForegroundWatch final : public ForegroundWatch {
public:
    // displayName: a socket name or path as WAYLAND_DISPLAY takes it (null: WAYLAND_DISPLAY's own).
    // Null, with the reason in error, when there is no compositor or it offers no foreign-toplevel
    // manager.
    static std::unique_ptr<WaylandForegroundWatch> open(const char* displayName = nullptr, std::string ownAppId = {},
                                                        std::string* error = nullptr);
    ~WaylandForegroundWatch() override;
    WaylandForegroundWatch(const WaylandForegroundWatch&) = delete;
    WaylandForegroundWatch& operator=(const WaylandForegroundWatch&) = delete;

    int fd() const override;
    std::optional<ForegroundProgram> readChange() override;
    ForegroundProgram current() override;

    // A toplevel as the compositor last described it (its updates count from their "done" on).
    struct Toplevel {
        WaylandForegroundWatch* owner = nullptr;
        zwlr_foreign_toplevel_handle_v1* handle = nullptr;
        std::uint64_t id = 0;
        std::string appId;
        bool activated = false;
        std::uint64_t activatedAt = 0; // order of activation, for a compositor with several seats
        std::string pendingAppId;
        bool pendingActivated = false;
    };

    // For the protocol's listeners (file-local functions of the implementation).
    void addToplevel(zwlr_foreign_toplevel_handle_v1* handle);
    void toplevelDone(Toplevel& toplevel);
    void toplevelClosed(Toplevel& toplevel);
    void managerFinished();
    void bindManager(wl_registry* registry, std::uint32_t name, std::uint32_t version);

private:
    WaylandForegroundWatch(wl_display* display, std::string ownAppId);
    // Reads and dispatches the events waiting, without blocking; false once the connection failed.
    bool dispatchWaiting();
    void fallSilent();
    ForegroundProgram frontProgram() const;

    wl_display* m_display = nullptr;
    wl_registry* m_registry = nullptr;
    zwlr_foreign_toplevel_manager_v1* m_manager = nullptr;
    int m_epoll = -1; // holds the connection's socket while it works
    bool m_failed = false;
    std::string m_ownAppId;
    std::list<Toplevel> m_toplevels; // stable addresses: each is its handle's listener data
    std::uint64_t m_nextId = 1;
    std::uint64_t m_activations = 0;
    std::uint64_t m_lastWindow = 0;
    bool m_knowsLast = false;
};

} // namespace krv
