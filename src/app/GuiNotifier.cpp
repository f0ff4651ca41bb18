// SPDX-License-Identifier: MIT
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
    m_queue.push_back(text);
    if (m_queue.size() == 1)
        showFront();
}

void GuiNotifier::showFront() {
    m_shown.push_back(m_queue.front());
    QPointer<GuiNotifier> self(this);
    m_dialogs.message(m_window.data(), m_queue.front(), [self] {
        if (self)
            self->messageClosed();
    });
}

void GuiNotifier::messageClosed() {
    if (m_queue.empty())
        return;
    m_queue.pop_front();
    if (!m_queue.empty()) {
        showFront();
        return;
    }
    auto waiting = std::move(m_waiting);
    m_waiting.clear();
    for (auto& then : waiting)
        then();
}

void GuiNotifier::whenIdle(std::function<void()> then) {
    if (m_queue.empty()) {
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
