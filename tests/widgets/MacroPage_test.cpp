// SPDX-License-Identifier: MIT
// The macro editor through the advanced page's real widgets: the controls on the skin's rectangles,
// the event list's lines, the context menu's inserts, deletes and delay edits in the editable list,
// the page operations and their file dialogs.
#include "ui/MacroPage.h"
#include "unit/RequireOk.h"

#include "device/ApplyFeedback.h"
#include "macros/MacroTable.h"
#include "settings/IniFile.h"
#include "settings/ProfileSettings.h"
#include "skin/SkinImages.h"
#include "ui/MainWindow.h"

#include "fakes/RecordingNotifier.h"
#include "unit/TempDir.h"

#include <QDir>
#include <QFileDialog>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTest>

#include <memory>

using namespace krv;

namespace {

MacroRecord macro(const std::u16string& name, std::initializer_list<MacroEvent> events) {
    MacroRecord r;
    r.setName(name);
    r.setRepeatCount(1);
    int j = 0;
    for (const MacroEvent& e : events)
        r.setEvent(j++, e);
    r.setEventCount(static_cast<std::uint8_t>(j));
    return r;
}

class AnsweringDialogs : public MacroFileDialogs {
public:
    void openMacroFile(QWidget*, const QString& folder, std::function<void(QString)> done) override {
        openFolders << folder;
        done(answer);
    }
    void saveMacroFile(QWidget*, const QString& folder, std::function<void(QString)> done) override {
        saveFolders << folder;
        done(answer);
    }
    QString answer;
    QStringList openFolders, saveFolders;
};

struct Page {
    test::TempDir dir;
    ProfileSettings settings;
    ApplyFeedback feedback;
    MacroTable macros;
    UiLanguage language = UiLanguage::English;
    AppPaths paths{KRV_BUILD_DATA_DIR};
    test::RecordingNotifier notifier;
    AnsweringDialogs dialogs;
    std::unique_ptr<MainWindow> window;
    std::unique_ptr<MacroPage> page;

    explicit Page(std::initializer_list<MacroRecord> records, UiLanguage lang = UiLanguage::English) : language(lang) {
        macros.modify([&](MacroTable::Records& all, std::int16_t& count) {
            for (const MacroRecord& r : records)
                all[static_cast<std::size_t>(count++)] = r;
        });
        macros.filePath = dir / "Macro_EN.dat";
        window = std::make_unique<MainWindow>(
            MainWindow::Dependencies{settings, feedback, macros, language, paths, notifier});
        window->initialiseSkin();
        page = std::make_unique<MacroPage>(MacroPage::Dependencies{
            *window, macros, settings, notifier, [this] { return language; }, dir.path(), &dialogs, nullptr, {}});
        window->show();
        window->activateWindow();
        if (!QTest::qWaitForWindowActive(window.get()))
            qWarning("window not active");
        window->setPage(SkinPage::Advanced);
        page->createControls();
        page->refillMacroList();
    }
    ~Page() {
        page.reset();
        window.reset();
    }

    EditableListBox& events() const { return *page->eventList(); }
    QStringList lines() const {
        QStringList out;
        for (int i = 0; i < events().count(); ++i)
            out << events().item(i)->text();
        return out;
    }
    MacroEvent event(int m, int j) const { return macros.record(m).event(j); }
    int eventCount(int m) const { return macros.record(m).eventCount(); }

    // A right-click released on event-list line `line`, then the menu's command `id`.
    void rightClick(int line) {
        events().scrollToItem(events().item(line));
        QRect rect = events().visualItemRect(events().item(line));
        QTest::mouseClick(events().viewport(), Qt::RightButton, {}, rect.center());
    }
    void choose(int id) {
        QMenu* menu = page->openMenu();
        QVERIFY(menu != nullptr);
        QVERIFY(menu->isVisible());
        QAction* chosen = nullptr;
        for (QAction* a : menu->findChildren<QAction*>())
            if (a->data().toInt() == id && !a->menu())
                chosen = a;
        QVERIFY(chosen != nullptr);
        menu->close(); // the menu closes before its command runs
        chosen->trigger();
    }
    void commitDelay(int line, const QString& typed) {
        rightClick(line);
        choose(MacroMenuCommand::ModifyDelay);
        InPlaceEdit* edit = events().editor();
        QVERIFY(edit != nullptr);
        QCOMPARE(edit->text(), events().item(line)->text());
        QVERIFY(edit->palette().color(QPalette::Base) != QColor(Qt::black)); // not the list's look
        QTest::keyClicks(edit, typed);
        QTest::keyClick(edit, Qt::Key_Return);
        QVERIFY(!events().editing());
    }
};

const MacroEvent A_DOWN{65, 1, 30};
const MacroEvent A_UP{65, 2, 40};
const MacroEvent B_DOWN{66, 1, 50};

} // namespace

