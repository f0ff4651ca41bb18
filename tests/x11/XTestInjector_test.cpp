// SPDX-License-Identifier: MIT
// XTest input as a real X client receives it, and the pointer speed of the X server (run under Xvfb).
#include "functions/ActionExecutor.h"
#include "functions/HeldInputInjector.h"
#include "mouse/VirtualKeys.h"
#include "platform/linux/X11SystemPointer.h"
#include "platform/linux/InputBackend.h"
#include "platform/linux/XTestInjector.h"
#include "unit/TempDir.h"

#include <gtest/gtest.h>

#include <X11/XF86keysym.h>
#include <X11/XKBlib.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/keysym.h>

#include <optional>
#include <poll.h>

namespace krv {
namespace {

struct Received {
    int type;        // KeyPress, KeyRelease, ButtonPress, ButtonRelease
    unsigned long value; // keysym or button number
    unsigned state;
    Time time;
    std::string text = {}; // what a key types with the modifiers of its event
};

// A mapped window with the keyboard focus and the pointer, recording what reaches it.
class TestClient {
public:
    TestClient() {
        m_display = XOpenDisplay(nullptr);
        if (m_display == nullptr)
            return;
        const int screen = DefaultScreen(m_display);
        m_window = XCreateSimpleWindow(m_display, RootWindow(m_display, screen), 0, 0, 200, 200, 0, 0, 0);
        XSelectInput(m_display, m_window, KeyPressMask | KeyReleaseMask | ButtonPressMask | ButtonReleaseMask | StructureNotifyMask);
        XMapRaised(m_display, m_window);
        for (;;) {
            XEvent e;
            XNextEvent(m_display, &e);
            if (e.type == MapNotify)
                break;
        }
        XSetInputFocus(m_display, m_window, RevertToParent, CurrentTime);
        XWarpPointer(m_display, None, m_window, 0, 0, 0, 0, 100, 100);
        XSync(m_display, False);
    }
    ~TestClient() {
        if (m_display != nullptr)
            XCloseDisplay(m_display);
    }
    bool ok() const { return m_display != nullptr; }

    // The next input event, waiting at most a few seconds (the events are already on their way).
    std::optional<Received> next() {
        for (;;) {
            while (XPending(m_display) > 0) {
                XEvent e;
                XNextEvent(m_display, &e);
                if (e.type == MappingNotify) {
                    XRefreshKeyboardMapping(&e.xmapping);
                } else if (e.type == KeyPress || e.type == KeyRelease) {
                    char typed[16] = {};
                    const int length = XLookupString(&e.xkey, typed, sizeof typed - 1, nullptr, nullptr);
                    return Received{e.type, XLookupKeysym(&e.xkey, 0), e.xkey.state, e.xkey.time,
                                    std::string(typed, static_cast<std::size_t>(std::max(length, 0)))};
                } else if (e.type == ButtonPress || e.type == ButtonRelease) {
                    return Received{e.type, e.xbutton.button, e.xbutton.state, e.xbutton.time};
                }
            }
            pollfd fd{ConnectionNumber(m_display), POLLIN, 0};
            if (poll(&fd, 1, 5000) <= 0)
                return std::nullopt;
        }
    }
    std::vector<std::pair<int, unsigned long>> take(std::size_t n) {
        std::vector<std::pair<int, unsigned long>> out;
        while (out.size() < n) {
            auto r = next();
            if (!r)
                break;
            out.emplace_back(r->type, r->value);
        }
        return out;
    }

private:
    Display* m_display = nullptr;
    Window m_window = 0;
};

using Seq = std::vector<std::pair<int, unsigned long>>;

class XTestDelivery : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(client.ok()) << "no X display";
        std::string error;
        injector = XTestInjector::open(nullptr, &error);
        ASSERT_NE(injector, nullptr) << error;
    }
    TestClient client;
    std::unique_ptr<XTestInjector> injector;
};

TEST_F(XTestDelivery, CtrlCFromTheExecutorArrivesWithControlHeldAndTheLetterHeld20Ms) {
    test::TempDir dir;
    PressChannel channel;
    ProfileSettings settings;
    MacroTable macros;
    SteadyExecutorClock clock;
    HeldInputInjector held{*injector};
    NoShellActions shell;
    ActionExecutor executor{ActionExecutorPorts{.channel = channel, .settings = settings, .macros = macros,
                                                .injector = held, .shell = shell, .clock = clock,
                                                .configPath = dir / "config.ini", .sendFeatureReport = {},
                                                .applyStoredProfile = {}, .requestRepaint = {}}};
    settings.buttonCodes[0] = 31;
    executor.servePress(241);

    std::vector<Received> got;
    for (int i = 0; i < 4; ++i)
        if (auto r = client.next())
            got.push_back(*r);
    ASSERT_EQ(got.size(), 4u);
    EXPECT_EQ(got[0].type, KeyPress);
    EXPECT_EQ(got[0].value, XK_Control_L);
    EXPECT_EQ(got[1].type, KeyPress);
    EXPECT_EQ(got[1].value, XK_c);
    EXPECT_TRUE(got[1].state & ControlMask);
    EXPECT_EQ(got[2].type, KeyRelease);
    EXPECT_EQ(got[2].value, XK_c);
    EXPECT_GE(got[2].time - got[1].time, 19u); // server times are whole milliseconds
    EXPECT_EQ(got[3].type, KeyRelease);
    EXPECT_EQ(got[3].value, XK_Control_L);
    EXPECT_FALSE(held.anyHeld());
}

