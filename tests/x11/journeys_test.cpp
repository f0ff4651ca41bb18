// SPDX-License-Identifier: MIT
// The main journeys of a user, on the whole companion beside the demo's virtual mouse, under a real X
// server: every click and key is an XTest event that the server delivers to the program's windows,
// and what comes out is read where the user would see it: the virtual mouse's window, the files, the
// screen, and the keys the server receives from the program.
#include "unit/RequireOk.h"
#include "x11/QtEnvironment.h"
#include "app/AppContext.h"
#include "app/Companion.h"
#include "app/VirtualMouseWindow.h"
#include "platform/linux/XTestInjector.h"
#include "settings/IniFile.h"
#include "sim/SimulatedMouse.h"
#include "skin/SkinImages.h"
#include "ui/FunctionMenu.h"
#include "ui/MacroPage.h"
#include "ui/MainWindow.h"
#include "ui/MainWindowController.h"

#include "fakes/RecordingNotifier.h"
#include "unit/TempDir.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QDeadlineTimer>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QTest>

#include <X11/XKBlib.h>
#include <X11/Xlib.h>
#include <X11/extensions/XInput2.h>
#include <X11/extensions/XTest.h>
#include <X11/keysym.h>

#include <algorithm>

namespace krv {
namespace {

[[maybe_unused]] ::testing::Environment* const qtEnvironment =
    ::testing::AddGlobalTestEnvironment(new test::QtEnvironment);

// Runs the program's event loop until `done` holds, at most `ms` milliseconds.
template <class Pred> bool waitUntil(Pred done, int ms = 5000) {
    QDeadlineTimer deadline(ms);
    while (!done()) {
        if (deadline.hasExpired())
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    }
    return true;
}

// The user's hands: pointer motion, button and key events sent through the X server with XTest.
class Hands {
public:
    Hands() : m_display(XOpenDisplay(nullptr)) {}
    ~Hands() {
        if (m_display)
            XCloseDisplay(m_display);
    }
    bool ok() const { return m_display != nullptr; }

    void moveTo(QPoint global) {
        XTestFakeMotionEvent(m_display, -1, global.x(), global.y(), CurrentTime);
        XFlush(m_display);
    }
    void button(bool down) {
        XTestFakeButtonEvent(m_display, 1, down ? True : False, CurrentTime);
        XFlush(m_display);
    }
    void click(QPoint global) {
        moveTo(global);
        button(true);
        button(false);
    }
    void key(KeySym sym, bool down) {
        XTestFakeKeyEvent(m_display, XKeysymToKeycode(m_display, sym), down ? True : False, CurrentTime);
        XFlush(m_display);
    }
    // Lower-case letters and digits, whose keysyms are their ASCII codes.
    void type(const char* letters) {
        for (const char* c = letters; *c; ++c) {
            key(static_cast<KeySym>(*c), true);
            key(static_cast<KeySym>(*c), false);
        }
    }

private:
    Display* m_display;
};

// Every key press and release the X server delivers to anyone (raw XInput 2 events on the root
// window, whoever has the focus or a grab), with the server's time.
class KeyWatcher {
public:
    struct Key {
        KeySym sym;
        bool down;
        Time time;
        bool operator==(const Key& o) const { return sym == o.sym && down == o.down; } // the time aside
    };

    KeyWatcher() : m_display(XOpenDisplay(nullptr)) {
        int event = 0, error = 0;
        if (!m_display || !XQueryExtension(m_display, "XInputExtension", &m_opcode, &event, &error)) {
            m_opcode = -1;
            return;
        }
        unsigned char bits[XIMaskLen(XI_LASTEVENT)] = {};
        XISetMask(bits, XI_RawKeyPress);
        XISetMask(bits, XI_RawKeyRelease);
        XIEventMask mask{XIAllMasterDevices, static_cast<int>(sizeof bits), bits};
        XISelectEvents(m_display, DefaultRootWindow(m_display), &mask, 1);
        XSync(m_display, False);
    }
    ~KeyWatcher() {
        if (m_display)
            XCloseDisplay(m_display);
    }
    bool ok() const { return m_display && m_opcode >= 0; }