class MacroPageTest : public QObject {
    Q_OBJECT

    // A data column "language" with the flag of each language.
    static void bothLanguages() {
        QTest::addColumn<int>("language");
        QTest::newRow("English") << 1;
        QTest::newRow("Chinese") << 0;
    }

private slots:
    void controlsLieOnTheSkinRectanglesWhiteOnBlack_data() { bothLanguages(); }
    void controlsLieOnTheSkinRectanglesWhiteOnBlack() {
        QFETCH(int, language);
        Page p({macro(u"one", {A_DOWN, A_UP})}, languageFromFlag(language));
        const SkinDescriptions& skin = p.window->skin();
        QCOMPARE(p.page->repeatCountEdit()->geometry(), toQRect(skin.repeatCountEditRect));
        QCOMPARE(p.page->nameEdit()->geometry(), toQRect(skin.macroNameEditRect));
        QCOMPARE(p.page->macroList()->geometry(), toQRect(skin.macroListRect));
        QCOMPARE(p.events().geometry(), toQRect(skin.eventListRect));
        QVERIFY(!toQRect(skin.eventListRect).isEmpty());
        const QFont& font = p.window->fonts().text(p.language);
        for (QWidget* w : {static_cast<QWidget*>(p.page->repeatCountEdit()), static_cast<QWidget*>(p.page->nameEdit()),
                           static_cast<QWidget*>(p.page->macroList()), static_cast<QWidget*>(&p.events())}) {
            QCOMPARE(w->parentWidget(), p.window.get());
            QCOMPARE(w->font().family(), font.family());
            QVERIFY(w->isVisible());
        }
        // Rendered: black background, white text.
        const QImage shot = p.page->macroList()->grab().toImage();
        QCOMPARE(QColor(shot.pixel(shot.width() - 2, shot.height() - 2)), QColor(Qt::black));
        QCOMPARE(p.page->macroList()->palette().color(QPalette::Text), QColor(Qt::white));
        QCOMPARE(p.page->nameEdit()->text(), QStringLiteral("one"));

        QPointer<QWidget> list = p.page->macroList();
        p.page->destroyControls();
        QVERIFY(list.isNull());
        QVERIFY(!p.page->controlsExist());
        // The editor goes on without the controls (a recording may run while the page is away).
        p.page->editor().ShowMacroEvents(0);
    }

    void eventLinesAndInsertsBeforeAndAfter() {
        Page p({macro(u"m", {A_DOWN, A_UP, B_DOWN}), macro(u"empty", {})});
        QCOMPARE(p.lines(),
                 (QStringList{QString::fromUtf8("[↓]A"), QStringLiteral("    30ms"), QString::fromUtf8("[↑]A"),
                              QStringLiteral("    40ms"), QString::fromUtf8("[↓]B")}));
        QCOMPARE(p.page->repeatCountEdit()->text(), QStringLiteral("1"));
        QVERIFY(!p.page->repeatCountEdit()->isEnabled());

        // Add Forward on line 3, the delay after event 1: before event 1.
        p.rightClick(3);
        QCOMPARE(p.events().currentRow(), 3);
        p.choose(MacroMenuCommand::AddForwardLeftDown + 3); // right button up
        QCOMPARE(p.eventCount(0), 4);
        QCOMPARE(p.event(0, 1).code, 241);
        QCOMPARE(p.event(0, 1).action, 2);
        QCOMPARE(p.event(0, 1).delay, 30);
        QCOMPARE(p.event(0, 2).code, 65);
        QCOMPARE(p.lines().at(2), QString::fromUtf8("[↑]Right_Key"));

        // Add Backward on line 0: after event 0.
        p.rightClick(0);
        p.choose(MacroMenuCommand::AddBackwardLeftDown + 4); // middle button down
        QCOMPARE(p.eventCount(0), 5);
        QCOMPARE(p.event(0, 1).code, 242);
        QCOMPARE(p.event(0, 1).action, 1);
        QCOMPARE(p.lines().size(), 9);

        // Add Backward on an empty list: one left-button press, current line 0.
        p.page->macroList()->setCurrentRow(1);
        QCOMPARE(p.events().count(), 0);
        QTest::mouseClick(p.events().viewport(), Qt::RightButton, {}, QPoint(5, 5));
        p.choose(MacroMenuCommand::AddBackwardLeftDown);
        QCOMPARE(p.eventCount(1), 1);
        QCOMPARE(p.event(1, 0).code, 240);
        QCOMPARE(p.event(1, 0).action, 1);
        QCOMPARE(p.event(1, 0).delay, 30);
        QCOMPARE(p.lines(), QStringList{QString::fromUtf8("[↓]Left_Key")});
        QCOMPARE(p.page->editor().currentLine(), 0);
    }

