// SPDX-License-Identifier: MIT
#pragma once

#include "app/AppContext.h"
#include "app/CompanionTray.h"
#include "app/CompanionWorkers.h"
#include "app/GuiNotifier.h"
#include "device/ApplyProfile.h"
#include "macros/MacroEditor.h"
#include "ports/DeviceChange.h"
#include "ports/ProcessEvents.h"
#include "ui/KrvMenu.h"
#include "ui/MainWindowActions.h"

#include <QObject>
#include <QPointer>

#include <atomic>
#include <chrono>
#include <memory>
#include <optional>

class QSystemTrayIcon;

namespace krv {

class MainWindow;
class DialogSeam;
class FileReload;
class MainWindowController;
class MacroFileDialogs;
class MacroPage;
class AppProfileSwitcher;
class HotplugWatch;

// The maker's web page of the top bar: the project's own page.
inline constexpr const char* WebPageAddress = "https://github.com/krv-glyde/krv-glyde";

// The resident companion: its start-up order and its shutdown, the main window's actions, and the
// events that come from outside (hot-plug, power, the program in front). The tray (CompanionTray) and
// the background workers (CompanionWorkers) are parts of their own. Works on one AppContext; ends by
// emitting ended().
class Companion : public QObject, public MainWindowActions {
    Q_OBJECT
public:
    struct Options {
        DialogSeam* dialogs = nullptr;            // null: the real dialogs
        MacroFileDialogs* macroDialogs = nullptr; // null: the real macro import and export dialogs
        bool watchHotplug = true;                 // follow hidraw arrivals and removals through udev
        bool watchPower = true;                   // re-apply on logind's power events
        bool startWorkers = true;                 // run the report reader and the action executor
        bool raiseServiceThreads = false;         // their threads ask for real-time scheduling (RaiseServiceThread)
        bool startInTray = false;                 // start with the window hidden in the tray (minimised without one)
        // How long the focus stays on a program before its profile is applied.
        std::chrono::milliseconds appProfileSettle{300};
        // Whether the tray is a StatusNotifierItem host, which draws its own menu and reports a click
        // as Trigger; unset: asked of the session bus.
        std::optional<bool> statusNotifierTray;
    };

    enum class State { Starting, Shown, InTray, Ended };

    explicit Companion(AppContext& context);
    Companion(AppContext& context, Options options);
    ~Companion() override;

    // The watch of the system's power events, while the companion runs with one.
    ProcessEventWatch* powerEventWatch() { return m_power.get(); }

    // The main window's initialisation, in order: workers, current profile and language, the
    // profile, the skin and the window shape, the macros, the menus, the scan for the mouse; then
    // either the missing-mouse message and the shutdown, or the apply (5 ms later) with the window shown.
    void start();

    // The tray and the window (hideToTray is with the window's actions below).
    void RestoreFromTray();
    void RemoveTrayIcon();
    // A second start of the program asked for the window (the tray icon stays).
    void restoreWindow();
    // In this order: release held keys (eight Alt releases first), remove the tray icon, the goodbye
    // report when the mouse is open, the pointer speed back to 10; then the program ends.
    void ShutDown();
    // The mouse was unplugged: the tray icon goes and the program ends, without goodbye or pointer reset.
    void mouseRemoved();
    void handleDeviceChange(const DeviceChange& change);

    void SwitchToChinese();
    void SwitchToEnglish();

    // MainWindowActions
    void applyProfile() override;
    // Into the tray; without a tray on this desktop the window is only minimised.
    void hideToTray() override;
    void minimize() override;
    void restoreDefaults() override;
    void switchLanguage(UiLanguage language) override;
    void openWebPage() override;
    void startBlinkIfIdle() override;

