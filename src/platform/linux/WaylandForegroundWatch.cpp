// SPDX-License-Identifier: MIT
#include "platform/linux/WaylandForegroundWatch.h"

#include "log/Log.h"

#include "wlr-foreign-toplevel-management-unstable-v1-client-protocol.h"

#include <wayland-client.h>

#include <poll.h>
#include <sys/epoll.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace krv {

namespace {

// The version this client speaks: 3 adds the parent event, which it takes and ignores.
constexpr std::uint32_t ManagerVersion = 3;

using Toplevel = WaylandForegroundWatch::Toplevel;

Toplevel& toplevelOf(void* data) {
    return *static_cast<Toplevel*>(data);
}

void onTitle(void*, zwlr_foreign_toplevel_handle_v1*, const char*) {}

void onAppId(void* data, zwlr_foreign_toplevel_handle_v1*, const char* appId) {
    toplevelOf(data).pendingAppId = appId ? appId : "";
}

void onOutput(void*, zwlr_foreign_toplevel_handle_v1*, wl_output*) {}

void onState(void* data, zwlr_foreign_toplevel_handle_v1*, wl_array* states) {
    // The array holds 32-bit values of the state enum.
    bool activated = false;
    const auto* begin = static_cast<const std::uint32_t*>(states->data);
    const std::size_t count = states->size / sizeof(std::uint32_t);
    for (std::size_t i = 0; i < count; ++i)
        activated = activated || begin[i] == ZWLR_FOREIGN_TOPLEVEL_HANDLE_V1_STATE_ACTIVATED;
    toplevelOf(data).pendingActivated = activated;
}

void onDone(void* data, zwlr_foreign_toplevel_handle_v1*) {
    Toplevel& toplevel = toplevelOf(data);
    toplevel.owner->toplevelDone(toplevel);
}

void onClosed(void* data, zwlr_foreign_toplevel_handle_v1*) {
    Toplevel& toplevel = toplevelOf(data);
    toplevel.owner->toplevelClosed(toplevel);
}

void onParent(void*, zwlr_foreign_toplevel_handle_v1*, zwlr_foreign_toplevel_handle_v1*) {}

const zwlr_foreign_toplevel_handle_v1_listener HandleListener = {
    onTitle, onAppId, onOutput, onOutput, onState, onDone, onClosed, onParent,
};

void onToplevel(void* data, zwlr_foreign_toplevel_manager_v1*, zwlr_foreign_toplevel_handle_v1* handle) {
    static_cast<WaylandForegroundWatch*>(data)->addToplevel(handle);
}

void onFinished(void* data, zwlr_foreign_toplevel_manager_v1*) {
    static_cast<WaylandForegroundWatch*>(data)->managerFinished();
}

const zwlr_foreign_toplevel_manager_v1_listener ManagerListener = {onToplevel, onFinished};

void onGlobal(void* data, wl_registry* registry, std::uint32_t name, const char* interface, std::uint32_t version) {
    if (std::strcmp(interface, zwlr_foreign_toplevel_manager_v1_interface.name) == 0)
        static_cast<WaylandForegroundWatch*>(data)->bindManager(registry, name, version);
}

void onGlobalRemove(void*, wl_registry*, std::uint32_t) {}

const wl_registry_listener RegistryListener = {onGlobal, onGlobalRemove};

// "firefox" of "org.mozilla.firefox": a reverse-domain id (two dots or more) ends in the program's
// own name, the name a user writes in a rule; any other id stands as it is.
std::string lastPartOf(const std::string& appId) {
    if (std::count(appId.begin(), appId.end(), '.') < 2 || appId.back() == '.')
        return appId;
    return appId.substr(appId.rfind('.') + 1);
}

} // namespace

std::unique_ptr<WaylandForegroundWatch> WaylandForegroundWatch::open(const char* displayName, std::string ownAppId,
                                                                     std::string* error) {
    const auto fail = [error](const char* why) {
        if (error != nullptr)
            *error = why;
        return nullptr;
    };
    wl_display* display = wl_display_connect(displayName);
    if (display == nullptr)
        return fail("cannot connect to the Wayland compositor");
    std::unique_ptr<WaylandForegroundWatch> watch(new WaylandForegroundWatch(display, std::move(ownAppId)));
    watch->m_registry = wl_display_get_registry(display);
    wl_registry_add_listener(watch->m_registry, &RegistryListener, watch.get());
    // The first round trip brings the globals (and binds the manager), the second the windows open now,
    // each with its first update.
    if (wl_display_roundtrip(display) < 0)
        return fail("the Wayland compositor did not answer");
    if (watch->m_manager == nullptr)
        return fail("the Wayland compositor tells no window in front (no zwlr_foreign_toplevel_manager_v1)");
    if (wl_display_roundtrip(display) < 0)
        return fail("the Wayland compositor did not answer");
    watch->m_epoll = epoll_create1(EPOLL_CLOEXEC);
    epoll_event event{};
    event.events = EPOLLIN;
    if (watch->m_epoll < 0 || epoll_ctl(watch->m_epoll, EPOLL_CTL_ADD, wl_display_get_fd(display), &event) != 0)
        return fail("cannot watch the Wayland connection");
    return watch;
}

