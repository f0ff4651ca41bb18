// SPDX-License-Identifier: MIT
#pragma once

#include "settings/UiLanguage.h"
#include "ui/KrvMenu.h"

#include <QObject>
#include <QPointer>
#include <QString>

#include <memory>
#include <optional>

class QAction;
class QSystemTrayIcon;

namespace krv {

// The companion's tray icon and its menu. The icon shows while the window is hidden in the tray. A
// double-click brings the window back (a click on a StatusNotifierItem tray, which reports no
// double-click and draws the menu itself); the menu shows the window, opens the profiles for programs
// or ends the program. The tooltip names the profile chosen for the program in front, and while the
// mouse is awaited the tooltip and a greyed first line of the menu say so.
class CompanionTray : public QObject {
    Q_OBJECT
public:
    // statusNotifierTray: whether the desktop's tray is a StatusNotifierItem host; unset: asked of the
    // session bus (never on Windows, whose notification area reports clicks and double-clicks).
    explicit CompanionTray(std::optional<bool> statusNotifierTray, QObject* parent = nullptr);
    ~CompanionTray() override;

    // The menu in a language (again after a language switch).
    void loadMenu(UiLanguage language);
    void setWaitingForMouse(bool waiting, UiLanguage language);
    bool waitingForMouse() const { return m_waitingForMouse; }
    // The tooltip names the profile applied for the program in front (not while the mouse is awaited).
    void showProfileInUse(UiLanguage language, int profile);

    void show();
    void hide();
    bool shown() const;

    QSystemTrayIcon& icon() { return *m_icon; }
    KrvMenu& menu() { return m_menu; }

    // What the tray says while the mouse is awaited.
    static QString MouseAwaitedText(UiLanguage language);
    // What the tray says after a switch for the program in front.
    static QString ProfileInUseText(UiLanguage language, int profile);

signals:
    // A double-click on the icon (a click on a StatusNotifierItem tray).
    void showRequested();
    // A command of the menu (MenuCommand ids).
    void menuCommand(int id);
    // The menu is about to pop up at the pointer (the program's window takes the focus first, so
    // that a click elsewhere closes the menu).
    void menuAboutToPopUp();

private:
    void onActivated(int reason);

    bool m_statusNotifierTray = false;
    bool m_waitingForMouse = false;
    std::unique_ptr<QSystemTrayIcon> m_icon;
    KrvMenu m_menu;
    QPointer<QAction> m_waitingLine;
};

} // namespace krv
