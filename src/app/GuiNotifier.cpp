#include "app/GuiNotifier.h"

#include "ui/DialogSeam.h"

#include <QCoreApplication>
#include <QThread>

namespace krv {

GuiNotifier::GuiNotifier(DialogSeam& dialogs, QObject* parent) : QObject(parent), m_dialogs(dialogs) {}

void GuiNotifier::showMessage(std::string_view text) {
    const QString message = QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
    if (QThread::currentThread() == thread()) {
        show(message);
        return;
    }
    QMetaObject::invokeMethod(
        this, [this, message] { show(message); }, Qt::QueuedConnection);
}

void GuiNotifier::show(const QString& text) {
    ++m_open;
    m_shown.push_back(text);
    QPointer<GuiNotifier> self(this);
    m_dialogs.message(m_window.data(), text, [self] {
        if (self)
            self->messageClosed();
    });
}

void GuiNotifier::messageClosed() {
    if (--m_open > 0)
        return;
    auto waiting = std::move(m_waiting);
    m_waiting.clear();
    for (auto& then : waiting)
        then();
}

void GuiNotifier::whenIdle(std::function<void()> then) {
    if (m_open == 0) {
        then();
        return;
    }
    m_waiting.push_back(std::move(then));
}

void GuiNotifier::requestRepaint() {
    // Safe from any thread: the update runs on the UI thread.
    QMetaObject::invokeMethod(
        this,
        [this] {
            if (m_window)
                m_window->update();
        },
        Qt::QueuedConnection);
}

} // namespace krv
