// SPDX-License-Identifier: MIT
// The window in front, as the companion's watch reports it, with real top-level windows of two
// programs: this test's own and its helper's (FocusWindow.cpp, started under a name that is not
// ASCII). Wine makes top-level windows only on an X display: ctest runs this program under Xvfb,
// in a Wine prefix of its own (run_with_display.sh).
//
// Wine 8 brings windows to the front without announcing EVENT_SYSTEM_FOREGROUND (it delivers other
// WinEvents across processes, EVENT_OBJECT_CREATE for one): under Wine each program announces its
// own window with NotifyWinEvent when it comes to the front, standing in for the system. The hook,
// its thread, the cross-process delivery and everything the watch does with the event are the real
// ones.
#include "platform/windows/WindowsForegroundWatch.h"

#include "FocusWindowMessages.h"
#include "WindowsTestSupport.h"
#include "platform/windows/Win32Text.h"
#include "unit/TempDir.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cwchar>
#include <filesystem>
#include <string>

namespace krv {
namespace {

using std::chrono::steady_clock;

std::filesystem::path testProgram() {
    wchar_t self[MAX_PATH];
    GetModuleFileNameW(nullptr, self, MAX_PATH);
    return std::filesystem::path(self);
}

std::filesystem::path testProgramFolder() {
    return testProgram().parent_path();
}

std::filesystem::path pathOfUtf8(const std::string& utf8) {
    return std::filesystem::path(std::u8string(utf8.begin(), utf8.end()));
}

std::string utf8Of(const std::filesystem::path& path) {
    const std::u8string text = path.u8string();
    return std::string(text.begin(), text.end());
}

void handleWindowMessages() {
    MSG message;
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
}

// Waits (with the bound) until `handle` is signalled, answering this thread's window messages
// meanwhile: the other program's activation sends messages to this test's window and waits for them.
bool waitHandlingMessages(HANDLE handle) {
    const steady_clock::time_point deadline = steady_clock::now() + test::EventBound;
    for (;;) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - steady_clock::now());
        if (left.count() <= 0)
            return false;
        const DWORD woken = MsgWaitForMultipleObjects(1, &handle, FALSE, static_cast<DWORD>(left.count()), QS_ALLINPUT);
        if (woken == WAIT_OBJECT_0)
            return true;
        if (woken != WAIT_OBJECT_0 + 1)
            return false;
        handleWindowMessages();
    }
}

// The next change the watch reports, waited for with the bound.
std::optional<ForegroundProgram> nextChange(WindowsForegroundWatch& watch) {
    const steady_clock::time_point deadline = steady_clock::now() + test::EventBound;
    while (steady_clock::now() < deadline) {
        if (!waitHandlingMessages(watch.changesEvent()))
            return std::nullopt;
        if (std::optional<ForegroundProgram> program = watch.readChange())
            return program;
    }
    return std::nullopt;
}

void announce(HWND window) {
    NotifyWinEvent(EVENT_SYSTEM_FOREGROUND, window, OBJID_WINDOW, CHILDID_SELF);
}

// A top-level window of this program's own, on the test's thread.
class OwnWindow {
public:
    explicit OwnWindow(const wchar_t* className) : m_className(className) {
        WNDCLASSEXW windowClass{};
        windowClass.cbSize = sizeof windowClass;
        windowClass.lpfnWndProc = DefWindowProcW;
        windowClass.hInstance = GetModuleHandleW(nullptr);
        windowClass.lpszClassName = className;
        RegisterClassExW(&windowClass);
        m_window = CreateWindowExW(0, className, L"KRV watch test", WS_OVERLAPPEDWINDOW, 300, 40, 240, 160, nullptr,
                                   nullptr, windowClass.hInstance, nullptr);
        if (m_window != nullptr)
            ShowWindow(m_window, SW_SHOW);
    }
    ~OwnWindow() {
        if (m_window != nullptr)
            DestroyWindow(m_window);
        UnregisterClassW(m_className, GetModuleHandleW(nullptr));
    }
    OwnWindow(const OwnWindow&) = delete;
    OwnWindow& operator=(const OwnWindow&) = delete;

