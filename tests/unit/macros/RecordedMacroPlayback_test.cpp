// SPDX-License-Identifier: MIT
// A macro recorded by the editor, edited, saved, loaded again, assigned to a button and pressed on the
// simulated mouse plays the recorded keys in order with the recorded pauses.
#include "device/ApplyProfile.h"
#include "device/DeviceLink.h"
#include "device/ReportReader.h"
#include "functions/ActionExecutor.h"
#include "macros/MacroEditor.h"
#include "mouse/ButtonCode.h"
#include "settings/IniFile.h"
#include "sim/SimulatedMouse.h"
#include "unit/RequireOk.h"

#include "mouse/VirtualKeys.h"
#include "unit/TempDir.h"
#include "fakes/DeviceFakes.h"
#include "fakes/ExecutorFakes.h"

#include <gtest/gtest.h>

#include <chrono>

namespace krv::test {
namespace {

class OneLineList : public EventListControl {
public:
    void clear() override { lines.clear(); }
    void addLine(const std::string& text) override { lines.push_back(text); }
    void removeLine(int line) override { lines.erase(lines.begin() + line); }
    int lineCount() const override { return static_cast<int>(lines.size()); }
    int selection() const override { return selected < lineCount() ? selected : -1; }
    void select(int line) override { selected = line; }
    std::string lineText(int line) const override { return line >= 0 && line < lineCount() ? lines[line] : ""; }
    void beginEdit() override {}
    std::vector<std::string> lines;
    int selected = 0;
};

class PlainEdit : public TextEditControl {
public:
    std::string text() const override { return value; }
    void setText(const std::string& text) override { value = text; }
    void setEnabled(bool) override {}
    std::string value;
};

TEST(RecordedMacroPlayback, RecordedKeysPlayBackInOrderWithTheirPauses) {
    TempDir dir;
    RecordingNotifier notifier;
    ProfileSettings settings;
    MacroTable table;
    table.filePath = dir / "Macro_EN.dat";
    table.modify([](MacroTable::Records& records, std::int16_t& count) {
        records[0].setName(u"combo");
        count = 1;
    });

    // Recording, on a clock that crosses midnight UTC in the middle.
    std::int64_t utc = 86'400'000 - 100;
    MacroEditor editor(
        table, settings, notifier, [] { return UiLanguage::English; }, [&] { return utc; });
    PlainEdit repeat, name;
    OneLineList macroList, eventList;
    editor.attach({repeat, name, macroList, eventList});
    editor.RefillMacroList();
    editor.ToggleRecording();
    ASSERT_TRUE(editor.recording());
    struct Key {
        KeyMessage message;
        std::uint8_t vk;
        std::int64_t after; // ms since the previous key
    };
    const Key keys[] = {
        {KeyMessage::KeyDown, Vk::LShift, 0},   {KeyMessage::KeyDown, 'A', 120},
        {KeyMessage::KeyDown, 'A', 33},         {KeyMessage::KeyDown, 'A', 33},
        {KeyMessage::KeyUp, 'A', 29},           {KeyMessage::KeyUp, Vk::LShift, 250},
        {KeyMessage::SysKeyDown, Vk::LMenu, 7}, {KeyMessage::SysKeyDown, 0x73, 400},
        {KeyMessage::SysKeyUp, 0x73, 61},       {KeyMessage::KeyUp, Vk::LMenu, 1},
    };
    for (const Key& k : keys) {
        utc = (utc + k.after) % 86'400'000;
        editor.OnKeyMessage(k.message, k.vk);
    }
    editor.ToggleRecording();
    ASSERT_FALSE(editor.recording());

    // The auto-repeated A is one press; the delays are the time to the next event, the last one 30.
    const std::vector<MacroEvent> recorded{{Vk::LShift, 1, 120}, {'A', 1, 95},  {'A', 2, 250}, {Vk::LShift, 2, 7},
                                           {Vk::LMenu, 1, 400},  {0x73, 1, 61}, {0x73, 2, 1},  {Vk::LMenu, 2, 30}};
    ASSERT_EQ(table.record(0).eventCount(), recorded.size());
    for (std::size_t j = 0; j < recorded.size(); ++j) {
        const MacroEvent e = table.record(0).event(static_cast<int>(j));
        EXPECT_EQ(e.code, recorded[j].code) << j;
        EXPECT_EQ(e.action, recorded[j].action) << j;
        EXPECT_EQ(e.delay, recorded[j].delay) << j;
    }

    // An edit: a left click appended after the last event; then saved.
    editor.OnEventListRightClick(static_cast<int>(eventList.lines.size()) - 1, true, [] { return 0; });
    editor.OnContextCommand(MacroMenuCommand::AddBackwardLeftDown + 1); // left up after the last event
    editor.OnEventListRightClick(static_cast<int>(eventList.lines.size()) - 3, true, [] { return 0; });
    editor.OnContextCommand(MacroMenuCommand::AddBackwardLeftDown); // left down before it
    ASSERT_EQ(table.record(0).eventCount(), recorded.size() + 2);
    editor.SaveMacros();

    // The companion's side: the macro file loaded afresh, the macro on slot 4, the mouse pressing it.
    MacroTable macros;
    krv::test::requireOk(LoadMacroFile(macros, table.filePath, notifier));
    ASSERT_EQ(macros.count(), 1);
    const std::filesystem::path config = dir / "config.ini";
    ProfileValues values = FactoryProfile();
    values.buttonCodes = {1, 2, 3, FirstMacroCode + 0, 4, 18, 17, 13};
    ASSERT_TRUE(SaveProfileValues(values, config, 1));
    settings.currentProfile = 1;
    krv::test::requireOk(LoadProfile(settings, config, 1, false, UiLanguage::English));

    SimulatedMouse mouse;
    DeviceLink link{mouse};
    ASSERT_TRUE(link.ScanForMouse());
    PressChannel channel;
    ApplyFeedback feedback;
    RecordingPointer pointer;
    ManualClock clock;
    RecordingInjector injector(&clock);
    RecordingShell shell;
    ProfileApplier applier{{settings, config, link, feedback, pointer, notifier, [] {}}};
    ReportReader reader{link, channel, feedback, settings, notifier};
    ActionExecutor executor{ActionExecutorPorts{.channel = channel,
                                                .settings = settings,
                                                .macros = macros,
                                                .injector = injector,
                                                .shell = shell,
                                                .clock = clock,
                                                .configPath = config,
                                                .sendFeatureReport = {},
                                                .applyStoredProfile = {},
                                                .requestRepaint = {}}};
    reader.start();
    executor.start();
    applier.ApplyProfile();
    // Polled, not atomic-waited: MinGW's atomic wait can miss a notification.
    const auto giveUp = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (!feedback.HostFunctionsReady.load() && std::chrono::steady_clock::now() < giveUp)
        std::this_thread::yield();
    ASSERT_TRUE(feedback.HostFunctionsReady.load());

    mouse.press(DeviceButtonId[3]); // slot 4
    const std::size_t total = recorded.size() + 2;
    injector.waitFor(total);
    mouse.release();
    reader.stop();
    executor.stop();

    const std::vector<InputEvent> played = injector.events();
    ASSERT_EQ(played.size(), total);
    const MacroRecord saved = macros.record(0);
    for (std::size_t j = 0; j < total; ++j) {
        const MacroEvent e = saved.event(static_cast<int>(j));
        const bool button = e.code >= MacroCodeLeftButton;
        const InputKind kind = button ? (e.action == 1 ? InputKind::ButtonDown : InputKind::ButtonUp)
                                      : (e.action == 1 ? InputKind::KeyDown : InputKind::KeyUp);
        EXPECT_EQ(played[j].kind, kind) << j;
        EXPECT_EQ(played[j].code, button ? static_cast<int>(MouseButtonOfCode(e.code)) : int{e.code}) << j;
        if (j + 1 < total) { // the pause after each event, to the millisecond
            EXPECT_LE(std::abs(played[j + 1].atMs - played[j].atMs - std::int64_t{e.delay}), 1) << j;
        }
    }
    EXPECT_EQ(saved.event(8).code, MacroCodeLeftButton);
    EXPECT_EQ(saved.event(9).code, MacroCodeLeftButton);
    EXPECT_EQ(saved.event(9).action, MacroActionUp);
}

} // namespace
} // namespace krv::test
