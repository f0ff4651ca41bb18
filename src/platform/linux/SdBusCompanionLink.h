// SPDX-License-Identifier: MIT
#pragma once

#include "ports/CompanionLink.h"

#include <chrono>
#include <string>

struct sd_bus;
struct sd_bus_message;

namespace krv {

// CompanionLink over the user's session bus with sd-bus (libsystemd): no Qt, so that the tool stays
// light and works in builds without the window. Every wait is bounded, the connection's own
// start-up included: a stopped companion or bus never holds the tool.
class SdBusCompanionLink final : public CompanionLink {
public:
    struct Bounds {
        std::chrono::milliseconds lookup{1000}; // connecting and asking the bus who holds the names
        std::chrono::milliseconds answer{2000}; // the companion's answer to reading its state
        // ApplyProfile and Reload read the files under their lock, which another program may hold
        // for as long as the lock's patience (10 s).
        std::chrono::milliseconds call{15000};
    };

    SdBusCompanionLink();
    explicit SdBusCompanionLink(Bounds bounds);
    ~SdBusCompanionLink() override;
    SdBusCompanionLink(const SdBusCompanionLink&) = delete;
    SdBusCompanionLink& operator=(const SdBusCompanionLink&) = delete;

    Found find(const std::filesystem::path& folder) override;
    CallResult applyProfile(int n) override;
    CallResult reload() override;

private:
    struct Reply;
    // Sends `message` (consumed) and waits for its reply until `bound` has passed. The reply, or
    // the error's name and text.
    Reply call(sd_bus_message* message, std::chrono::milliseconds bound);
    CallResult callMethod(const char* method, bool withProfile, int n);

    Bounds m_bounds;
    sd_bus* m_bus = nullptr;
    std::string m_name; // the companion find() answered for
};

} // namespace krv
