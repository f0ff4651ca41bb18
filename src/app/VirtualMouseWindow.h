#pragma once

#include "sim/SimulatedMouse.h"

#include <QLabel>
#include <QWidget>

#include <array>
#include <functional>

class QPushButton;

namespace krv {

class MemorySystemPointer;

// The demo's view of the simulated mouse: what it has received (button map, DPI stage and LED,
// wheel, fire time, goodbye) and the desktop settings the apply made, with eight buttons that press
// and release the mouse's buttons and one that unplugs it.
class VirtualMouseWindow : public QWidget {
    Q_OBJECT
public:
    VirtualMouseWindow(SimulatedMouse& mouse, const MemorySystemPointer& pointer, std::function<void()> unplugged,
                       QWidget* parent = nullptr);
    ~VirtualMouseWindow() override;

    QString stateText() const;
    // Presses and releases the mouse button of slot 1..8.
    void pressSlot(int slot);
    void releaseSlot();

public slots:
    void refresh();

private:
    SimulatedMouse& m_mouse;
    const MemorySystemPointer& m_pointer;
    std::function<void()> m_unplugged;
    QLabel* m_state = nullptr;
    std::array<QPushButton*, 8> m_buttons{};
};

} // namespace krv
