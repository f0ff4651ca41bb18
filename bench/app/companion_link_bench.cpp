// SPDX-License-Identifier: MIT
// A profile switch from the command line with the companion running: from the start of
// `krv-glyde-ctl apply N` to the companion serving profile N (the mouse has the profile's reports and
// has acknowledged its host-served buttons, and the executor plays profile N's functions). Beside it,
// the tool's own run time, and the tool applying by itself on files no companion keeps (its own
// simulated mouse), as the baseline. The companion runs on the simulated mouse in a copy of the
// shipped data, offscreen, on a private session bus (the program starts itself again under
// dbus-run-session when it has none).
//   companion_link_bench [runs]
#include "app/AppContext.h"
#include "app/Companion.h"
#include "app/dbus/CompanionService.h"
#include "settings/IniFile.h"
#include "sim/SimulatedMouse.h"

#include <QApplication>
#include <QEventLoop>
#include <QProcess>
#include <QTimer>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <unistd.h>
#include <vector>

#include "Percentile.h"

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

bool copyData(const fs::path& to) {
    const fs::path bin = KRV_BIN_DIR;
    std::error_code ec;
    fs::create_directories(to, ec);
    for (const char* file : {"config.ini", "Macro_EN.dat", "Macro_CN.dat"})
        fs::copy_file(fs::path(KRV_SHIPPED_DATA_DIR) / file, to / file, fs::copy_options::overwrite_existing, ec);
    fs::copy(bin / "skins", to / "skins", fs::copy_options::recursive | fs::copy_options::overwrite_existing, ec);
    return fs::exists(to / "skins" / "main_mask.jpg");
}

// Profiles 2 and 3 each put a host-served function on button 7, so that every switch between them
// waits for the mouse's acknowledgement before the companion serves it.
void prepareProfiles(const fs::path& folder) {
    const fs::path config = folder / "config.ini";
    (void)krv::IniFile::writeString(config, "Config2", "K7", "17");
    (void)krv::IniFile::writeString(config, "Config3", "K7", "18");
    for (const char* section : {"Config2", "Config3"})
        (void)krv::IniFile::writeString(config, section, "K1", "1");
}

double msSince(Clock::time_point start) {
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

// Runs the event loop until done() holds (checked every millisecond) or 20 s pass.
bool runUntil(const std::function<bool()>& done) {
    if (done())
        return true;
    QEventLoop loop;
    QTimer check;
    check.setTimerType(Qt::PreciseTimer);
    QObject::connect(&check, &QTimer::timeout, &loop, [&] {
        if (done())
            loop.quit();
    });
    check.start(1);
    QTimer::singleShot(20000, &loop, &QEventLoop::quit);
    loop.exec();
    return done();
}

void print(const char* name, const std::vector<double>& values) {
    std::printf("%s_p50 %.2f ms\n%s_p99 %.2f ms\n", name, krv::bench::percentile(values, 50), name,
                krv::bench::percentile(values, 99));
}

} // namespace