    void theMenuFollowsTheLanguage() {
        Page p({macro(u"m", {A_DOWN})}, UiLanguage::Chinese);
        p.rightClick(0);
        QMenu* menu = p.page->openMenu();
        QVERIFY(menu);
        QStringList texts;
        for (QAction* a : menu->actions())
            texts << a->text();
        QCOMPARE(texts, (QStringList{QString::fromUtf8("项前插入"), QString::fromUtf8("项后插入"),
                                     QString::fromUtf8("修改参数"), QString::fromUtf8("删除")}));
        menu->close();
        p.language = UiLanguage::English;
        p.rightClick(0);
        texts.clear();
        for (QAction* a : p.page->openMenu()->actions())
            texts << a->text();
        QCOMPARE(texts, (QStringList{QStringLiteral("Add Forward"), QStringLiteral("Add Backward"),
                                     QStringLiteral("Modify Delay"), QStringLiteral("Delete")}));
        p.page->openMenu()->close();
        // Below the last line there is no event: no menu.
        QTest::mouseClick(p.events().viewport(), Qt::RightButton, {}, QPoint(5, p.events().viewport()->height() - 2));
        QVERIFY(!p.page->openMenu() || !p.page->openMenu()->isVisible());
    }

    void insertingThe255thEventOverflows() {
        MacroRecord full = macro(u"full", {});
        for (int j = 0; j < MacroRecord::MaxEvents; ++j)
            full.setEvent(j, {65, static_cast<std::uint8_t>(j % 2 + 1), 30});
        full.setEventCount(MacroRecord::MaxEvents);
        Page p({full});
        QCOMPARE(p.events().count(), 2 * MacroRecord::MaxEvents - 1);
        // The list starts on the last event, scrolled: the clicked line counts from the first line.
        QVERIFY(p.events().verticalScrollBar()->value() > 0);
        p.rightClick(500);
        QCOMPARE(p.events().currentRow(), 500);
        QCOMPARE(p.page->editor().contextEvent(), 250);
        p.choose(MacroMenuCommand::AddForwardLeftDown);
        QCOMPARE(p.notifier.messages(), std::vector<std::string>{"Overflow!!!"});
        QCOMPARE(p.eventCount(0), MacroRecord::MaxEvents);
        QCOMPARE(p.event(0, 0).code, 65);
    }

    void deleteRenumbersTheLines() {
        Page p({macro(u"m", {A_DOWN, A_UP, B_DOWN})});
        p.rightClick(2); // event 1
        p.choose(MacroMenuCommand::Delete);
        QCOMPARE(p.eventCount(0), 2);
        QCOMPARE(p.lines(),
                 (QStringList{QString::fromUtf8("[↓]A"), QStringLiteral("    30ms"), QString::fromUtf8("[↓]B")}));
        QCOMPARE(p.page->editor().currentLine(), 0);
        QCOMPARE(p.page->editor().downCount(), 2);
        QCOMPARE(p.page->editor().upCount(), 0);
        QCOMPARE(p.window->viewState().eventDownCount, 2);
    }

