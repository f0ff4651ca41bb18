// SPDX-License-Identifier: MIT
// Macros as the user works with them, on a whole companion on the simulated mouse: the macro list
// clicked with the mouse, and macros played from the mouse's buttons while the program applies a
// profile or loses the mouse.

#include "unit/RequireOk.h"
#include "widgets/CompanionFixture.h"

#include "macros/MacroTable.h"
#include "mouse/ButtonCode.h"
#include "settings/IniFile.h"
#include "skin/SkinImages.h"
#include "fakes/RecordingNotifier.h"

#include <QApplication>
#include <QFile>
#include <QLineEdit>
#include <QListWidget>
#include <QTest>

#include <map>

using namespace krv;
using namespace krv::test;

namespace {

template <class Widget> Widget* controlOn(CompanionFixture& f, const SkinRect& rect) {
    for (Widget* w : f.window().findChildren<Widget*>())
        if (w->geometry() == toQRect(rect) && w->isVisible())
            return w;
    return nullptr;
}

// Keys pressed and not released, among what the program typed (Alt releases without a press, as
// the shutdown sends them, do not count).
int keysStillDown(const std::vector<InputEvent>& events) {
    std::map<int, int> down;
    for (const InputEvent& e : events) {
        if (e.kind == InputKind::KeyDown || e.kind == InputKind::ButtonDown)
            ++down[e.code * 2 + (e.kind == InputKind::ButtonDown)];
        else if (int& n = down[e.code * 2 + (e.kind == InputKind::ButtonUp)]; n > 0)
            --n;
    }
    int held = 0;
    for (const auto& [key, n] : down)
        held += n;
    return held;
}

} // namespace

class MacroUseTest : public QObject {
    Q_OBJECT
private slots:
    void theClickedMacroIsTheOneRepeatSaveAndTheMenuChange();
    void aSwitchToAProfileWithoutALeftClickIsRefusedWhole();
    void applyEndsAPlayingMacroAndUnplugLetsGoOfItsKeys();
};

void MacroUseTest::theClickedMacroIsTheOneRepeatSaveAndTheMenuChange() {
    CompanionFixture f;
    f.clickMain(MainElement::PageTabFirst + 1);
    QCOMPARE(f.window().viewState().page, SkinPage::Advanced);
    const SkinDescriptions& skin = f.window().skin();
    QListWidget* list = controlOn<QListWidget>(f, skin.macroListRect);
    QLineEdit* name = controlOn<QLineEdit>(f, skin.macroNameEditRect);
    QListWidget* events = controlOn<QListWidget>(f, skin.eventListRect);
    QVERIFY(list && name && events);
    QCOMPARE(list->item(0)->text(), QStringLiteral("Reload"));
    QCOMPARE(list->item(1)->text(), QStringLiteral("Burst Fire x3"));
    const MacroRecord reload = f.context->macros.record(0);
    const MacroRecord burst = f.context->macros.record(1);

    auto clickRow = [&](int row) {
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, list->visualItemRect(list->item(row)).center());
    };
    clickRow(0);
    clickRow(1);
    // What the page shows is the clicked macro.
    QCOMPARE(name->text(), QStringLiteral("Burst Fire x3"));
    QCOMPARE(events->count(), 2 * burst.eventCount() - 1);

    f.clickAdvanced(AdvancedElement::Repeat);
    f.clickAdvanced(AdvancedElement::SaveMacros);
    MacroTable saved;
    RecordingNotifier quiet;
    krv::test::requireOk(LoadMacroFile(saved, f.folder.filePath("Macro_EN.dat").toStdString(), quiet));
    QCOMPARE(saved.record(1).repeatEnabled(), burst.repeatEnabled() == 0 ? 1 : 0);
    QCOMPARE(saved.record(0).repeatEnabled(), reload.repeatEnabled());
    QCOMPARE(saved.record(0).repeatCount(), reload.repeatCount());

    // The event list's menu acts on the macro on screen too.
    clickRow(0);
    clickRow(1);
    QTest::mouseClick(events->viewport(), Qt::RightButton, {}, events->visualItemRect(events->item(0)).center());
    QTRY_VERIFY(QApplication::activePopupWidget() != nullptr);
    QApplication::activePopupWidget()->close();
    QCOMPARE(f.companion->macroEditor().contextMacro(), 1);
}