int main(int argc, char** argv) {
    if (std::getenv("DBUS_SESSION_BUS_ADDRESS") == nullptr && std::getenv("KRV_BENCH_UNDER_BUS") == nullptr) {
        // A private session bus of its own, so that no companion of the desktop answers.
        setenv("KRV_BENCH_UNDER_BUS", "1", 1);
        std::vector<char*> args{const_cast<char*>("dbus-run-session"), const_cast<char*>("--")};
        for (int i = 0; i < argc; ++i)
            args.push_back(argv[i]);
        args.push_back(nullptr);
        execvp("dbus-run-session", args.data());
        std::perror("dbus-run-session");
        return 2;
    }
    const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 40;
    if (std::getenv("QT_QPA_PLATFORM") == nullptr)
        setenv("QT_QPA_PLATFORM", "offscreen", 1);
    QApplication app(argc, argv);
    app.setQuitOnLastWindowClosed(false);

    char pattern[] = "/tmp/krv-link-bench-XXXXXX";
    const char* made = mkdtemp(pattern);
    // The folder goes however the run ends, after the companion that works in it.
    struct RemovedAtEnd {
        const char* folder;
        ~RemovedAtEnd() {
            std::error_code ec;
            if (folder)
                fs::remove_all(folder, ec);
        }
    } removedAtEnd{made};
    if (!made || !copyData(fs::path(made) / "companion") || !copyData(fs::path(made) / "alone")) {
        std::fprintf(stderr, "cannot prepare the data folders (build the skins first)\n");
        return 2;
    }
    const fs::path folder = fs::path(made) / "companion";
    const fs::path alone = fs::path(made) / "alone";
    prepareProfiles(folder);
    prepareProfiles(alone);

    auto mouse = std::make_unique<krv::SimulatedMouse>();
    krv::SimulatedMouse& sim = *mouse;
    krv::AppPorts ports;
    ports.hid = std::move(mouse);
    ports.pointer = std::make_unique<krv::MemorySystemPointer>();
    krv::AppContext context(folder.string(), std::move(ports));
    krv::Companion::Options options;
    options.watchHotplug = false;
    options.watchPower = false;
    krv::Companion companion(context, options);
    companion.start();
    krv::CompanionService service(companion);
    if (!service.registerOn(QString::fromLatin1(krv::CompanionService::ServiceName))) {
        std::fprintf(stderr, "cannot take the companion's name on the session bus\n");
        return 2;
    }
    if (!runUntil([&] { return context.feedback.HostFunctionsReady.load(); })) {
        std::fprintf(stderr, "the companion's first apply was not acknowledged\n");
        return 2;
    }

    std::vector<double> served, toolRun, toolAlone;
    for (int i = 0; i < runs; ++i) {
        const int n = 2 + i % 2;
        const std::size_t before = sim.state().featureReports.size();
        QProcess tool;
        const Clock::time_point start = Clock::now();
        tool.start(QStringLiteral(KRV_CTL), {QStringLiteral("--dir"), QString::fromStdString(folder.string()),
                                             QStringLiteral("apply"), QString::number(n)});
        double exited = -1;
        QObject::connect(&tool, &QProcess::finished, [&] { exited = msSince(start); });
        const bool ok = runUntil([&] {
            return context.settings.currentProfile.load() == n && sim.state().featureReports.size() >= before + 11 &&
                   context.feedback.HostFunctionsReady.load();
        });
        if (!ok) {
            std::fprintf(stderr, "run %d: profile %d was not served (%s)\n", i, n,
                         tool.readAllStandardError().constData());
            return 2;
        }
        served.push_back(msSince(start));
        runUntil([&] { return exited >= 0; });
        if (tool.exitCode() != 0) {
            std::fprintf(stderr, "run %d: krv-glyde-ctl exited %d\n", i, tool.exitCode());
            return 2;
        }
        toolRun.push_back(exited);
    }
    for (int i = 0; i < runs; ++i) {
        QProcess tool;
        const Clock::time_point start = Clock::now();
        tool.start(QStringLiteral(KRV_CTL),
                   {QStringLiteral("--dir"), QString::fromStdString(alone.string()), QStringLiteral("--simulate"),
                    QStringLiteral("apply"), QString::number(2 + i % 2)});
        // The event loop runs meanwhile: the companion answers the tool's look-up (its folder is not the tool's).
        bool finished = false;
        QObject::connect(&tool, &QProcess::finished, [&] { finished = true; });
        if (!runUntil([&] { return finished; }) || tool.exitCode() != 0) {
            std::fprintf(stderr, "krv-glyde-ctl alone failed: %s\n", tool.readAllStandardError().constData());
            return 2;
        }
        toolAlone.push_back(msSince(start));
    }
    print("ctl_apply_to_served", served);
    print("ctl_apply_through_companion_exit", toolRun);
    print("ctl_apply_alone_exit", toolAlone);
    return 0;
}
