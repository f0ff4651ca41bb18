// SPDX-License-Identifier: MIT
// Start-up of the companion: from the spawn of a fresh process to the first paint of the main window
// (the whole start-up order: settings, skin, fonts, shape, macros, menus, scan, first apply queued),
// and the resident memory once the window is shown. The companion runs on the simulated mouse in a
// copy of the shipped data, on the X display when there is one, offscreen otherwise.
//   app_startup_bench [runs]
#include "app/AppContext.h"
#include "app/Companion.h"
#include "app/SingleInstance.h"
#include "sim/SimulatedMouse.h"
#include "ui/MainWindow.h"

#include <QApplication>
#include <QTimer>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <spawn.h>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

extern char** environ;

namespace {

namespace fs = std::filesystem;

long long nowNs() {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

double residentMb() {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind("VmRSS:", 0) == 0)
            return std::atof(line.c_str() + 6) / 1024.0;
    return 0;
}

// The child: one companion start, reporting "<first paint ns> <resident MB>" on standard output.
class FirstPaint : public QObject {
public:
    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() == QEvent::Paint && paintedAt == 0) {
            paintedAt = nowNs();
            // After this paint has finished and the first apply has run.
            QTimer::singleShot(50, [] { QCoreApplication::exit(0); });
        }
        return false;
    }
    long long paintedAt = 0;
};

int child(const char* folder) {
    int argc = 1;
    char name[] = "app_startup_bench";
    char* argv[] = {name, nullptr};
    QApplication app(argc, argv);
    app.setQuitOnLastWindowClosed(false);
    krv::SingleInstance instance;
    if (instance.start() == krv::SingleInstance::Outcome::AlreadyRunning)
        return 3;
    krv::AppPorts ports;
    ports.hid = std::make_unique<krv::SimulatedMouse>();
    ports.pointer = std::make_unique<krv::MemorySystemPointer>();
    krv::AppContext context(folder, std::move(ports));
    krv::Companion::Options options;
    options.watchPower = false;
    krv::Companion companion(context, options);
    FirstPaint watch;
    companion.window().installEventFilter(&watch);
    companion.start();
    app.exec();
    std::printf("%lld %.1f\n", watch.paintedAt, residentMb());
    return watch.paintedAt ? 0 : 2;
}

bool copyData(const fs::path& to) {
    const fs::path bin = KRV_BIN_DIR;
    std::error_code ec;
    fs::create_directories(to / "runtime", ec);
    // The shipped files, not the build folder's copies, which a program run there may have changed.
    for (const char* file : {"config.ini", "Macro_EN.dat", "Macro_CN.dat"})
        fs::copy_file(fs::path(KRV_SHIPPED_DATA_DIR) / file, to / file, fs::copy_options::overwrite_existing, ec);
    fs::copy(bin / "skins", to / "skins", fs::copy_options::recursive | fs::copy_options::overwrite_existing, ec);
    fs::permissions(to / "runtime", fs::perms::owner_all, fs::perm_options::replace, ec);
    return fs::exists(to / "skins" / "main_mask.jpg");
}

} // namespace

int main(int argc, char** argv) {
    if (const char* folder = std::getenv("KRV_BENCH_CHILD"))
        return child(folder);
    const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 7;
    char pattern[] = "/tmp/krv-startup-XXXXXX";
    const char* dir = mkdtemp(pattern);
    if (!dir || !copyData(dir)) {
        std::fprintf(stderr, "cannot prepare the data folder (build the skins first)\n");
        return 2;
    }
    std::vector<std::string> env;
    for (char** e = environ; *e; ++e) {
        const std::string entry = *e;
        if (entry.rfind("XDG_RUNTIME_DIR=", 0) != 0)
            env.push_back(entry);
    }
    env.push_back(std::string("KRV_BENCH_CHILD=") + dir);
    env.push_back(std::string("XDG_RUNTIME_DIR=") + dir + "/runtime");
    if (!std::getenv("DISPLAY") && !std::getenv("QT_QPA_PLATFORM"))
        env.push_back("QT_QPA_PLATFORM=offscreen");
    std::vector<char*> envp;
    for (auto& e : env)
        envp.push_back(e.data());
    envp.push_back(nullptr);

    std::vector<double> startMs, rssMb;
    for (int i = 0; i < runs; ++i) {
        int pipeFd[2];
        if (pipe(pipeFd) != 0)
            return 2;
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, pipeFd[1], STDOUT_FILENO);
        posix_spawn_file_actions_addclose(&actions, pipeFd[0]);
        const long long spawnedAt = nowNs();
        pid_t pid = 0;
        char* childArgv[] = {argv[0], nullptr};
        if (posix_spawn(&pid, "/proc/self/exe", &actions, nullptr, childArgv, envp.data()) != 0)
            return 2;
        posix_spawn_file_actions_destroy(&actions);
        close(pipeFd[1]);
        std::string output;
        char buffer[256];
        ssize_t n = 0;
        while ((n = read(pipeFd[0], buffer, sizeof buffer)) > 0)
            output.append(buffer, static_cast<std::size_t>(n));
        close(pipeFd[0]);
        int status = 0;
        waitpid(pid, &status, 0);
        long long paintedAt = 0;
        double rss = 0;
        if (std::sscanf(output.c_str(), "%lld %lf", &paintedAt, &rss) != 2 || paintedAt == 0) {
            std::fprintf(stderr, "run %d failed: %s\n", i, output.c_str());
            return 2;
        }
        startMs.push_back(static_cast<double>(paintedAt - spawnedAt) / 1e6);
        rssMb.push_back(rss);
    }
    std::sort(startMs.begin(), startMs.end());
    std::sort(rssMb.begin(), rssMb.end());
    std::printf("startup_to_first_paint_median %.1f ms\n", startMs[startMs.size() / 2]);
    std::printf("startup_to_first_paint_max %.1f ms\n", startMs.back());
    std::printf("resident_memory_median %.1f MB\n", rssMb[rssMb.size() / 2]);
    std::printf("resident_memory_max %.1f MB\n", rssMb.back());
    std::error_code ec;
    fs::remove_all(dir, ec);
    return 0;
}
