// SPDX-License-Identifier: MIT
#include "ui/MacroPage.h"

#include "macros/MacroCodes.h"
#include "settings/FileSystemCalls.h"
#include "settings/IniFile.h"
#include "skin/SkinImages.h"
#include "ui/MainWindow.h"
#include "ui/QtKeyboardCapture.h"
#include "ui/SaveWhenUnlocked.h"

#include <QFileDialog>
#include <QGuiApplication>
#include <QMenu>
#include <QMouseEvent>
#include <QScrollBar>
#include <QSignalBlocker>

#include <algorithm>
#include <chrono>

namespace krv {

namespace {

// Milliseconds since midnight UTC: the recording clock.
std::int64_t utcMillisOfDay() {
    using namespace std::chrono;
    const auto now = duration_cast<milliseconds>(system_clock::now().time_since_epoch()).count();
    return now % 86'400'000;
}

QString fromUtf8(const std::string& text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

std::string toUtf8(const QString& text) {
    const QByteArray bytes = text.toUtf8();
    return std::string(bytes.constData(), static_cast<std::size_t>(bytes.size()));
}

template <class Widget> Widget* makeControl(MainWindow& window, const SkinRect& rect) {
    auto* w = new Widget(&window);
    w->setGeometry(toQRect(rect));
    window.styleChildControl(w); // white on black in the language's font
    return w;
}

void setUpList(QListWidget& list) {
    list.setFrameShape(QFrame::NoFrame);
    list.setSelectionMode(QAbstractItemView::SingleSelection);
    list.setVerticalScrollMode(QAbstractItemView::ScrollPerItem);
    list.setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    list.setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    list.setUniformItemSizes(true);
    list.setContextMenuPolicy(Qt::NoContextMenu);
}

void setUpEdit(QLineEdit& edit) {
    edit.setFrame(false);
    edit.setAlignment(Qt::AlignCenter);
}

} // namespace

QString MacroFileFilter() {
    return QStringLiteral("All Files(*.dat)");
}

void QtMacroFileDialogs::openMacroFile(QWidget* owner, const QString& folder, std::function<void(QString)> done) {
    auto* dialog = new QFileDialog(owner, QString(), folder, MacroFileFilter());
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->setAcceptMode(QFileDialog::AcceptOpen);
    dialog->setFileMode(QFileDialog::ExistingFile);
    dialog->setWindowModality(Qt::WindowModal);
    QObject::connect(dialog, &QFileDialog::finished, dialog, [dialog, done = std::move(done)](int result) {
        const QStringList files = dialog->selectedFiles();
        done(result == QDialog::Accepted && !files.isEmpty() ? files.front() : QString());
    });
    dialog->open();
}

void QtMacroFileDialogs::saveMacroFile(QWidget* owner, const QString& folder, std::function<void(QString)> done) {
    auto* dialog = new QFileDialog(owner, QString(), folder, MacroFileFilter());
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->setAcceptMode(QFileDialog::AcceptSave);
    dialog->setFileMode(QFileDialog::AnyFile);
    dialog->setDefaultSuffix(QStringLiteral("dat"));
    dialog->setOption(QFileDialog::DontConfirmOverwrite, false);
    dialog->setWindowModality(Qt::WindowModal);
    QObject::connect(dialog, &QFileDialog::finished, dialog, [dialog, done = std::move(done)](int result) {
        const QStringList files = dialog->selectedFiles();
        done(result == QDialog::Accepted && !files.isEmpty() ? files.front() : QString());
    });
    dialog->open();
}

// ---- the controls as the editor sees them

std::string MacroPage::EditControl::text() const {
    return m_edit ? toUtf8(m_edit->text()) : std::string();
}

void MacroPage::EditControl::setText(const std::string& text) {
    if (m_edit)
        m_edit->setText(fromUtf8(text));
}

void MacroPage::EditControl::setEnabled(bool enabled) {
    if (m_edit)
        m_edit->setEnabled(enabled);
}

template <class List> void MacroPage::ListControl<List>::clear() {
    if (!m_list)
        return;
    const QSignalBlocker blocker(m_list.data());
    m_list->clear();
}

template <class List> void MacroPage::ListControl<List>::addLine(const std::string& text) {
    if (m_list)
        m_list->addItem(fromUtf8(text));
}

template <class List> void MacroPage::ListControl<List>::removeLine(int line) {
    if (!m_list || line < 0 || line >= m_list->count())
        return;
    const QSignalBlocker blocker(m_list.data());
    delete m_list->takeItem(line);
}

template <class List> int MacroPage::ListControl<List>::lineCount() const {
    return m_list ? m_list->count() : 0;
}

template <class List> int MacroPage::ListControl<List>::selection() const {
    // The current row is the line on screen as soon as it changes: a click makes the clicked row
    // current (currentRowChanged) before it moves the selection, so the selected items would still
    // name the line selected before. select() keeps the two the same.
    return m_list ? m_list->currentRow() : -1;
}

template <class List> void MacroPage::ListControl<List>::select(int line) {
    if (!m_list)
        return;
    // Selecting by program does not notify, as a list box's selection message does not.
    const QSignalBlocker blocker(m_list.data());
    if (line < 0 || line >= m_list->count()) {
        m_list->clearSelection();
        m_list->setCurrentRow(-1);
        return;
    }
    m_list->setCurrentRow(line, QItemSelectionModel::ClearAndSelect);
}

template <class List> std::string MacroPage::ListControl<List>::lineText(int line) const {
    if (!m_list || line < 0 || line >= m_list->count())
        return {};
    return toUtf8(m_list->item(line)->text());
}

template <class List> void MacroPage::ListControl<List>::beginEdit() {
    if constexpr (std::is_same_v<List, EditableListBox>) {
        if (m_list)
            m_list->requestEdit();
    }
}

void MacroPage::Notifier::showMessage(std::string_view text) {
    m_page.m_deps.notifier.showMessage(text);
}

void MacroPage::Notifier::requestRepaint() {
    m_page.repaintWindow();
}

// ---- the page

MacroPage::MacroPage(Dependencies deps, QObject* parent)
    : QObject(parent), m_deps(std::move(deps)),
      m_editor(m_deps.macros, m_deps.settings, m_notifier, m_deps.language, utcMillisOfDay) {
    // The whole keyboard where the desktop lets the program have it; elsewhere the keys the program
    // itself receives.
    auto onKey = [this](KeyMessage message, std::uint8_t vk) { m_editor.OnKeyMessage(message, vk); };
    if (m_deps.openKeyboardCapture) {
        // Another program holds the keyboard (a game, a screen lock): no key would reach the
        // recording, so it ends instead of waiting with "Stop" on its button.
        m_ownCapture = m_deps.openKeyboardCapture(onKey, [this] { keyboardUnavailable(); });
    }
    if (!m_ownCapture)
        m_ownCapture = std::make_unique<QtKeyboardCapture>(m_deps.window, onKey);
    setKeyboardCapture(m_ownCapture.get());
}

MacroPage::~MacroPage() {
    if (m_capture)
        m_capture->stop();
    destroyControls();
}

void MacroPage::keyboardUnavailable() {
    if (!m_editor.recording())
        return;
    m_editor.StopRecording();
    repaintWindow();
    m_deps.notifier.showMessage(m_deps.language() == UiLanguage::English ? Messages::KeyboardBusyEnglish
                                                                         : Messages::KeyboardBusyChinese);
}

void MacroPage::setKeyboardCapture(KeyboardCapture* capture) {
    m_capture = capture;
    m_editor.setKeyboardCapture(capture);
}

void MacroPage::repaintWindow() {
    MainViewState& state = m_deps.window.viewState();
    state.eventDownCount = m_editor.downCount();
    state.eventUpCount = m_editor.upCount();
    m_deps.window.update();
}

void MacroPage::createControls() {
    if (controlsExist())
        return;
    MainWindow& window = m_deps.window;
    const SkinDescriptions& skin = window.skin();

    m_repeatCount = makeControl<QLineEdit>(window, skin.repeatCountEditRect);
    setUpEdit(*m_repeatCount);
    m_name = makeControl<QLineEdit>(window, skin.macroNameEditRect);
    setUpEdit(*m_name);
    m_macroList = makeControl<QListWidget>(window, skin.macroListRect);
    setUpList(*m_macroList);
    m_eventList = makeControl<EditableListBox>(window, skin.eventListRect);
    setUpList(*m_eventList);

    connect(m_macroList.data(), &QListWidget::currentRowChanged, this, [this](int) { m_editor.OnMacroSelChange(); });
    connect(m_eventList.data(), &EditableListBox::editFinished, this, [this] { m_editor.OnDelayEditFinished(); });
    m_eventList->viewport()->installEventFilter(this);

    for (QWidget* w : {static_cast<QWidget*>(m_repeatCount.data()), static_cast<QWidget*>(m_name.data()),
                       static_cast<QWidget*>(m_macroList.data()), static_cast<QWidget*>(m_eventList.data())})
        w->show();
    m_editor.attach(MacroPageControls{m_repeatControl, m_nameControl, m_macroListControl, m_eventListControl});
}

void MacroPage::destroyControls() {
    m_editor.detach();
    if (m_openMenu)
        m_openMenu->close();
    if (m_eventList)
        m_eventList->viewport()->removeEventFilter(this);
    for (QWidget* w : {static_cast<QWidget*>(m_repeatCount.data()), static_cast<QWidget*>(m_name.data()),
                       static_cast<QWidget*>(m_macroList.data()), static_cast<QWidget*>(m_eventList.data())}) {
        if (w) {
            disconnect(w, nullptr, this, nullptr);
            delete w;
        }
    }
}

void MacroPage::refillMacroList() {
    // The controls draw in the font of the language shown, also after a switch.
    for (QWidget* w : {static_cast<QWidget*>(m_repeatCount.data()), static_cast<QWidget*>(m_name.data()),
                       static_cast<QWidget*>(m_macroList.data()), static_cast<QWidget*>(m_eventList.data())})
        if (w)
            m_deps.window.styleChildControl(w);
    m_editor.RefillMacroList();
}

void MacroPage::saveMacros() {
    m_editor.TakeRepeatCount();
    if (!m_deps.macroFileChanged) {
        // Nobody follows the file's changes: the table is saved as it is.
        if (const FileStatus saved = SaveMacroFile(m_deps.macros, m_deps.macros.filePath); !saved)
            m_deps.notifier.showMessage(Messages::NotSaved(m_deps.language(), saved.message()));
        return;
    }
    bool changedOutside = false;
    const FileStatus saved = SaveMacroFileOver(m_deps.macros, m_deps.macros.filePath, m_macrosOnFile, changedOutside);
    if (changedOutside) {
        if (m_deps.macroFileChanged)
            m_deps.macroFileChanged(true);
        return;
    }
    if (!saved)
        m_deps.notifier.showMessage(Messages::NotSaved(m_deps.language(), saved.message()));
    else
        m_macrosOnFile = SnapshotOf(m_deps.macros);
}

void MacroPage::deleteMacro() {
    const int countBefore = m_deps.macros.count();
    const int deleted = m_macroList ? m_macroList->currentRow() : -1;
    const std::string name = deleted >= 0 && deleted < countBefore ? m_deps.macros.nameUtf8(deleted) : std::string();
    const MacroSnapshot before = SnapshotOf(m_deps.macros);
    m_editor.DeleteMacro();
    if (deleted < 0 || m_deps.macros.count() != countBefore - 1)
        return; // nothing was deleted (an empty list, a recording running)
    // The macro file first, and only over the macros as the page read them, checked under the lock of
    // the save: a deletion from macros another program has since replaced would write them back. Then
    // the deletion is undone, nothing else changes, and the change is taken in (or the user asked).
    FileStatus macrosSaved = FileStatus::success();
    if (m_deps.macroFileChanged) {
        bool changedOutside = false;
        macrosSaved = SaveMacroFileOver(m_deps.macros, m_deps.macros.filePath, m_macrosOnFile, changedOutside);
        if (changedOutside) {
            m_deps.macros.modify([&](MacroTable::Records& records, std::int16_t& count) {
                std::copy(before.records.begin(), before.records.end(), records.begin());
                count = static_cast<std::int16_t>(before.records.size());
            });
            m_deps.macros.current = deleted;
            refillMacroList();
            m_deps.window.update();
            m_deps.macroFileChanged(false);
            return;
        }
    } else {
        macrosSaved = SaveMacroFile(m_deps.macros, m_deps.macros.filePath);
    }
    if (macrosSaved)
        m_macrosOnFile = SnapshotOf(m_deps.macros);

    const UiLanguage language = m_deps.language();
    MacroDeletionOutcome outcome;
    if (m_deps.configPath.empty()) {
        for (int slot = 1; slot <= ButtonSlotCount; ++slot) {
            auto& code = m_deps.settings.buttonCodes[static_cast<std::size_t>(slot - 1)];
            code.store(CodeAfterMacroDeleted(code.load(), slot, deleted, countBefore));
        }
    } else {
        outcome = RenumberAfterMacroDeleted(m_deps.settings, m_deps.configPath, deleted, countBefore);
    }
    std::vector<std::pair<int, int>> buttons;
    for (const ResetButton& r : outcome.reset)
        buttons.emplace_back(r.profile, r.slot);
    std::string text;
    if (!buttons.empty())
        text = Messages::MacroButtonsReset(language, name, buttons);
    if (!outcome.saved)
        text += (text.empty() ? "" : "\n\n") + Messages::NotSaved(language, outcome.saved.message());
    if (!macrosSaved)
        text += (text.empty() ? "" : "\n\n") + Messages::NotSaved(language, macrosSaved.message());
    if (!text.empty())
        m_deps.notifier.showMessage(text);
    m_deps.window.update();
}

void MacroPage::saveWhenUnlocked(std::function<void()> save) {
    // Another program's save of the macro file or the profiles must not freeze the window.
    std::vector<std::filesystem::path> files{m_deps.macros.filePath};
    if (!m_deps.configPath.empty())
        files.push_back(m_deps.configPath);
    SaveWhenUnlocked(
        this, std::move(files),
        [page = QPointer<MacroPage>(this), save = std::move(save)] {
            save();
            if (page)
                page->repaintWindow();
        },
        [page = QPointer<MacroPage>(this)](const FileStatus& failure) {
            if (page)
                page->m_deps.notifier.showMessage(Messages::NotSaved(page->m_deps.language(), failure.message()));
        });
}

void MacroPage::action(int element) {
    const QString folder = QString::fromStdString(fsys::Utf8Of(m_deps.appDirectory));
    switch (element) {
    case AdvancedElement::ImportMacros:
        (m_deps.dialogs ? *m_deps.dialogs : m_ownDialogs)
            .openMacroFile(&m_deps.window, folder, [page = QPointer<MacroPage>(this)](QString path) {
                if (page && !path.isEmpty())
                    page->m_editor.ImportMacros(fsys::PathFromUtf8(path.toStdString()));
            });
        break;
    case AdvancedElement::ExportMacros:
        (m_deps.dialogs ? *m_deps.dialogs : m_ownDialogs)
            .saveMacroFile(&m_deps.window, folder, [page = QPointer<MacroPage>(this)](QString path) {
                if (page && !path.isEmpty())
                    page->m_editor.ExportMacros(fsys::PathFromUtf8(path.toStdString()));
            });
        break;
    case AdvancedElement::AddMacro:
        if (m_macroList)
            m_macroList->setFocus(Qt::OtherFocusReason);
        m_editor.AddMacro();
        break;
    case AdvancedElement::DeleteMacro:
        saveWhenUnlocked([this] { deleteMacro(); });
        break;
    case AdvancedElement::Record:
        if (m_eventList)
            m_eventList->setFocus(Qt::OtherFocusReason);
        m_editor.ToggleRecording();
        break;
    case AdvancedElement::SaveMacros:
        saveWhenUnlocked([this] { saveMacros(); });
        break;
    case AdvancedElement::Repeat:
        m_editor.ToggleRepeat();
        break;
    case AdvancedElement::MacroMode:
        m_editor.ToggleMacroMode();
        break;
    default:
        return;
    }
    repaintWindow();
}

QMenu* MacroPage::contextMenu() {
    KrvMenu* menu = m_deps.menu;
    if (menu == nullptr) {
        const UiLanguage language = m_deps.language();
        if (!m_ownMenuLoaded || language != m_ownMenuLanguage) {
            m_ownMenu.load(EventListMenuDefinition(language));
            m_ownMenuLoaded = true;
            m_ownMenuLanguage = language;
        }
        menu = &m_ownMenu;
    }
    // The menu shown is the first popup of the definition; a language switch replaces it.
    if (!menu->menu() || menu->menu()->actions().isEmpty())
        return nullptr;
    QMenu* shown = menu->menu()->actions().front()->menu();
    if (shown && shown != m_connectedMenu) {
        m_connectedMenu = shown;
        connect(shown, &QMenu::triggered, this, [this](QAction* action) {
            if (const int id = action->data().toInt(); id > 0)
                m_editor.OnContextCommand(id);
        });
    }
    return shown;
}

void MacroPage::rightClickEventList(QPoint viewportPoint) {
    if (!m_eventList || m_editor.recording())
        return;
    EditableListBox& list = *m_eventList;
    // An open delay edit ends first, while the editor still points at its line: the menu taking the
    // focus would end it only after the click has moved the editor to another line.
    list.EndItemEdit(true);
    // The line under the click, from the first visible line and the line height.
    const int h = list.count() > 0 ? list.sizeHintForRow(0) : list.fontMetrics().height();
    const int scroll = list.verticalScrollBar()->value();
    const int line = h > 0 ? (scroll * h + viewportPoint.y()) / h : 0;
    const bool inside = list.viewport()->rect().contains(viewportPoint);
    const QPoint global = list.viewport()->mapToGlobal(viewportPoint);
    m_editor.OnEventListRightClick(line, inside, [this, global] {
        // The menu opens without a nested event loop; its command arrives when an item is picked.
        if (QMenu* menu = contextMenu()) {
            m_openMenu = menu;
            menu->popup(global);
        }
        return 0;
    });
}

bool MacroPage::eventFilter(QObject* watched, QEvent* event) {
    if (m_eventList && watched == m_eventList->viewport()) {
        if (event->type() == QEvent::MouseButtonPress || event->type() == QEvent::MouseButtonDblClick) {
            // The right button selects nothing on its own: its release does the work.
            if (static_cast<QMouseEvent*>(event)->button() == Qt::RightButton)
                return true;
        } else if (event->type() == QEvent::MouseButtonRelease) {
            auto* mouse = static_cast<QMouseEvent*>(event);
            if (mouse->button() == Qt::RightButton) {
                rightClickEventList(mouse->position().toPoint());
                return true;
            }
        }
    }
    return QObject::eventFilter(watched, event);
}

} // namespace krv
