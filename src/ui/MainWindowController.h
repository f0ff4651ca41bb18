// SPDX-License-Identifier: MIT
#pragma once

#include "macros/MacroTable.h"
#include "ports/UiNotifier.h"
#include "settings/ProfileSettings.h"
#include "settings/UiLanguage.h"
#include "ui/ColorPreview.h"
#include "ui/DialogSeam.h"
#include "ui/FunctionMenu.h"
#include "ui/MainWindowActions.h"

#include <QObject>
#include <QPoint>
#include <QPointer>

#include <functional>

class QMenu;

namespace krv {

class MainWindow;

// How the main window reacts to the mouse: hover over the element rectangles, presses and releases
// on the three pages, page changes, the DPI stages and the fire-time bar, the function menus of the
// button slots with the warning that guards the primary button, profile tabs, cancel, apply, import
// and export, and dragging the window by any point that is not an element. Watches the window's
// mouse events through an event filter; the window itself only paints.
class MainWindowController : public QObject {
    Q_OBJECT
public:
    struct Dependencies {
        MainWindow& window;
        ProfileSettings& settings;
        MacroTable& macros;
        UiLanguage& language;
        const AppPaths& paths;
        MainWindowActions& actions;
        DialogSeam& dialogs;
        AdvancedPage& advanced;
        UiNotifier& notifier;
    };

    explicit MainWindowController(Dependencies deps, QObject* parent = nullptr);
    ~MainWindowController() override;

    // The three mouse handlers, in client coordinates of the main window.
    void mouseMove(QPoint client);
    void mousePress(QPoint client);
    void mouseRelease(QPoint client);

    // Page changes as the page tabs make them.
    void showPage(SkinPage page);

    FunctionMenu* functionMenu() const { return m_menu.data(); }
    void closeFunctionMenu();
    // The screen point under a slot's bottom-left corner, where its menu and the warning box open.
    QPoint menuOrigin(int slotElement) const;
    ColorPreview& colorPreview() { return m_preview; }
    // True while the window follows the cursor after a press on no element.
    bool dragging() const { return m_dragging; }

    // The window's profile as config.ini held it when the window last read or saved it. The window's
    // unsaved edits are the values that differ from it; an apply writes only those over the profile
    // as the file holds it then.
    struct ProfileOnFile {
        int profile = 0;
        ProfileValues values;
    };
    const ProfileOnFile& profileOnFile() const { return m_profileOnFile; }
    void setProfileOnFile(int profile, const ProfileValues& values) { m_profileOnFile = {profile, values}; }
    // Values of the profile shown that were changed (clicks, an import) since it was read or applied.
    bool unsavedProfileEdits() const;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // Runs a save of the window's files once no other program holds their locks (see SaveWhenUnlocked).
    void saveWhenUnlocked(std::function<void()> save);
    void reportNotSaved(const FileStatus& problem);
    void reportNotLoaded(const FileStatus& problem);
    void pressMain(QPoint client);
    void pressAdvanced(QPoint client);
    void pressColor(QPoint client);
    void startDrag(QPoint client);
    void clickSlot(int element);
    void openFunctionMenu(int element, QPoint origin);
    void storeChoice(int code);
    void cancelEdits();
    void importProfile();
    void exportProfile();
    void showSystemMenu(QPoint global);
    void repaintNow();

    Dependencies m_deps;
    ProfileOnFile m_profileOnFile;
    ColorPreview m_preview;
    QPointer<FunctionMenu> m_menu;
    QPointer<QMenu> m_systemMenu;
    int m_lastSubChoice = 0; // the code of the previous second-level choice
    bool m_dragging = false;
    QPoint m_dragOffset;
};

} // namespace krv