    HWND get() const { return m_window; }
    void comeToFront() const {
        SetForegroundWindow(m_window);
        if (test::RunningUnderWine())
            announce(m_window);
    }

private:
    const wchar_t* m_className;
    HWND m_window = nullptr;
};

// The helper program, copied to `program` and started with its window's class name.
class OtherProgram {
public:
    // With a parent, the other program's window is its child and stays where it is.
    OtherProgram(const std::filesystem::path& program, const std::wstring& className, HWND parent = nullptr)
        : m_className(className), m_parent(parent) {
        std::filesystem::copy_file(testProgramFolder() / KRV_FOCUS_WINDOW, program);
        std::wstring commandLine = L"\"" + program.wstring() + L"\" \"" + className + L"\"";
        if (parent != nullptr) {
            wchar_t handle[32];
            std::swprintf(handle, 32, L"%llx",
                          static_cast<unsigned long long>(reinterpret_cast<std::uintptr_t>(parent)));
            commandLine += L" ";
            commandLine += handle;
        }
        STARTUPINFOW startup{};
        startup.cb = sizeof startup;
        PROCESS_INFORMATION started{};
        if (CreateProcessW(program.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                           &started)) {
            m_process.reset(started.hProcess);
            CloseHandle(started.hThread);
            m_pid = started.dwProcessId;
            m_ready.reset(CreateEventW(nullptr, TRUE, FALSE, test::ReadyEventName(m_pid).c_str()));
        }
    }
    ~OtherProgram() {
        if (!m_process)
            return;
        if (HWND window = this->window())
            PostMessageW(window, WM_CLOSE, 0, 0);
        if (!waitHandlingMessages(m_process.get()))
            TerminateProcess(m_process.get(), 1);
    }
    OtherProgram(const OtherProgram&) = delete;
    OtherProgram& operator=(const OtherProgram&) = delete;

    bool started() const { return static_cast<bool>(m_process); }
    DWORD pid() const { return m_pid; }
    HWND window() const {
        return m_parent != nullptr ? FindWindowExW(m_parent, nullptr, m_className.c_str(), nullptr)
                                   : FindWindowW(m_className.c_str(), nullptr);
    }
    // Waits until the program has made its window (answering this thread's messages: a child's
    // making sends its parent some).
    bool ready() const { return m_ready && waitHandlingMessages(m_ready.get()); }
    // The other program may bring itself to the front only with the leave of the one in front.
    void post(UINT message) const {
        AllowSetForegroundWindow(m_pid);
        PostMessageW(window(), message, 0, 0);
    }
    // Returns once the other program has handled the message.
    bool send(UINT message) const {
        return SendMessageTimeoutW(window(), message, 0, 0, SMTO_ABORTIFHUNG,
                                   static_cast<UINT>(std::chrono::milliseconds(test::EventBound).count()),
                                   nullptr) != 0;
    }

private:
    std::wstring m_className;
    HWND m_parent = nullptr;
    UniqueHandle m_process;
    UniqueHandle m_ready;
    DWORD m_pid = 0;
};

