// SPDX-License-Identifier: MIT
#include "app/Companion.h"

#include "app/AppProfileSwitcher.h"
#include "app/FileReload.h"
#include "app/RestoreDefaults.h"
#include "settings/IniFile.h"
#ifdef _WIN32
#include "platform/windows/RunningPrograms.h"
#include "platform/windows/WindowsDeviceChanges.h"
#else
#include "platform/linux/DeviceAccess.h"
#include "platform/linux/InputBackend.h"
#include "platform/linux/RunningPrograms.h"
#endif
#include "ui/AppProfilesDialog.h"
#include "ui/AboutBox.h"
#include "ui/MacroPage.h"
#include "ui/MainWindow.h"
#include "ui/MainWindowController.h"
#include "ui/WidgetDialogs.h"

#include <QAction>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QCursor>
#ifndef _WIN32
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#endif
#include <QDesktopServices>
#include <QMenu>
#include <QSocketNotifier>
#ifdef _WIN32
#include <QWinEventNotifier>
#endif
#include <QSystemTrayIcon>
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
    const auto serviceThreadStart = [this](ServiceThread thread) -> std::function<void()> {
        if (!m_options.raiseServiceThreads || !m_ctx.ports.raiseServiceThread)
            return {};
        return [raise = m_ctx.ports.raiseServiceThread, thread] { raise(thread); };
    };
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
    m_controller = std::make_unique<MainWindowController>(MainWindowController::Dependencies{
        *m_window, m_ctx.settings, m_ctx.macros, m_ctx.language, m_ctx.paths, *this, *m_dialogs, *m_advanced, *m_notifier});

    m_applier = std::make_unique<ProfileApplier>(
        ProfileApplier::Ports{m_ctx.settings, m_ctx.paths.configPath(), m_ctx.link, m_ctx.feedback,
                              *m_ctx.ports.pointer, *m_notifier, [this] {
                                  QMetaObject::invokeMethod(
                                      this, [this] { startBlinkNow(); }, Qt::QueuedConnection);
                              },
                              [this] { return m_messageLanguage.load(); }});
    m_reader = std::make_unique<ReportReader>(m_ctx.link, m_ctx.presses, m_ctx.feedback, m_ctx.settings, *m_notifier);
    GuiNotifier* notifier = m_notifier.get();
    ProfileApplier* applier = m_applier.get();
    DeviceLink* link = &m_ctx.link;
    m_executor = std::make_unique<ActionExecutor>(
        ActionExecutorPorts{m_ctx.presses, m_ctx.settings, m_ctx.macros, m_ctx.heldInput, *m_ctx.ports.shell,
                            m_ctx.clock, m_ctx.paths.configPath(),
                            [link](std::uint8_t command, std::uint8_t p1, std::uint8_t p2) {
                                // A failed send means the mouse is gone: the hot-plug monitor ends the program.
                                (void)link->SendFeatureReport(static_cast<FeatureCommand>(command), p1, p2);
                            },
                            [applier](int n, const ProfileApplier::StoredRefusals& refusals) {
                                return applier->ApplyStoredProfile(n, refusals);
                            },
                            [this, notifier] {
                                // The executor stepped the DPI stage or switched the profile.
                                notifier->requestRepaint();
                                postStateChanged();
                            },
                            serviceThreadStart(ServiceThread::Executor),
                            [this](const FileStatus& problem) { reportNotSaved(problem); },
                            [this](const FileStatus& problem) { reportNotLoaded(problem); },
                            [this](int next, int current) {
                                m_notifier->showMessage(
                                    Messages::SwitchWithoutLeftButton(m_messageLanguage.load(), next, current));
                            }});
    m_reader->setOnThreadStart(serviceThreadStart(ServiceThread::Reader));
    m_blink = std::make_unique<ApplyBlink>(m_ctx.feedback, *m_notifier,
                                           [this] { return m_window->viewState().page == SkinPage::Main; });
    m_blinkTimer.setInterval(ApplyBlink::TickInterval);
    connect(&m_blinkTimer, &QTimer::timeout, this, [this] {
        if (!m_blink->tick())
            m_blinkTimer.stop();
    });

    m_statusNotifierTray = m_options.statusNotifierTray ? *m_options.statusNotifierTray : [] {
#ifdef _WIN32
        return false; // the notification area reports clicks and double-clicks and shows no menu itself
#else
        const QDBusConnectionInterface* bus = QDBusConnection::sessionBus().interface();
        return bus && bus->isServiceRegistered(QStringLiteral("org.kde.StatusNotifierWatcher")).value();
#endif
    }();
    m_tray = std::make_unique<QSystemTrayIcon>(ApplicationIcon());
    m_tray->setToolTip(QString::fromUtf8(MainWindow::WindowTitle));
    connect(m_tray.get(), &QSystemTrayIcon::activated, this,
            [this](QSystemTrayIcon::ActivationReason reason) { onTrayActivated(static_cast<int>(reason)); });

    m_fileReload = std::make_unique<FileReload>(*this);

    m_ctx.link.setRemovalCallback([this] { mouseRemoved(); });
    m_ctx.link.setArrivalCallback([this](bool connected) { mouseArrived(connected); });
}

