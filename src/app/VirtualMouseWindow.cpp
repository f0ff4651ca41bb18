// SPDX-License-Identifier: MIT
#include "app/VirtualMouseWindow.h"

#include "app/AppContext.h"
#include "mouse/ButtonCode.h"

#include <QCloseEvent>
#include <QEvent>
#include <QGridLayout>
#include <QPushButton>
#include <QRegion>
#include <QScreen>
#include <QVBoxLayout>
#include <QWindow>

#include <algorithm>
#include <utility>

namespace krv {

VirtualMouseWindow::VirtualMouseWindow(SimulatedMouse& mouse, const MemorySystemPointer& pointer,
                                       std::function<void()> unplugged, QWidget* parent)
    : QWidget(parent, Qt::Window), m_mouse(mouse), m_pointer(pointer), m_unplugged(std::move(unplugged)) {
    setWindowTitle(QStringLiteral("Virtual VELDRA mouse"));
    // Opaque also inside a see-through window that holds it beside the main window.
    setAutoFillBackground(true);
    // One font wherever the demo runs (the desktop's default differs: DejaVu on Linux, a substitute
    // under Wine), so that the window has one size and its pictures compare across builds.
    setFont(QFont(QStringLiteral("Liberation Sans"), 9));
    auto* layout = new QVBoxLayout(this);
    m_state = new QLabel(this); // the first label child: what the mouse received
    m_state->setTextFormat(Qt::PlainText);
    m_state->setFont(QFont(QStringLiteral("Liberation Mono"), 9));
    m_caption = new QLabel(windowTitle(), this);
    QFont captionFont = m_caption->font();
    captionFont.setBold(true);
    m_caption->setFont(captionFont);
    m_caption->setVisible(false);
    layout->addWidget(m_caption);
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
    emit refreshed();
}

void VirtualMouseWindow::changeEvent(QEvent* event) {
    if (event->type() == QEvent::ParentChange)
        m_caption->setVisible(!isWindow());
    QWidget::changeEvent(event);
}

namespace {

// The start of a span of `length` inside [low, high): as close to `wanted` as the room allows, the low
// end when the span is longer than the room.
int keepInside(int wanted, int length, int low, int high) {
    return std::max(low, std::min(wanted, high - length));
}

// A shown window's frame as the window system has it now: the widget's own copy of the frame's
// margins can lag behind a window manager that frames the window after it was mapped.
QRect frameOf(const QWidget& widget) {
    const QWindow* window = widget.windowHandle();
    const QRect frame =
        window && window->handle() && window->isVisible() ? window->frameGeometry() : widget.frameGeometry();
    // While a window manager reparents the window, its frame can read as 1 x 1 for a moment.
    return QRect(frame.topLeft(), frame.size().expandedTo(widget.size()));
}

void moveFrameTo(QWidget& widget, QPoint at) {
    QWindow* window = widget.windowHandle();
    if (window && window->handle() && window->isVisible())
        window->setFramePosition(at);
    else
        widget.move(at);
}

} // namespace

SideBySide PlaceBeside(const QRect& main, QSize companion, const QRect& screen, int gap, bool mayMoveMain) {
    const int left = screen.x(), top = screen.y();
    const int right = left + screen.width(), bottom = top + screen.height();
    QPoint mainAt = main.topLeft();
    if (mayMoveMain)
        mainAt = {keepInside(main.x(), main.width(), left, right), keepInside(main.y(), main.height(), top, bottom)};
    const int w = companion.width(), h = companion.height();
    auto beside = [&](int x) { return SideBySide{mainAt, {x, keepInside(mainAt.y(), h, top, bottom)}}; };
    auto under = [&](int y) { return SideBySide{mainAt, {keepInside(mainAt.x(), w, left, right), y}}; };

    if (mainAt.x() + main.width() + gap + w <= right)
        return beside(mainAt.x() + main.width() + gap);
    if (mainAt.x() - gap - w >= left)
        return beside(mainAt.x() - gap - w);
    if (mayMoveMain && main.width() + gap + w <= screen.width()) {
        // Neither side has room as the window stands: shift it left just enough.
        mainAt.setX(right - w - gap - main.width());
        return beside(right - w);
    }
    if (mainAt.y() + main.height() + gap + h <= bottom)
        return under(mainAt.y() + main.height() + gap);
    if (mainAt.y() - gap - h >= top)
        return under(mainAt.y() - gap - h);
    if (mayMoveMain && main.height() + gap + h <= screen.height()) {
        mainAt.setY(bottom - h - gap - main.height());
        return under(bottom - h);
    }
    // A screen too small for the two apart: the companion in its bottom-right corner, over the lower
    // part of the main window rather than its top bar (the main window in the top-left corner, where
    // it may move, so that they overlap as little as the screen allows).
    if (mayMoveMain)
        mainAt = {left, top};
    return {mainAt, {keepInside(right - w, w, left, right), keepInside(bottom - h, h, top, bottom)}};
}

BesideWindowKeeper::BesideWindowKeeper(QWidget& main, QWidget& companion)
    : QObject(&companion), m_main(&main), m_companion(&companion) {
    main.installEventFilter(this);
    companion.installEventFilter(this);
    watchWindowOf(main);
    watchWindowOf(companion);
}

void BesideWindowKeeper::watchWindowOf(QWidget& widget) {
    // The native window is what a window manager maps and places: its first exposure tells that the
    // window stands where it will stay.
    widget.winId();
    if (QWindow* window = widget.windowHandle())
        window->installEventFilter(this);
}

void BesideWindowKeeper::place() {
    if (!m_main || !m_companion)
        return;
    QScreen* screen = m_main->screen();
    if (!screen)
        return;
    const QRect main = frameOf(*m_main);
    const QRect companion = frameOf(*m_companion);
    m_placedCompanionSize = companion.size();
    const SideBySide at = PlaceBeside(main, companion.size(), screen->availableGeometry(), Gap, m_mayMoveMain);
    if (m_mayMoveMain && at.main != main.topLeft()) {
        m_requestedMain = at.main;
        moveFrameTo(*m_main, at.main);
    }
    if (at.companion != companion.topLeft())
        moveFrameTo(*m_companion, at.companion);
}

bool BesideWindowKeeper::eventFilter(QObject* watched, QEvent* event) {
    // The widgets and their native windows: a window manager's frame shows as a move of the native
    // window only.
    const bool isMain = m_main && (watched == m_main || watched == m_main->windowHandle());
    const bool isCompanion = m_companion && (watched == m_companion || watched == m_companion->windowHandle());
    switch (event->type()) {
    case QEvent::Expose: {
        auto* window = qobject_cast<QWindow*>(watched);
        if (!window || !window->isExposed())
            break;
        if ((isMain && !m_mainExposed) || (isCompanion && !m_companionExposed)) {
            m_mainExposed = m_mainExposed || isMain;
            m_companionExposed = m_companionExposed || isCompanion;
            place();
        }
        break;
    }
    case QEvent::Move:
        if (isMain) {
            // Once both windows are up, a move of the main window that the keeper did not ask for is the
            // user's (or the window manager's) choice: from then on only the companion moves.
            if (m_mainExposed && m_companionExposed && frameOf(*m_main).topLeft() != m_requestedMain)
                m_mayMoveMain = false;
            place();
        } else if (isCompanion && frameOf(*m_companion).size() != m_placedCompanionSize) {
            // The window manager framed the companion: place it again with its decorations. A move by
            // the user keeps the frame's size and is left alone.
            place();
        }
        break;
    case QEvent::Resize:
        // A window gets its size from its layout when it is first shown.
        if (isMain || isCompanion)
            place();
        break;
    default:
        break;
    }
    return QObject::eventFilter(watched, event);
}

QPoint CompanionOffset(QSize main, QSize companion, QSize room, int gap) {
    const bool rightFits = !room.isValid() || main.width() + gap + companion.width() <= room.width();
    const bool belowFits = room.isValid() && main.height() + gap + companion.height() <= room.height();
    return rightFits || !belowFits ? QPoint(main.width() + gap, 0) : QPoint(0, main.height() + gap);
}

SideBySideWindow::SideBySideWindow(QWidget& main, QWidget& companion)
    : QWidget(nullptr, Qt::Window | Qt::FramelessWindowHint), m_main(&main), m_companion(&companion),
      m_mainFlags(main.windowFlags()), m_companionFlags(companion.windowFlags()) {
    // Transparent wherever neither of the two paints: outside the main window's outline and between them.
    setAttribute(Qt::WA_TranslucentBackground);
    setWindowTitle(main.windowTitle());
    setWindowIcon(main.windowIcon());
    main.setParent(this, Qt::Widget);
    companion.setParent(this, Qt::Widget);
    companion.show(); // with this window; the main window when its owner shows it
    main.installEventFilter(this);
    companion.installEventFilter(this);
}

SideBySideWindow::~SideBySideWindow() {
    // Handed back hidden, as the windows they were, to be deleted by their owners.
    const std::pair<QWidget*, Qt::WindowFlags> widgets[] = {{m_main.data(), m_mainFlags},
                                                            {m_companion.data(), m_companionFlags}};
    for (const auto& [widget, flags] : widgets) {
        if (widget && widget->parentWidget() == this) {
            widget->removeEventFilter(this);
            widget->setParent(nullptr, flags);
        }
    }
}

void SideBySideWindow::arrange() {
    if (!m_main || !m_companion)
        return;
    m_companion->adjustSize();
    const QSize main = m_main->size(), companion = m_companion->size();
    const QScreen* screen = this->screen();
    const QPoint companionAt =
        CompanionOffset(main, companion, screen ? screen->availableGeometry().size() : QSize(), Gap);
    m_main->move(0, 0);
    m_companion->move(companionAt);
    setFixedSize(QRect(QPoint(0, 0), main).united(QRect(companionAt, companion)).size());
    // Clicks around the two reach whatever lies below, as they would around two windows.
    const QRegion mainShape = m_main->mask().isEmpty() ? QRegion(m_main->rect()) : m_main->mask();
    setMask(mainShape.united(m_companion->geometry()));
}

void SideBySideWindow::followMainState() {
    if (m_following || !m_main)
        return;
    // Only minimising passes on: the two have fixed sizes.
    const Qt::WindowStates wanted = m_main->windowState() & Qt::WindowMinimized;
    if ((windowState() & Qt::WindowMinimized) == wanted)
        return;
    m_following = true;
    setWindowState((windowState() & ~Qt::WindowMinimized) | wanted);
    m_following = false;
}

bool SideBySideWindow::eventFilter(QObject* watched, QEvent* event) {
    if (watched == m_main) {
        switch (event->type()) {
        case QEvent::ShowToParent:
            // Shown once the caller is done with the main window (shown, then made normal, raised,
            // activated): in the state it ends up in, so that a window restored from the tray is not
            // mapped minimised first.
            QMetaObject::invokeMethod(
                this,
                [this] {
                    if (!m_main || m_main->isHidden())
                        return;
                    arrange();
                    followMainState();
                    show();
                },
                Qt::QueuedConnection);
            break;
        case QEvent::HideToParent:
            hide();
            break;
        case QEvent::WindowStateChange:
            followMainState();
            break;
        case QEvent::WindowTitleChange:
            setWindowTitle(m_main->windowTitle());
            break;
        case QEvent::WindowIconChange:
            setWindowIcon(m_main->windowIcon());
            break;
        default:
            break;
        }
    } else if (watched == m_companion && event->type() == QEvent::LayoutRequest && isVisible()) {
        // The virtual mouse's text grew or shrank.
        arrange();
    }
    return QWidget::eventFilter(watched, event);
}

void SideBySideWindow::changeEvent(QEvent* event) {
    if (event->type() == QEvent::WindowStateChange && !m_following && m_main) {
        // Minimised or restored by the desktop: the main window's own state says the same.
        const Qt::WindowStates minimised = windowState() & Qt::WindowMinimized;
        if ((m_main->windowState() & Qt::WindowMinimized) != minimised) {
            m_following = true;
            m_main->setWindowState((m_main->windowState() & ~Qt::WindowMinimized) | minimised);
            m_following = false;
        }
    }
    QWidget::changeEvent(event);
}

void SideBySideWindow::closeEvent(QCloseEvent* event) {
    // Closing the window is closing the main window, whose owner decides what that means.
    event->ignore();
    if (m_main)
        m_main->close();
}

void SideBySideWindow::showEvent(QShowEvent* event) {
    arrange();
    QWidget::showEvent(event);
}

} // namespace krv
