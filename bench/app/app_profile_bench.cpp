// SPDX-License-Identifier: MIT
// From a change of the focused window to the profile sent to the mouse, on an X server (run under
// xvfb-run -a). The benchmark plays the window manager: it names one of two windows of its own (with
// rules by their window classes) in the root window's _NET_ACTIVE_WINDOW, as a window manager does
// when the user clicks or alt-tabs, and times each switch until the simulated mouse has taken the
// profile's last report (the fire time, 0x12). With the settle time at zero the figure is the
// program's own path (X event, rules, apply); with the default settle time it is what a user waits.
//   app_profile_bench [switches]
#include "widgets/CompanionFixture.h"

#include "app/AppProfileSwitcher.h"
#include "mouse/MouseProtocol.h"
#include "settings/AppProfileRules.h"

#include <QApplication>
#include <QTest>

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <vector>

#include "Percentile.h"

namespace {

using Clock = std::chrono::steady_clock;

using krv::bench::percentile;

Window classWindow(Display* display, const char* cls) {
    Window w = XCreateSimpleWindow(display, DefaultRootWindow(display), 0, 0, 10, 10, 0, 0, 0);
    XClassHint hint{const_cast<char*>(cls), const_cast<char*>(cls)};
    XSetClassHint(display, w, &hint);
    return w;
}

// Times `switches` focus changes between two windows whose rules give profiles 2 and 3.
std::vector<double> run(std::chrono::milliseconds settle, int switches) {
    std::vector<double> millis;
    Display* display = XOpenDisplay(nullptr);
    if (!display)
        return millis;
    krv::test::CompanionFixture f(
        [](const QString& folder, krv::SimulatedMouse&) {
            std::ofstream(std::filesystem::path(folder.toStdString()) / krv::AppProfilesFileName)
                << "[Programs]\r\nbenchtwo=2\r\nbenchthree=3\r\n";
        },
        true, false, [&](krv::Companion::Options& o) { o.appProfileSettle = settle; },
        [](krv::AppPorts& ports) { ports.openForegroundWatch = [] { return krv::OpenDesktopForegroundWatch({}); }; });
    (void)QTest::qWaitFor([&] { return f.context->feedback.HostFunctionsReady.load(); }, 10000);
    const Window windows[2] = {classWindow(display, "benchtwo"), classWindow(display, "benchthree")};
    const Atom active = XInternAtom(display, "_NET_ACTIVE_WINDOW", False);
    std::atomic<int> fireTimeReports{0};
    std::atomic<Clock::rep> sentAt{0};
    f.mouse->setChangeCallback([&] {
        const auto reports = f.mouse->state().featureReports;
        const int count = static_cast<int>(std::count_if(reports.begin(), reports.end(), [](const auto& r) {
            return r.size() > 1 && r[1] == static_cast<std::uint8_t>(krv::FeatureCommand::FireTime);
        }));
        if (count != fireTimeReports.load()) {
            fireTimeReports.store(count);
            sentAt.store(Clock::now().time_since_epoch().count());
        }
    });
    for (int i = 0; i < switches; ++i) {
        const int before = fireTimeReports.load();
        const unsigned long window = windows[i % 2];
        const auto start = Clock::now();
        XChangeProperty(display, DefaultRootWindow(display), active, XA_WINDOW, 32, PropModeReplace,
                        reinterpret_cast<const unsigned char*>(&window), 1);
        XFlush(display);
        if (!QTest::qWaitFor([&] { return fireTimeReports.load() > before; }, 10000)) {
            std::fprintf(stderr, "app_profile_bench: switch %d did not reach the mouse\n", i);
            break;
        }
        const auto sent = Clock::time_point(Clock::duration(sentAt.load()));
        millis.push_back(std::chrono::duration<double, std::milli>(sent - start).count());
        (void)QTest::qWaitFor([&] { return f.context->feedback.HostFunctionsReady.load(); }, 10000);
    }
    f.mouse->setChangeCallback(nullptr);
    XCloseDisplay(display);
    return millis;
}

void printSpread(const char* name, const std::vector<double>& values) {
    std::printf("%s_p50 %.3f ms\n%s_p99 %.3f ms\n", name, percentile(values, 50), name, percentile(values, 99));
}

} // namespace

int main(int argc, char** argv) {
    const int switches = argc > 1 ? std::max(2, std::atoi(argv[1])) : 200;
    qputenv("QT_QPA_PLATFORM", "xcb");
    if (qEnvironmentVariableIsEmpty("DISPLAY")) {
        std::fprintf(stderr, "app_profile_bench: no X display (run it under xvfb-run -a)\n");
        return 2;
    }
    QApplication app(argc, argv);
    const std::vector<double> own = run(std::chrono::milliseconds{0}, switches);
    const std::vector<double> user = run(krv::AppProfileSwitcher::SettleTime, std::max(2, switches / 10));
    if (own.empty() || user.empty())
        return 1;
    printSpread("app_profile_focus_to_sent", own);
    printSpread("app_profile_focus_to_sent_with_settle", user);
    return 0;
}