    // Takes the events that have arrived.
    std::vector<Key> take() {
        std::vector<Key> keys;
        XSync(m_display, False);
        while (XPending(m_display) > 0) {
            XEvent e;
            XNextEvent(m_display, &e);
            if (e.type == MappingNotify) {
                XRefreshKeyboardMapping(&e.xmapping);
                continue;
            }
            if (e.xcookie.type != GenericEvent || e.xcookie.extension != m_opcode ||
                !XGetEventData(m_display, &e.xcookie))
                continue;
            const auto* raw = static_cast<const XIRawEvent*>(e.xcookie.data);
            const auto code = static_cast<KeyCode>(raw->detail);
            keys.push_back({XkbKeycodeToKeysym(m_display, code, 0, 0), e.xcookie.evtype == XI_RawKeyPress, raw->time});
            XFreeEventData(m_display, &e.xcookie);
        }
        return keys;
    }
    // Collects events until `count` have arrived (bounded).
    std::vector<Key> collect(std::size_t count, int ms = 5000) {
        std::vector<Key> keys;
        waitUntil(
            [&] {
                for (const Key& k : take())
                    keys.push_back(k);
                return keys.size() >= count;
            },
            ms);
        return keys;
    }
    // Whether the server holds any key down.
    bool anyKeyDown() {
        char keymap[32] = {};
        XQueryKeymap(m_display, keymap);
        return std::any_of(std::begin(keymap), std::end(keymap), [](char byte) { return byte != 0; });
    }

private:
    Display* m_display;
    int m_opcode = -1;
};

QPoint centre(const SkinElement& e) {
    return {e.x + e.width / 2, e.y + e.height / 2};
}

// The companion as the demo runs it: the simulated mouse behind it, keys and buttons injected into the
// X server, and the virtual mouse's window beside it; in a folder of its own with the shipped data.
class Journey : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(hands.ok()) << "no X display";
        ASSERT_TRUE(watcher.ok()) << "no XInput 2";
        for (const char* name : {"config.ini", "Macro_EN.dat", "Macro_CN.dat"})
            std::filesystem::copy(std::filesystem::path(KRV_SHIPPED_DATA_DIR) / name, dir / name);
        std::filesystem::copy(std::filesystem::path(KRV_BUILD_DATA_DIR) / "skins", dir / "skins",
                              std::filesystem::copy_options::recursive);
        auto mouse = std::make_unique<SimulatedMouse>();
        sim = mouse.get();
        auto memory = std::make_unique<MemorySystemPointer>();
        pointer = memory.get();
        std::string error;
        auto injector = XTestInjector::open(nullptr, &error);
        ASSERT_TRUE(injector) << error;
        AppPorts ports;
        ports.hid = std::move(mouse);
        ports.pointer = std::move(memory);
        ports.injector = std::move(injector);
        ports.shell = std::make_unique<NoShellActions>();
        context = std::make_unique<AppContext>(dir.path(), std::move(ports));
        Companion::Options options;
        options.watchHotplug = false;
        options.watchPower = false;
        companion = std::make_unique<Companion>(*context, options);
        virtualMouse = std::make_unique<VirtualMouseWindow>(*sim, *pointer, [] {});
        companion->start();
        ASSERT_EQ(companion->state(), Companion::State::Shown);
        window().move(10, 10);
        virtualMouse->move(window().geometry().topRight() + QPoint(20, 0));
        virtualMouse->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&window()));
        ASSERT_TRUE(QTest::qWaitForWindowExposed(virtualMouse.get()));
        // The window manager's part: the main window has the keyboard focus.
        window().activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(&window()));
        // The start-up apply has reached the mouse and been acknowledged.
        ASSERT_TRUE(
            waitUntil([&] { return context->feedback.HostFunctionsReady.load() && sim->state().fireTime != 0; }));
    }
    void TearDown() override {
        if (companion)
            companion->ShutDown();
        virtualMouse.reset();
        companion.reset();
    }

    MainWindow& window() { return companion->window(); }
    MainWindowController& controller() { return companion->controller(); }
    MacroPage& macroPage() { return companion->macroPage(); }
    const SkinLayout& mainLayout() { return window().skin().mainLayout; }
    std::string config(const char* section, const char* key) {
        return IniFile::readString((dir / "config.ini").string(), section, key);
    }
    QString virtualMouseText() { return virtualMouse->findChild<QLabel*>()->text(); }
    int acknowledgements() { return sim->state().acknowledgementsSent; }

    void clickMain(int element) { hands.click(window().mapToGlobal(centre(mainLayout()[element]))); }
    void clickAdvanced(int element) {
        hands.click(window().mapToGlobal(centre(window().skin().advancedLayout[element])));
    }
    void clickWidget(QWidget* widget, QPoint at) { hands.click(widget->mapToGlobal(at)); }
    // Presses and releases one of the virtual mouse's buttons ("Button 4").
    void clickVirtualButton(int slot) {
        for (QPushButton* b : virtualMouse->findChildren<QPushButton*>())
            if (b->text() == QStringLiteral("Button %1").arg(slot))
                clickWidget(b, b->rect().center());
    }

    // Opens a slot's function menu and picks item `item` of the group that first-level band `band`
    // opens beside it.
    void chooseFunction(int slot, int band, int item) {
        clickMain(MainElement::ButtonSlotFirst + slot - 1);
        ASSERT_TRUE(waitUntil([&] { return controller().functionMenu() && controller().functionMenu()->isVisible(); }));
        FunctionMenu* menu = controller().functionMenu();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(menu));
        hands.moveTo(menu->mapToGlobal(QPoint(menu->bandWidth() / 2, (band - 1) * menu->bandHeight() + 3)));
        ASSERT_TRUE(waitUntil([&] { return menu->subMenu() && menu->subMenu()->isVisible(); }));
        FunctionSubMenu* sub = menu->subMenu();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(sub));
        const QPoint itemPoint(sub->bandWidth() / 2, (item - 1) * sub->bandHeight() + sub->bandHeight() / 2);
        hands.moveTo(sub->mapToGlobal(itemPoint));
        ASSERT_TRUE(waitUntil([&] { return sub->hoveredItem() == item; }));
        hands.button(true);
        hands.button(false);
        ASSERT_TRUE(waitUntil([&] { return controller().functionMenu() == nullptr; }));
    }

    // APPLY, and the mouse's acknowledgement of the host-served buttons that ends the wait.
    void apply() {
        const int before = acknowledgements();
        clickMain(MainElement::Apply);
        ASSERT_TRUE(
            waitUntil([&] { return acknowledgements() > before && context->feedback.HostFunctionsReady.load(); }));
        ASSERT_TRUE(waitUntil([&] { return virtualMouseText() == virtualMouse->stateText(); }));
    }

    test::TempDir dir;
    Hands hands;
    KeyWatcher watcher;
    SimulatedMouse* sim = nullptr;
    MemorySystemPointer* pointer = nullptr;
    std::unique_ptr<AppContext> context;
    std::unique_ptr<Companion> companion;
    std::unique_ptr<VirtualMouseWindow> virtualMouse;
};

