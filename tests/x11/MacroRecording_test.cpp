// SPDX-License-Identifier: MIT
// Recording on a real X server (run under Xvfb): keys injected with XTest while the keyboard is
// grabbed become the macro's events, and no other client sees them; the grab ends with the recording,
// with the capture object and with the process.
#include "macros/MacroEditor.h"
#include "mouse/VirtualKeys.h"
#include "platform/linux/XTestInjector.h"
#include "platform/linux/X11KeyboardCapture.h"

#include "fakes/RecordingNotifier.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QTimer>

#include <X11/XKBlib.h>
#include <X11/Xlib.h>
#include <X11/extensions/XTest.h>
#include <X11/keysym.h>

#include <chrono>
#include <csignal>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace krv {
namespace {

// The child process of GrabEndsWhenTheProcessDies: grabs through the capture, says so, and is killed.
const bool childRun = [] {
    const char* fd = std::getenv("KRV_GRAB_AND_DIE");
    if (fd == nullptr)
        return false;
    static int argc = 1;
    static char name[] = "grab-and-die";
    static char* argv[] = {name, nullptr};
    QCoreApplication app(argc, argv);
    auto capture = X11KeyboardCapture::open({});
    if (!capture)
        _exit(2);
    capture->start();
    if (!capture->grabbed())
        _exit(3);
    const char grabbed = 'g';
    if (write(std::atoi(fd), &grabbed, 1) != 1)
        _exit(4);
    raise(SIGKILL); // no destructor, no ungrab: only the X server can end the grab
    _exit(5);
}();

QCoreApplication& application() {
    static int argc = 1;
    static char name[] = "x11_MacroRecording_test";
    static char* argv[] = {name, nullptr};
    static QCoreApplication app(argc, argv);
    return app;
}

template <class Pred> bool waitUntil(Pred pred, int ms = 5000) {
    QDeadlineTimer deadline(ms);
    QTimer tick; // wakes the wait now and then to look at the deadline
    tick.start(20);
    while (!pred()) {
        if (deadline.hasExpired())
            return false;
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    }
    return true;
}

// Another X client: a mapped window with the keyboard focus that records the keys it receives.
class Probe {
public:
    Probe() {
        m_display = XOpenDisplay(nullptr);
        if (!m_display)
            return;
        m_window = XCreateSimpleWindow(m_display, DefaultRootWindow(m_display), 0, 0, 200, 200, 0, 0, 0);
        XSelectInput(m_display, m_window, KeyPressMask | KeyReleaseMask | StructureNotifyMask);
        XMapRaised(m_display, m_window);
        for (;;) {
            XEvent e;
            XNextEvent(m_display, &e);
            if (e.type == MapNotify)
                break;
        }
        XSetInputFocus(m_display, m_window, RevertToParent, CurrentTime);
        XSync(m_display, False);
    }
    ~Probe() {
        if (m_display)
            XCloseDisplay(m_display);
    }
    Display* display() const { return m_display; }

