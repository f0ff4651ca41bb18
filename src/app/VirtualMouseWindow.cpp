#include "app/VirtualMouseWindow.h"

#include "app/AppContext.h"
#include "functions/ButtonCode.h"

#include <QGridLayout>
#include <QPushButton>
#include <QVBoxLayout>

namespace krv {

VirtualMouseWindow::VirtualMouseWindow(SimulatedMouse& mouse, const MemorySystemPointer& pointer,
                                       std::function<void()> unplugged, QWidget* parent)
    : QWidget(parent, Qt::Window), m_mouse(mouse), m_pointer(pointer), m_unplugged(std::move(unplugged)) {
    setWindowTitle(QStringLiteral("Virtual VELDRA mouse"));
    auto* layout = new QVBoxLayout(this);
    m_state = new QLabel(this);
    m_state->setTextFormat(Qt::PlainText);
    m_state->setFont(QFont(QStringLiteral("Liberation Mono"), 9));
    layout->addWidget(m_state);
    auto* grid = new QGridLayout;
    for (int slot = 1; slot <= ButtonSlotCount; ++slot) {
        auto* button = new QPushButton(QStringLiteral("Button %1").arg(slot), this);
        m_buttons[static_cast<std::size_t>(slot - 1)] = button;
        connect(button, &QPushButton::pressed, this, [this, slot] { pressSlot(slot); });
        connect(button, &QPushButton::released, this, [this] { releaseSlot(); });
        grid->addWidget(button, (slot - 1) / 4, (slot - 1) % 4);
    }
    layout->addLayout(grid);
    auto* unplug = new QPushButton(QStringLiteral("Unplug the mouse"), this);
    connect(unplug, &QPushButton::clicked, this, [this] {
        m_mouse.unplug();
        if (m_unplugged)
            m_unplugged();
    });
    layout->addWidget(unplug);
    // Changes arrive on whichever thread sent the report: refresh on the UI thread.
    m_mouse.setChangeCallback(
        [this] { QMetaObject::invokeMethod(this, &VirtualMouseWindow::refresh, Qt::QueuedConnection); });
    refresh();
}

VirtualMouseWindow::~VirtualMouseWindow() {
    m_mouse.setChangeCallback({});
}

void VirtualMouseWindow::pressSlot(int slot) {
    m_mouse.press(DeviceButtonId[static_cast<std::size_t>(slot - 1)]);
}

void VirtualMouseWindow::releaseSlot() {
    m_mouse.release();
}

QString VirtualMouseWindow::stateText() const {
    const SimMouseState s = m_mouse.state();
    QString text;
    text += QStringLiteral("%1\n").arg(s.plugged ? QStringLiteral("plugged in") : QStringLiteral("unplugged"));
    text += QStringLiteral("button map (slot: device value)\n");
    for (int slot = 1; slot <= ButtonSlotCount; ++slot) {
        const int value = s.buttonMap[DeviceButtonId[static_cast<std::size_t>(slot - 1)]];
        text += QStringLiteral("  %1: %2%3\n")
                    .arg(slot)
                    .arg(value)
                    .arg(value == HostCode ? QStringLiteral(" (host)") : QString());
    }
    const int stage = s.dpiStage < DpiStageCount ? s.dpiStage : 0;
    const int position = s.dpiPosition[static_cast<std::size_t>(stage)];
    text += QStringLiteral("DPI stage %1, position %2 (%3 dpi), LED mode %4\n")
                .arg(stage + 1)
                .arg(position)
                .arg(position < DpiPositionCount ? DpiOfPosition[static_cast<std::size_t>(position)] : 0)
                .arg(s.ledMode);
    text += QStringLiteral("wheel option %1, fire time byte %2 (%3 ms)\n")
                .arg(s.wheelOption)
                .arg(s.fireTime)
                .arg(s.fireTime * 8);
    text += QStringLiteral("acknowledgements %1%2\n")
                .arg(s.acknowledgementsSent)
                .arg(s.goodbye ? QStringLiteral(", goodbye received") : QString());
    text += QStringLiteral("desktop: pointer speed %1, wheel lines %2")
                .arg(m_pointer.speed.load())
                .arg(m_pointer.lines.load());
    return text;
}

void VirtualMouseWindow::refresh() {
    m_state->setText(stateText());
}

} // namespace krv