TEST(WindowsForegroundWatch, ReportsEachProgramBroughtToTheFrontOncePerChange) {
    WindowsForegroundWatch watch;
    ASSERT_TRUE(watch.valid()) << watch.error();
    EXPECT_EQ(watch.fd(), -1);
    test::Mailbox<DWORD> toldOnThreads;
    ASSERT_TRUE(watch.notifyOnChange([&] { toldOnThreads.put(GetCurrentThreadId()); }));

    const std::wstring ownClass = L"KrvWatchTest-\u6d4b\u8bd5";
    OwnWindow own(ownClass.c_str());
    ASSERT_NE(own.get(), nullptr) << LastErrorMessage();
    own.comeToFront();
    const std::filesystem::path ownPath = testProgram();

    // What is in front now, and nothing new when it is announced again.
    const ForegroundProgram atStart = watch.current();
    EXPECT_EQ(atStart.window, reinterpret_cast<std::uintptr_t>(own.get()));
    EXPECT_EQ(atStart.pid, static_cast<std::int64_t>(GetCurrentProcessId()));
    EXPECT_TRUE(std::filesystem::equivalent(pathOfUtf8(atStart.executable), ownPath)) << atStart.executable;
    EXPECT_EQ(atStart.windowClass, "KrvWatchTest-\u6d4b\u8bd5");
    EXPECT_EQ(atStart.windowInstance, "");
    announce(own.get());
    ASSERT_TRUE(waitHandlingMessages(watch.changesEvent()));
    EXPECT_EQ(watch.readChange(), std::nullopt);

    // Another program comes to the front: its executable by its full (not ASCII) path, its class.
    test::TempDir folder;
    const std::u8string otherName = u8"m\u00e4us-\u9f20\u6807-focus.exe";
    const std::filesystem::path otherPath = folder.path() / std::filesystem::path(otherName);
    OtherProgram other(otherPath, L"KrvFocusWindow-\u9f20\u6807");
    ASSERT_TRUE(other.started()) << LastErrorMessage();
    std::optional<ForegroundProgram> change = nextChange(watch);
    ASSERT_TRUE(change);
    EXPECT_NE(other.window(), nullptr);
    EXPECT_EQ(change->window, reinterpret_cast<std::uintptr_t>(other.window()));
    EXPECT_EQ(change->pid, static_cast<std::int64_t>(other.pid()));
    EXPECT_TRUE(std::filesystem::equivalent(pathOfUtf8(change->executable), otherPath)) << change->executable;
    EXPECT_TRUE(change->executable.ends_with("\\" + utf8Of(std::filesystem::path(otherName)))) << change->executable;
    EXPECT_EQ(change->windowClass, "KrvFocusWindow-\u9f20\u6807");
    const ForegroundProgram otherInFront = *change;

    // The focus stays: the repeated announcement is no change.
    other.post(test::AnnounceAgain);
    ASSERT_TRUE(waitHandlingMessages(watch.changesEvent()));
    EXPECT_EQ(watch.readChange(), std::nullopt);

    // Back and forth: each change once.
    own.comeToFront();
    change = nextChange(watch);
    ASSERT_TRUE(change);
    EXPECT_EQ(*change, atStart);
    other.post(test::ComeToFront);
    change = nextChange(watch);
    ASSERT_TRUE(change);
    EXPECT_EQ(*change, otherInFront);
    EXPECT_EQ(watch.readChange(), std::nullopt);
    EXPECT_EQ(watch.current(), otherInFront);

    // A window restored from the taskbar: a change when it is the one in front, none when it is
    // restored behind the one in front (the owner is not even told).
    own.comeToFront();
    change = nextChange(watch);
    ASSERT_TRUE(change);
    EXPECT_EQ(*change, atStart);
    const std::size_t toldBefore = toldOnThreads.values().size();
    ASSERT_TRUE(other.send(test::RestoredBehind));
    announce(own.get()); // the hook's thread takes the events in order: this one comes after
    ASSERT_TRUE(waitHandlingMessages(watch.changesEvent()));
    EXPECT_EQ(watch.readChange(), std::nullopt);
    EXPECT_EQ(toldOnThreads.values().size(), toldBefore + 1);
    other.post(test::RestoredToFront);
    change = nextChange(watch);
    ASSERT_TRUE(change);
    EXPECT_EQ(*change, otherInFront);

    // The owner was told on the hook's thread, never on its own.
    ASSERT_TRUE(toldOnThreads.waitFor(4));
    for (DWORD thread : toldOnThreads.values())
        EXPECT_NE(thread, GetCurrentThreadId());
}

