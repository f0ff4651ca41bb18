// SPDX-License-Identifier: MIT
// krv-glyde-demo: the companion with the simulated mouse as its device, beside a window that shows
// what the mouse received and presses its buttons.
//   krv-glyde-demo                    runs the demo
//   krv-glyde-demo --screenshots DIR  saves the three pages, the virtual mouse and the whole screen as PNG
//                                     files, then ends
//   krv-glyde-demo --verbose          says on standard error what the companion does
#include "app/AppContext.h"
#include "app/Companion.h"
#include "app/dbus/CompanionService.h"
#include "app/ProcessWiring.h"
#include "app/QtLog.h"
#include "app/SingleInstance.h"
#include "app/VirtualMouseWindow.h"
#include "platform/linux/InputBackend.h"
#include "platform/linux/ShellLauncher.h"
#include "ports/InputInjector.h"
#include "settings/AppFolders.h"
#include "sim/SimulatedMouse.h"
#include "ui/AboutBox.h"
#include "ui/MainWindow.h"
#include "ui/MainWindowController.h"

#include <QApplication>
#include <QDir>
#include <QPainter>
#include <QScreen>
#include <QTimer>

#include <cstdio>

namespace {

// The window as it draws itself, cut by its shape (transparent outside it).
QPixmap ownRendering(QWidget& window) {
    const QPixmap drawn = window.grab();
    if (window.mask().isEmpty())
        return drawn;
    QPixmap cut(drawn.size());
    cut.fill(Qt::transparent);
    QPainter painter(&cut);
    painter.setClipRegion(window.mask());
    painter.drawPixmap(0, 0, drawn);
    return cut;
}

bool saveScreenshots(krv::Companion& companion, krv::VirtualMouseWindow& mouseWindow, const QString& folder) {
    QDir().mkpath(folder);
    auto& window = companion.window();
    QScreen* screen = window.screen();
    bool ok = true;
    const std::pair<krv::SkinPage, const char*> pages[] = {
        {krv::SkinPage::Main, "main"}, {krv::SkinPage::Advanced, "advanced"}, {krv::SkinPage::Color, "color"}};
    for (const auto& [page, name] : pages) {
        companion.controller().showPage(page);
        window.repaint();
        QCoreApplication::processEvents();
        // The screen's own pixels: the window as cut by its shape.
        QPixmap shot = screen->grabWindow(0, window.x(), window.y(), window.width(), window.height());
        if (shot.isNull())
            shot = ownRendering(window); // a Wayland compositor gives no screen pixels
        const QString file = QDir(folder).filePath(QStringLiteral("krv-glyde-%1.png").arg(QLatin1String(name)));
        ok = shot.save(file) && ok;
        std::printf("%s\n", qPrintable(file));
    }
    companion.controller().showPage(krv::SkinPage::Main);
    window.repaint();
    QCoreApplication::processEvents();
    const QString file = QDir(folder).filePath(QStringLiteral("krv-glyde-virtual-mouse.png"));
    ok = mouseWindow.grab().save(file) && ok;
    std::printf("%s\n", qPrintable(file));
    // The whole screen: where the two windows stand, with the window manager's frames if there is one.
    const QString desktop = QDir(folder).filePath(QStringLiteral("krv-glyde-desktop.png"));
    const QPixmap whole = screen->grabWindow(0);
    if (whole.isNull()) {
        std::fprintf(stderr, "krv-glyde-demo: the display server gives no picture of the screen (Wayland): no %s\n",
                     qPrintable(desktop));
        return ok;
    }
    ok = whole.save(desktop) && ok;
    std::printf("%s\n", qPrintable(desktop));
    return ok;
}

} // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    app.setQuitOnLastWindowClosed(false);
    app.setApplicationName(QStringLiteral("krv-glyde-demo"));
    // The desktop entry names the windows' application (Wayland's app id); every window and dialog
    // carries the icon.
    app.setDesktopFileName(krv::ApplicationId());
    app.setWindowIcon(krv::ApplicationIcon());
    const QStringList args = app.arguments();
    krv::UseQtLog(args.contains(QStringLiteral("--verbose")) || args.contains(QStringLiteral("-v")));
    const qsizetype shotsAt = args.indexOf(QStringLiteral("--screenshots"));
    const QString screenshots = shotsAt >= 0 && shotsAt + 1 < args.size() ? args[shotsAt + 1] : QString();

    krv::SingleInstance instance;
    if (screenshots.isEmpty() && !krv::becomeTheOnlyInstance(instance))
        return 1;

    auto mouse = std::make_unique<krv::SimulatedMouse>();
    krv::SimulatedMouse& sim = *mouse;
    auto pointer = std::make_unique<krv::MemorySystemPointer>();
    const krv::MemorySystemPointer& memoryPointer = *pointer;
    krv::AppPorts ports;
    ports.hid = std::move(mouse);
    ports.pointer = std::move(pointer);
    ports.injector = krv::OpenInputInjector();
    ports.shell = std::make_unique<krv::ShellLauncher>();
    ports.openForegroundWatch = krv::OpenDesktopForegroundWatch;
    krv::AppContext context(krv::AppPathsForProgram(QCoreApplication::applicationDirPath().toStdString()),
                            std::move(ports));

    krv::Companion::Options options;
    options.watchHotplug = false; // the simulated mouse is unplugged from its own window
    options.raiseServiceThreads = true;
    krv::Companion companion(context, options);
    krv::VirtualMouseWindow mouseWindow(sim, memoryPointer, [&companion] {
        companion.handleDeviceChange({krv::DeviceChange::Kind::Removal, krv::SimulatedMouse::VendorPath});
    });
    const auto termination = krv::wireCompanionToProcess(companion, instance, context);
    companion.start();
    // The demo's own name, so that it never stands in for the companion of a real mouse.
    krv::CompanionService service(companion);
    if (screenshots.isEmpty() && companion.state() != krv::Companion::State::Ended)
        service.registerOn(QString::fromLatin1(krv::CompanionService::DemoServiceName));
    if (companion.state() == krv::Companion::State::Shown) {
        // Beside the main window wherever the window manager puts it, both on the screen.
        auto* keeper = new krv::BesideWindowKeeper(companion.window(), mouseWindow);
        keeper->place();
        mouseWindow.show();
    }
    if (!screenshots.isEmpty()) {
        // Once the first apply has reached the mouse and the windows are drawn.
        QTimer::singleShot(1000, &companion, [&] {
            mouseWindow.refresh();
            const bool ok = saveScreenshots(companion, mouseWindow, screenshots);
            QCoreApplication::exit(ok ? 0 : 2);
        });
    }
    return app.exec();
}
