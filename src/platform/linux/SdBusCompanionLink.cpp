// SPDX-License-Identifier: MIT
#include "platform/linux/SdBusCompanionLink.h"

#include "log/Log.h"

#include <systemd/sd-bus.h>

#include <cerrno>
#include <cstring>
#include <memory>
#include <system_error>
#include <vector>

namespace krv {

namespace {

using Clock = std::chrono::steady_clock;

constexpr const char* BusService = "org.freedesktop.DBus";
constexpr const char* BusPath = "/org/freedesktop/DBus";
constexpr const char* PropertiesInterface = "org.freedesktop.DBus.Properties";

std::uint64_t micros(std::chrono::milliseconds bound) {
    return bound.count() <= 0 ? 1 : static_cast<std::uint64_t>(bound.count()) * 1000u;
}

std::string secondsText(std::chrono::milliseconds bound) {
    const long long ms = bound.count();
    return ms % 1000 == 0 ? std::to_string(ms / 1000) + " s" : std::to_string(ms) + " ms";
}

struct MessageUnref {
    void operator()(sd_bus_message* m) const { sd_bus_message_unref(m); }
};
using MessagePtr = std::unique_ptr<sd_bus_message, MessageUnref>;

bool sameFolder(const std::string& companionFolder, const std::filesystem::path& folder) {
    if (companionFolder.empty())
        return false;
    std::error_code ec;
    const std::filesystem::path theirs(std::u8string(companionFolder.begin(), companionFolder.end()));
    return std::filesystem::equivalent(theirs, folder, ec) && !ec;
}

// Reads the a{sv} of Properties.GetAll; false when a value has another type than the interface's.
bool readState(sd_bus_message* m, CompanionState& state) {
    if (sd_bus_message_enter_container(m, SD_BUS_TYPE_ARRAY, "{sv}") < 0)
        return false;
    for (;;) {
        const int entered = sd_bus_message_enter_container(m, SD_BUS_TYPE_DICT_ENTRY, "sv");
        if (entered < 0)
            return false;
        if (entered == 0)
            break;
        const char* key = nullptr;
        if (sd_bus_message_read(m, "s", &key) < 0)
            return false;
        const std::string_view name(key);
        int r = 0;
        std::int32_t number = 0;
        int flag = 0;
        const char* text = nullptr;
        if (name == "CurrentProfile") {
            r = sd_bus_message_read(m, "v", "i", &number);
            state.currentProfile = number;
        } else if (name == "DpiStage") {
            r = sd_bus_message_read(m, "v", "i", &number);
            state.dpiStage = number;
        } else if (name == "Connected") {
            r = sd_bus_message_read(m, "v", "b", &flag);
            state.connected = flag != 0;
        } else if (name == "Language" || name == "ConfigFolder") {
            r = sd_bus_message_read(m, "v", "s", &text);
            (name == "Language" ? state.language : state.configFolder) = text ? text : "";
        } else {
            r = sd_bus_message_skip(m, "v");
        }
        if (r < 0 || sd_bus_message_exit_container(m) < 0)
            return false;
    }
    return sd_bus_message_exit_container(m) >= 0;
}

} // namespace

struct SdBusCompanionLink::Reply {
    MessagePtr message; // the reply, when it was not an error
    bool timedOut = false;
    std::string error; // the error's text (or name), or why the call could not be made
    bool done = false;
};

SdBusCompanionLink::SdBusCompanionLink() : SdBusCompanionLink(Bounds{}) {}

SdBusCompanionLink::SdBusCompanionLink(Bounds bounds) : m_bounds(bounds) {}

SdBusCompanionLink::~SdBusCompanionLink() {
    if (m_bus)
        sd_bus_flush_close_unref(m_bus);
}

SdBusCompanionLink::Reply SdBusCompanionLink::call(sd_bus_message* message, std::chrono::milliseconds bound) {
    Reply reply;
    const Clock::time_point deadline = Clock::now() + bound;
    sd_bus_slot* slot = nullptr;
    auto onReply = [](sd_bus_message* m, void* userdata, sd_bus_error*) -> int {
        auto* r = static_cast<Reply*>(userdata);
        r->done = true;
        if (sd_bus_message_is_method_error(m, nullptr)) {
            const sd_bus_error* e = sd_bus_message_get_error(m);
            r->timedOut = sd_bus_error_has_name(e, SD_BUS_ERROR_TIMEOUT) || sd_bus_error_has_name(e, SD_BUS_ERROR_NO_REPLY);
            r->error = e->message && *e->message ? e->message : (e->name ? e->name : "error");
        } else {
            r->message.reset(sd_bus_message_ref(m));
        }
        return 0;
    };
    // Asynchronous, so that the connection's start-up is bounded too (a synchronous call waits for
    // the bus's greeting without end).
    const int sent = sd_bus_call_async(m_bus, &slot, message, onReply, &reply, micros(bound));
    sd_bus_message_unref(message);
    if (sent < 0) {
        reply.error = std::strerror(-sent);
        return reply;
    }
    while (!reply.done) {
        const int processed = sd_bus_process(m_bus, nullptr);
        if (processed < 0) {
            reply.error = std::strerror(-processed);
            break;
        }
        if (reply.done)
            break;
        if (processed > 0)
            continue;
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
        if (left.count() <= 0) {
            reply.timedOut = true;
            break;
        }
        if (const int waited = sd_bus_wait(m_bus, micros(left)); waited < 0 && waited != -EINTR) {
            reply.error = std::strerror(-waited);
            break;
        }
    }
    sd_bus_slot_unref(slot);
    return reply;
}

CompanionLink::Found SdBusCompanionLink::find(const std::filesystem::path& folder) {
    Found found;
    m_name.clear();
    if (!m_bus) {
        // Connection start-up (and its first answers) counts against the lookup's bound below.
        if (const int opened = sd_bus_open_user(&m_bus); opened < 0) {
            m_bus = nullptr;
            LogDetail(LogCategory::Instance) << "no session bus (" << std::strerror(-opened) << "): no companion to reach";
            return found;
        }
    }
    // First who holds the names (the lookup's bound), then what each holder says (the answer's bound).
    const Clock::time_point lookupEnd = Clock::now() + m_bounds.lookup;
    std::vector<const char*> held;
    for (const char* name : {CompanionBus::ServiceName, CompanionBus::DemoServiceName}) {
        sd_bus_message* ask = nullptr;
        if (sd_bus_message_new_method_call(m_bus, &ask, BusService, BusPath, BusService, "NameHasOwner") < 0 ||
            sd_bus_message_append(ask, "s", name) < 0) {
            sd_bus_message_unref(ask);
            return found;
        }
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(lookupEnd - Clock::now());
        Reply owner = call(ask, left);
        int owned = 0;
        if (!owner.message || sd_bus_message_read(owner.message.get(), "b", &owned) < 0) {
            // The bus itself does not answer: as without a bus, the tool works on its own.
            LogDetail(LogCategory::Instance) << "the session bus did not say who holds " << name << ": "
                                             << (owner.timedOut ? "no answer in " + secondsText(m_bounds.lookup) : owner.error);
            return found;
        }
        if (owned)
            held.push_back(name);
    }
    bool stalled = false;
    std::string stalledName;
    for (const char* name : held) {
        sd_bus_message* get = nullptr;
        if (sd_bus_message_new_method_call(m_bus, &get, name, CompanionBus::ObjectPath, PropertiesInterface, "GetAll") < 0 ||
            sd_bus_message_append(get, "s", CompanionBus::InterfaceName) < 0) {
            sd_bus_message_unref(get);
            return found;
        }
        sd_bus_message_set_auto_start(get, 0);
        Reply state = call(get, m_bounds.answer);
        if (state.timedOut) {
            stalled = true;
            stalledName = name;
            continue;
        }
        CompanionState said;
        said.name = name;
        if (!state.message || !readState(state.message.get(), said)) {
            LogDetail(LogCategory::Instance) << name << " is held by a program that is no companion: " << state.error;
            continue;
        }
        LogDetail(LogCategory::Instance) << "companion " << name << " keeps its files in " << said.configFolder;
        if (sameFolder(said.configFolder, folder)) {
            found.presence = Presence::Present;
            found.state = said;
            m_name = name;
            return found;
        }
    }
    if (stalled) {
        found.presence = Presence::NotAnswering;
        found.state.name = stalledName;
        found.detail = "the running companion (" + stalledName + " on the session bus) does not answer within " +
                       secondsText(m_bounds.answer);
    }
    return found;
}

CompanionLink::CallResult SdBusCompanionLink::callMethod(const char* method, bool withProfile, int n) {
    if (!m_bus || m_name.empty())
        return {false, "no companion"};
    sd_bus_message* message = nullptr;
    if (sd_bus_message_new_method_call(m_bus, &message, m_name.c_str(), CompanionBus::ObjectPath,
                                       CompanionBus::InterfaceName, method) < 0 ||
        (withProfile && sd_bus_message_append(message, "i", static_cast<std::int32_t>(n)) < 0)) {
        sd_bus_message_unref(message);
        return {false, "cannot make the call " + std::string(method)};
    }
    sd_bus_message_set_auto_start(message, 0);
    const Reply reply = call(message, m_bounds.call);
    if (reply.message)
        return {true, {}};
    if (reply.timedOut)
        return {false, "the companion (" + m_name + ") did not answer " + method + " within " + secondsText(m_bounds.call)};
    return {false, "the companion (" + m_name + ") refused " + method + ": " + reply.error};
}

CompanionLink::CallResult SdBusCompanionLink::applyProfile(int n) {
    return callMethod("ApplyProfile", true, n);
}

CompanionLink::CallResult SdBusCompanionLink::reload() {
    return callMethod("Reload", false, 0);
}

} // namespace krv