TEST_F(XTestDelivery, MacroKeysExtendedKeysAndMouseButtonsArrive) {
    struct Step {
        std::uint8_t code;
        bool down;
    };
    const std::vector<Step> steps{{0x25, true}, {0x25, false}, {0xA5, true}, {0xA5, false}, {0x11, true}, {0x11, false},
                                  {0x0D, true}, {0x0D, false}, {'7', true},  {'7', false}};
    for (const Step& s : steps) {
        const bool extended = IsExtendedKey(s.code) || s.code == 0x0D; // keypad Enter
        s.down ? injector->keyDown(s.code, extended) : injector->keyUp(s.code, extended);
    }
    injector->buttonDown(MouseButtonOfCode(240));
    injector->buttonUp(MouseButtonOfCode(240));
    injector->buttonDown(MouseButtonOfCode(241));
    injector->buttonUp(MouseButtonOfCode(241));
    injector->buttonDown(MouseButtonOfCode(250));
    injector->buttonUp(MouseButtonOfCode(242));
    EXPECT_EQ(client.take(16), (Seq{{KeyPress, XK_Left},       {KeyRelease, XK_Left},     {KeyPress, XK_Alt_R},
                                    {KeyRelease, XK_Alt_R},    {KeyPress, XK_Control_L},  {KeyRelease, XK_Control_L},
                                    {KeyPress, XK_KP_Enter},   {KeyRelease, XK_KP_Enter}, {KeyPress, XK_7},
                                    {KeyRelease, XK_7},        {ButtonPress, 1},          {ButtonRelease, 1},
                                    {ButtonPress, 3},          {ButtonRelease, 3},        {ButtonPress, 2},
                                    {ButtonRelease, 2}}));
}

TEST_F(XTestDelivery, KeysMissingFromTheKeymapAreBoundToASpareKeycode) {
    for (std::uint8_t code : {std::uint8_t{0x87} /* F24 */, Vk::VolumeMute}) {
        injector->keyDown(code, false);
        injector->keyUp(code, false);
    }
    EXPECT_EQ(client.take(4), (Seq{{KeyPress, XK_F24}, {KeyRelease, XK_F24}, {KeyPress, XF86XK_AudioMute},
                                   {KeyRelease, XF86XK_AudioMute}}));

    // The borrowed keycodes go back to the keyboard map with the injector.
    const unsigned f24 = injector->keycodeOf(0x87, false);
    ASSERT_NE(f24, 0u);
    injector.reset();
    Display* display = XOpenDisplay(nullptr);
    ASSERT_NE(display, nullptr);
    EXPECT_EQ(XKeysymToKeycode(display, XK_F24), 0);
    EXPECT_EQ(XkbKeycodeToKeysym(display, static_cast<KeyCode>(f24), 0, 0), static_cast<KeySym>(NoSymbol));
    XCloseDisplay(display);
}

TEST_F(XTestDelivery, KeypadDigitsTypeTheirDigitWhateverNumLock) {
    Display* display = XOpenDisplay(nullptr);
    ASSERT_NE(display, nullptr);
    const unsigned numLock = XkbKeysymToModifiers(display, XK_Num_Lock);
    ASSERT_NE(numLock, 0u) << "no Num Lock modifier in the keymap";
    std::vector<std::uint8_t> codes;
    for (std::uint8_t code = 0x60; code <= 0x69; ++code)
        codes.push_back(code);
    codes.push_back(0x6E); // DECIMAL
    for (const bool on : {false, true, false}) {
        SCOPED_TRACE(on ? "Num Lock on" : "Num Lock off");
        XkbLockModifiers(display, XkbUseCoreKbd, numLock, on ? numLock : 0);
        XSync(display, False);
        ASSERT_EQ(injector->numLockOn(), on);
        for (std::uint8_t code : codes) {
            injector->keyDown(code, false);
            injector->keyUp(code, false);
        }
        std::string typed;
        int presses = 0, releases = 0;
        for (std::size_t i = 0; i < 2 * codes.size(); ++i) {
            const auto r = client.next();
            ASSERT_TRUE(r.has_value());
            (r->type == KeyPress ? presses : releases) += 1;
            if (r->type == KeyPress)
                typed += r->text;
        }
        EXPECT_EQ(typed, "0123456789.");
        EXPECT_EQ(presses, releases);
        EXPECT_EQ(injector->numLockOn(), on); // the user's Num Lock is left as it was
    }
    XCloseDisplay(display);
}