void MacroUseTest::aSwitchToAProfileWithoutALeftClickIsRefusedWhole() {
    // Profile 1's slot 8 switches profiles; profile 2 has no left click anywhere.
    CompanionFixture f([](const QString& dir, SimulatedMouse&) {
        const std::string config = (dir + "/config.ini").toStdString();
        krv::test::requireOk(IniFile::writeString(config, "Config1", "K8", "40"));
        krv::test::requireOk(IniFile::writeString(config, "Config2", "K1", "2"));
    });
    QTRY_VERIFY(f.reportsSent() >= 11);
    QTRY_VERIFY(f.context->feedback.HostFunctionsReady.load());
    QFile file(f.configPath());
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QByteArray before = file.readAll();
    file.close();
    const std::size_t sent = f.reportsSent();
    const SimMouseState mouse = f.mouse->state();
    const std::int32_t slot1 = f.settings().buttonCodes[0].load();

    f.mouse->press(DeviceButtonId[7]);
    f.mouse->release();
    QTRY_COMPARE(f.dialogs.messages.size(), std::size_t{1});
    QCOMPARE(f.dialogs.messages[0],
             QString::fromStdString(Messages::SwitchWithoutLeftButton(f.context->language, 2, 1)));
    // Nothing saved, nothing sent, the window keeps profile 1.
    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(file.readAll(), before);
    QCOMPARE(f.reportsSent(), sent);
    QVERIFY(f.mouse->state().buttonMap == mouse.buttonMap);
    QCOMPARE(f.settings().currentProfile.load(), 1);
    QCOMPARE(f.settings().buttonCodes[0].load(), slot1);
}

void MacroUseTest::applyEndsAPlayingMacroAndUnplugLetsGoOfItsKeys() {
    // Profile 4: slot 4 plays macro 1 (Reload: R) repeated while the button is held.
    CompanionFixture f([](const QString& dir, SimulatedMouse&) {
        krv::test::requireOk(IniFile::writeString((dir + "/config.ini").toStdString(), "Init", "CurConfig", "4"));
    });
    // The first apply tells the mouse which buttons the host serves; the acknowledgement ends the wait.
    QTRY_VERIFY(f.reportsSent() >= 11);
    QTRY_VERIFY(f.context->feedback.HostFunctionsReady.load());
    QCOMPARE(f.settings().buttonCodes[3].load(), FirstMacroCode);
    QCOMPARE(f.settings().macroPlaybackMode.load(), 1);
    PressChannel& presses = f.context->presses;

    // The button is held; the user applies a profile meanwhile. The button's release may now never
    // come as a host report: the macro ends with the apply, and lets go of R.
    f.mouse->press(DeviceButtonId[3]);
    QTRY_VERIFY(f.injector->events().size() >= 3);
    f.clickMain(MainElement::Apply);
    QTRY_COMPARE(presses.PendingPress.load(), 0u);
    QCOMPARE(keysStillDown(f.injector->events()), 0);
    f.mouse->release();

    // Held again, and the mouse is unplugged: the program ends with nothing held.
    QTRY_VERIFY(f.reportsSent() >= 22);
    QTRY_VERIFY(f.context->feedback.HostFunctionsReady.load());
    const std::size_t before = f.injector->events().size();
    f.mouse->press(DeviceButtonId[3]);
    QTRY_VERIFY(f.injector->events().size() >= before + 1);
    f.mouse->unplug();
    f.companion->handleDeviceChange({DeviceChange::Kind::Removal, std::string(SimulatedMouse::VendorPath)});
    QTRY_COMPARE(f.endings, std::vector<int>{0});
    QCOMPARE(keysStillDown(f.injector->events()), 0);
}

QTEST_MAIN(MacroUseTest)
#include "macro_use_test.moc"
