// SPDX-License-Identifier: MIT
// The single instance on Windows: the named mutex, and the running companion's window found by its title.
#include "app/SingleInstance.h"

#include "log/Log.h"
#include "platform/windows/InstanceMutex.h"
#include "platform/windows/Win32.h"
#include "ui/MainWindow.h"

#include <QAbstractNativeEventFilter>
#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QThread>

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
    // The running companion may still be starting: give its window a moment to appear.
    const QDeadlineTimer deadline(3000);
    Answer answer = Answer::NotListening;
    while (!deadline.hasExpired()) {
        answer = askRunningInstance();
        if (answer == Answer::Shown) {
            LogDetail(LogCategory::Instance) << "a companion runs already: it was asked to show its window";
            return Outcome::AlreadyRunning;
        }
        if (answer == Answer::Silent)
            break;
        QThread::msleep(50);
    }
    m_error = answer == Answer::Silent
                  ? QStringLiteral("the running companion's window does not answer (it may be hung)")
                  : QStringLiteral("the running companion holds the mutex %1 but has no window").arg(QLatin1String(Name));
    return Outcome::NoAnswer;
}

SingleInstance::Answer SingleInstance::askRunningInstance() {
    const std::vector<HWND> windows = companionWindows();
    if (windows.empty())
        return Answer::NotListening;
    // This process was started by the user: it may let the running one come to the front.
    ::AllowSetForegroundWindow(ASFW_ANY);
    for (HWND window : windows) {
        DWORD_PTR reply = 0;
        if (::SendMessageTimeoutW(window, RestoreMessage(), 0, 0, SMTO_ABORTIFHUNG | SMTO_BLOCK, 2000, &reply) &&
            reply == static_cast<DWORD_PTR>(ShownAnswer))
            return Answer::Shown;
    }
    return Answer::Silent;
}

} // namespace krv
