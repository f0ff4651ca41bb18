// SPDX-License-Identifier: MIT
#pragma once

#include <filesystem>
#include <string>

namespace krv {

// Where the running companion answers on the user's session bus.
namespace CompanionBus {
inline constexpr const char* ServiceName = "io.github.krv_glyde.KrvGlyde";
// The demo on its simulated mouse, so that it never stands in for the companion of a real mouse.
inline constexpr const char* DemoServiceName = "io.github.krv_glyde.KrvGlyde.Demo";
inline constexpr const char* ObjectPath = "/io/github/krv_glyde/KrvGlyde";
inline constexpr const char* InterfaceName = "io.github.krv_glyde.KrvGlyde1";
} // namespace CompanionBus

// What a running companion says about itself.
struct CompanionState {
    std::string name;          // the bus name it answered under
    int currentProfile = 0;    // 1..5
    bool connected = false;    // the mouse is plugged in and open
    int dpiStage = 0;          // 1..4
    std::string language;      // "zh" or "en"
    std::string configFolder;  // the folder of its config.ini (UTF-8)
};

// How the command-line tool reaches the resident companion, so that only one process sends to the
// mouse and the profile the companion serves, the mouse's and the files' stay the same one.
class CompanionLink {
public:
    enum class Presence {
        Absent,       // no companion (or no way to reach one): the tool works on its own
        Present,      // a companion on the same files answered; state holds what it said
        NotAnswering, // a companion holds its name but did not answer in time: the tool must not act
    };
    struct Found {
        Presence presence = Presence::Absent;
        CompanionState state;
        std::string detail; // NotAnswering: which name, and the bound waited
    };
    struct CallResult {
        bool ok = false;
        std::string error; // one line when !ok
    };

    virtual ~CompanionLink() = default;
    // Looks for a running companion whose files are those of `folder` (the folder of config.ini). A
    // companion on another folder is not this one's and counts as absent. Bounded in time.
    virtual Found find(const std::filesystem::path& folder) = 0;
    // On the companion find() returned as Present: apply profile n (1..5) of the files (the
    // companion sends it to the mouse, saves it as the current profile and serves its buttons), or
    // read the files again and apply the current profile.
    virtual CallResult applyProfile(int n) = 0;
    virtual CallResult reload() = 0;
};

// A system without a session bus (Windows today, builds without D-Bus): there is never a companion
// to reach, and the tool works on its own.
class NoCompanionLink final : public CompanionLink {
public:
    Found find(const std::filesystem::path&) override { return {}; }
    CallResult applyProfile(int) override { return {false, "no companion"}; }
    CallResult reload() override { return {false, "no companion"}; }
};

} // namespace krv