TEST_F(Journey, AssignAFunctionThroughTheMenusAndApply) {
    // Slot 5: the shortcuts group, its first item (Ctrl+C), served by the host.
    chooseFunction(5, 10, 1);
    apply();
    EXPECT_TRUE(virtualMouseText().contains(QStringLiteral("5: 31 (host)"))) << virtualMouseText().toStdString();
    EXPECT_EQ(config("Config1", "K5"), "31");
    // The virtual button now copies.
    watcher.take();
    clickVirtualButton(5);
    const auto keys = watcher.collect(4);
    using K = KeyWatcher::Key;
    EXPECT_EQ(keys,
              (std::vector<K>{{XK_Control_L, true, 0}, {XK_c, true, 0}, {XK_c, false, 0}, {XK_Control_L, false, 0}}));
    EXPECT_FALSE(watcher.anyKeyDown());
}

TEST_F(Journey, RecordSaveAssignAndPlayAMacro) {
    clickMain(MainElement::PageTabFirst + 1);
    ASSERT_TRUE(waitUntil([&] { return macroPage().controlsExist() && macroPage().nameEdit()->isVisible(); }));
    // Name it, ADD.
    clickWidget(macroPage().nameEdit(), macroPage().nameEdit()->rect().center());
    ASSERT_TRUE(waitUntil([&] { return macroPage().nameEdit()->hasFocus(); }));
    hands.key(XK_Control_L, true);
    hands.type("a");
    hands.key(XK_Control_L, false);
    hands.type("hello");
    ASSERT_TRUE(waitUntil([&] { return macroPage().nameEdit()->text() == QStringLiteral("hello"); }));
    clickAdvanced(AdvancedElement::AddMacro);
    ASSERT_TRUE(waitUntil([&] { return macroPage().macroList()->count() == 4; }));
    EXPECT_EQ(macroPage().macroList()->item(3)->text(), QStringLiteral("hello"));

    // Record: A held for a while, a pause, B.
    clickAdvanced(AdvancedElement::Record);
    ASSERT_TRUE(waitUntil([&] { return context->macros.recording; }));
    hands.key(XK_a, true);
    QTest::qWait(150);
    hands.key(XK_a, false);
    QTest::qWait(90);
    hands.key(XK_b, true);
    hands.key(XK_b, false);
    ASSERT_TRUE(waitUntil([&] { return macroPage().eventList()->count() == 7; }));
    clickAdvanced(AdvancedElement::Record);
    ASSERT_TRUE(waitUntil([&] { return !context->macros.recording; }));
    EXPECT_EQ(macroPage().eventList()->item(0)->text(), QString::fromUtf8("[↓]A"));
    EXPECT_EQ(macroPage().eventList()->item(6)->text(), QString::fromUtf8("[↑]B"));

    // SAVE writes it.
    clickAdvanced(AdvancedElement::SaveMacros);
    MacroTable saved;
    test::RecordingNotifier quiet;
    ASSERT_TRUE(waitUntil([&] {
        krv::test::requireOk(LoadMacroFile(saved, dir / "Macro_EN.dat", quiet));
        return saved.count() == 4;
    }));
    ASSERT_EQ(saved.nameUtf8(3), "hello");
    ASSERT_EQ(saved.record(3).eventCount(), 4);
    const int held = saved.record(3).event(0).delay;   // A down .. A up
    const int paused = saved.record(3).event(1).delay; // A up .. B down
    // The recording clock reads the time when the program takes each key: about the pauses typed.
    EXPECT_GE(held, 100);
    EXPECT_GE(paused, 50);

    // Put it on slot 4 (the macro group, fourth macro), APPLY, press the virtual button.
    clickMain(MainElement::PageTabFirst);
    ASSERT_TRUE(waitUntil([&] { return !macroPage().controlsExist(); }));
    chooseFunction(4, 9, 4);
    apply();
    EXPECT_TRUE(virtualMouseText().contains(QStringLiteral("4: 31 (host)"))) << virtualMouseText().toStdString();
    watcher.take();
    clickVirtualButton(4);
    const auto keys = watcher.collect(4);
    using K = KeyWatcher::Key;
    ASSERT_EQ(keys, (std::vector<K>{{XK_a, true, 0}, {XK_a, false, 0}, {XK_b, true, 0}, {XK_b, false, 0}}));
    // With their pauses, and nothing left down. Each key is due at its recorded time from the first
    // one (a late key does not push the later ones back); the server counts whole milliseconds and
    // stamps a key when it takes it, on a machine that may be busy.
    const long upAt = static_cast<long>(keys[1].time - keys[0].time);
    const long nextAt = static_cast<long>(keys[2].time - keys[0].time);
    SCOPED_TRACE("recorded " + std::to_string(held) + ", " + std::to_string(paused) + " ms; played at " +
                 std::to_string(upAt) + ", " + std::to_string(nextAt) + " ms");
    EXPECT_GE(upAt, held - 20);
    EXPECT_LE(upAt, held + 150);
    EXPECT_GE(nextAt, held + paused - 20);
    EXPECT_LE(nextAt, held + paused + 150);
    EXPECT_FALSE(watcher.anyKeyDown());
    EXPECT_TRUE(watcher.collect(1, 300).empty());
}

