// SPDX-License-Identifier: MIT
#pragma once

#include "sim/SimulatedMouse.h"

#include <QLabel>
#include <QPointer>
#include <QRect>
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

signals:
    // The view shows the mouse's state anew (after each change the mouse reports).
    void refreshed();

protected:
    void changeEvent(QEvent* event) override;

private:
    SimulatedMouse& m_mouse;
    const MemorySystemPointer& m_pointer;
    std::function<void()> m_unplugged;
    QLabel* m_caption = nullptr; // the title, shown where the view has no window (and title bar) of its own
    QLabel* m_state = nullptr;
    std::array<QPushButton*, 8> m_buttons{};
};

// Where two windows go side by side on a screen (all rectangles are outer frames): the companion to
// the right of the main window when the screen has room there, else to its left, tops aligned; else
// below it, else above it, left edges aligned. With mayMoveMain the main window is first brought onto
// the screen and, when no side has room as it stands, shifted just enough for one to have it. On a
// screen too small for the two apart, the companion takes the screen's bottom-right corner (and the
// main window, where it may move, the top-left one). Both stay inside the screen wherever their size
// allows.
struct SideBySide {
    QPoint main;
    QPoint companion;
};
SideBySide PlaceBeside(const QRect& main, QSize companion, const QRect& screen, int gap, bool mayMoveMain);

// Keeps a companion window beside a main window wherever the main window ends up: a window manager
// may place the main window itself (centred, cascaded, ...) when it maps it. Until the user moves the
// main window the pair is placed together, moving the main window when both would not fit; after that
// the companion follows the main window's moves and leaves the main window where the user put it. The
// companion is placed again when the window manager frames it; a move of it by the user is kept.
class BesideWindowKeeper : public QObject {
    Q_OBJECT
public:
    static constexpr int Gap = 20;

    // Owned by the companion.
    BesideWindowKeeper(QWidget& main, QWidget& companion);
    void place();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void watchWindowOf(QWidget& widget);

    QPointer<QWidget> m_main;
    QPointer<QWidget> m_companion;
    bool m_mainExposed = false;
    bool m_companionExposed = false;
    bool m_mayMoveMain = true;
    QPoint m_requestedMain{-1000000, -1000000};
    QSize m_placedCompanionSize;
};

// Where a companion stands beside a main window at (0, 0) inside one window: to the main window's right
// when `room` (the screen's available size; invalid: unknown) is wide enough for both, else below it
// when it is tall enough, else to its right all the same. `gap` apart.
QPoint CompanionOffset(QSize main, QSize companion, QSize room, int gap);

// One toplevel window for the main window and a companion side by side: under Wayland a client can
// neither place its toplevels nor move them once they are mapped, so two windows of their own may
// open one over the other. The main window stands at the top left, the companion to its right (below
// it on a screen too narrow for the two), Gap apart; the window is transparent and lets clicks
// through around them, so the main window keeps its outline. The main window is still shown, hidden,
// minimised and closed as before: this window follows it (and a close of this window is the main
// window's). Both widgets stay owned by their owners and are handed back when this window goes.
class SideBySideWindow : public QWidget {
    Q_OBJECT
public:
    static constexpr int Gap = BesideWindowKeeper::Gap;

    SideBySideWindow(QWidget& main, QWidget& companion);
    ~SideBySideWindow() override;

    // Sizes the window to the two and places them (done whenever the window or the main window is
    // shown and when the companion's contents change size).
    void arrange();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void changeEvent(QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    void followMainState();

    QPointer<QWidget> m_main;
    QPointer<QWidget> m_companion;
    Qt::WindowFlags m_mainFlags;
    Qt::WindowFlags m_companionFlags;
    bool m_following = false; // a state change passed on between the two, not to be passed back
};

} // namespace krv
