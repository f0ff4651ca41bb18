// SPDX-License-Identifier: MIT
#include "platform/windows/WindowsDesktop.h"

#include "platform/windows/LowLevelKeyboardCapture.h"
#include "platform/windows/UniqueHandle.h"
#include "platform/windows/WindowsPowerEvents.h"

#include <QGuiApplication>
#include <QObject>
#include <QPointer>
#include <QSessionManager>

#include <mutex>
#include <utility>

namespace krv {

namespace {

// Runs a call on the thread this object was made on.
class Poster {
public:
    template <typename F>
    void post(F call) const {
        QMetaObject::invokeMethod(m_receiver.get(), std::move(call), Qt::QueuedConnection);
    }
    QObject* receiver() const { return m_receiver.get(); }

private:
    std::unique_ptr<QObject> m_receiver = std::make_unique<QObject>();
};

class PowerWatch final : public ProcessEventWatch {
public:
    explicit PowerWatch(std::function<void(PowerEvent)> onEvent) : m_onEvent(std::move(onEvent)) {
        m_events = std::make_unique<WindowsPowerEvents>([this](PowerEvent event) {
            m_poster.post([this, event] {
                if (m_onEvent)
                    m_onEvent(event);
            });
        });
    }
    ~PowerWatch() override { m_events.reset(); } // its thread ends before the poster goes
    bool watching() const override { return m_events && m_events->valid(); }

private:
    std::function<void(PowerEvent)> m_onEvent;
    Poster m_poster;
    std::unique_ptr<WindowsPowerEvents> m_events;
};

// The console's handler is one per process: it reaches the watch that installed it.
class TerminationWatch;
std::mutex g_consoleMutex;
TerminationWatch* g_consoleWatch = nullptr;

class TerminationWatch final : public ProcessEventWatch {
public:
    explicit TerminationWatch(std::function<void(int)> onRequest) : m_onRequest(std::move(onRequest)) {
        if (auto* app = qobject_cast<QGuiApplication*>(QCoreApplication::instance())) {
            // The session ends: the system asks every top-level window, and Qt turns the question
            // into this request on the UI thread. The shutdown runs before the answer.
            QObject::connect(app, &QGuiApplication::commitDataRequest, m_poster.receiver(),
                             [this](QSessionManager&) { serve(CTRL_LOGOFF_EVENT); }, Qt::DirectConnection);
            m_watching = true;
        }
        std::lock_guard lock(g_consoleMutex);
        if (!g_consoleWatch && ::GetConsoleWindow() != nullptr && ::SetConsoleCtrlHandler(consoleHandler, TRUE)) {
            g_consoleWatch = this;
            m_watching = true;
        }
    }
    ~TerminationWatch() override {
        std::lock_guard lock(g_consoleMutex);
        if (g_consoleWatch == this) {
            ::SetConsoleCtrlHandler(consoleHandler, FALSE);
            g_consoleWatch = nullptr;
        }
    }
    bool watching() const override { return m_watching; }

private:
    void serve(int request) {
        if (m_served)
            return;
        m_served = true;
        if (m_onRequest)
            m_onRequest(request);
        ::SetEvent(m_servedEvent.get());
    }

    static BOOL WINAPI consoleHandler(DWORD type) {
        UniqueHandle served;
        {
            std::lock_guard lock(g_consoleMutex);
            TerminationWatch* watch = g_consoleWatch;
            if (!watch)
                return FALSE;
            HANDLE copy = nullptr;
            ::DuplicateHandle(::GetCurrentProcess(), watch->m_servedEvent.get(), ::GetCurrentProcess(), &copy, 0,
                              FALSE, DUPLICATE_SAME_ACCESS);
            served.reset(copy);
            watch->m_poster.post([watch, type] { watch->serve(static_cast<int>(type)); });
        }
        // After a close, logoff or shutdown the system ends the process when this returns.
        if (type != CTRL_C_EVENT && type != CTRL_BREAK_EVENT && served)
            ::WaitForSingleObject(served.get(), 4000);
        return TRUE;
    }

    std::function<void(int)> m_onRequest;
    Poster m_poster;
    UniqueHandle m_servedEvent{::CreateEventW(nullptr, TRUE, FALSE, nullptr)};
    bool m_watching = false;
    bool m_served = false;
};

class PostingKeyboardCapture final : public KeyboardCapture {
public:
    PostingKeyboardCapture(KeyHandler onKey, std::function<void()> onUnavailable) : m_onKey(std::move(onKey)) {
        // The hook's thread must return at once: each key is handed to this thread's event loop.
        m_capture = std::make_unique<LowLevelKeyboardCapture>(
            [this](KeyMessage message, std::uint8_t vk) {
                m_poster.post([this, message, vk] {
                    if (m_onKey)
                        m_onKey(message, vk);
                });
            },
            std::move(onUnavailable));
    }
    ~PostingKeyboardCapture() override { m_capture.reset(); }
    void start() override { m_capture->start(); }
    void stop() override { m_capture->stop(); }

private:
    KeyHandler m_onKey;
    Poster m_poster;
    std::unique_ptr<LowLevelKeyboardCapture> m_capture;
};

} // namespace

std::unique_ptr<ProcessEventWatch> WatchWindowsPowerEvents(std::function<void(PowerEvent)> onEvent) {
    return std::make_unique<PowerWatch>(std::move(onEvent));
}

std::unique_ptr<ProcessEventWatch> WatchWindowsTerminationRequests(std::function<void(int)> onRequest) {
    return std::make_unique<TerminationWatch>(std::move(onRequest));
}

std::unique_ptr<KeyboardCapture> OpenWindowsKeyboardCapture(KeyHandler onKey, std::function<void()> onUnavailable) {
    return std::make_unique<PostingKeyboardCapture>(std::move(onKey), std::move(onUnavailable));
}

} // namespace krv
