// SPDX-License-Identifier: MIT
#pragma once

#include "macros/MacroEditor.h"
#include "macros/SysKeyTracker.h"

#include <QObject>
#include <QPointer>

#include <cstdint>
#include <functional>
#include <optional>

class QKeyEvent;
class QWidget;

namespace krv {

// Recording's keyboard capture where the program cannot grab the whole keyboard (Wayland): the main
// window grabs the keyboard within the program, and every key event the program receives while the
// capture runs is withheld from its widgets and handed to the handler as a (message, virtual-key code)
// pair. Keys typed into other programs are not seen. Auto-repeat arrives as repeated presses (the
// releases Qt reports between them are dropped).
class QtKeyboardCapture : public QObject, public KeyboardCapture {
    Q_OBJECT
public:
    using KeyHandler = std::function<void(KeyMessage message, std::uint8_t vk)>;

    QtKeyboardCapture(QWidget& window, KeyHandler handler, QObject* parent = nullptr);
    ~QtKeyboardCapture() override;

    void start() override;
    void stop() override;
    bool active() const { return m_active; }

    // The code a key event records as: its keysym, else its evdev code (the native scan code less 8).
    static std::optional<std::uint8_t> VirtualKeyOf(const QKeyEvent& event);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QPointer<QWidget> m_window;
    KeyHandler m_handler;
    bool m_active = false;
    SysKeyTracker m_sys;
};

} // namespace krv