TEST_F(XTestDelivery, ShutdownReleasesWhatAMacroLeftDown) {
    HeldInputInjector held{*injector};
    held.keyDown('Q', false);
    held.buttonDown(MouseButton::Left);
    EXPECT_EQ(client.take(2), (Seq{{KeyPress, XK_q}, {ButtonPress, 1}}));
    held.releaseAll(); // eight Alt releases (Alt is not down: nothing arrives for them), then Q and the button
    EXPECT_EQ(client.take(2), (Seq{{KeyRelease, XK_q}, {ButtonRelease, 1}}));
}

// In a Wayland session uinput comes first; without it the keys still go through XTest (to the X11
// programs under XWayland), and the reason is handed on for the user.
TEST(InputBackendChoice, AWaylandSessionPrefersUinput) {
    const char* before = std::getenv("WAYLAND_DISPLAY");
    const std::string saved = before ? before : "";
    ::setenv("WAYLAND_DISPLAY", "wayland-test", 1);
    std::string description, problem;
    auto injector = OpenInputInjector(&description, &problem);
    if (description == "uinput") {
        EXPECT_TRUE(problem.empty());
    } else {
        EXPECT_EQ(description, "XTest");
        EXPECT_NE(problem.find("/dev/uinput"), std::string::npos) << problem;
    }
    ::unsetenv("WAYLAND_DISPLAY");
    problem.clear();
    OpenInputInjector(&description, &problem);
    EXPECT_EQ(description, "XTest"); // an X11 session keeps XTest
    EXPECT_TRUE(problem.empty());
    if (before)
        ::setenv("WAYLAND_DISPLAY", saved.c_str(), 1);
}

// The server shows no pointer of this mouse (Xvfb has only its virtual devices): the desktop's own
// pointer settings are left exactly as they were.
TEST(X11SystemPointerTest, OtherPointersAreLeftAlone) {
    std::string error;
    auto pointer = X11SystemPointer::open(nullptr, &error);
    ASSERT_NE(pointer, nullptr) << error;
    ::Display* display = XOpenDisplay(nullptr);
    ASSERT_NE(display, nullptr);
    XChangePointerControl(display, True, True, 7, 3, 5);
    XSync(display, False);
    EXPECT_FALSE(pointer->pointerSpeed().has_value());
    EXPECT_FALSE(pointer->setPointerSpeed(20));
    int numerator = 0, denominator = 0, threshold = 0;
    XGetPointerControl(display, &numerator, &denominator, &threshold);
    EXPECT_EQ(std::make_tuple(numerator, denominator, threshold), std::make_tuple(7, 3, 5));
    XCloseDisplay(display);
    EXPECT_FALSE(pointer->wheelScrollLines().has_value());
    EXPECT_FALSE(pointer->setWheelScrollLines(3));
}

// Speeds go up and down from each device's own value, which speed 10 gives back exactly.
TEST(X11SystemPointerTest, SpeedsAreRelativeToTheUsersOwnValue) {
    MouseAccelKeeper keeper;
    const std::vector<MouseAccelKeeper::Device> user{{11, 0.3f}, {12, -0.95f}};
    auto accels = [](const std::vector<MouseAccelKeeper::Device>& devices) {
        std::vector<float> values;
        for (const auto& d : devices)
            values.push_back(d.accel);
        return values;
    };
    EXPECT_EQ(keeper.speedOf(user), 10);
    const auto faster = keeper.accelFor(15, user);
    EXPECT_NEAR(faster[0].accel, 0.8f, 1e-6);
    EXPECT_NEAR(faster[1].accel, -0.45f, 1e-6);
    EXPECT_EQ(keeper.speedOf(faster), 15);
    const auto fastest = keeper.accelFor(20, faster);
    EXPECT_EQ(fastest[0].accel, 1.0f); // clamped at libinput's 1
    EXPECT_NEAR(fastest[1].accel, 0.05f, 1e-6);
    EXPECT_EQ(accels(keeper.accelFor(1, faster))[1], -1.0f);
    EXPECT_EQ(accels(keeper.accelFor(10, faster)), accels(user)); // the user's values, exactly
    // A device seen for the first time keeps its own value as its neutral.
    EXPECT_EQ(accels(keeper.accelFor(10, {{13, 0.5f}})), (std::vector<float>{0.5f}));
    EXPECT_FALSE(keeper.speedOf({}).has_value());
}

} // namespace
} // namespace krv
