#pragma once

#include "settings/UiNotifier.h"

#include <QObject>
#include <QPointer>
#include <QWidget>

#include <functional>
#include <vector>

namespace krv {

class DialogSeam;

// UiNotifier of the companion: messages become message boxes (through the dialog seam, so tests can
// answer them) and repaint requests become updates of the main window, both posted to the UI thread
// from any thread. A message does not block: whoever must wait for the user (the program ending
// after a missing file) asks whenIdle().
class GuiNotifier : public QObject, public UiNotifier {
    Q_OBJECT
public:
    explicit GuiNotifier(DialogSeam& dialogs, QObject* parent = nullptr);

    void setWindow(QWidget* window) { m_window = window; }
    void showMessage(std::string_view text) override;
    void requestRepaint() override;

    // Runs `then` on the UI thread once no message box is open (at once when none is).
    void whenIdle(std::function<void()> then);
    int openMessages() const { return m_open; }
    // Every message shown so far (diagnostics and tests).
    const std::vector<QString>& shownMessages() const { return m_shown; }

private:
    void show(const QString& text);
    void messageClosed();

    DialogSeam& m_dialogs;
    QPointer<QWidget> m_window;
    int m_open = 0;
    std::vector<std::function<void()>> m_waiting;
    std::vector<QString> m_shown;
};

} // namespace krv