// "C down, a minute's pause, C up" on slot 4 in "repeat while held" mode: the virtual button held
// for a moment and let go. C goes up as the button comes up, not when the pause ends.
TEST_F(Journey, AMacroHeldThroughALongPauseLetsGoOfItsKeyAtTheRelease) {
    // The macro as an import would bring it: the fourth of the table.
    context->macros.modify([](MacroTable::Records& records, std::int16_t& count) {
        MacroRecord& r = records[3];
        r.setName(u"long C");
        r.setEventCount(2);
        r.setEvent(0, {'C', 1, 60000});
        r.setEvent(1, {'C', 2, 0});
        count = 4;
    });
    clickMain(MainElement::PageTabFirst + 1);
    ASSERT_TRUE(waitUntil([&] { return macroPage().controlsExist(); }));
    clickAdvanced(AdvancedElement::MacroMode);
    ASSERT_TRUE(waitUntil([&] { return context->settings.macroPlaybackMode.load() == 1; }));
    clickMain(MainElement::PageTabFirst);
    ASSERT_TRUE(waitUntil([&] { return !macroPage().controlsExist(); }));
    chooseFunction(4, 9, 4);
    apply();
    watcher.take();
    QPushButton* button = nullptr;
    for (QPushButton* b : virtualMouse->findChildren<QPushButton*>())
        if (b->text() == QStringLiteral("Button 4"))
            button = b;
    ASSERT_NE(button, nullptr);
    hands.moveTo(button->mapToGlobal(button->rect().center()));
    hands.button(true);
    using K = KeyWatcher::Key;
    std::vector<K> keys = watcher.collect(1);
    ASSERT_FALSE(keys.empty());
    EXPECT_EQ(keys.front(), (K{XK_c, true, 0}));
    hands.button(false);
    // The bound is far below the pause: only a pause that ends at the release lets C go in time.
    ASSERT_TRUE(waitUntil(
        [&] {
            for (const K& k : watcher.take())
                keys.push_back(k);
            return std::find(keys.begin(), keys.end(), K{XK_c, false, 0}) != keys.end();
        },
        10000))
        << "C is still down";
    EXPECT_FALSE(watcher.anyKeyDown());
    EXPECT_TRUE(watcher.collect(1, 300).empty()); // no more presses after the release
}

