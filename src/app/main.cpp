// SPDX-License-Identifier: MIT
// krv-glyde: the companion of the VELDRA gaming mouse.
#include "app/AppContext.h"
#include "app/Companion.h"
#include "app/DisplayCheck.h"
#ifndef _WIN32
#include "app/dbus/CompanionService.h"
#endif
#include "app/ProcessWiring.h"
#include "app/QtLog.h"
#include "app/SingleInstance.h"
#include "settings/AppFolders.h"
#include "settings/FileSystemCalls.h"
#include "ui/AboutBox.h"

#include <QApplication>
#include <QStyle>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

constexpr const char* Usage = "usage: krv-glyde [--tray] [--verbose]\n"
                              "  --tray         start with the window hidden in the tray (minimised without a tray)\n"
                              "  -v, --verbose  say on standard error what the companion does (QT_LOGGING_RULES\n"
                              "                 chooses per category: krv.device, krv.apply, krv.executor,\n"
                              "                 krv.input, krv.files, krv.instance)\n"
                              "  -h, --help     this help\n"
                              "  -V, --version  the program's version\n"
                              "The companion of the VELDRA gaming mouse; krv-glyde-ctl is its command-line tool.\n";

} // namespace

int main(int argc, char** argv) {
    // Read before the window system is reached, so that --help and --version work without a display.
    bool startInTray = false;
    bool verbose = false;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "-h") == 0 || std::strcmp(argv[i], "--help") == 0) {
            std::fputs(Usage, stdout);
            return 0;
        }
        if (std::strcmp(argv[i], "-V") == 0 || std::strcmp(argv[i], "--version") == 0) {
            std::printf("krv-glyde %s\n", KRV_VERSION);
            return 0;
        }
        if (std::strcmp(argv[i], "--tray") == 0)
            startInTray = true;
        if (std::strcmp(argv[i], "-v") == 0 || std::strcmp(argv[i], "--verbose") == 0)
            verbose = true;
    }
#ifndef _WIN32
    if (!krv::DisplayAvailable(argc, argv)) {
        krv::SayNoDisplay("krv-glyde");
        return 2;
    }
#endif
    QApplication app(argc, argv);
    // Qt has taken its own options out of argv: anything left but ours is not understood.
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--tray") != 0 && std::strcmp(argv[i], "-v") != 0 &&
            std::strcmp(argv[i], "--verbose") != 0) {
            std::fprintf(stderr, "krv-glyde: unknown option %s\n%s", argv[i], Usage);
            return 2;
        }
    }
    krv::UseQtLog(verbose);
    app.setQuitOnLastWindowClosed(false); // the companion stays resident in the tray
    app.setApplicationName(QStringLiteral("krv-glyde"));
    // The desktop entry names the windows' application (Wayland's app id); every window and dialog
    // carries the icon.
    app.setDesktopFileName(krv::ApplicationId());
    app.setWindowIcon(krv::ApplicationIcon());
#ifdef _WIN32
    // The lists, scroll bars and plain buttons inside the skin in Qt's own style and colours, as the
    // Linux build draws them: the system's have other row heights, selection colours and scroll bars.
    QApplication::setStyle(QStringLiteral("Fusion"));
    QApplication::setPalette(QApplication::style()->standardPalette());
#endif

    krv::SingleInstance instance;
    if (!krv::becomeTheOnlyInstance(instance))
        return 1; // the running companion shows its window, or the user has been told why not

    krv::AppPaths paths =
        krv::AppPathsForProgram(krv::fsys::PathFromUtf8(QCoreApplication::applicationDirPath().toStdString()));
    krv::AppPorts ports = krv::AppPorts::Desktop(paths.appProfilesPath());
    krv::AppContext context(std::move(paths), std::move(ports));
    krv::Companion::Options options;
    options.raiseServiceThreads = true;
    options.startInTray = startInTray;
    krv::Companion companion(context, options);
    const auto termination = krv::wireCompanionToProcess(companion, instance, context);
    companion.start();
#ifndef _WIN32
    krv::CompanionService service(companion);
    if (companion.state() != krv::Companion::State::Ended)
        service.registerOn(QString::fromLatin1(krv::CompanionService::ServiceName));
#endif
    return app.exec();
}