    void delayEditsInPlace_data() {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<int>("stored");
        QTest::newRow("digits") << QStringLiteral("250") << 250;
        QTest::newRow("with ms") << QStringLiteral("250ms") << 250;
        QTest::newRow("wraps") << QStringLiteral("70000") << 4464;
        QTest::newRow("no digits") << QStringLiteral("soon") << 0;
        QTest::newRow("largest") << QStringLiteral("  65535") << 65535;
    }
    void delayEditsInPlace() {
        QFETCH(QString, typed);
        QFETCH(int, stored);
        Page p({macro(u"m", {A_DOWN, A_UP, B_DOWN})});
        p.commitDelay(3, typed); // the delay after event 1
        QCOMPARE(int(p.event(0, 1).delay), stored);
        QCOMPARE(p.event(0, 0).delay, 30);
        QCOMPARE(p.lines().at(3), QStringLiteral("    %1ms").arg(stored));
        QCOMPARE(p.eventCount(0), 3);
    }

    void modifyDelayOnAnEventLineOpensNoEditAndEscapeKeepsTheDelay() {
        Page p({macro(u"m", {A_DOWN, A_UP})});
        p.rightClick(2);
        p.choose(MacroMenuCommand::ModifyDelay);
        QVERIFY(!p.events().editing());

        p.rightClick(1);
        p.choose(MacroMenuCommand::ModifyDelay);
        QVERIFY(p.events().editing());
        QTest::keyClicks(p.events().editor(), QStringLiteral("999"));
        QTest::keyClick(p.events().editor(), Qt::Key_Escape);
        QVERIFY(!p.events().editing());
        QCOMPARE(p.event(0, 0).delay, 30);
    }

    void aRightClickWhileEditingKeepsTheTypedDelay() {
        Page p({macro(u"m", {A_DOWN, A_UP, B_DOWN})});
        p.rightClick(1);
        p.choose(MacroMenuCommand::ModifyDelay);
        QVERIFY(p.events().editing());
        QTest::keyClicks(p.events().editor(), QStringLiteral("250"));
        p.rightClick(3);
        QVERIFY(!p.events().editing());
        QCOMPARE(p.event(0, 0).delay, 250);
        QCOMPARE(p.event(0, 1).delay, 40);
        QCOMPARE(p.page->editor().currentLine(), 3);
        QVERIFY(p.page->openMenu()->isVisible());
        p.page->openMenu()->close();
    }

    void aRightClickOnTheOpenDelayEditOpensTheMenuOnItsLine() {
        Page p({macro(u"m", {A_DOWN, A_UP, B_DOWN})});
        p.rightClick(3);
        p.choose(MacroMenuCommand::ModifyDelay);
        InPlaceEdit* edit = p.events().editor();
        QVERIFY(edit != nullptr);
        QTest::keyClicks(edit, QStringLiteral("250"));
        QTest::mouseClick(edit, Qt::RightButton, {}, edit->rect().center());
        QVERIFY(!p.events().editing());
        QCOMPARE(p.event(0, 1).delay, 250); // the typed delay is kept
        QCOMPARE(p.page->editor().currentLine(), 3);
        QCOMPARE(p.page->editor().contextEvent(), 1);
        QVERIFY(p.page->openMenu() != nullptr);
        QVERIFY(p.page->openMenu()->isVisible());
        p.choose(MacroMenuCommand::Delete); // the menu acts on the line the edit lay over
        QCOMPARE(p.eventCount(0), 2);
        QCOMPARE(p.event(0, 1).code, 66);
    }

    void addMacroWithExistingOrThirteenthName() {
        Page p({macro(u"alpha", {A_DOWN}), macro(u"beta", {A_UP})});
        p.page->nameEdit()->setText(QStringLiteral("beta"));
        p.page->macroList()->setCurrentRow(0);
        p.page->action(AdvancedElement::AddMacro);
        QCOMPARE(p.macros.count(), 2);
        QCOMPARE(p.page->macroList()->currentRow(), 1);
        QVERIFY(p.page->macroList()->hasFocus());

        p.page->nameEdit()->setText(QStringLiteral("gamma"));
        p.page->action(AdvancedElement::AddMacro);
        QCOMPARE(p.macros.count(), 3);
        QCOMPARE(p.page->macroList()->count(), 3);
        QCOMPARE(p.page->macroList()->item(2)->text(), QStringLiteral("gamma"));
        QCOMPARE(p.page->macroList()->currentRow(), 2);

        for (int i = 3; i < MacroTable::Capacity; ++i) {
            p.page->nameEdit()->setText(QStringLiteral("n%1").arg(i));
            p.page->action(AdvancedElement::AddMacro);
        }
        QCOMPARE(p.macros.count(), 12);
        p.page->nameEdit()->setText(QStringLiteral("thirteenth"));
        p.page->action(AdvancedElement::AddMacro);
        QCOMPARE(p.macros.count(), 12);
        QCOMPARE(p.page->macroList()->count(), 12);
    }

