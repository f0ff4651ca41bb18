// SPDX-License-Identifier: MIT
#pragma once

#include "ports/UiNotifier.h"

#include <QObject>
#include <QPointer>
#include <QWidget>

#include <deque>
#include <functional>
#include <vector>

namespace krv {

class DialogSeam;

// UiNotifier of the companion: messages become message boxes (through the dialog seam, so tests can
// answer them) and repaint requests become updates of the main window, both posted to the UI thread
// from any thread. A message does not block: whoever must wait for the user (the program ending
// after a missing file) asks whenIdle(). Messages show one at a time, in the order they came: the
// next box opens when the one before it is closed.
class GuiNotifier : public QObject, public UiNotifier {
    Q_OBJECT
public:
    explicit GuiNotifier(DialogSeam& dialogs, QObject* parent = nullptr);

    void setWindow(QWidget* window) { m_window = window; }
    void showMessage(std::string_view text) override;
    void requestRepaint() override;

    // Runs `then` on the UI thread once no message box is open or waiting (at once when none is).
    void whenIdle(std::function<void()> then);
    // Message boxes open or waiting to open.
    int openMessages() const { return static_cast<int>(m_queue.size()); }
    // Every message shown so far, waiting ones not yet (diagnostics and tests).
    const std::vector<QString>& shownMessages() const { return m_shown; }

private:
    void show(const QString& text);
    void showFront();
    void messageClosed();

    DialogSeam& m_dialogs;
    QPointer<QWidget> m_window;
    std::deque<QString> m_queue; // the front one is open

    std::vector<std::function<void()>> m_waiting;
    std::vector<QString> m_shown;
};

} // namespace krv