    // The profile the companion serves, sent to the mouse again (at the start, when the mouse arrives,
    // after a resume): as config.ini holds it now, with the window's unsaved edits over it.
    void reapplyCurrentProfile();
    // Profile n (ProfileApplier::CurrentStoredProfile: the one "CurConfig" names) as config.ini holds it
    // now, read under the lock of its own save (another program asks for it): sent, saved and shown.
    // The refusals say why nothing was sent (empty: a message box).
    ProfileApplier::Outcome applyStoredProfile(int n, const ProfileApplier::StoredRefusals& refusals);

    State state() const { return m_state; }
    // Started with --tray without the mouse: the companion waits in the tray for it to be plugged in.
    bool waitingForMouse() const { return m_tray->waitingForMouse(); }
    bool trayIconShown() const;
    MainWindow& window() { return *m_window; }
    MainWindowController& controller() { return *m_controller; }
    MacroPage& macroPage() { return *m_advanced; }
    KrvMenu& trayMenu() { return m_tray->menu(); }
    KrvMenu& eventListMenu() { return m_eventListMenu; }
    GuiNotifier& notifier() { return *m_notifier; }
    // Tells the user that a file could not be read and is not used (in the language of the messages).
    void reportNotLoaded(const FileStatus& problem);
    DialogSeam& dialogs() { return *m_dialogs; }
    AppContext& context() { return m_ctx; }
    // Reads the files again when another program changed them.
    FileReload& fileReload() { return *m_fileReload; }
    MacroEditor& macroEditor();
    // The tray's "Profiles for programs…": the dialog of the rules (raised when it is open).
    void openAppProfilesDialog();
    QWidget* appProfilesDialog() const { return m_appProfilesDialog.data(); }
    // The switch by the program in front; null while the desktop tells nothing of the focus.
    AppProfileSwitcher* appProfileSwitcher() { return m_appProfiles.get(); }
    QSystemTrayIcon& trayIcon() { return m_tray->icon(); }
    bool blinkTimerActive() const { return m_workers->blinkTimerActive(); }

    // The missing-mouse message of a language.
    static QString MissingMouseMessage(UiLanguage language);

signals:
    // The program ends with this status (main quits its event loop).
    void ended(int status);
    // The current profile, the connection, the DPI stage or the language may have changed: emitted
    // on the UI thread after each place that changes them (the executor's changes are posted there).
    void stateChanged();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void loadMenus();
    // Why the mouse cannot be used, in the program's language: not plugged in (the fixed text),
    // plugged in but not accessible (with the command that gives access), a collection missing.
    QString unusableMouseMessage() const;
    void end(int status);
    void showFromTray();
    void onTrayCommand(int id);
    void mouseArrived(bool connected);
    void startAppProfiles();
    // Applies the profile of the program in front; false when it was not sent.
    bool applyProfileForProgram(int profile);

    AppContext& m_ctx;
    Options m_options;
    std::unique_ptr<DialogSeam> m_ownDialogs;
    DialogSeam* m_dialogs = nullptr;
    std::unique_ptr<GuiNotifier> m_notifier;
    std::unique_ptr<MainWindow> m_window;
    std::unique_ptr<MacroPage> m_advanced;
    std::unique_ptr<MainWindowController> m_controller;
    std::unique_ptr<CompanionWorkers> m_workers;
    std::unique_ptr<FileReload> m_fileReload;
    KrvMenu m_eventListMenu;
    std::unique_ptr<CompanionTray> m_tray;
    std::unique_ptr<HotplugWatch> m_hotplug;
    std::unique_ptr<ProcessEventWatch> m_power;
    std::unique_ptr<AppProfileSwitcher> m_appProfiles;
    QPointer<QWidget> m_appProfilesDialog;
    int m_refusedProgramProfile = 0; // the program's profile last refused, told once
    State m_state = State::Starting;
    bool m_applyOnArrival = false; // config.ini was readable: the mouse gets the profile when it comes
    // The language of messages composed on the executor's thread (the context's own is the UI thread's).
    std::atomic<UiLanguage> m_messageLanguage{UiLanguage::Chinese};
};

} // namespace krv
