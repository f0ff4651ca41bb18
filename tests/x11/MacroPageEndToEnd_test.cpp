// SPDX-License-Identifier: MIT
// The whole companion on the simulated mouse under Xvfb: the advanced page is opened with its tab, a
// macro is named and added, recorded from real key events while the keyboard is grabbed, edited, saved,
// put on a button and played by a press of that button; a keyboard held by another program ends the next
// recording with a message.
#include "app/AppContext.h"
#include "app/Companion.h"
#include "mouse/ButtonCode.h"
#include "mouse/VirtualKeys.h"
#include "platform/linux/XTestInjector.h"
#include "sim/SimulatedMouse.h"
#include "ui/MacroPage.h"
#include "ui/MainWindow.h"
#include "ui/MainWindowController.h"
#include "unit/RequireOk.h"

#include "fakes/RecordingNotifier.h"
#include "unit/TempDir.h"
#include "fakes/ExecutorFakes.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QDeadlineTimer>
#include <QMenu>
#include <QMessageBox>
#include <QTest>
#include <QTimer>

#include <X11/Xlib.h>

namespace krv {
namespace {

template <class Pred> bool waitUntil(Pred pred, int ms = 5000) {
    QDeadlineTimer deadline(ms);
    QTimer tick;
    tick.start(20);
    while (!pred()) {
        if (deadline.hasExpired())
            return false;
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    }
    return true;
}

QPoint centre(const SkinElement& e) {
    return {e.x + e.width / 2, e.y + e.height / 2};
}

TEST(MacroPageEndToEnd, RecordEditSaveAssignAndPlay) {
    // The application lives in the test: its font caches go before the process's static storage.
    int argc = 1;
    char name[] = "x11_MacroPageEndToEnd_test";
    char* argv[] = {name, nullptr};
    QApplication app(argc, argv);
    test::TempDir dir;
    for (const char* name : {"config.ini", "Macro_EN.dat", "Macro_CN.dat"})
        std::filesystem::copy(std::filesystem::path(KRV_SHIPPED_DATA_DIR) / name, dir / name);
    std::filesystem::copy(std::filesystem::path(KRV_BUILD_DATA_DIR) / "skins", dir / "skins",
                          std::filesystem::copy_options::recursive);
    {
        // English, and no macros yet.
        std::string config = test::readFile(dir / "config.ini");
        const auto at = config.find("VER_SEL=");
        ASSERT_NE(at, std::string::npos);
        config[at + 8] = '1';
        test::writeFile(dir / "config.ini", config);
        test::writeFile(dir / "Macro_EN.dat", "[Macros]\r\nmacroNum=0\r\n");
    }

    auto mouse = std::make_unique<SimulatedMouse>();
    SimulatedMouse& sim = *mouse;
    auto played = std::make_unique<test::RecordingInjector>();
    test::RecordingInjector& injector = *played;
    AppPorts ports;
    ports.hid = std::move(mouse);
    ports.injector = std::move(played);
    ports.shell = std::make_unique<NoShellActions>();
    ports.pointer = std::make_unique<MemorySystemPointer>();
    AppContext context(dir.path(), std::move(ports));
    Companion::Options options;
    options.watchHotplug = false;
    options.watchPower = false;
    Companion companion(context, options);
    companion.start();
    ASSERT_EQ(companion.state(), Companion::State::Shown);
    MainWindow& window = companion.window();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    MainWindowController& controller = companion.controller();
    auto click = [&](const SkinElement& element) {
        controller.mouseMove(centre(element));
        controller.mousePress(centre(element));
        controller.mouseRelease(centre(element));
    };

    // The ADVANCED tab creates the page's controls.
    click(window.skin().mainLayout[10]);
    ASSERT_EQ(window.viewState().page, SkinPage::Advanced);
    MacroPage& page = companion.macroPage();
    ASSERT_TRUE(page.controlsExist());
    ASSERT_EQ(page.nameEdit()->parentWidget(), &window);
    const SkinLayout& advanced = window.skin().advancedLayout;

    // ADD with a name.
    page.nameEdit()->setText(QStringLiteral("Greeting"));
    click(advanced[AdvancedElement::AddMacro]);
    ASSERT_EQ(context.macros.count(), 1);
    ASSERT_EQ(page.macroList()->count(), 1);

    // Record: real keys through the X server while the keyboard is grabbed.
    click(advanced[AdvancedElement::Record]);
    ASSERT_TRUE(context.macros.recording);
    auto keys = XTestInjector::open();
    ASSERT_TRUE(keys);
    keys->keyDown(Vk::LShift, false);
    keys->keyDown('H', false);
    keys->keyUp('H', false);
    keys->keyUp(Vk::LShift, false);
    keys->keyDown('I', false);
    keys->keyUp('I', false);
    ASSERT_TRUE(waitUntil([&] { return page.eventList()->count() == 11; }));
    EXPECT_EQ(window.viewState().eventDownCount, 3);
    EXPECT_EQ(window.viewState().eventUpCount, 3);
    click(advanced[AdvancedElement::Record]);
    ASSERT_FALSE(context.macros.recording);
    ASSERT_EQ(context.macros.record(0).eventCount(), 6);

    // Edit: the pause after the release of H becomes 100 ms.
    page.eventList()->scrollToItem(page.eventList()->item(5));
    const QPoint line5 = page.eventList()->visualItemRect(page.eventList()->item(5)).center();
    QTest::mouseClick(page.eventList()->viewport(), Qt::RightButton, {}, line5);
    ASSERT_TRUE(page.openMenu() && page.openMenu()->isVisible());
    page.openMenu()->close();
    page.contextCommand(MacroMenuCommand::ModifyDelay);
    ASSERT_TRUE(page.eventList()->editing());
    QTest::keyClicks(page.eventList()->editor(), QStringLiteral("100"));
    QTest::keyClick(page.eventList()->editor(), Qt::Key_Return);
    ASSERT_EQ(context.macros.record(0).event(2).delay, 100);

    // SAVE writes the language's macro file.
    click(advanced[AdvancedElement::SaveMacros]);
    MacroTable saved;
    test::RecordingNotifier quiet;
    krv::test::requireOk(LoadMacroFile(saved, dir / "Macro_EN.dat", quiet));
    ASSERT_EQ(saved.count(), 1);
    EXPECT_EQ(saved.nameUtf8(0), "Greeting");
    EXPECT_EQ(saved.record(0).eventCount(), 6);

    // On slot 4, applied; a press of that button plays the keys.
    context.settings.buttonCodes[3] = FirstMacroCode + 0;
    companion.applyProfile();
    ASSERT_TRUE(waitUntil([&] { return context.feedback.HostFunctionsReady.load(); }));
    sim.press(DeviceButtonId[3]);
    injector.waitFor(6);
    sim.release();
    using test::down;
    using test::up;
    const auto events = injector.events();
    ASSERT_EQ(events.size(), 6u);
    EXPECT_EQ(events, (std::vector<test::InputEvent>{down(Vk::LShift), down('H'), up('H'), up(Vk::LShift), down('I'),
                                                     up('I')}));

    // Another program holds the keyboard: Record gives up after its retries and says why.
    Display* other = XOpenDisplay(nullptr);
    ASSERT_NE(other, nullptr);
    ASSERT_EQ(XGrabKeyboard(other, DefaultRootWindow(other), False, GrabModeAsync, GrabModeAsync, CurrentTime),
              GrabSuccess);
    XSync(other, False);
    click(advanced[AdvancedElement::Record]);
    ASSERT_TRUE(context.macros.recording);
    ASSERT_TRUE(waitUntil([&] { return !context.macros.recording; }));
    QMessageBox* box = nullptr;
    ASSERT_TRUE(waitUntil([&] {
        for (QWidget* w : QApplication::topLevelWidgets())
            if (auto* b = qobject_cast<QMessageBox*>(w); b && b->isVisible())
                box = b;
        return box != nullptr;
    }));
    EXPECT_EQ(box->text().toStdString(), Messages::KeyboardBusyEnglish);
    box->accept();
    XCloseDisplay(other);
    companion.ShutDown();
}

} // namespace
} // namespace krv