    // The keysyms of the key presses received so far.
    std::vector<KeySym> presses() {
        XSync(m_display, False);
        while (XPending(m_display) > 0) {
            XEvent e;
            XNextEvent(m_display, &e);
            if (e.type == KeyPress)
                m_presses.push_back(XLookupKeysym(&e.xkey, 0));
            else if (e.type == KeyRelease)
                m_releases.push_back(XLookupKeysym(&e.xkey, 0));
        }
        return m_presses;
    }
    bool waitForRelease(KeySym keysym) {
        return waitUntil([&] {
            presses();
            return std::find(m_releases.begin(), m_releases.end(), keysym) != m_releases.end();
        });
    }
    bool waitForPress(KeySym keysym) {
        return waitUntil([&] {
            const auto p = presses();
            return std::find(p.begin(), p.end(), keysym) != p.end();
        });
    }

private:
    Display* m_display = nullptr;
    Window m_window = 0;
    std::vector<KeySym> m_presses;
    std::vector<KeySym> m_releases;
};

class NamedList : public EventListControl {
public:
    void clear() override { lines.clear(); }
    void addLine(const std::string& text) override { lines.push_back(text); }
    void removeLine(int line) override { lines.erase(lines.begin() + line); }
    int lineCount() const override { return static_cast<int>(lines.size()); }
    int selection() const override { return lines.empty() ? -1 : 0; }
    void select(int) override {}
    std::string lineText(int line) const override { return line >= 0 && line < lineCount() ? lines[line] : ""; }
    void beginEdit() override {}
    std::vector<std::string> lines;
};

class NullEdit : public TextEditControl {
public:
    std::string text() const override { return {}; }
    void setText(const std::string&) override {}
    void setEnabled(bool) override {}
};

std::int64_t utcMillisOfDay() {
    using namespace std::chrono;
    return duration_cast<milliseconds>(system_clock::now().time_since_epoch()).count() % 86'400'000;
}

class MacroRecordingX11 : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_FALSE(childRun);
        application();
        ASSERT_TRUE(probe.display()) << "no X display";
        injector = XTestInjector::open();
        ASSERT_TRUE(injector);
        capture = X11KeyboardCapture::open([this](KeyMessage message, std::uint8_t vk) {
            messages.emplace_back(message, vk);
            editor.OnKeyMessage(message, vk);
        });
        ASSERT_TRUE(capture);
        table.modify([](MacroTable::Records& records, std::int16_t& count) {
            records[0].setName(u"recorded");
            count = 1;
        });
        macroList.lines = {"recorded"};
        editor.attach({repeat, name, macroList, eventList});
        editor.setKeyboardCapture(capture.get());
    }

    void tap(std::uint8_t vk) {
        injector->keyDown(vk, false);
        injector->keyUp(vk, false);
    }
    std::size_t downs(std::uint8_t vk) const {
        return static_cast<std::size_t>(std::count_if(messages.begin(), messages.end(), [vk](const auto& m) {
            return m.second == vk && (m.first == KeyMessage::KeyDown || m.first == KeyMessage::SysKeyDown);
        }));
    }

    Probe probe;
    std::unique_ptr<XTestInjector> injector;
    std::unique_ptr<X11KeyboardCapture> capture;
    std::vector<std::pair<KeyMessage, std::uint8_t>> messages;
    MacroTable table;
    ProfileSettings settings;
    test::RecordingNotifier notifier;
    MacroEditor editor{table, settings, notifier, [] { return UiLanguage::English; }, utcMillisOfDay};
    NullEdit repeat, name;
    NamedList macroList, eventList;
};

