// SPDX-License-Identifier: MIT
#pragma once

#include "macros/MacroEditor.h"
#include "macros/MacroTable.h"
#include "ports/UiNotifier.h"
#include "settings/ProfileSettings.h"
#include "settings/UiLanguage.h"
#include "ui/EditableListBox.h"
#include "ui/KrvMenu.h"
#include "ui/MainWindowActions.h"

#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QObject>
#include <QPointer>
#include <QString>

#include <filesystem>
#include <functional>
#include <memory>

namespace krv {

class MainWindow;

// The macro exchange-file dialogs, behind a seam so that tests can answer them. Asynchronous and
// window-modal: `done` gets the chosen path, empty for Cancel.
class MacroFileDialogs {
public:
    virtual ~MacroFileDialogs() = default;
    virtual void openMacroFile(QWidget* owner, const QString& folder, std::function<void(QString path)> done) = 0;
    virtual void saveMacroFile(QWidget* owner, const QString& folder, std::function<void(QString path)> done) = 0;
};

// Qt's file dialogs with the filter "All Files(*.dat)"; saving adds ".dat" to a name without a suffix
// and asks before overwriting.
class QtMacroFileDialogs : public MacroFileDialogs {
public:
    void openMacroFile(QWidget* owner, const QString& folder, std::function<void(QString)> done) override;
    void saveMacroFile(QWidget* owner, const QString& folder, std::function<void(QString)> done) override;
};

// The exchange-file filter: "All Files(*.dat)", matching *.dat.
QString MacroFileFilter();

// The macro half of the advanced page: its four child controls on the skin's rectangles (white on
// black in the language's font), the macro editor they drive, the event list's context menu and the
// keyboard capture of recording. The editor and its state live as long as the page object; the
// controls only while the page shows.
class MacroPage : public QObject, public AdvancedPage {
    Q_OBJECT
public:
    struct Dependencies {
        MainWindow& window;
        MacroTable& macros;
        ProfileSettings& settings;
        UiNotifier& notifier; // "Overflow!!!" and missing files
        std::function<UiLanguage()> language;
        std::filesystem::path appDirectory;  // where the file dialogs start
        MacroFileDialogs* dialogs = nullptr; // null: Qt's file dialogs
        KrvMenu* menu = nullptr;             // the program's event-list menu; null: the page's own
        OpenKeyboardCapture openKeyboardCapture; // the desktop's; empty: the window's own keys
        // The profile file whose buttons follow their macros when one is deleted; empty: only the
        // profile in memory follows.
        std::filesystem::path configPath = {};
        // A save or a deletion found the macro file changed by another program since the page read it:
        // nothing was written. saveAfterKeep: the user asked to save (kept edits are saved then).
        std::function<void(bool saveAfterKeep)> macroFileChanged = {};
    };

    explicit MacroPage(Dependencies deps, QObject* parent = nullptr);
    ~MacroPage() override;

    // Uses `capture` for recording (not owned; nullptr: keys are not captured). By default the page
    // captures through the desktop's capture when it has one, and the program's own key events elsewhere.
    void setKeyboardCapture(KeyboardCapture* capture);
    KeyboardCapture* keyboardCapture() const { return m_capture; }
    // The capture could not get the keyboard (another program holds it): a running recording ends,
    // and the user is told why.
    void keyboardUnavailable();

    void createControls() override;
    void destroyControls() override;
    bool controlsExist() const override { return !m_eventList.isNull(); }
    void refillMacroList() override;
    void action(int element) override;

    // A right-click released at `viewportPoint` of the event list: selects the line under it and shows
    // the context menu there when the point lies on a line (or the list is empty).
    void rightClickEventList(QPoint viewportPoint);
    // The context menu's command `id` (as when the user picks its item).
    void contextCommand(int id) { m_editor.OnContextCommand(id); }
    // The macro table was loaded at start-up: the event list starts on the current macro's last event.
    void macrosLoaded() {
        m_editor.InitCurrentLine();
        m_macrosOnFile = SnapshotOf(m_deps.macros);
    }

    MacroEditor& editor() { return m_editor; }

    // The macros as the macro file held them when the page last read or saved it; the table's unsaved
    // edits are what differs from them. A save writes only over the file as it was then.
    const MacroSnapshot& macrosOnFile() const { return m_macrosOnFile; }
    void setMacrosOnFile(MacroSnapshot macros) { m_macrosOnFile = std::move(macros); }
    bool unsavedMacroEdits() const { return SnapshotOf(m_deps.macros) != m_macrosOnFile; }
    // SAVE: the repeat count into the current macro, then the macro file, unless another program has
    // changed it since the page read it (then macroFileChanged is called and nothing is written).
    void saveMacros();
    QLineEdit* repeatCountEdit() const { return m_repeatCount.data(); }
    QLineEdit* nameEdit() const { return m_name.data(); }
    QListWidget* macroList() const { return m_macroList.data(); }
    EditableListBox* eventList() const { return m_eventList.data(); }
    // The context menu while it is open (tests answer it), or null.
    QMenu* openMenu() const { return m_openMenu.data(); }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // DELETE: the editor deletes the selected macro; the buttons of every profile keep their macros
    // (renumbered), those of the deleted one get their factory function and are named to the user,
    // and the macro file is saved so that it agrees with the profiles.
    void deleteMacro();
    // Runs a save of the macro file and the profiles once no other program holds their locks.
    void saveWhenUnlocked(std::function<void()> save);

    class Notifier : public UiNotifier {
    public:
        explicit Notifier(MacroPage& page) : m_page(page) {}
        void showMessage(std::string_view text) override;
        void requestRepaint() override;

    private:
        MacroPage& m_page;
    };

    class EditControl : public TextEditControl {
    public:
        explicit EditControl(QPointer<QLineEdit>& edit) : m_edit(edit) {}
        std::string text() const override;
        void setText(const std::string& text) override;
        void setEnabled(bool enabled) override;

    private:
        QPointer<QLineEdit>& m_edit;
    };

    template <class List> class ListControl : public EventListControl {
    public:
        explicit ListControl(QPointer<List>& list) : m_list(list) {}
        void clear() override;
        void addLine(const std::string& text) override;
        void removeLine(int line) override;
        int lineCount() const override;
        int selection() const override;
        void select(int line) override;
        std::string lineText(int line) const override;
        void beginEdit() override;

    private:
        QPointer<List>& m_list;
    };

    void repaintWindow();
    QMenu* contextMenu();

    Dependencies m_deps;
    MacroSnapshot m_macrosOnFile;
    Notifier m_notifier{*this};
    MacroEditor m_editor;

    QPointer<QLineEdit> m_repeatCount;
    QPointer<QLineEdit> m_name;
    QPointer<QListWidget> m_macroList;
    QPointer<EditableListBox> m_eventList;
    EditControl m_repeatControl{m_repeatCount};
    EditControl m_nameControl{m_name};
    ListControl<QListWidget> m_macroListControl{m_macroList};
    ListControl<EditableListBox> m_eventListControl{m_eventList};

    QtMacroFileDialogs m_ownDialogs;
    KrvMenu m_ownMenu;
    bool m_ownMenuLoaded = false;
    UiLanguage m_ownMenuLanguage = UiLanguage::English;
    QPointer<QMenu> m_connectedMenu;
    QPointer<QMenu> m_openMenu;

    std::unique_ptr<KeyboardCapture> m_ownCapture;
    KeyboardCapture* m_capture = nullptr;
};

} // namespace krv
