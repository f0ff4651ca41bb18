// SPDX-License-Identifier: MIT
// krv-glyde-demo: the companion with the simulated mouse as its device, beside a window that shows
// what the mouse received and presses its buttons.
//   krv-glyde-demo                    runs the demo
//   krv-glyde-demo --screenshots DIR  saves the three pages, the virtual mouse and the whole screen as PNG
//                                     files once the windows are shown and the first apply has reached the
//                                     mouse, then ends (status 2 when that takes longer than a minute)
//   ... --screenshots DIR --keep-running  keeps the windows open after saving, and prints "running" once the
//                                     display shows them as saved (for a compositor's own screenshot)
//   krv-glyde-demo --verbose          says on standard error what the companion does
#include "app/AppContext.h"
#include "app/Companion.h"
#include "app/DisplayCheck.h"
#ifndef _WIN32
#include "app/dbus/CompanionService.h"
#endif
#include "app/ProcessWiring.h"
#include "app/QtLog.h"
#include "app/SingleInstance.h"
#include "app/VirtualMouseWindow.h"
#include "ports/InputInjector.h"
#include "settings/AppFolders.h"
#include "settings/FileSystemCalls.h"
#include "sim/SimulatedMouse.h"
#include "ui/AboutBox.h"
#include "ui/MainWindow.h"
#include "ui/MainWindowController.h"

#include <QApplication>
#include <QDir>
#include <QPainter>
#include <QPointer>
#include <QScreen>
#include <QStyle>
#include <QTimer>
#include <QWindow>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <functional>
#include <memory>
#include <vector>

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

// Calls `done` once `ready` holds, testing it at every event that can make it hold: an exposure or a
// presented frame of the windows, a paint of the main window, a change the virtual mouse shows. After
// `bound` without it, `timedOut` instead. A frame is asked of every window first when `presented`:
// the display has then shown what the windows last painted (under Wayland the compositor's frame
// callback, which comes once the compositor has drawn the frame).
class WhenReady : public QObject {
public:
    WhenReady(const std::vector<QWidget*>& windows, QWidget& mainWindow, krv::VirtualMouseWindow& mouseWindow,
              std::function<bool()> ready, bool presented, std::chrono::milliseconds bound, std::function<void()> done,
              std::function<void()> timedOut)
        : m_ready(std::move(ready)), m_done(std::move(done)), m_timedOut(std::move(timedOut)) {
        mainWindow.installEventFilter(this);
        for (QWidget* window : windows) {
            window->installEventFilter(this);
            window->winId();
            QWindow* handle = window->windowHandle();
            handle->installEventFilter(this);
            if (presented) {
                m_framesAwaited.push_back(handle);
                handle->requestUpdate();
            }
        }
        connect(&mouseWindow, &krv::VirtualMouseWindow::refreshed, this, &WhenReady::check);
        m_bound.setSingleShot(true);
        connect(&m_bound, &QTimer::timeout, this, [this] {
            if (!m_finished) {
                m_finished = true;
                m_timedOut();
            }
        });
        m_bound.start(bound);
        QMetaObject::invokeMethod(this, &WhenReady::check, Qt::QueuedConnection);
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::UpdateRequest) {
            std::erase(m_framesAwaited, watched);
            check();
        } else if (event->type() == QEvent::Expose || event->type() == QEvent::Paint) {
            // After the event has been handled: the paint is then on its way to the display.
            QMetaObject::invokeMethod(this, &WhenReady::check, Qt::QueuedConnection);
        }
        return false;
    }

private:
    void check() {
        if (m_finished || !m_framesAwaited.empty() || !m_ready())
            return;
        m_finished = true;
        m_bound.stop();
        m_done();
    }

    std::function<bool()> m_ready;
    std::function<void()> m_done;
    std::function<void()> m_timedOut;
    std::vector<QObject*> m_framesAwaited;
    QTimer m_bound;
    bool m_finished = false;
};

// The whole wait for the screenshots, however loaded the machine: far more than a start takes.
constexpr std::chrono::seconds ScreenshotsBound{60};

} // namespace