TEST(WindowsForegroundWatch, TheHookGoesWithTheWatch) {
    OwnWindow own(L"KrvWatchTestHook");
    ASSERT_NE(own.get(), nullptr) << LastErrorMessage();
    // Set up and torn down again and again: no handle stays open, and a watch gone is never called.
    std::atomic<int> callsToGone{0};
    EXPECT_LT(test::HandlesLeftOpen(10,
                                    [&] {
                                        WindowsForegroundWatch gone;
                                        ASSERT_TRUE(gone.valid()) << gone.error();
                                        gone.notifyOnChange([&] { ++callsToGone; });
                                    }),
              10);
    WindowsForegroundWatch watch;
    ASSERT_TRUE(watch.valid()) << watch.error();
    announce(own.get());
    ASSERT_TRUE(waitHandlingMessages(watch.changesEvent()));
    EXPECT_EQ(callsToGone.load(), 0);
    // The first announcement is news (nothing was known before).
    const std::optional<ForegroundProgram> change = watch.readChange();
    ASSERT_TRUE(change);
    EXPECT_EQ(change->window, reinterpret_cast<std::uintptr_t>(own.get()));
    EXPECT_EQ(change->windowClass, "KrvWatchTestHook");
}

TEST(WindowsForegroundWatch, AStoreAppsFrameIsTheAppInside) {
    // The frame with no app inside yet is the frame host's; with the app's window inside, the app's.
    OwnWindow frame(L"ApplicationFrameWindow");
    ASSERT_NE(frame.get(), nullptr) << LastErrorMessage();
    ForegroundProgram program = WindowsForegroundWatch::ProgramOfWindow(frame.get());
    EXPECT_EQ(program.pid, static_cast<std::int64_t>(GetCurrentProcessId()));
    EXPECT_TRUE(std::filesystem::equivalent(pathOfUtf8(program.executable), testProgram())) << program.executable;

    test::TempDir folder;
    const std::filesystem::path appPath = folder / "store-app.exe";
    OtherProgram app(appPath, L"Windows.UI.Core.CoreWindow", frame.get());
    ASSERT_TRUE(app.started()) << LastErrorMessage();
    ASSERT_TRUE(app.ready());
    ASSERT_NE(app.window(), nullptr);
    program = WindowsForegroundWatch::ProgramOfWindow(frame.get());
    EXPECT_EQ(program.window, reinterpret_cast<std::uintptr_t>(frame.get()));
    EXPECT_EQ(program.pid, static_cast<std::int64_t>(app.pid()));
    EXPECT_TRUE(std::filesystem::equivalent(pathOfUtf8(program.executable), appPath)) << program.executable;
    EXPECT_EQ(program.windowClass, "ApplicationFrameWindow");
}

TEST(WindowsForegroundWatch, AWindowOrProcessGoneGivesWhatIsLeft) {
    EXPECT_EQ(WindowsForegroundWatch::ProgramOfWindow(nullptr), ForegroundProgram{});
    HWND window = nullptr;
    {
        OwnWindow own(L"KrvWatchTestGone");
        window = own.get();
        ASSERT_NE(window, nullptr);
    }
    const ForegroundProgram gone = WindowsForegroundWatch::ProgramOfWindow(window);
    EXPECT_EQ(gone, (ForegroundProgram{reinterpret_cast<std::uintptr_t>(window), 0, "", "", ""}));

    EXPECT_EQ(WindowsForegroundWatch::ExecutableOfProcess(0), "");
    EXPECT_EQ(WindowsForegroundWatch::ExecutableOfProcess(-5), "");
    EXPECT_EQ(WindowsForegroundWatch::ExecutableOfProcess(std::int64_t{1} << 40), "");
    EXPECT_EQ(WindowsForegroundWatch::ExecutableOfProcess(3), ""); // process ids are multiples of 4
}

} // namespace
} // namespace krv
