#pragma once

#include "macros/MacroEditor.h"
#include "macros/MacroTable.h"
#include "settings/ProfileSettings.h"
#include "ui/MainWindowActions.h"

#include <QPointer>

#include <memory>

#include <QLineEdit>
#include <QListWidget>

namespace krv {

class CKRV_GlydeDlg;

// The advanced page's four child controls as plain widgets at the skin's rectangles, attached to the
// macro editor: the lists fill from the table, and adding, deleting and saving macros, the repeat
// flag and the macro mode work. Importing, exporting and recording, the event list's in-place edit
// and its context menu belong to the full macro page, which replaces this one.
class PlaceholderAdvancedPage : public AdvancedPage {
public:
    PlaceholderAdvancedPage(CKRV_GlydeDlg& window, MacroEditor& editor);
    ~PlaceholderAdvancedPage() override;

    void createControls() override;
    void destroyControls() override;
    bool controlsExist() const override { return !m_macroList.isNull(); }
    void refillMacroList() override;
    void action(int element) override;

    QListWidget* macroList() const { return m_macroList.data(); }

private:
    class EditAdapter;
    class ListAdapter;

    CKRV_GlydeDlg& m_window;
    MacroEditor& m_editor;
    std::unique_ptr<EditAdapter> m_repeatCountAdapter;
    std::unique_ptr<EditAdapter> m_nameAdapter;
    std::unique_ptr<ListAdapter> m_macroListAdapter;
    std::unique_ptr<ListAdapter> m_eventListAdapter;
    QPointer<QLineEdit> m_repeatCount;
    QPointer<QLineEdit> m_name;
    QPointer<QListWidget> m_macroList;
    QPointer<QListWidget> m_eventList;
};

} // namespace krv