    void deletingTheOnlyMacroEmptiesThePage() {
        Page p({macro(u"only", {A_DOWN, A_UP})});
        p.page->repeatCountEdit()->setEnabled(true);
        p.page->action(AdvancedElement::DeleteMacro);
        QCOMPARE(p.macros.count(), 0);
        QCOMPARE(p.page->macroList()->count(), 0);
        QCOMPARE(p.events().count(), 0);
        QCOMPARE(p.page->nameEdit()->text(), QString());
        QCOMPARE(p.page->repeatCountEdit()->text(), QStringLiteral("1"));
        QVERIFY(!p.page->repeatCountEdit()->isEnabled());
        QCOMPARE(p.macros.record(0).repeatCount(), 1);
        // Record with no macro changes nothing.
        p.page->action(AdvancedElement::Record);
        QVERIFY(!p.macros.recording);
    }

    void aKeyboardHeldElsewhereEndsTheRecordingAndSaysWhy_data() { bothLanguages(); }
    void aKeyboardHeldElsewhereEndsTheRecordingAndSaysWhy() {
        QFETCH(int, language);
        Page p({macro(u"one", {A_DOWN, A_UP})}, languageFromFlag(language));
        p.page->setKeyboardCapture(nullptr);
        p.page->keyboardUnavailable(); // no recording: nothing to say
        QVERIFY(p.notifier.messages().empty());

        p.page->action(AdvancedElement::Record);
        QVERIFY(p.macros.recording);
        p.page->keyboardUnavailable();
        QVERIFY(!p.macros.recording);
        QCOMPARE(p.eventCount(0), 0);
        const std::string_view expected = language == 1 ? Messages::KeyboardBusyEnglish : Messages::KeyboardBusyChinese;
        QCOMPARE(p.notifier.messages(), std::vector<std::string>{std::string(expected)});
    }

    void saveClampsTheRepeatCount_data() {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<int>("stored");
        QTest::addColumn<QString>("shown");
        QTest::newRow("zero") << QStringLiteral("0") << 1 << QStringLiteral("1");
        QTest::newRow("too large") << QStringLiteral("99999") << 65535 << QStringLiteral("65535");
        QTest::newRow("in range") << QStringLiteral("12x") << 12 << QStringLiteral("12x");
    }
    void saveClampsTheRepeatCount() {
        QFETCH(QString, typed);
        QFETCH(int, stored);
        QFETCH(QString, shown);
        Page p({macro(u"m", {A_DOWN})});
        p.page->action(AdvancedElement::Repeat);
        QVERIFY(p.page->repeatCountEdit()->isEnabled());
        p.page->repeatCountEdit()->setText(typed);
        p.page->action(AdvancedElement::SaveMacros);
        QCOMPARE(int(p.macros.record(0).repeatCount()), stored);
        QCOMPARE(p.page->repeatCountEdit()->text(), shown);
        MacroTable reread;
        krv::test::requireOk(LoadMacroFile(reread, p.macros.filePath, p.notifier));
        QCOMPARE(int(reread.record(0).repeatCount()), stored);
        QCOMPARE(reread.record(0).repeatEnabled(), 1);
    }

