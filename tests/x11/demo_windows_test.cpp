// SPDX-License-Identifier: MIT
// The demo's two windows on a real X server (Xvfb): the virtual mouse stands beside the main window,
// both on the screen, wherever the main window ends up: where the program put it, where a window
// manager (openbox, when installed) centred it, and where the user drags it.
#include "widgets/CompanionFixture.h"
#include "x11/QtEnvironment.h"

#include "app/VirtualMouseWindow.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QGuiApplication>
#include <QProcess>
#include <QScreen>
#include <QStandardPaths>

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/extensions/XTest.h>

namespace krv {
namespace {

[[maybe_unused]] ::testing::Environment* const qtEnvironment =
    ::testing::AddGlobalTestEnvironment(new test::QtEnvironment);

// An X connection of the test's own, for the window manager's presence and the pointer.
struct XConnection {
    Display* display = XOpenDisplay(nullptr);
    ~XConnection() {
        if (display)
            XCloseDisplay(display);
    }
    // A window manager that follows the EWMH announces itself on the root window.
    bool windowManagerRunning() const {
        const Atom check = XInternAtom(display, "_NET_SUPPORTING_WM_CHECK", False);
        Atom type = None;
        int format = 0;
        unsigned long count = 0, after = 0;
        unsigned char* data = nullptr;
        const int status = XGetWindowProperty(display, DefaultRootWindow(display), check, 0, 1, False, XA_WINDOW, &type,
                                              &format, &count, &after, &data);
        if (data)
            XFree(data);
        return status == Success && type == XA_WINDOW && count == 1;
    }
    // A window manager that has come as far as its event loop maps the windows it is asked to: a window
    // mapped while it was still starting can be lost, so the test waits for a probe to be mapped.
    bool managesNewWindows() const {
        const Window probe = XCreateSimpleWindow(display, DefaultRootWindow(display), 0, 0, 10, 10, 0, 0, 0);
        XMapWindow(display, probe);
        XFlush(display);
        const bool mapped = QTest::qWaitFor(
            [&] {
                XWindowAttributes attributes{};
                return XGetWindowAttributes(display, probe, &attributes) && attributes.map_state == IsViewable;
            },
            1000);
        XDestroyWindow(display, probe);
        XFlush(display);
        return mapped;
    }
    void pointerTo(QPoint p) {
        XTestFakeMotionEvent(display, -1, p.x(), p.y(), CurrentTime);
        XFlush(display);
    }
    void leftButton(bool down) {
        XTestFakeButtonEvent(display, 1, down ? True : False, CurrentTime);
        XFlush(display);
    }
};

// The companion window stands to the right of the main window, tops aligned, the two apart by the
// keeper's gap, and both inside the screen.
bool besideOnTheRight(const QWidget& main, const QWidget& companion, const QRect& screen) {
    const QRect m = main.frameGeometry(), c = companion.frameGeometry();
    return c.left() == m.right() + 1 + BesideWindowKeeper::Gap && c.top() == m.top() && screen.contains(m) &&
           screen.contains(c);
}

std::string describe(const QWidget& main, const QWidget& companion) {
    const QRect m = main.frameGeometry(), c = companion.frameGeometry();
    return QStringLiteral("main %1,%2 %3x%4, virtual mouse %5,%6 %7x%8")
        .arg(m.x())
        .arg(m.y())
        .arg(m.width())
        .arg(m.height())
        .arg(c.x())
        .arg(c.y())
        .arg(c.width())
        .arg(c.height())
        .toStdString();
}

enum class WindowManager { Absent, Openbox };

class DemoWindowsTest : public ::testing::TestWithParam<WindowManager> {
protected:
    void TearDown() override {
        if (m_wm.state() != QProcess::NotRunning) {
            m_wm.terminate();
            m_wm.waitForFinished(5000);
        }
    }
    QProcess m_wm;
};

TEST_P(DemoWindowsTest, VirtualMouseStandsBesideTheMainWindowAndFollowsIt) {
    XConnection x;
    ASSERT_NE(x.display, nullptr);
    if (GetParam() == WindowManager::Openbox) {
        const QString openbox = QStandardPaths::findExecutable(QStringLiteral("openbox"));
        if (openbox.isEmpty())
            GTEST_SKIP() << "openbox is not installed";
        m_wm.start(openbox, {QStringLiteral("--sm-disable")});
        ASSERT_TRUE(m_wm.waitForStarted());
        ASSERT_TRUE(QTest::qWaitFor([&] { return x.windowManagerRunning() && x.managesNewWindows(); }, 20000));
    } else {
        ASSERT_FALSE(x.windowManagerRunning());
    }

    test::CompanionFixture f;
    MainWindow& main = f.window();
    VirtualMouseWindow mouse(*f.mouse, *f.pointer, {});
    auto* keeper = new BesideWindowKeeper(main, mouse);
    keeper->place();
    mouse.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&main));
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&mouse));
    const QRect screen = main.screen()->availableGeometry();
    // 840 + 20 + the virtual mouse fit side by side on the 1280-pixel screen; a window manager that
    // centres the main window leaves too little room on either side, so the main window moves over.
    EXPECT_TRUE(QTest::qWaitFor([&] { return besideOnTheRight(main, mouse, screen); }, 5000)) << describe(main, mouse);

    if (GetParam() == WindowManager::Openbox)
        return; // a drag there is the window manager's own move
    // The user drags the main window by a point that is no element: the virtual mouse follows.
    const QPoint before = main.frameGeometry().topLeft();
    const QPoint grip = main.mapToGlobal(f.freePoint());
    const int dx =
        main.frameGeometry().right() + 40 + BesideWindowKeeper::Gap + mouse.frameGeometry().width() < screen.right()
            ? 40
            : -40;
    const QPoint delta(dx, 60);
    x.pointerTo(grip);
    ASSERT_TRUE(QTest::qWaitFor([&] { return main.rect().contains(main.mapFromGlobal(QCursor::pos())); }, 5000));
    x.leftButton(true);
    for (int step = 1; step <= 4; ++step)
        x.pointerTo(grip + delta * step / 4);
    x.leftButton(false);
    EXPECT_TRUE(QTest::qWaitFor([&] { return main.frameGeometry().topLeft() == before + delta; }, 5000))
        << describe(main, mouse);
    EXPECT_TRUE(QTest::qWaitFor([&] { return besideOnTheRight(main, mouse, screen); }, 5000)) << describe(main, mouse);
}

INSTANTIATE_TEST_SUITE_P(WindowManagers, DemoWindowsTest,
                         ::testing::Values(WindowManager::Absent, WindowManager::Openbox),
                         [](const ::testing::TestParamInfo<WindowManager>& info) {
                             return info.param == WindowManager::Absent ? std::string("NoWindowManager")
                                                                        : std::string("Openbox");
                         });

} // namespace
} // namespace krv
