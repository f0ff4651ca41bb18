// SPDX-License-Identifier: MIT
#include "ui/QtKeyboardCapture.h"

#include "mouse/VirtualKeys.h"

#include <QCoreApplication>
#include <QKeyEvent>
#include <QWidget>

namespace krv {

namespace {

// Native scan codes of key events are the kernel's evdev codes plus 8 (X and Wayland keymaps alike).
constexpr quint32 EvdevOffset = 8;

} // namespace

QtKeyboardCapture::QtKeyboardCapture(QWidget& window, KeyHandler handler, QObject* parent)
    : QObject(parent), m_window(&window), m_handler(std::move(handler)) {
    if (auto* app = QCoreApplication::instance())
        connect(app, &QCoreApplication::aboutToQuit, this, &QtKeyboardCapture::stop);
}

QtKeyboardCapture::~QtKeyboardCapture() {
    stop();
}

void QtKeyboardCapture::start() {
    if (m_active)
        return;
    m_active = true;
    m_sys.reset();
    QCoreApplication::instance()->installEventFilter(this);
    if (m_window)
        m_window->grabKeyboard();
}

void QtKeyboardCapture::stop() {
    if (!m_active)
        return;
    m_active = false;
    if (auto* app = QCoreApplication::instance())
        app->removeEventFilter(this);
    if (m_window)
        m_window->releaseKeyboard();
}

std::optional<std::uint8_t> QtKeyboardCapture::VirtualKeyOf(const QKeyEvent& event) {
    if (event.nativeVirtualKey() != 0)
        if (auto vk = VirtualKeyOfKeysym(event.nativeVirtualKey()))
            return vk;
    if (event.nativeScanCode() > EvdevOffset)
        return VirtualKeyOfEvdev(static_cast<std::uint16_t>(event.nativeScanCode() - EvdevOffset));
    return std::nullopt;
}

bool QtKeyboardCapture::eventFilter(QObject* watched, QEvent* event) {
    if (!m_active)
        return QObject::eventFilter(watched, event);
    if (event->type() == QEvent::ShortcutOverride) {
        event->accept(); // no shortcut fires while recording: the key comes as a key press
        return true;
    }
    if (event->type() != QEvent::KeyPress && event->type() != QEvent::KeyRelease)
        return QObject::eventFilter(watched, event);
    // Taken at its first receiver and withheld from every widget.
    auto* key = static_cast<QKeyEvent*>(event);
    const bool press = event->type() == QEvent::KeyPress;
    if (!(key->isAutoRepeat() && !press)) { // a repeat's release: the key is still held
        if (auto vk = VirtualKeyOf(*key); vk && m_handler)
            m_handler(m_sys.message(*vk, press), *vk);
    }
    return true;
}

} // namespace krv