TEST_F(MacroRecordingX11, GrabbedKeysBecomeTheMacroAndReachNoOtherClient) {
    // Before the recording the probe has the keys.
    tap('Q');
    ASSERT_TRUE(probe.waitForPress(XK_q));
    ASSERT_TRUE(probe.waitForRelease(XK_q)); // nothing of it is left for the grab

    editor.ToggleRecording();
    ASSERT_TRUE(editor.recording());
    ASSERT_TRUE(capture->grabbed());

    using Step = std::pair<std::uint8_t, bool>; // key, press
    const std::vector<Step> steps{
        {'A', true},        {'B', true},         {'A', false},        {'B', false},        // overlapping keys
        {Vk::LShift, true}, {Vk::RShift, true},  {Vk::RShift, false}, {Vk::LShift, false}, // sides kept apart
        {Vk::LMenu, true},  {'X', true},         {'X', false},        {Vk::LMenu, false},  // with Alt: Sys
        {121, true},        {121, false},                                                  // F10: Sys
        {Vk::Return, true}, {Vk::Return, false}, {0x1B, true},        {0x1B, false},
    };
    for (const auto& [vk, press] : steps)
        press ? injector->keyDown(vk, false) : injector->keyUp(vk, false);
    ASSERT_TRUE(waitUntil([&] { return messages.size() >= steps.size(); }));

    // A held key repeats as presses; it records once.
    XkbSetAutoRepeatRate(probe.display(), XkbUseCoreKbd, 60, 15);
    XAutoRepeatOn(probe.display());
    XSync(probe.display(), False);
    injector->keyDown('C', false);
    ASSERT_TRUE(waitUntil([&] { return downs('C') >= 3; })) << "no auto-repeat from the server";
    injector->keyUp('C', false);
    ASSERT_TRUE(waitUntil([&] { return !messages.empty() && messages.back().first == KeyMessage::KeyUp; }));

    editor.ToggleRecording();
    EXPECT_FALSE(capture->grabbed());

    // Events in order, with one press for the held key.
    std::vector<Step> expected = steps;
    expected.push_back({'C', true});
    expected.push_back({'C', false});
    const MacroRecord r = table.record(0);
    ASSERT_EQ(r.eventCount(), expected.size());
    for (std::size_t j = 0; j < expected.size(); ++j) {
        EXPECT_EQ(r.event(static_cast<int>(j)).code, expected[j].first) << j;
        EXPECT_EQ(r.event(static_cast<int>(j)).action, expected[j].second ? MacroActionDown : MacroActionUp) << j;
    }
    EXPECT_EQ(r.event(static_cast<int>(expected.size()) - 1).delay, 30);
    EXPECT_EQ(editor.downCount(), 10);
    EXPECT_EQ(editor.upCount(), 10);

    // The messages as Windows names them: Alt held or F10 give the Sys variants.
    const auto alt = std::find(messages.begin(), messages.end(), std::pair(KeyMessage::SysKeyDown, Vk::LMenu));
    ASSERT_LE(alt + 6, messages.end());
    const std::vector<std::pair<KeyMessage, std::uint8_t>> altPart(alt, alt + 6);
    EXPECT_EQ(altPart, (std::vector<std::pair<KeyMessage, std::uint8_t>>{
                           {KeyMessage::SysKeyDown, Vk::LMenu},
                           {KeyMessage::SysKeyDown, 'X'},
                           {KeyMessage::SysKeyUp, 'X'},
                           {KeyMessage::KeyUp, Vk::LMenu},
                           {KeyMessage::SysKeyDown, 121},
                           {KeyMessage::SysKeyUp, 121},
                       }));

    // The probe saw nothing while the grab was held; after it, keys reach it again.
    tap('Z');
    ASSERT_TRUE(probe.waitForPress(XK_z));
    EXPECT_EQ(probe.presses(), (std::vector<KeySym>{XK_q, XK_z}));
}

TEST_F(MacroRecordingX11, AKeypadKeyRecordsAsWhatNumLockMakesIt) {
    Display* display = probe.display();
    const unsigned numLock = XkbKeysymToModifiers(display, XK_Num_Lock);
    ASSERT_NE(numLock, 0u) << "no Num Lock modifier in the keymap";
    const KeyCode keypadOne = XKeysymToKeycode(display, XK_KP_1);
    ASSERT_NE(keypadOne, 0);
    editor.ToggleRecording();
    ASSERT_TRUE(capture->grabbed());
    for (const bool on : {false, true}) {
        XkbLockModifiers(display, XkbUseCoreKbd, numLock, on ? numLock : 0);
        XTestFakeKeyEvent(display, keypadOne, True, CurrentTime);
        XTestFakeKeyEvent(display, keypadOne, False, CurrentTime);
        XSync(display, False);
        ASSERT_TRUE(waitUntil([&] { return messages.size() >= (on ? 4u : 2u); }));
    }
    XkbLockModifiers(display, XkbUseCoreKbd, numLock, 0);
    XSync(display, False);
    editor.ToggleRecording();
    const MacroRecord r = table.record(0);
    ASSERT_EQ(r.eventCount(), 4);
    // Num Lock off: the keypad "1" key is End; on: NUMPAD1.
    const std::vector<std::pair<int, int>> expected{{0x23, 1}, {0x23, 2}, {0x61, 1}, {0x61, 2}};
    for (int j = 0; j < 4; ++j) {
        EXPECT_EQ(r.event(j).code, expected[static_cast<std::size_t>(j)].first) << j;
        EXPECT_EQ(r.event(j).action, expected[static_cast<std::size_t>(j)].second) << j;
    }
}

