// SPDX-License-Identifier: MIT
#include "app/Companion.h"

#include "app/AppProfileSwitcher.h"
#include "app/FileReload.h"
#include "app/HotplugWatch.h"
#include "app/RestoreDefaults.h"
#include "settings/IniFile.h"
#ifdef _WIN32
#include "platform/windows/RunningPrograms.h"
#else
#include "platform/linux/DeviceAccess.h"
#include "platform/linux/InputBackend.h"
#include "platform/linux/RunningPrograms.h"
#endif
#include "ui/AboutBox.h"
#include "ui/AppProfilesDialog.h"
#include "ui/MacroPage.h"
#include "ui/MainWindow.h"
#include "ui/MainWindowController.h"
#include "ui/WidgetDialogs.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QDesktopServices>
#include <QSystemTrayIcon>
#include <QTimer>
#include <QUrl>
#include <QWindow>

#include <cstdio>

namespace krv {

namespace {

constexpr std::chrono::milliseconds ApplyDelay{5};

#ifdef _WIN32
// Windows has no udev rule or uinput to set up: the mouse and the injection need no command.
std::string DeviceAccessCommand() {
    return {};
}
std::string UinputAccessCommand() {
    return {};
}
#endif

} // namespace

QString Companion::MissingMouseMessage(UiLanguage language) {
    const QString title = QString::fromUtf8(MainWindow::WindowTitle);
    if (language == UiLanguage::English)
        return QStringLiteral("Please plug-in【") + title + QStringLiteral("】USB Mouse");
    return QStringLiteral("Please plug-in ") + title + QStringLiteral(" USB Mouse");
}

Companion::Companion(AppContext& context) : Companion(context, Options{}) {}

Companion::Companion(AppContext& context, Options options) : m_ctx(context), m_options(options) {
    if (m_options.dialogs) {
        m_dialogs = m_options.dialogs;
    } else {
        WidgetDialogs::Look look;
        look.skin = [this]() -> const SkinDescriptions& { return m_window->skin(); };
        look.fonts = [this]() -> const SkinFonts& { return m_window->fonts(); };
        look.language = [this] { return m_ctx.language; };
        look.skinDirectory = m_ctx.paths.skinDirectory();
        m_ownDialogs = std::make_unique<WidgetDialogs>(std::move(look));
        m_dialogs = m_ownDialogs.get();
    }
    m_notifier = std::make_unique<GuiNotifier>(*m_dialogs);
    m_window = std::make_unique<MainWindow>(MainWindow::Dependencies{m_ctx.settings, m_ctx.feedback, m_ctx.macros,
                                                                     m_ctx.language, m_ctx.paths, *m_notifier});
    m_notifier->setWindow(m_window.get());
    m_window->setWindowIcon(ApplicationIcon());
    m_window->installEventFilter(this);
    m_advanced = std::make_unique<MacroPage>(MacroPage::Dependencies{
        *m_window, m_ctx.macros, m_ctx.settings, *m_notifier, [this] { return m_ctx.language; },
        m_ctx.paths.appDirectory, m_options.macroDialogs, &m_eventListMenu, m_ctx.ports.openKeyboardCapture,
        m_ctx.paths.configPath(),
        [this](bool saveAfterKeep) { m_fileReload->macroFileChangedUnderSave(saveAfterKeep); }});
    m_controller = std::make_unique<MainWindowController>(
        MainWindowController::Dependencies{*m_window, m_ctx.settings, m_ctx.macros, m_ctx.language, m_ctx.paths, *this,
                                           *m_dialogs, *m_advanced, *m_notifier});

    m_workers = std::make_unique<CompanionWorkers>(CompanionWorkers::Dependencies{
        m_ctx, *m_notifier, [this] { return m_messageLanguage.load(); },
        [this] { return m_window->viewState().page == SkinPage::Main; }, m_options.raiseServiceThreads,
        [this](int profile, const ProfileValues& values) {
            // The window now holds the switched-to profile as the file does, so that an APPLY puts
            // only the user's later edits over it (unless a tab was clicked in between).
            if (m_ctx.settings.currentProfile.load() == profile)
                m_controller->setProfileOnFile(profile, values);
        }});
    connect(m_workers.get(), &CompanionWorkers::stateChanged, this, &Companion::stateChanged);

    m_tray = std::make_unique<CompanionTray>(m_options.statusNotifierTray);
    connect(m_tray.get(), &CompanionTray::showRequested, this, &Companion::showFromTray);
    connect(m_tray.get(), &CompanionTray::menuCommand, this, &Companion::onTrayCommand);
    connect(m_tray.get(), &CompanionTray::menuAboutToPopUp, this, [this] { m_window->activateWindow(); });

    m_fileReload = std::make_unique<FileReload>(*this);

    m_ctx.link.setRemovalCallback([this] { mouseRemoved(); });
    m_ctx.link.setArrivalCallback([this](bool connected) { mouseArrived(connected); });
}

void Companion::startAppProfiles() {
    // The profile of the program in front, applied whole as the profile-switch button does; a macro
    // playing has ended before (the switcher waits for it).
    m_appProfiles = std::make_unique<AppProfileSwitcher>(
        AppProfileSwitcher::Dependencies{m_ctx.paths.appProfilesPath(), m_ctx.paths.configPath(), m_ctx.presses,
                                         [this](int profile) { return applyProfileForProgram(profile); },
                                         static_cast<std::int64_t>(QCoreApplication::applicationPid()),
                                         m_options.appProfileSettle},
        m_ctx.ports.openForegroundWatch());
    connect(m_appProfiles.get(), &AppProfileSwitcher::switched, this,
            [this](int profile) { m_tray->showProfileInUse(m_ctx.language, profile); });
}

bool Companion::applyProfileForProgram(int profile) {
    if (m_state == State::Ended)
        return false;
    // A refusal is told once: the program's profile is tried again at each focus change, and a
    // message every time the game comes to the front would be in the player's way.
    const bool toldBefore = m_refusedProgramProfile == profile;
    const int current = m_ctx.settings.currentProfile.load();
    const UiLanguage language = m_messageLanguage.load();
    const ProfileApplier::Outcome outcome = applyStoredProfile(
        profile, {.unreadable =
                      [&](const FileStatus& problem) {
                          if (!toldBefore)
                              m_notifier->showMessage(Messages::FileNotUsed(language, problem.message()));
                      },
                  .noLeftButton =
                      [&] {
                          if (!toldBefore)
                              m_notifier->showMessage(Messages::SwitchWithoutLeftButton(language, profile, current));
                      }});
    m_refusedProgramProfile = outcome == ProfileApplier::Outcome::NotSent ? profile : 0;
    return outcome != ProfileApplier::Outcome::NotSent;
}

void Companion::openAppProfilesDialog() {
    if (m_appProfilesDialog) {
        m_appProfilesDialog->raise();
        m_appProfilesDialog->activateWindow();
        return;
    }
    auto* dialog = new AppProfilesDialog(AppProfilesDialog::Dependencies{m_ctx.paths.appProfilesPath(), m_ctx.language,
                                                                         m_window->fonts().text(m_ctx.language),
                                                                         RunningProgramExecutables});
    dialog->setWindowIcon(ApplicationIcon());
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    m_appProfilesDialog = dialog;
    dialog->show();
}

void Companion::mouseArrived(bool connected) {
    if (!waitingForMouse() || !connected || m_state == State::Ended)
        return;
    // The mouse plugged in after a start in the tray: serving starts as after a start with it.
    m_tray->setWaitingForMouse(false, m_ctx.language);
    if (m_applyOnArrival) {
        QTimer::singleShot(ApplyDelay, this, [this] {
            if (m_state != State::Ended)
                reapplyCurrentProfile();
        });
    }
}

Companion::~Companion() {
    delete m_appProfilesDialog.data();
    m_appProfiles.reset();
    m_workers->stop();
    m_controller.reset();
    m_advanced.reset();
    if (m_window)
        m_window->removeEventFilter(this);
}

MacroEditor& Companion::macroEditor() {
    return m_advanced->editor();
}

void Companion::start() {
    m_workers->start(m_options.startWorkers);

    // config.ini is read once, under the lock of the saves, so that another program's change is never
    // seen half made (restore-defaults replaces two files); nothing is shown yet that the wait could
    // hold up. One that cannot be read gives the settings of a missing file, is never saved over, and
    // no profile is applied from it.
    const IniRead config = IniFile::readLocked(m_ctx.paths.configPath());
    m_ctx.settings.currentProfile.store(ReadCurConfig(config.document));
    m_ctx.language = ReadUiLanguage(config.document);
    m_messageLanguage.store(m_ctx.language);
    m_ctx.settings.setValues(
        ReadProfileValues(config.document, m_ctx.settings.currentProfile.load(), false, m_ctx.language));
    m_controller->setProfileOnFile(m_ctx.settings.currentProfile.load(), m_ctx.settings.values());
    m_window->setWindowTitle(QString::fromUtf8(MainWindow::WindowTitle));

    // Skin descriptions, fonts and the window's shape. A missing description file has been reported
    // and has closed the window, which ends the program once the message is dismissed.
    if (!m_window->initialiseSkin()) {
        m_notifier->whenIdle([self = QPointer<Companion>(this)] {
            if (self)
                self->ShutDown();
        });
        return;
    }

    if (config.unreadable())
        reportNotLoaded(config.status());
    if (!m_ctx.ports.injectorProblem.empty()) {
        m_notifier->showMessage(
            Messages::UinputNotWritable(m_ctx.language, m_ctx.ports.injectorProblem, UinputAccessCommand()));
    }
    m_ctx.macros.filePath = m_ctx.paths.userMacroFile(m_ctx.language);
    if (FileStatus loaded = LoadMacroFile(m_ctx.macros, m_ctx.macros.filePath, *m_notifier); !loaded)
        reportNotLoaded(loaded);
    m_advanced->macrosLoaded();
    loadMenus();
    m_fileReload->watch();

    if (m_options.watchHotplug && m_ctx.ports.openDeviceChanges) {
        m_hotplug = std::make_unique<HotplugWatch>(m_ctx.ports.openDeviceChanges(),
                                                   [this](const DeviceChange& change) { handleDeviceChange(change); });
    }
    if (m_options.watchPower && m_ctx.ports.watchPowerEvents)
        m_power = m_ctx.ports.watchPowerEvents([this](PowerEvent) { reapplyCurrentProfile(); });
    if (m_ctx.ports.openForegroundWatch)
        startAppProfiles();

    if (!m_ctx.link.ScanForMouse()) {
        // Started in the tray (at login) without the mouse: wait there for it, as the desktop's device
        // tools do; the hot-plug monitor brings it. A mouse that is there but cannot be used is said.
        if (m_options.startInTray && ((m_hotplug && m_hotplug->watching()) || !m_options.watchHotplug) &&
            m_ctx.link.lastScan().problem == DeviceLink::ScanReport::Problem::NotPluggedIn) {
            m_applyOnArrival = !config.unreadable();
            m_state = State::Shown;
            hideToTray();
            m_tray->setWaitingForMouse(true, m_ctx.language);
            return;
        }
        // The message after those of the start-up before it (one at a time); the shutdown once every
        // one has been read. Nothing is applied or written.
        m_notifier->showMessage(unusableMouseMessage().toStdString());
        m_notifier->whenIdle([self = QPointer<Companion>(this)] {
            if (self)
                self->ShutDown();
        });
        return;
    }
    if (!config.unreadable()) {
        QTimer::singleShot(ApplyDelay, this, [this] {
            if (m_state != State::Ended)
                reapplyCurrentProfile();
        });
    }
    m_state = State::Shown;
    if (m_options.startInTray)
        hideToTray(); // minimised where there is no tray
    else
        m_window->show();
}

QString Companion::unusableMouseMessage() const {
    const DeviceLink::ScanReport scan = m_ctx.link.lastScan();
    switch (scan.problem) {
    case DeviceLink::ScanReport::Problem::NotAccessible:
        return QString::fromStdString(
            Messages::MouseNotAccessible(m_ctx.language, scan.node, scan.detail, DeviceAccessCommand()));
    case DeviceLink::ScanReport::Problem::CollectionMissing:
        return QString::fromStdString(Messages::MouseCollectionMissing(m_ctx.language, scan.node, scan.detail));
    default:
        return MissingMouseMessage(m_ctx.language);
    }
}

void Companion::loadMenus() {
    m_eventListMenu.load(EventListMenuDefinition(m_ctx.language));
    m_tray->loadMenu(m_ctx.language);
}

void Companion::onTrayCommand(int id) {
    if (id == MenuCommand::ShowWindow)
        RestoreFromTray();
    else if (id == MenuCommand::ExitDriver)
        ShutDown();
    else if (id == MenuCommand::AppProfiles)
        openAppProfilesDialog();
}

void Companion::showFromTray() {
    RemoveTrayIcon();
    m_window->show();
    m_window->showNormal();
    m_state = State::Shown;
}

bool Companion::trayIconShown() const {
    return m_tray && m_tray->shown();
}

void Companion::hideToTray() {
    // Without a tray on this desktop the window is only minimised, so that it can never be lost.
    if (!QSystemTrayIcon::isSystemTrayAvailable()) {
        m_window->showMinimized();
        return;
    }
    m_tray->show();
    m_window->showMinimized();
    m_window->hide();
    m_state = State::InTray;
}

void Companion::RestoreFromTray() {
    m_window->show();
    m_window->showNormal();
    m_window->raise();
    m_window->activateWindow();
    RemoveTrayIcon();
    m_state = State::Shown;
}

void Companion::RemoveTrayIcon() {
    if (m_tray)
        m_tray->hide();
}

void Companion::restoreWindow() {
    if (m_state == State::Ended || m_state == State::Starting)
        return;
    // A window the desktop no longer shows (hidden to the tray, or unmapped behind Qt's back) is
    // shown again from scratch.
    if (m_window->windowHandle() && !m_window->windowHandle()->isExposed())
        m_window->hide();
    m_window->show();
    m_window->showNormal();
    m_window->raise();
    m_window->activateWindow();
    m_state = State::Shown;
}

void Companion::minimize() {
    m_window->showMinimized();
}

void Companion::ShutDown() {
    if (m_state == State::Ended)
        return;
    // A macro still playing ends first, so that nothing is pressed after the releases.
    m_workers->stopPlayback();
    m_ctx.heldInput.releaseAll();
    RemoveTrayIcon();
    // The program ends whether or not the mouse takes the goodbye and the desktop the pointer speed.
    if (m_ctx.link.writeHandleOpen())
        (void)m_ctx.link.SendFeatureReport(FeatureCommand::Goodbye, 0, 0);
    if (m_ctx.ports.pointer->pointerSpeed())
        (void)m_ctx.ports.pointer->setPointerSpeed(10);
    end(0);
}

void Companion::mouseRemoved() {
    if (m_state == State::Ended || waitingForMouse())
        return;
    RemoveTrayIcon();
    end(0);
    // The workers have stopped (a macro cut short has let go of its keys): nothing the program
    // pressed stays down once it is gone.
    m_ctx.heldInput.releaseAll();
}

void Companion::end(int status) {
    m_state = State::Ended;
    m_workers->stop();
    m_controller->closeFunctionMenu();
    m_window->hide();
    emit ended(status);
}

void Companion::handleDeviceChange(const DeviceChange& change) {
    // While the mouse is awaited no path is known yet: any arrival may be it, and is scanned for.
    if (waitingForMouse() && change.kind == DeviceChange::Kind::Arrival) {
        mouseArrived(m_ctx.link.ScanForMouse());
        emit stateChanged();
        return;
    }
    m_ctx.link.handleDeviceChange(change);
    emit stateChanged();
}

bool Companion::eventFilter(QObject* watched, QEvent* event) {
    if (watched == m_window.get() && event->type() == QEvent::Close) {
        // Closing the window is the shutdown; it waits for a message being shown (a missing skin file).
        event->ignore();
        m_notifier->whenIdle([self = QPointer<Companion>(this)] {
            if (self)
                self->ShutDown();
        });
        return true;
    }
    // What the user changed in the window (a profile tab, a DPI stage) shows at its next paint.
    if (watched == m_window.get() && event->type() == QEvent::Paint)
        emit stateChanged();
    return false;
}

void Companion::applyProfile() {
    // A macro playing now ends first (letting go of its keys): the apply reassigns the buttons, and
    // a release that comes while the mouse has not yet acknowledged would never stop a macro
    // repeated while its button is held.
    m_ctx.presses.requestStop();
    // The window's changes go over its profile as the file holds it now (another program may have
    // changed it since the window read it); a profile the window has not read yet (the mouse's
    // profile switch, just done) is applied as the file holds it.
    const int shown = m_ctx.settings.currentProfile.load();
    const MainWindowController::ProfileOnFile base = m_controller->profileOnFile();
    const ProfileApplier::Outcome outcome = base.profile == shown ? m_workers->applier().ApplyEdits(base.values)
                                                                  : m_workers->applier().ApplyStoredProfile(shown);
    if (outcome == ProfileApplier::Outcome::Applied)
        m_controller->setProfileOnFile(m_ctx.settings.currentProfile.load(), m_ctx.settings.values());
    m_window->update();
    emit stateChanged();
}

void Companion::reapplyCurrentProfile() {
    // The profile "CurConfig" names is read in the lock hold of the apply's save, so that a switch
    // another program saved since the companion read the file is applied, never undone. The window's
    // unsaved edits of the profile it shows go with it, as with APPLY.
    if (m_controller->unsavedProfileEdits())
        applyProfile();
    else
        applyStoredProfile(ProfileApplier::CurrentStoredProfile, {});
}

ProfileApplier::Outcome Companion::applyStoredProfile(int n, const ProfileApplier::StoredRefusals& refusals) {
    m_ctx.presses.requestStop(); // as applyProfile()
    const ProfileApplier::Outcome outcome = m_workers->applier().ApplyStoredProfile(n, refusals);
    if (outcome == ProfileApplier::Outcome::Applied) // the window shows the file's profile
        m_controller->setProfileOnFile(m_ctx.settings.currentProfile.load(), m_ctx.settings.values());
    m_window->update();
    emit stateChanged();
    return outcome;
}

void Companion::reportNotLoaded(const FileStatus& problem) {
    m_workers->reportNotLoaded(problem);
}

void Companion::startBlinkIfIdle() {
    m_workers->startBlinkIfIdle();
}

void Companion::restoreDefaults() {
    // Failures are shown by RestoreDefaults itself.
    static_cast<void>(RestoreDefaults(
        m_ctx.settings, m_ctx.paths, m_ctx.language, m_ctx.macros, *m_notifier,
        [this] {
            m_advanced->setMacrosOnFile(SnapshotOf(m_ctx.macros));
            if (m_window->viewState().page == SkinPage::Advanced) {
                m_advanced->refillMacroList();
                m_window->update();
            }
        },
        [this] { applyProfile(); }));
    m_window->update();
    emit stateChanged();
}

void Companion::switchLanguage(UiLanguage language) {
    // Every step runs even when the language is the one shown: the files are read again.
    m_ctx.language = language;
    m_messageLanguage.store(language);
    if (FileStatus saved = WriteUiLanguage(m_ctx.paths.configPath(), language); !saved)
        m_workers->reportNotSaved(saved);
    if (!m_window->reloadSkinDescriptions())
        return; // reported; the window closes and the program ends
    m_ctx.macros.filePath = m_ctx.paths.userMacroFile(language);
    if (FileStatus loaded = LoadMacroFile(m_ctx.macros, m_ctx.macros.filePath, *m_notifier); !loaded)
        reportNotLoaded(loaded);
    m_advanced->setMacrosOnFile(SnapshotOf(m_ctx.macros));
    m_fileReload->watch();
    if (m_window->viewState().page == SkinPage::Advanced) {
        m_advanced->refillMacroList();
        m_window->update();
    }
    loadMenus();
    m_window->setWindowTitle(QString::fromUtf8(MainWindow::WindowTitle));
    emit stateChanged();
}

void Companion::SwitchToChinese() {
    switchLanguage(UiLanguage::Chinese);
}

void Companion::SwitchToEnglish() {
    switchLanguage(UiLanguage::English);
}

void Companion::openWebPage() {
    QDesktopServices::openUrl(QUrl(QString::fromLatin1(WebPageAddress)));
}

} // namespace krv