int main(int argc, char** argv) {
#ifndef _WIN32
    if (!krv::DisplayAvailable(argc, argv)) {
        krv::SayNoDisplay("krv-glyde-demo");
        return 2;
    }
#endif
    QApplication app(argc, argv);
    app.setQuitOnLastWindowClosed(false);
    app.setApplicationName(QStringLiteral("krv-glyde-demo"));
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
    const QStringList args = app.arguments();
    krv::UseQtLog(args.contains(QStringLiteral("--verbose")) || args.contains(QStringLiteral("-v")));
    const qsizetype shotsAt = args.indexOf(QStringLiteral("--screenshots"));
    const QString screenshots = shotsAt >= 0 && shotsAt + 1 < args.size() ? args[shotsAt + 1] : QString();
    const bool keepRunning = args.contains(QStringLiteral("--keep-running"));

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
    ports.injector = krv::OpenDesktopInputInjector();
    ports.shell = krv::OpenDesktopShellActions();
    krv::AppPaths paths =
        krv::AppPathsForProgram(krv::fsys::PathFromUtf8(QCoreApplication::applicationDirPath().toStdString()));
    ports.openForegroundWatch = [rules = paths.appProfilesPath()] { return krv::OpenDesktopForegroundWatch(rules); };
    krv::AppContext context(std::move(paths), std::move(ports));

    krv::Companion::Options options;
    options.watchHotplug = false; // the simulated mouse is unplugged from its own window
    options.raiseServiceThreads = true;
    krv::Companion companion(context, options);
    krv::VirtualMouseWindow mouseWindow(sim, memoryPointer, [&companion] {
        companion.handleDeviceChange({krv::DeviceChange::Kind::Removal, krv::SimulatedMouse::VendorPath});
    });
    // Under Wayland a client can neither place its windows nor move them once shown: two windows could
    // open one over the other, so the virtual mouse goes into the main window's own window, beside it.
    std::unique_ptr<krv::SideBySideWindow> together;
    if (QGuiApplication::platformName().startsWith(QLatin1String("wayland")))
        together = std::make_unique<krv::SideBySideWindow>(companion.window(), mouseWindow);
    const auto termination = krv::wireCompanionToProcess(companion, instance, context);
    companion.start();
#ifndef _WIN32
    // The demo's own name, so that it never stands in for the companion of a real mouse.
    krv::CompanionService service(companion);
    if (screenshots.isEmpty() && companion.state() != krv::Companion::State::Ended)
        service.registerOn(QString::fromLatin1(krv::CompanionService::DemoServiceName));
#endif
    if (!together && companion.state() == krv::Companion::State::Shown) {
        // Beside the main window wherever the window manager puts it, both on the screen.
        auto* keeper = new krv::BesideWindowKeeper(companion.window(), mouseWindow);
        keeper->place();
        mouseWindow.show();
    }
    std::unique_ptr<WhenReady> shown, presented;
    if (!screenshots.isEmpty() && companion.state() == krv::Companion::State::Shown) {
        const std::vector<QWidget*> windows =
            together ? std::vector<QWidget*>{together.get()} : std::vector<QWidget*>{&companion.window(), &mouseWindow};
        auto exposed = [windows] {
            return std::all_of(windows.begin(), windows.end(), [](QWidget* w) {
                return w->isVisible() && w->windowHandle() && w->windowHandle()->isExposed();
            });
        };
        // The pictures are those a user sees once the first apply has reached the mouse and the mouse
        // has acknowledged its host-served buttons (the main page blinks one of them until then).
        const krv::ApplyFeedback& feedback = context.feedback;
        auto settled = [&sim, &feedback, exposed] {
            return exposed() && !sim.state().featureReports.empty() && feedback.HostFunctionsReady.load();
        };
        auto timedOut = [] {
            std::fprintf(stderr, "krv-glyde-demo: the windows were not shown with the first apply within %lld s\n",
                         static_cast<long long>(ScreenshotsBound.count()));
            QCoreApplication::exit(2);
        };
        auto save = [&, windows, exposed, timedOut] {
            mouseWindow.refresh();
            const bool ok = saveScreenshots(companion, mouseWindow, screenshots);
            if (!ok || !keepRunning) {
                QCoreApplication::exit(ok ? 0 : 2);
                return;
            }
            // Kept open: said once the display shows the windows as they were saved.
            auto running = [] {
                std::printf("running\n");
                std::fflush(stdout);
            };
            presented = std::make_unique<WhenReady>(windows, companion.window(), mouseWindow, exposed, true,
                                                    ScreenshotsBound, running, timedOut);
        };
        shown = std::make_unique<WhenReady>(windows, companion.window(), mouseWindow, settled, false, ScreenshotsBound,
                                            save, timedOut);
    }
    return app.exec();
}