TEST_F(Journey, SwitchProfileAndLanguage) {
    // Profile 3 (work: Ctrl+C and Ctrl+V on slots 4 and 5, LED off), applied.
    clickMain(MainElement::ProfileTabFirst + 2);
    apply();
    EXPECT_EQ(config("Init", "CurConfig"), "3");
    const QString mouse = virtualMouseText();
    EXPECT_TRUE(mouse.contains(QStringLiteral("4: 31 (host)")) && mouse.contains(QStringLiteral("LED mode 3")))
        << mouse.toStdString();
    // The screen shows the tab of profile 3 pressed, once the pointer has left it.
    hands.moveTo(window().mapToGlobal(centre(mainLayout()[MainElement::StageMarkFirst])));
    ASSERT_TRUE(waitUntil([&] { return window().viewState().mainHit != MainElement::Apply; }));
    window().repaint();
    const SkinElement& tab = mainLayout()[MainElement::ProfileTabFirst + 2];
    const QPoint at = window().mapToGlobal(QPoint(tab.x, tab.y));
    const QImage screen =
        QGuiApplication::primaryScreen()->grabWindow(0, at.x(), at.y(), tab.width, tab.height).toImage();
    const QImage down = window().images().image(SkinImageName::MainDown).copy(tab.x, tab.y, tab.width, tab.height);
    const QImage normal = window().images().image(SkinImageName::MainNormal).copy(tab.x, tab.y, tab.width, tab.height);
    int likeDown = 0, likeNormal = 0;
    for (int y = 0; y < tab.height; ++y)
        for (int x = 0; x < tab.width; ++x) {
            likeDown += screen.pixel(x, y) == down.pixel(x, y) ? 1 : 0;
            likeNormal += screen.pixel(x, y) == normal.pixel(x, y) ? 1 : 0;
        }
    EXPECT_GT(likeDown, likeNormal);

    // Chinese: the choice is stored, and the advanced page lists the Chinese macros; back to English.
    clickMain(MainElement::PageTabFirst + 1);
    ASSERT_TRUE(waitUntil([&] { return macroPage().controlsExist() && macroPage().macroList()->count() > 0; }));
    clickMain(MainElement::Chinese);
    MacroTable chinese;
    test::RecordingNotifier quiet;
    krv::test::requireOk(LoadMacroFile(chinese, dir / "Macro_CN.dat", quiet));
    ASSERT_GT(chinese.count(), 0);
    ASSERT_TRUE(waitUntil(
        [&] { return macroPage().macroList()->item(0)->text() == QString::fromStdString(chinese.nameUtf8(0)); }));
    EXPECT_EQ(config("Init", "VER_SEL"), "0");
    clickMain(MainElement::English);
    ASSERT_TRUE(waitUntil([&] { return macroPage().macroList()->item(0)->text() == QStringLiteral("Reload"); }));
    EXPECT_EQ(config("Init", "VER_SEL"), "1");
}

} // namespace
} // namespace krv