TEST_F(MacroRecordingX11, RepeatsAsReleaseAndPressPairsRecordOnePress) {
    capture->setDetectableAutoRepeat(false);
    XkbSetAutoRepeatRate(probe.display(), XkbUseCoreKbd, 60, 15);
    XAutoRepeatOn(probe.display());
    XSync(probe.display(), False);
    editor.ToggleRecording();
    injector->keyDown('V', false);
    ASSERT_TRUE(waitUntil([&] { return downs('V') >= 3; })) << "no auto-repeat from the server";
    injector->keyUp('V', false);
    ASSERT_TRUE(waitUntil([&] { return !messages.empty() && messages.back().first == KeyMessage::KeyUp; }));
    editor.ToggleRecording();
    // Only the final release comes through: the repeats' releases are folded away.
    EXPECT_EQ(
        std::count_if(messages.begin(), messages.end(), [](const auto& m) { return m.first == KeyMessage::KeyUp; }), 1);
    const MacroRecord r = table.record(0);
    ASSERT_EQ(r.eventCount(), 2);
    EXPECT_EQ(r.event(0).action, MacroActionDown);
    EXPECT_EQ(r.event(1).action, MacroActionUp);
}

TEST_F(MacroRecordingX11, AKeyboardHeldByAnotherClientEndsTheRecording) {
    ASSERT_EQ(XGrabKeyboard(probe.display(), DefaultRootWindow(probe.display()), False, GrabModeAsync, GrabModeAsync,
                            CurrentTime),
              GrabSuccess);
    XSync(probe.display(), False);
    QObject::connect(capture.get(), &X11KeyboardCapture::grabFailed, [this] { editor.StopRecording(); });

    editor.ToggleRecording();
    ASSERT_TRUE(editor.recording());
    EXPECT_FALSE(capture->grabbed());
    // The capture keeps trying for a second, then gives up.
    EXPECT_TRUE(waitUntil([&] { return !editor.recording(); }));
    EXPECT_FALSE(capture->grabbed());
    EXPECT_EQ(table.record(0).eventCount(), 0);

    // Once the other client lets go, the next recording has the keyboard.
    XUngrabKeyboard(probe.display(), CurrentTime);
    XSync(probe.display(), False);
    editor.ToggleRecording();
    EXPECT_TRUE(capture->grabbed());
    editor.ToggleRecording();
    EXPECT_FALSE(editor.recording());
}

TEST_F(MacroRecordingX11, DestroyingTheCaptureReleasesTheGrab) {
    editor.ToggleRecording();
    ASSERT_TRUE(capture->grabbed());
    tap('W');
    ASSERT_TRUE(waitUntil([&] { return messages.size() >= 2; }));
    editor.setKeyboardCapture(nullptr);
    capture.reset(); // the program leaves while recording
    tap('E');
    ASSERT_TRUE(probe.waitForPress(XK_e));
    EXPECT_EQ(probe.presses(), std::vector<KeySym>{XK_e});
}

TEST_F(MacroRecordingX11, GrabEndsWhenTheProcessDies) {
    int fds[2];
    ASSERT_EQ(pipe(fds), 0);
    std::vector<std::string> env;
    for (char** e = environ; *e; ++e)
        env.emplace_back(*e);
    env.push_back("KRV_GRAB_AND_DIE=" + std::to_string(fds[1]));
    std::vector<char*> envp;
    for (std::string& s : env)
        envp.push_back(s.data());
    envp.push_back(nullptr);
    char self[] = "/proc/self/exe";
    char* argv[] = {self, nullptr};
    pid_t child = 0;
    ASSERT_EQ(posix_spawn(&child, self, nullptr, nullptr, argv, envp.data()), 0);
    close(fds[1]);
    char said = 0;
    ASSERT_EQ(read(fds[0], &said, 1), 1) << "the child could not grab";
    close(fds[0]);
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFSIGNALED(status));
    EXPECT_EQ(WTERMSIG(status), SIGKILL);

    tap('R');
    ASSERT_TRUE(probe.waitForPress(XK_r));
}

} // namespace
} // namespace krv
