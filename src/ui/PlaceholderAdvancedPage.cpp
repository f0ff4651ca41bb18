#include "ui/PlaceholderAdvancedPage.h"

#include "skin/SkinImages.h"
#include "ui/CKRV_GlydeDlg.h"

#include <QLineEdit>
#include <QListWidget>
#include <QSignalBlocker>

namespace krv {

namespace {

template <class Widget> Widget* makeControl(CKRV_GlydeDlg& window, const SkinRect& rect) {
    auto* w = new Widget(&window);
    w->setGeometry(toQRect(rect));
    window.styleChildControl(w);
    w->show();
    return w;
}

} // namespace

class PlaceholderAdvancedPage::EditAdapter : public TextEditControl {
public:
    explicit EditAdapter(QLineEdit* edit) : m_edit(edit) {}
    std::string text() const override { return m_edit ? m_edit->text().toStdString() : std::string(); }
    void setText(const std::string& text) override {
        if (m_edit)
            m_edit->setText(QString::fromStdString(text));
    }
    void setEnabled(bool enabled) override {
        if (m_edit)
            m_edit->setEnabled(enabled);
    }

private:
    QPointer<QLineEdit> m_edit;
};

class PlaceholderAdvancedPage::ListAdapter : public EventListControl {
public:
    explicit ListAdapter(QListWidget* list) : m_list(list) {}
    void clear() override {
        if (m_list)
            m_list->clear();
    }
    void addLine(const std::string& text) override {
        if (m_list)
            m_list->addItem(QString::fromStdString(text));
    }
    void removeLine(int line) override {
        if (m_list)
            delete m_list->takeItem(line);
    }
    int lineCount() const override { return m_list ? m_list->count() : 0; }
    int selection() const override { return m_list ? m_list->currentRow() : -1; }
    void select(int line) override {
        if (!m_list)
            return;
        const QSignalBlocker quiet(m_list);
        m_list->setCurrentRow(line);
    }
    std::string lineText(int line) const override {
        const QListWidgetItem* item = m_list ? m_list->item(line) : nullptr;
        return item ? item->text().toStdString() : std::string();
    }
    void beginEdit() override {}

private:
    QPointer<QListWidget> m_list;
};

PlaceholderAdvancedPage::PlaceholderAdvancedPage(CKRV_GlydeDlg& window, MacroEditor& editor)
    : m_window(window), m_editor(editor) {}

PlaceholderAdvancedPage::~PlaceholderAdvancedPage() {
    destroyControls();
}

void PlaceholderAdvancedPage::createControls() {
    if (controlsExist())
        return;
    const SkinDescriptions& skin = m_window.skin();
    m_repeatCount = makeControl<QLineEdit>(m_window, skin.repeatCountEditRect);
    m_name = makeControl<QLineEdit>(m_window, skin.macroNameEditRect);
    m_macroList = makeControl<QListWidget>(m_window, skin.macroListRect);
    m_eventList = makeControl<QListWidget>(m_window, skin.eventListRect);
    m_repeatCountAdapter = std::make_unique<EditAdapter>(m_repeatCount);
    m_nameAdapter = std::make_unique<EditAdapter>(m_name);
    m_macroListAdapter = std::make_unique<ListAdapter>(m_macroList);
    m_eventListAdapter = std::make_unique<ListAdapter>(m_eventList);
    m_editor.attach({*m_repeatCountAdapter, *m_nameAdapter, *m_macroListAdapter, *m_eventListAdapter});
    QObject::connect(m_macroList, &QListWidget::currentRowChanged, m_macroList,
                     [this](int) { m_editor.OnMacroSelChange(); });
}

void PlaceholderAdvancedPage::destroyControls() {
    if (controlsExist())
        m_editor.detach();
    delete m_repeatCount.data();
    delete m_name.data();
    delete m_macroList.data();
    delete m_eventList.data();
}

void PlaceholderAdvancedPage::refillMacroList() {
    m_editor.RefillMacroList();
}

void PlaceholderAdvancedPage::action(int element) {
    switch (element) {
    case AdvancedElement::AddMacro:
        m_editor.AddMacro();
        break;
    case AdvancedElement::DeleteMacro:
        m_editor.DeleteMacro();
        break;
    case AdvancedElement::SaveMacros:
        m_editor.SaveMacros();
        break;
    case AdvancedElement::Repeat:
        m_editor.ToggleRepeat();
        break;
    case AdvancedElement::MacroMode:
        m_editor.ToggleMacroMode();
        break;
    default:
        break; // import, export and recording: the full macro page
    }
}

} // namespace krv
