// SPDX-License-Identifier: MIT
// The single instance on Windows: the named mutex, and the running companion's window found by its title.
#include "app/SingleInstance.h"

#include "app/RunningCompanionChannel.h"
#include "log/Log.h"
#include "platform/windows/InstanceMutex.h"
#include "platform/windows/Win32.h"
#include "ui/MainWindow.h"

#include <QAbstractNativeEventFilter>
#include <QCoreApplication>

#include <vector>

namespace krv {

namespace {

// Restores the window when a later start sends the message to any of this program's windows.
class RestoreFilter final : public QAbstractNativeEventFilter {
public:
    explicit RestoreFilter(SingleInstance& instance) : m_instance(instance) {}
    bool nativeEventFilter(const QByteArray& eventType, void* message, qintptr* result) override {
        if (eventType != "windows_generic_MSG" && eventType != "windows_dispatcher_MSG")
            return false;
        const MSG* msg = static_cast<const MSG*>(message);
        if (msg->message != SingleInstance::RestoreMessage())
            return false;
        LogDetail(LogCategory::Instance) << "a second start asks for the window";
        // The instance emits on this (the UI) thread; the window is shown before the answer.
        QMetaObject::invokeMethod(&m_instance, "restoreRequested", Qt::DirectConnection);
        if (result)
            *result = static_cast<qintptr>(SingleInstance::ShownAnswer);
        return true;
    }

private:
    SingleInstance& m_instance;
};

// The top-level windows whose title is the companion's, of whichever process.
std::vector<HWND> companionWindows() {
    struct Search {
        std::wstring title;
        std::vector<HWND> found;
    } search{QString::fromUtf8(MainWindow::WindowTitle).toStdWString(), {}};
    ::EnumWindows(
        [](HWND window, LPARAM data) -> BOOL {
            auto* s = reinterpret_cast<Search*>(data);
            wchar_t text[128];
            const int length = ::GetWindowTextW(window, text, static_cast<int>(std::size(text)));
            if (length > 0 && std::wstring_view(text, static_cast<std::size_t>(length)) == s->title)
                s->found.push_back(window);
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&search));
    return search.found;
}

// The running companion's windows, found by their title, and the program's own message.
class WindowMessageChannel final : public RunningCompanionChannel {
protected:
    Answer askOnce() override {
        const std::vector<HWND> windows = companionWindows();
        if (windows.empty())
            return Answer::NotListening;
        // This process was started by the user: it may let the running one come to the front.
        ::AllowSetForegroundWindow(ASFW_ANY);
        for (HWND window : windows) {
            DWORD_PTR reply = 0;
            if (::SendMessageTimeoutW(window, SingleInstance::RestoreMessage(), 0, 0, SMTO_ABORTIFHUNG | SMTO_BLOCK,
                                      2000, &reply) &&
                reply == static_cast<DWORD_PTR>(SingleInstance::ShownAnswer))
                return Answer::Shown;
        }
        m_silentWindow = windows.front();
        return Answer::Silent;
    }
    qint64 processId() override {
        DWORD pid = 0;
        if (m_silentWindow)
            ::GetWindowThreadProcessId(m_silentWindow, &pid);
        return static_cast<qint64>(pid);
    }
    QString holding(Answer last) override {
        return QStringLiteral("it holds the mutex %1").arg(QLatin1String(SingleInstance::Name)) +
               (last == Answer::NotListening ? QStringLiteral(" but has no window") : QString());
    }

private:
    HWND m_silentWindow = nullptr;
};

} // namespace

unsigned SingleInstance::RestoreMessage() {
    static const UINT message = ::RegisterWindowMessageW(L"CKRV_GlydeApp.RestoreWindow");
    return message;
}

SingleInstance::SingleInstance(QString, QObject* parent) : QObject(parent) {}

SingleInstance::~SingleInstance() {
    if (m_filter && QCoreApplication::instance())
        QCoreApplication::instance()->removeNativeEventFilter(m_filter.get());
}

SingleInstance::Outcome SingleInstance::start() {
    m_mutex = std::make_unique<InstanceMutex>(Name);
    switch (m_mutex->state()) {
    case InstanceMutex::State::Acquired:
        m_filter = std::make_unique<RestoreFilter>(*this);
        QCoreApplication::instance()->installNativeEventFilter(m_filter.get());
        LogDetail(LogCategory::Instance) << "the only companion; a second start finds its window by its title";
        return Outcome::First;
    case InstanceMutex::State::Failed:
        m_error = QString::fromStdString(m_mutex->error());
        return Outcome::Failed;
    case InstanceMutex::State::AlreadyRunning:
        break;
    }
    // The mutex's owner lives: ask its window to show itself. Whatever it answers, a second companion
    // never starts.
    WindowMessageChannel channel;
    if (channel.askToShowWindow(m_error))
        return Outcome::AlreadyRunning;
    return Outcome::NoAnswer;
}

} // namespace krv
