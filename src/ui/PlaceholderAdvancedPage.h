#pragma once

#include "macros/MacroTable.h"
#include "settings/ProfileSettings.h"
#include "ui/MainWindowActions.h"

#include <QPointer>

#include <QLineEdit>
#include <QListWidget>

namespace krv {

class CKRV_GlydeDlg;

// The advanced page's four child controls as plain widgets at the skin's rectangles, with the macro
// list filled from the table. It switches the macro mode and the selected macro's repeat flag; the
// macro editor replaces it with the full editing operations.
class PlaceholderAdvancedPage : public AdvancedPage {
public:
    PlaceholderAdvancedPage(CKRV_GlydeDlg& window, ProfileSettings& settings, MacroTable& macros);
    ~PlaceholderAdvancedPage() override;

    void createControls() override;
    void destroyControls() override;
    bool controlsExist() const override { return !m_macroList.isNull(); }
    void refillMacroList() override;
    void action(int element) override;

    QListWidget* macroList() const { return m_macroList.data(); }

private:
    CKRV_GlydeDlg& m_window;
    ProfileSettings& m_settings;
    MacroTable& m_macros;
    QPointer<QLineEdit> m_repeatCount;
    QPointer<QLineEdit> m_name;
    QPointer<QListWidget> m_macroList;
    QPointer<QListWidget> m_eventList;
};

} // namespace krv
