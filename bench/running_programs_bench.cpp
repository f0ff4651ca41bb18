// SPDX-License-Identifier: MIT
// The cost of the running programs' watch, which stands for the window in front where the desktop
// tells no focus (GNOME's and KDE's Wayland sessions): one look at /proc with rules that name a
// program, the same look with no rules (then /proc is not read), the processes looked at, and the
// share of one core the watch takes at its interval.
//   running_programs_bench [looks]
#include "platform/linux/RunningProgramWatch.h"

#include <dirent.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <vector>

#include <unistd.h>

#include "Percentile.h"

namespace {

using Clock = std::chrono::steady_clock;

using krv::bench::percentile;

std::vector<double> timeLooks(krv::RunningProgramWatch& watch, int looks) {
    std::vector<double> micros;
    for (int i = 0; i < looks; ++i) {
        const auto start = Clock::now();
        (void)watch.look();
        micros.push_back(std::chrono::duration<double, std::micro>(Clock::now() - start).count());
    }
    return micros;
}

int processCount() {
    int count = 0;
    if (DIR* proc = opendir("/proc")) {
        while (const dirent* entry = readdir(proc))
            count += (entry->d_name[0] >= '0' && entry->d_name[0] <= '9') ? 1 : 0;
        closedir(proc);
    }
    return count;
}

} // namespace

int main(int argc, char** argv) {
    const int looks = argc > 1 ? std::max(10, std::atoi(argv[1])) : 500;
    const std::filesystem::path folder =
        std::filesystem::temp_directory_path() / ("krv-running-bench-" + std::to_string(getpid()));
    std::filesystem::create_directories(folder);
    const std::filesystem::path rules = folder / "appprofiles.ini";

    // Three rules, one of them naming this benchmark itself (left out as the watch's own process), so
    // that every process is compared with every rule and none matches.
    std::ofstream(rules) << "[Programs]\r\nsteam=2\r\nrunning_programs_bench=3\r\n/usr/games/krv-nothing=4\r\n";
    krv::RunningProgramWatch withRules(rules);
    const std::vector<double> scanning = timeLooks(withRules, looks);

    std::ofstream(rules, std::ios::trunc) << "[Options]\r\nNoMatch=1\r\n";
    krv::RunningProgramWatch withoutRules(rules);
    const std::vector<double> idle = timeLooks(withoutRules, looks);
    std::filesystem::remove_all(folder);

    const double interval =
        std::chrono::duration<double, std::micro>(krv::RunningProgramWatch::DefaultInterval).count();
    std::printf("running_programs_look_p50 %.1f us\n", percentile(scanning, 50));
    std::printf("running_programs_look_p99 %.1f us\n", percentile(scanning, 99));
    std::printf("running_programs_processes %d count\n", processCount());
    std::printf("running_programs_core_share %.4f %%\n", 100.0 * percentile(scanning, 50) / interval);
    std::printf("running_programs_look_without_rules_p50 %.1f us\n", percentile(idle, 50));
    return 0;
}
