// SPDX-License-Identifier: MIT
#include "ui/MainWindowController.h"

#include "mouse/ButtonCode.h"
#include "settings/FileSystemCalls.h"
#include "settings/IniFile.h"
#include "settings/ProfileEditing.h"
#include "ui/MainWindow.h"
#include "ui/SaveWhenUnlocked.h"

#include <QCoreApplication>
#include <QMenu>
#include <QMouseEvent>
#include <QWindow>

namespace krv {

namespace {

bool isSlot(int h) {
    return h >= MainElement::ButtonSlotFirst && h <= MainElement::ButtonSlotLast;
}

} // namespace

MainWindowController::MainWindowController(Dependencies deps, QObject* parent)
    : QObject(parent), m_deps(deps),
      m_preview(deps.window.viewState(), deps.settings, [w = &deps.window] { w->update(); }) {
    m_deps.window.setMouseTracking(true);
    m_deps.window.installEventFilter(this);
    connect(&m_deps.window, &MainWindow::closeMenuRequested, this, &MainWindowController::closeFunctionMenu);
}

MainWindowController::~MainWindowController() {
    delete m_menu.data();
    delete m_systemMenu.data();
}

bool MainWindowController::eventFilter(QObject* watched, QEvent* event) {
    if (watched != &m_deps.window)
        return false;
    switch (event->type()) {
    case QEvent::MouseMove: {
        auto* e = static_cast<QMouseEvent*>(event);
        if (m_dragging && (e->buttons() & Qt::LeftButton)) {
            m_deps.window.window()->move(e->globalPosition().toPoint() - m_dragOffset);
            return true;
        }
        mouseMove(e->position().toPoint());
        return true;
    }
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonDblClick: {
        auto* e = static_cast<QMouseEvent*>(event);
        if (e->button() == Qt::LeftButton) {
            mousePress(e->position().toPoint());
        } else if (e->button() == Qt::RightButton) {
            mouseMove(e->position().toPoint());
            const MainViewState& s = m_deps.window.viewState();
            if (s.mainHit == NoHit && s.advancedHit == NoHit && s.colorHit == NoHit)
                showSystemMenu(e->globalPosition().toPoint());
        }
        return true;
    }
    case QEvent::MouseButtonRelease: {
        auto* e = static_cast<QMouseEvent*>(event);
        if (e->button() == Qt::LeftButton) {
            if (m_dragging) {
                m_dragging = false;
                return true;
            }
            mouseRelease(e->position().toPoint());
        }
        return true;
    }
    default:
        return false;
    }
}

bool MainWindowController::unsavedProfileEdits() const {
    return m_profileOnFile.profile == m_deps.settings.currentProfile.load() &&
           m_deps.settings.values() != m_profileOnFile.values;
}

void MainWindowController::repaintNow() {
    m_deps.window.repaint();
}

void MainWindowController::mouseMove(QPoint p) {
    MainViewState& s = m_deps.window.viewState();
    const SkinDescriptions& skin = m_deps.window.skin();
    s.mainHit = skin.mainLayout.hitTest(p.x(), p.y(), s.mainLastHit());
    s.colorHit = skin.colorLayout.hitTest(p.x(), p.y(), ColorLastHit);
    s.advancedHit = skin.advancedLayout.hitTest(p.x(), p.y(), AdvancedLastHit);
    // Each changed index repaints at once; on the advanced page only around its child controls.
    auto repaintIfChanged = [&](HitIndex now, HitIndex& last) {
        if (now == last)
            return;
        if (s.page == SkinPage::Advanced)
            m_deps.window.repaint(m_deps.window.repaintRegion());
        else
            m_deps.window.repaint();
        last = now;
    };
    repaintIfChanged(s.mainHit, s.lastMainHit);
    repaintIfChanged(s.colorHit, s.lastColorHit);
    repaintIfChanged(s.advancedHit, s.lastAdvancedHit);
}

void MainWindowController::mousePress(QPoint p) {
    // The hit indexes are those of the last move; a press without a move before it (a test, a
    // touch) finds them from its own position.
    mouseMove(p);
    MainViewState& s = m_deps.window.viewState();
    if (s.mainHit != NoHit || s.advancedHit != NoHit || s.colorHit != NoHit) {
        s.pressed = true;
        m_deps.window.update();
    }
    switch (s.page) {
    case SkinPage::Main:
        pressMain(p);
        break;
    case SkinPage::Advanced:
        pressAdvanced(p);
        break;
    case SkinPage::Color:
        pressColor(p);
        break;
    }
    m_deps.window.update();
}

void MainWindowController::pressMain(QPoint p) {
    MainViewState& s = m_deps.window.viewState();
    if (s.menuOpen)
        closeFunctionMenu();
    const int h = s.mainHit;
    ProfileSettings& settings = m_deps.settings;
    if (h == MainElement::PageTabFirst + 1) {
        showPage(SkinPage::Advanced);
    } else if (h == MainElement::PageTabFirst + 2) {
        showPage(SkinPage::Color);
    } else if (isSlot(h)) {
        clickSlot(h);
    } else if (h == MainElement::WheelFirst || h == MainElement::WheelFirst + 1) {
        settings.wheelMode.store(h - MainElement::WheelFirst);
    } else if (h >= MainElement::StageEnableFirst && h < MainElement::StageEnableFirst + DpiStageCount) {
        ToggleDpiStage(settings, h - MainElement::StageEnableFirst);
    } else if (h >= MainElement::StageSelectFirst && h < MainElement::StageSelectFirst + DpiStageCount) {
        SelectDpiStage(settings, h - MainElement::StageSelectFirst);
    } else if (h >= MainElement::SliderFirst && h < MainElement::SliderFirst + DpiStageCount * DpiPositionCount) {
        const int offset = h - MainElement::SliderFirst;
        SetDpiPosition(settings, offset / DpiPositionCount, offset % DpiPositionCount);
    } else if (h == NoHit) {
        startDrag(p);
    }
}

void MainWindowController::pressAdvanced(QPoint p) {
    const MainViewState& s = m_deps.window.viewState();
    const int h = s.mainHit;
    if (h == MainElement::PageTabFirst) {
        showPage(SkinPage::Main);
        return;
    }
    if (h == MainElement::PageTabFirst + 2) {
        showPage(SkinPage::Color);
        return;
    }
    const int a = s.advancedHit;
    ProfileSettings& settings = m_deps.settings;
    const SkinLayout& layout = m_deps.window.skin().advancedLayout;
    if (a >= AdvancedElement::ImportMacros && a <= AdvancedElement::MacroMode) {
        m_deps.advanced.action(a);
    } else if (a >= AdvancedElement::DpiSpeedFirst && a < AdvancedElement::DpiSpeedFirst + 10) {
        settings.pointerSpeed.store(static_cast<std::uint8_t>(a - AdvancedElement::DpiSpeedFirst));
    } else if (a >= AdvancedElement::WheelSpeedFirst && a < AdvancedElement::WheelSpeedFirst + 10) {
        settings.wheelSpeed.store(static_cast<std::uint8_t>(a - AdvancedElement::WheelSpeedFirst));
    } else if (a == AdvancedElement::FireBar) {
        const SkinElement& bar = layout[AdvancedElement::FireBar];
        settings.fireInterval.store(FireTimeFromBar(p.x(), bar.x, bar.width));
    } else if (a == AdvancedElement::FirePlus) {
        StepFireTime(settings, +1);
    } else if (a == AdvancedElement::FireMinus) {
        StepFireTime(settings, -1);
    } else if (a == NoHit && h == NoHit) {
        startDrag(p);
    }
}

void MainWindowController::pressColor(QPoint p) {
    const MainViewState& s = m_deps.window.viewState();
    const int h = s.mainHit;
    const int k = s.colorHit;
    if (h == MainElement::PageTabFirst) {
        showPage(SkinPage::Main);
    } else if (h == MainElement::PageTabFirst + 1) {
        showPage(SkinPage::Advanced);
    } else if (k >= ColorElement::LedModeFirst && k < ColorElement::LedModeFirst + 4) {
        m_deps.settings.ledMode.store(static_cast<std::uint8_t>(k));
    } else if (k == NoHit && h == NoHit) {
        startDrag(p);
    }
}

void MainWindowController::showPage(SkinPage page) {
    MainViewState& s = m_deps.window.viewState();
    const SkinPage from = s.page;
    if (from == page)
        return;
    MainWindow& w = m_deps.window;
    switch (page) {
    case SkinPage::Advanced:
        s.page = SkinPage::Advanced;
        w.update(w.repaintRegion());
        m_deps.advanced.createControls();
        w.repaint(w.repaintRegion());
        m_deps.advanced.refillMacroList();
        w.repaint(w.repaintRegion());
        return;
    case SkinPage::Color:
        s.page = SkinPage::Color;
        m_preview.startIfIdle();
        if (from == SkinPage::Advanced)
            m_deps.advanced.destroyControls();
        w.update();
        return;
    case SkinPage::Main:
        s.page = SkinPage::Main;
        m_deps.actions.startBlinkIfIdle();
        if (from == SkinPage::Advanced)
            m_deps.advanced.destroyControls();
        w.update();
        return;
    }
}

void MainWindowController::startDrag(QPoint client) {
    // The window that holds the main window (itself, or one that shows it beside another widget) moves.
    QWidget* toplevel = m_deps.window.window();
    QWindow* handle = toplevel->windowHandle();
    // The window manager moves the window where it can; elsewhere the window follows the cursor.
    if (handle && handle->startSystemMove())
        return;
    m_dragging = true;
    m_dragOffset = m_deps.window.mapTo(toplevel, client);
}

QPoint MainWindowController::menuOrigin(int slotElement) const {
    const SkinElement& e = m_deps.window.skin().mainLayout[static_cast<std::size_t>(slotElement)];
    return m_deps.window.mapToGlobal(QPoint(e.x, e.y + e.height));
}

void MainWindowController::clickSlot(int element) {
    MainViewState& s = m_deps.window.viewState();
    s.menuSlot = element;
    const QPoint origin = menuOrigin(element);
    const int slot = element - (MainElement::ButtonSlotFirst - 1);
    if (OtherSlotHoldsPrimary(m_deps.settings, slot)) {
        openFunctionMenu(element, origin);
        return;
    }
    // Taking the primary button's code from its last holder asks first; cancel ends the click.
    QPointer<MainWindowController> self(this);
    m_deps.dialogs.warning(&m_deps.window, origin, [self, element, origin](int result) {
        if (self && result != 2)
            self->openFunctionMenu(element, origin);
    });
}

void MainWindowController::openFunctionMenu(int element, QPoint origin) {
    closeFunctionMenu();
    MainViewState& s = m_deps.window.viewState();
    s.menuSlot = element;
    FunctionMenuLook look;
    look.images = &m_deps.window.images();
    look.font = m_deps.window.fonts().text(m_deps.language);
    const MainWindow* window = &m_deps.window;
    look.functionName = [window](int code) { return QString::fromStdString(window->skin().functionName(code)); };
    const MacroTable* macros = &m_deps.macros;
    look.macroNames = [macros] {
        std::vector<QString> names;
        const int n = macros->count();
        for (int i = 0; i < n; ++i)
            names.push_back(QString::fromStdU16String(macros->name(i)));
        return names;
    };
    auto* menu = new FunctionMenu(std::move(look), &m_deps.window);
    m_menu = menu;
    // Under the slot where the screen has room, else above it (or shifted), on the slot's screen.
    const SkinElement& e = m_deps.window.skin().mainLayout[static_cast<std::size_t>(element)];
    const QPoint slotLeft = m_deps.window.mapToGlobal(QPoint(e.x, e.y));
    menu->move(PlaceOnScreen(origin, menu->visibleSize(), ScreenAreaAt(slotLeft), slotLeft.y(), origin.x()));
    connect(menu, &FunctionMenu::codeChosen, this, [this](int code) { storeChoice(code); });
    connect(menu, &FunctionMenu::subItemChosen, this, [this](int group, int item) {
        FunctionMenu* first = m_menu.data();
        int code = m_lastSubChoice;
        const auto g = MenuGroupOfRow(group);
        // The first level must still show a group; otherwise the previous second-level choice counts.
        if (first && MenuGroupOfRow(first->hoveredBand()) && g)
            code = g->base + item;
        m_lastSubChoice = code;
        storeChoice(code);
    });
    s.menuOpen = true;
    menu->show();
}

void MainWindowController::storeChoice(int code) {
    MainViewState& s = m_deps.window.viewState();
    const int slot = s.menuSlot - (MainElement::ButtonSlotFirst - 1);
    if (slot < 1 || slot > ButtonSlotCount)
        return;
    m_deps.settings.buttonCodes[static_cast<std::size_t>(slot - 1)].store(code);
    KeepPrimaryButton(m_deps.settings, slot);
    // The next paint of the main window closes the menus; close them now too when no paint comes
    // (hidden or minimised window).
    s.closeMenuAtPaint = true;
    repaintNow();
    closeFunctionMenu();
}

void MainWindowController::closeFunctionMenu() {
    MainViewState& s = m_deps.window.viewState();
    s.closeMenuAtPaint = false;
    s.menuOpen = false;
    if (m_menu) {
        FunctionMenu* menu = m_menu.data();
        m_menu.clear();
        menu->hide();
        menu->deleteLater();
    }
}

void MainWindowController::mouseRelease(QPoint p) {
    Q_UNUSED(p);
    MainViewState& s = m_deps.window.viewState();
    s.pressed = false;
    m_deps.window.update();
    const int h = s.mainHit;
    ProfileSettings& settings = m_deps.settings;
    const auto config = m_deps.paths.configPath();
    switch (h) {
    case MainElement::Cancel:
        s.mainHit = NoHit;
        saveWhenUnlocked([this] { cancelEdits(); });
        break;
    case MainElement::Apply:
        saveWhenUnlocked([this] { m_deps.actions.applyProfile(); });
        break;
    case MainElement::Minimize:
        s.mainHit = NoHit;
        m_deps.actions.minimize();
        break;
    case MainElement::HideToTray:
        s.mainHit = NoHit;
        m_deps.actions.hideToTray();
        break;
    case MainElement::ImportProfile:
        importProfile();
        break;
    case MainElement::ExportProfile:
        exportProfile();
        break;
    case MainElement::RestoreDefaults:
        saveWhenUnlocked([this] { m_deps.actions.restoreDefaults(); });
        break;
    case MainElement::Chinese:
        saveWhenUnlocked([this] { m_deps.actions.switchLanguage(UiLanguage::Chinese); });
        break;
    case MainElement::English:
        saveWhenUnlocked([this] { m_deps.actions.switchLanguage(UiLanguage::English); });
        break;
    case MainElement::WebPage:
        m_deps.actions.openWebPage();
        break;
    default:
        if (h >= MainElement::ProfileTabFirst && h < MainElement::ProfileTabFirst + ProfileCount) {
            // A profile tab loads the profile into the window; nothing reaches the mouse until apply.
            const int n = h - (MainElement::ProfileTabFirst - 1);
            if (FileStatus loaded = LoadProfile(settings, config, n, false, m_deps.language); !loaded) {
                reportNotLoaded(loaded); // the profile shown stays
                break;
            }
            settings.currentProfile.store(n);
            setProfileOnFile(n, settings.values());
            m_deps.window.update();
        }
        break;
    }
}

void MainWindowController::cancelEdits() {
    // Every edit since the last apply is dropped except the current stage, which is kept in slot 6.
    const auto config = m_deps.paths.configPath();
    // After a tab of another profile the window holds that profile's stored stage, not the mouse's:
    // the applied profile's own is kept instead (the mouse's DPI buttons save it there), so that no
    // stage of one profile reaches another at the next apply.
    if (const IniRead before = IniFile::read(config); !before.unreadable()) {
        const int applied = ReadCurConfig(before.document);
        if (applied >= 1 && applied <= ProfileCount && applied != m_deps.settings.currentProfile.load())
            m_deps.settings.dpiStage.store(
                ReadProfileValues(before.document, applied, false, m_deps.language).dpiStage);
    }
    if (FileStatus saved = SaveDpiLevel(m_deps.settings, config, AppliedProfileSection); !saved)
        reportNotSaved(saved);
    if (FileStatus loaded = LoadProfile(m_deps.settings, config, AppliedProfileSection, false, m_deps.language); !loaded) {
        reportNotLoaded(loaded);
    } else {
        // The applied profile comes back whole, its number too: a profile tab clicked since must not
        // stay lit over the applied values, or the next apply would write them into that profile.
        const IniRead file = IniFile::read(config);
        const int applied = ReadCurConfig(file.document);
        if (applied >= 1 && applied <= ProfileCount)
            m_deps.settings.currentProfile.store(applied);
        // What differs from the profile as the file holds it counts as the window's edits, so that an
        // apply sends what the window shows.
        if (!file.unreadable()) {
            const int shown = m_deps.settings.currentProfile.load();
            setProfileOnFile(shown, ReadProfileValues(file.document, shown, false, m_deps.language));
        }
    }
    m_deps.actions.hideToTray();
    m_deps.window.update();
}

void MainWindowController::importProfile() {
    QPointer<MainWindowController> self(this);
    m_deps.dialogs.openProfileFile(&m_deps.window, QString::fromStdString(fsys::Utf8Of(m_deps.paths.appDirectory)),
                                   [self](const QString& path) {
                                       if (!self || path.isEmpty())
                                           return;
                                       // The same check as the command-line import: a file without a whole
                                       // profile is refused and the profile on screen stays as it was.
                                       ProfileValues values;
                                       if (FileStatus loaded = ReadImportedProfile(fsys::PathFromUtf8(path.toStdString()), values); !loaded)
                                           self->reportNotLoaded(loaded);
                                       else
                                           self->m_deps.settings.setValues(values);
                                       self->m_deps.window.update();
                                   });
}

void MainWindowController::exportProfile() {
    QPointer<MainWindowController> self(this);
    m_deps.dialogs.saveProfileFile(&m_deps.window, QString::fromStdString(fsys::Utf8Of(m_deps.paths.appDirectory)),
                                   [self](const QString& path) {
                                       if (!self || path.isEmpty())
                                           return;
                                       if (FileStatus saved = SaveProfile(self->m_deps.settings, fsys::PathFromUtf8(path.toStdString()),
                                                                          ExchangeProfileSection, FileLock::None);
                                           !saved)
                                           self->reportNotSaved(saved);
                                       self->m_deps.window.update();
                                   });
}

void MainWindowController::saveWhenUnlocked(std::function<void()> save) {
    // Another program's save of the same file must not freeze the window: the save waits for it
    // while clicks go on being handled.
    SaveWhenUnlocked(
        this, {m_deps.paths.configPath(), m_deps.macros.filePath}, std::move(save),
        [self = QPointer<MainWindowController>(this)](const FileStatus& failure) {
            if (self) {
                self->reportNotSaved(failure);
                self->m_deps.window.update();
            }
        });
}

void MainWindowController::reportNotSaved(const FileStatus& problem) {
    m_deps.notifier.showMessage(Messages::NotSaved(m_deps.language, problem.message()));
}

void MainWindowController::reportNotLoaded(const FileStatus& problem) {
    m_deps.notifier.showMessage(Messages::FileNotUsed(m_deps.language, problem.message()));
}

void MainWindowController::showSystemMenu(QPoint global) {
    // A frameless window has no system menu of its own: the same items on a right-click.
    delete m_systemMenu.data();
    auto* menu = new QMenu(&m_deps.window);
    m_systemMenu = menu;
    menu->setAttribute(Qt::WA_DeleteOnClose);
    menu->addAction(QStringLiteral("Mi&nimize"), this, [this] { m_deps.actions.minimize(); });
    menu->addSeparator();
    menu->addAction(QStringLiteral("&About KRV_Glyde..."), this, [this] { m_deps.dialogs.about(&m_deps.window); });
    menu->popup(global);
}

} // namespace krv