QString Companion::ProfileInUseText(UiLanguage language, int profile) {
    if (language == UiLanguage::English)
        return QStringLiteral("Profile %1").arg(profile);
    return QStringLiteral("配置%1").arg(profile);
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
    connect(m_appProfiles.get(), &AppProfileSwitcher::switched, this, [this](int profile) {
        if (!m_waitingForMouse)
            m_tray->setToolTip(QString::fromUtf8(MainWindow::WindowTitle) + QStringLiteral(" — ") +
                               ProfileInUseText(m_ctx.language, profile));
    });
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

QString Companion::MouseAwaitedText(UiLanguage language) {
    if (language == UiLanguage::English)
        return QStringLiteral("The mouse is not plugged in: waiting for it");
    return QStringLiteral("鼠标未插入，正在等待");
}

void Companion::setWaitingForMouse(bool waiting) {
    m_waitingForMouse = waiting;
    const QString title = QString::fromUtf8(MainWindow::WindowTitle);
    m_tray->setToolTip(waiting ? title + QStringLiteral(" — ") + MouseAwaitedText(m_ctx.language) : title);
    delete m_waitingLine.data();
    QMenu* menu = m_trayMenu.menu();
    if (!waiting || !menu)
        return;
    QAction* first = menu->actions().isEmpty() ? nullptr : menu->actions().first();
    auto* line = new QAction(MouseAwaitedText(m_ctx.language), menu);
    line->setEnabled(false);
    menu->insertAction(first, line);
    m_waitingLine = line;
}

void Companion::mouseArrived(bool connected) {
    if (!m_waitingForMouse || !connected || m_state == State::Ended)
        return;
    // The mouse plugged in after a start in the tray: serving starts as after a start with it.
    setWaitingForMouse(false);
    if (m_applyOnArrival) {
        QTimer::singleShot(ApplyDelay, this, [this] {
            if (m_state != State::Ended)
                applyProfile();
        });
    }
}

Companion::~Companion() {
    delete m_appProfilesDialog.data();
    m_appProfiles.reset();
    stopWorkers();
    m_blinkTimer.stop();
    m_controller.reset();
    m_advanced.reset();
    if (m_window)
        m_window->removeEventFilter(this);
}

MacroEditor& Companion::macroEditor() { return m_advanced->editor(); }

void Companion::start() {
    // Workers first: nothing is pending, then the reader and the executor, then a first blink run
    // (which finds the host functions ready and ends at once).
    m_ctx.presses.finishPress();
    if (m_options.startWorkers) {
        m_reader->start();
        m_executor->start();
    }
    m_ctx.feedback.BlinkRunning.store(true);
    startBlinkNow();

    // config.ini is read once. One that cannot be read gives the settings of a missing file, is
    // never saved over, and no profile is applied from it.
    const IniRead config = IniFile::read(m_ctx.paths.configPath());
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

    if (m_options.watchHotplug) {
        m_udev = m_ctx.ports.openDeviceChanges();
        const auto readChanges = [this] {
            for (const DeviceChange& change : m_udev->readChanges())
                handleDeviceChange(change);
        };
        if (m_udev && m_udev->fd() >= 0) {
            auto* notifier = new QSocketNotifier(m_udev->fd(), QSocketNotifier::Read, this);
            connect(notifier, &QSocketNotifier::activated, this, readChanges);
            m_udevNotifier = notifier;
        }
#ifdef _WIN32
        // Windows gives an event to wait on instead of a descriptor.
        if (auto* windows = dynamic_cast<WindowsDeviceChangeMonitor*>(m_udev.get()); windows && windows->valid()) {
            auto* notifier = new QWinEventNotifier(windows->changesEvent(), this);
            connect(notifier, &QWinEventNotifier::activated, this, readChanges);
            m_udevNotifier = notifier;
        }
#endif
    }
    if (m_options.watchPower && m_ctx.ports.watchPowerEvents)
        m_power = m_ctx.ports.watchPowerEvents([this](PowerEvent) { applyProfile(); });
    if (m_ctx.ports.openForegroundWatch)
        startAppProfiles();

    if (!m_ctx.link.ScanForMouse()) {
        // Started in the tray (at login) without the mouse: wait there for it, as the desktop's device
        // tools do; the hot-plug monitor brings it. A mouse that is there but cannot be used is said.
        if (m_options.startInTray && (m_udevNotifier || !m_options.watchHotplug) &&
            m_ctx.link.lastScan().problem == DeviceLink::ScanReport::Problem::NotPluggedIn) {
            m_applyOnArrival = !config.unreadable();
            m_state = State::Shown;
            hideToTray();
            setWaitingForMouse(true);
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
                applyProfile();
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
    m_trayMenu.load(TrayMenuDefinition(m_ctx.language));
    for (int id : {MenuCommand::ShowWindow, MenuCommand::AppProfiles, MenuCommand::ExitDriver}) {
        if (QAction* action = m_trayMenu.action(id))
            connect(action, &QAction::triggered, this, [this, id] { onTrayCommand(id); });
    }
    // A StatusNotifierItem tray draws the menu itself from the same items (their texts).
    if (m_statusNotifierTray)
        m_tray->setContextMenu(m_trayMenu.menu());
    if (m_waitingForMouse)
        setWaitingForMouse(true); // the new menu gets the line too, in its language
}

void Companion::onTrayCommand(int id) {
    if (id == MenuCommand::ShowWindow)
        RestoreFromTray();
    else if (id == MenuCommand::ExitDriver)
        ShutDown();
    else if (id == MenuCommand::AppProfiles)
        openAppProfilesDialog();
}

void Companion::onTrayActivated(int reason) {
    switch (static_cast<QSystemTrayIcon::ActivationReason>(reason)) {
    case QSystemTrayIcon::DoubleClick:
        showFromTray();
        break;
    case QSystemTrayIcon::Trigger:
        // A StatusNotifierItem tray reports a click as Trigger and never a double-click.
        if (m_statusNotifierTray)
            showFromTray();
        break;
    case QSystemTrayIcon::Context:
        // A StatusNotifierItem tray shows the menu it was given itself.
        if (m_statusNotifierTray)
            break;
        m_window->activateWindow();
        if (QMenu* menu = m_trayMenu.menu())
            menu->popup(QCursor::pos());
        break;
    default:
        break;
    }
}

void Companion::showFromTray() {
    RemoveTrayIcon();
    m_window->show();
    m_window->showNormal();
    m_state = State::Shown;
}

bool Companion::trayIconShown() const {
    return m_tray && m_tray->isVisible();
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

void Companion::stopWorkers() {
    if (m_executor)
        m_executor->stop();
    if (m_reader)
        m_reader->stop();
}

void Companion::ShutDown() {
    if (m_state == State::Ended)
        return;
    // A macro still playing ends first, so that nothing is pressed after the releases.
    if (m_executor)
        m_executor->stop();
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
    if (m_state == State::Ended || m_waitingForMouse)
        return;
    RemoveTrayIcon();
    end(0);
    // The workers have stopped (a macro cut short has let go of its keys): nothing the program
    // pressed stays down once it is gone.
    m_ctx.heldInput.releaseAll();
}

void Companion::end(int status) {
    m_state = State::Ended;
    stopWorkers();
    m_blinkTimer.stop();
    m_controller->closeFunctionMenu();
    m_window->hide();
    emit ended(status);
}

void Companion::handleDeviceChange(const DeviceChange& change) {
    // While the mouse is awaited no path is known yet: any arrival may be it, and is scanned for.
    if (m_waitingForMouse && change.kind == DeviceChange::Kind::Arrival) {
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
    // changed it since the window read it); a profile the window did not read is applied as it is.
    const int shown = m_ctx.settings.currentProfile.load();
    const MainWindowController::ProfileOnFile base = m_controller->profileOnFile();
    const ProfileApplier::Outcome outcome =
        base.profile == shown ? m_applier->ApplyEdits(base.values) : m_applier->ApplyProfile();
    if (outcome == ProfileApplier::Outcome::Applied)
        m_controller->setProfileOnFile(m_ctx.settings.currentProfile.load(), m_ctx.settings.values());
    m_window->update();
    emit stateChanged();
}

void Companion::postStateChanged() {
    QMetaObject::invokeMethod(
        this, [this] { emit stateChanged(); }, Qt::QueuedConnection);
}

ProfileApplier::Outcome Companion::applyStoredProfile(int n, const ProfileApplier::StoredRefusals& refusals) {
    m_ctx.presses.requestStop(); // as applyProfile()
    const ProfileApplier::Outcome outcome = m_applier->ApplyStoredProfile(n, refusals);
    if (outcome == ProfileApplier::Outcome::Applied)
        m_controller->setProfileOnFile(n, m_ctx.settings.values()); // the window shows the file's profile
    m_window->update();
    emit stateChanged();
    return outcome;
}

void Companion::reportNotSaved(const FileStatus& problem) {
    m_notifier->showMessage(Messages::NotSaved(m_messageLanguage.load(), problem.message()));
}

void Companion::reportNotLoaded(const FileStatus& problem) {
    m_notifier->showMessage(Messages::FileNotUsed(m_messageLanguage.load(), problem.message()));
}

void Companion::startBlinkNow() {
    if (m_blink->start())
        m_blinkTimer.start();
    else
        m_blinkTimer.stop();
}

void Companion::startBlinkIfIdle() {
    if (m_ctx.feedback.BlinkRunning.load())
        return;
    m_ctx.feedback.BlinkRunning.store(true);
    startBlinkNow();
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
        reportNotSaved(saved);
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
