#include "ui/PlaceholderAdvancedPage.h"

#include "skin/SkinImages.h"
#include "ui/CKRV_GlydeDlg.h"

#include <QLineEdit>
#include <QListWidget>

namespace krv {

namespace {

template <class Widget>
Widget* makeControl(CKRV_GlydeDlg& window, const SkinRect& rect, const QFont& font) {
    auto* w = new Widget(&window);
    w->setGeometry(toQRect(rect));
    w->setFont(font);
    // The child controls are drawn white on black.
    w->setStyleSheet(QStringLiteral("background: black; color: white; border: 0px;"));
    w->show();
    return w;
}

} // namespace

PlaceholderAdvancedPage::PlaceholderAdvancedPage(CKRV_GlydeDlg& window, ProfileSettings& settings, MacroTable& macros)
    : m_window(window), m_settings(settings), m_macros(macros) {}

PlaceholderAdvancedPage::~PlaceholderAdvancedPage() {
    destroyControls();
}

void PlaceholderAdvancedPage::createControls() {
    if (controlsExist())
        return;
    const SkinDescriptions& skin = m_window.skin();
    const QFont& font = m_window.fonts().text(m_window.dependencies().language);
    m_repeatCount = makeControl<QLineEdit>(m_window, skin.repeatCountEditRect, font);
    m_name = makeControl<QLineEdit>(m_window, skin.macroNameEditRect, font);
    m_macroList = makeControl<QListWidget>(m_window, skin.macroListRect, font);
    m_eventList = makeControl<QListWidget>(m_window, skin.eventListRect, font);
}

void PlaceholderAdvancedPage::destroyControls() {
    delete m_repeatCount.data();
    delete m_name.data();
    delete m_macroList.data();
    delete m_eventList.data();
}

void PlaceholderAdvancedPage::refillMacroList() {
    if (!m_macroList)
        return;
    m_macroList->clear();
    const int n = m_macros.count();
    for (int i = 0; i < n; ++i)
        m_macroList->addItem(QString::fromStdU16String(m_macros.name(i)));
    if (n > 0)
        m_macroList->setCurrentRow(std::clamp(m_macros.current, 0, n - 1));
}

void PlaceholderAdvancedPage::action(int element) {
    if (element == AdvancedElement::MacroMode) {
        m_settings.MACRO_MODE2.store(m_settings.MACRO_MODE2.load() == 0 ? 1 : 0);
    } else if (element == AdvancedElement::Repeat) {
        const int current = m_macros.current;
        m_macros.modify([current](MacroTable::Records& records, std::int16_t& count) {
            if (current >= 0 && current < count) {
                MacroRecord& r = records[static_cast<std::size_t>(current)];
                r.setRepeatEnabled(r.repeatEnabled() == 1 ? 0 : 1);
            }
        });
    }
}

} // namespace krv