WaylandForegroundWatch::WaylandForegroundWatch(wl_display* display, std::string ownAppId)
    : m_display(display), m_ownAppId(std::move(ownAppId)) {}

WaylandForegroundWatch::~WaylandForegroundWatch() {
    for (Toplevel& toplevel : m_toplevels)
        zwlr_foreign_toplevel_handle_v1_destroy(toplevel.handle);
    if (m_manager != nullptr)
        zwlr_foreign_toplevel_manager_v1_destroy(m_manager);
    if (m_registry != nullptr)
        wl_registry_destroy(m_registry);
    wl_display_disconnect(m_display);
    if (m_epoll >= 0)
        ::close(m_epoll);
}

void WaylandForegroundWatch::bindManager(wl_registry* registry, std::uint32_t name, std::uint32_t version) {
    if (m_manager != nullptr)
        return;
    m_manager = static_cast<zwlr_foreign_toplevel_manager_v1*>(wl_registry_bind(
        registry, name, &zwlr_foreign_toplevel_manager_v1_interface, std::min(version, ManagerVersion)));
    zwlr_foreign_toplevel_manager_v1_add_listener(m_manager, &ManagerListener, this);
}

void WaylandForegroundWatch::addToplevel(zwlr_foreign_toplevel_handle_v1* handle) {
    Toplevel& toplevel = m_toplevels.emplace_back();
    toplevel.owner = this;
    toplevel.handle = handle;
    toplevel.id = m_nextId++;
    zwlr_foreign_toplevel_handle_v1_add_listener(handle, &HandleListener, &toplevel);
}

void WaylandForegroundWatch::toplevelDone(Toplevel& toplevel) {
    toplevel.appId = toplevel.pendingAppId;
    if (toplevel.pendingActivated && !toplevel.activated)
        toplevel.activatedAt = ++m_activations;
    toplevel.activated = toplevel.pendingActivated;
}

void WaylandForegroundWatch::toplevelClosed(Toplevel& toplevel) {
    zwlr_foreign_toplevel_handle_v1_destroy(toplevel.handle);
    m_toplevels.remove_if([&toplevel](const Toplevel& t) { return &t == &toplevel; });
}

void WaylandForegroundWatch::managerFinished() {
    // The compositor has destroyed the manager: only the proxy is left to free. The windows known
    // keep their handles until they close.
    zwlr_foreign_toplevel_manager_v1_destroy(m_manager);
    m_manager = nullptr;
}

int WaylandForegroundWatch::fd() const {
    return m_epoll;
}

bool WaylandForegroundWatch::dispatchWaiting() {
    if (m_failed)
        return false;
    // libwayland's way to read without blocking: prepare, look whether the socket has anything, read
    // it or cancel, then dispatch what was read.
    while (wl_display_prepare_read(m_display) != 0) {
        if (wl_display_dispatch_pending(m_display) < 0) {
            fallSilent();
            return false;
        }
    }
    if (wl_display_flush(m_display) < 0 && errno != EAGAIN) {
        wl_display_cancel_read(m_display);
        fallSilent();
        return false;
    }
    pollfd socket{wl_display_get_fd(m_display), POLLIN, 0};
    if (::poll(&socket, 1, 0) > 0) {
        if (wl_display_read_events(m_display) < 0) {
            fallSilent();
            return false;
        }
    } else {
        wl_display_cancel_read(m_display);
    }
    if (wl_display_dispatch_pending(m_display) < 0) {
        fallSilent();
        return false;
    }
    return true;
}

void WaylandForegroundWatch::fallSilent() {
    m_failed = true;
    // The socket leaves the watched set: a connection that hung up would otherwise read as ready
    // for ever.
    epoll_ctl(m_epoll, EPOLL_CTL_DEL, wl_display_get_fd(m_display), nullptr);
    LogWarning(LogCategory::Apply) << "the Wayland connection of the window in front failed (error "
                                   << wl_display_get_error(m_display) << "): profiles for programs stop";
}

ForegroundProgram WaylandForegroundWatch::frontProgram() const {
    ForegroundProgram program;
    if (m_failed)
        return program;
    const Toplevel* front = nullptr;
    for (const Toplevel& toplevel : m_toplevels)
        if (toplevel.activated && (front == nullptr || toplevel.activatedAt > front->activatedAt))
            front = &toplevel;
    if (front == nullptr)
        return program;
    program.window = front->id;
    program.windowClass = front->appId;
    program.windowInstance = front->appId.empty() ? std::string() : lastPartOf(front->appId);
    if (!m_ownAppId.empty() && front->appId == m_ownAppId)
        program.pid = static_cast<std::int64_t>(::getpid());
    return program;
}

std::optional<ForegroundProgram> WaylandForegroundWatch::readChange() {
    const std::uint64_t before = m_lastWindow;
    const bool knewBefore = m_knowsLast;
    ForegroundProgram now = current();
    if (knewBefore && now.window == before)
        return std::nullopt;
    return now;
}

ForegroundProgram WaylandForegroundWatch::current() {
    dispatchWaiting();
    ForegroundProgram now = frontProgram();
    m_lastWindow = now.window;
    m_knowsLast = true;
    return now;
}

} // namespace krv
