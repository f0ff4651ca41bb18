// SPDX-License-Identifier: MIT
// Saving a profile as one atomic replace versus 21 key-by-key rewrites of the same file, and loading
// and saving a full 12-macro file. Prints "name value unit" lines (medians over the runs).
#include "macros/MacroTable.h"
#include "settings/IniFile.h"
#include "settings/ProfileSettings.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <string>
#include <unistd.h>
#include <vector>

// Each save is flushed to the disk (fsync) before the rename: that flush dominates its cost.

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

double medianMicros(int runs, const std::function<void()>& work) {
    std::vector<double> times;
    for (int i = 0; i < runs; ++i) {
        auto start = Clock::now();
        work();
        times.push_back(std::chrono::duration<double, std::micro>(Clock::now() - start).count());
    }
    std::sort(times.begin(), times.end());
    return times[times.size() / 2];
}

} // namespace

int main() {
    const fs::path dir = fs::temp_directory_path() / ("krv-bench-" + std::to_string(::getpid()));
    fs::create_directories(dir);
    const fs::path config = dir / "config.ini";

    // A config.ini the size of the shipped one: Init, Config1..6 and five factory sections.
    krv::ProfileValues values = krv::FactoryProfile();
    static_cast<void>(krv::IniFile::writeString(config, "Init", "CurConfig", "1"));
    for (int n = 1; n <= 11; ++n)
        static_cast<void>(krv::SaveProfileValues(values, config, n));

    // Every run changes every key, so that each key-by-key write really rewrites the file.
    int round = 0;
    auto changeAll = [&] {
        ++round;
        for (auto& k : values.buttonCodes)
            k = round % 50;
        values.dpiStage = round % 4;
        values.wheelMode = round % 2 ? 1 : 2;
        values.macroPlaybackMode = round % 2 ? 3 : 4;
        for (int s = 0; s < 4; ++s) {
            values.dpiStagePositions[s] = static_cast<std::uint8_t>(round % 5);
            values.dpiStageEnabled[s] = static_cast<std::uint8_t>(round % 2);
        }
        values.ledMode = values.pointerSpeed = values.wheelSpeed = static_cast<std::uint8_t>(round % 10);
        values.fireInterval = round % 300;
    };
    constexpr int Runs = 60;
    const double atomicSave = medianMicros(Runs, [&] {
        changeAll();
        static_cast<void>(krv::SaveProfileValues(values, config, 3));
    });
    const double keyByKey = medianMicros(Runs, [&] {
        changeAll();
        for (const auto& [key, value] : krv::ProfileKeyValues(values))
            static_cast<void>(krv::IniFile::writeString(config, "Config3", key, value));
    });
    krv::ProfileSettings settings;
    const double load =
        medianMicros(Runs, [&] { static_cast<void>(krv::LoadProfile(settings, config, 3, false, krv::UiLanguage::English)); });

    krv::MacroTable table;
    table.modify([](krv::MacroTable::Records& records, std::int16_t& count) {
        for (int i = 0; i < krv::MacroTable::Capacity; ++i) {
            records[i].setName(u"Macro " + std::u16string(1, static_cast<char16_t>(u'A' + i)));
            records[i].setEventCount(254);
            for (int j = 0; j < 254; ++j)
                records[i].setEvent(j, {static_cast<std::uint8_t>(0x41 + j % 26), static_cast<std::uint8_t>(1 + j % 2),
                                        static_cast<std::uint16_t>(j * 7)});
        }
        count = krv::MacroTable::Capacity;
    });
    const fs::path macros = dir / "Macro_EN.dat";
    const double macroSave = medianMicros(50, [&] {
        table.modify([](krv::MacroTable::Records& records, std::int16_t&) { records[0].bytes[500] ^= 1; });
        static_cast<void>(krv::SaveMacroFile(table, macros));
    });
    krv::SilentNotifier quiet;
    krv::MacroTable loaded;
    const double macroLoad = medianMicros(50, [&] { static_cast<void>(krv::LoadMacroFile(loaded, macros, quiet)); });

    std::printf("save_profile_atomic_replace %.1f us\n", atomicSave);
    std::printf("save_profile_21_key_rewrites %.1f us\n", keyByKey);
    std::printf("save_profile_speedup %.1f x\n", keyByKey / atomicSave);
    std::printf("load_profile %.1f us\n", load);
    std::printf("macro_file_12_save %.1f us\n", macroSave);
    std::printf("macro_file_12_load %.1f us\n", macroLoad);
    std::printf("macro_file_12_bytes %ju bytes\n", static_cast<std::uintmax_t>(fs::file_size(macros)));
    fs::remove_all(dir);
    return 0;
}