    // A click on a macro without events shows that macro's own repeat count, not the count of the
    // macro shown before it; a SAVE then leaves both counts as they were.
    void anEmptyMacroShowsItsOwnRepeatCount() {
        MacroRecord repeated = macro(u"repeated", {A_DOWN});
        repeated.setRepeatEnabled(1);
        repeated.setRepeatCount(7);
        Page p({repeated, macro(u"empty", {})});
        const auto clickMacro = [&](int row) {
            QListWidget& list = *p.page->macroList();
            QTest::mouseClick(list.viewport(), Qt::LeftButton, {}, list.visualItemRect(list.item(row)).center());
        };
        clickMacro(0);
        QCOMPARE(p.page->repeatCountEdit()->text(), QStringLiteral("7"));
        QVERIFY(p.page->repeatCountEdit()->isEnabled());
        clickMacro(1);
        QCOMPARE(p.page->macroList()->currentRow(), 1);
        QCOMPARE(p.page->repeatCountEdit()->text(), QStringLiteral("1"));
        QVERIFY(!p.page->repeatCountEdit()->isEnabled());
        p.page->action(AdvancedElement::SaveMacros);
        QCOMPARE(int(p.macros.record(0).repeatCount()), 7);
        QCOMPARE(int(p.macros.record(1).repeatCount()), 1);
    }

    void exportAndImportThroughTheDialogs() {
        Page p({macro(u"one", {A_DOWN, A_UP}), macro(u"two", {B_DOWN})});
        const std::filesystem::path exported = p.dir / "exchange.dat";
        p.dialogs.answer = QString::fromStdString(exported.string());
        p.page->action(AdvancedElement::ExportMacros);
        QCOMPARE(p.dialogs.saveFolders, QStringList{QString::fromStdString(p.dir.path().string())});
        QVERIFY(std::filesystem::exists(exported));

        p.page->nameEdit()->setText(QStringLiteral("three"));
        p.page->action(AdvancedElement::AddMacro);
        QCOMPARE(p.macros.count(), 3);
        p.dialogs.answer.clear(); // Cancel: nothing happens
        p.page->action(AdvancedElement::ImportMacros);
        QCOMPARE(p.macros.count(), 3);
        p.dialogs.answer = QString::fromStdString(exported.string());
        p.page->action(AdvancedElement::ImportMacros);
        QCOMPARE(p.macros.count(), 2);
        QCOMPARE(p.page->macroList()->count(), 2);
        QCOMPARE(p.macros.filePath, p.dir / "Macro_EN.dat"); // the current file stays
        QCOMPARE(p.page->macroList()->item(1)->text(), QStringLiteral("two"));
    }

    void theRealFileDialogsUseTheMacroFilter() {
        test::TempDir dir;
        QWidget owner;
        owner.show();
        QtMacroFileDialogs dialogs;
        const QString folder = QString::fromStdString(dir.path().string());
        for (bool save : {false, true}) {
            QStringList answers;
            auto done = [&](QString path) { answers << path; };
            save ? dialogs.saveMacroFile(&owner, folder, done) : dialogs.openMacroFile(&owner, folder, done);
            QFileDialog* dialog = owner.findChild<QFileDialog*>();
            QVERIFY(dialog);
            QVERIFY(dialog->isVisible());
            QCOMPARE(dialog->nameFilters(), QStringList{QStringLiteral("All Files(*.dat)")});
            QCOMPARE(QDir(dialog->directory()).canonicalPath(), QDir(folder).canonicalPath());
            QCOMPARE(dialog->acceptMode(), save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
            QCOMPARE(dialog->defaultSuffix(), save ? QStringLiteral("dat") : QString());
            QVERIFY(!dialog->testOption(QFileDialog::DontConfirmOverwrite));
            QCOMPARE(dialog->windowModality(), Qt::WindowModal);
            dialog->reject(); // Cancel: an empty answer
            QCOMPARE(answers, QStringList{QString()});
            QTRY_VERIFY(owner.findChild<QFileDialog*>() == nullptr);
        }
    }

    void macroModeAndRepeatSwitches() {
        Page p({macro(u"m", {A_DOWN})});
        p.settings.macroPlaybackMode.store(0);
        p.page->action(AdvancedElement::MacroMode);
        QCOMPARE(int(p.settings.macroPlaybackMode.load()), 1);
        p.page->action(AdvancedElement::Repeat);
        QCOMPARE(p.macros.record(0).repeatEnabled(), 1);
        p.page->action(AdvancedElement::Repeat);
        QCOMPARE(p.macros.record(0).repeatEnabled(), 0);
        QVERIFY(!p.page->repeatCountEdit()->isEnabled());
    }
};

QTEST_MAIN(MacroPageTest)
#include "MacroPage_test.moc"
