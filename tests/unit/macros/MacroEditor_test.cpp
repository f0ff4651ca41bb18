// SPDX-License-Identifier: MIT
#include "macros/MacroEditor.h"
#include "settings/IniFile.h"

#include "fakes/RecordingNotifier.h"
#include "unit/TempDir.h"

#include <gtest/gtest.h>

using namespace krv;
using krv::test::RecordingNotifier;

namespace {

class FakeList : public EventListControl {
public:
    void clear() override { lines.clear(), selected = -1; }
    void addLine(const std::string& text) override { lines.push_back(text); }
    void removeLine(int line) override { lines.erase(lines.begin() + line); }
    int lineCount() const override { return static_cast<int>(lines.size()); }
    int selection() const override { return selected; }
    void select(int line) override { selected = line < lineCount() ? line : -1; }
    std::string lineText(int line) const override { return line >= 0 && line < lineCount() ? lines[line] : ""; }
    void beginEdit() override { ++editsBegun; }

    std::vector<std::string> lines;
    int selected = -1;
    int editsBegun = 0;
};

class FakeEdit : public TextEditControl {
public:
    std::string text() const override { return value; }
    void setText(const std::string& text) override { value = text; }
    void setEnabled(bool on) override { enabled = on; }
    std::string value;
    bool enabled = true;
};

class FakeCapture : public KeyboardCapture {
public:
    void start() override { active = true; }
    void stop() override { active = false; }
    bool active = false;
};

MacroRecord macroWithEvents(const std::u16string& name, std::initializer_list<MacroEvent> events) {
    MacroRecord r;
    r.setName(name);
    r.setRepeatCount(1);
    int j = 0;
    for (const MacroEvent& e : events)
        r.setEvent(j++, e);
    r.setEventCount(static_cast<std::uint8_t>(j));
    return r;
}

class MacroEditorTest : public ::testing::Test {
protected:
    MacroEditorTest()
        : editor(table, settings, notifier, [this] { return language; }, [this] { return clock; }) {
        editor.attach(MacroPageControls{repeat, name, macroList, eventList});
        editor.setKeyboardCapture(&capture);
    }

    void setMacros(std::initializer_list<MacroRecord> records) {
        table.modify([&](MacroTable::Records& all, std::int16_t& count) {
            count = 0;
            for (const MacroRecord& r : records)
                all[static_cast<std::size_t>(count++)] = r;
        });
        table.current = 0;
        editor.RefillMacroList();
    }
    MacroEvent event(int m, int j) const { return table.record(m).event(j); }
    int events(int m) const { return table.record(m).eventCount(); }
    void rightClick(int line, int command) {
        editor.OnEventListRightClick(line, true, [command] { return command; });
    }

    MacroTable table;
    ProfileSettings settings;
    RecordingNotifier notifier;
    UiLanguage language = UiLanguage::English;
    std::int64_t clock = 1000;
    FakeList macroList;
    FakeList eventList;
    FakeEdit repeat;
    FakeEdit name;
    FakeCapture capture;
    MacroEditor editor;
};

TEST_F(MacroEditorTest, EventListLinesAlternateEventsAndDelays) {
    setMacros({macroWithEvents(u"M", {{65, 1, 30}, {65, 2, 120}, {97, 0, 7}})});
    EXPECT_EQ(eventList.lines, (std::vector<std::string>{"[↓]A", "    30ms", "[↑]A", "    120ms", "NUMPAD1"}));
    EXPECT_EQ(editor.downCount(), 1);
    EXPECT_EQ(editor.upCount(), 1);
    EXPECT_EQ(name.value, "M");
    EXPECT_EQ(repeat.value, "1");
    EXPECT_FALSE(repeat.enabled);
}

TEST_F(MacroEditorTest, KeyTextsFollowTheLanguage) {
    const struct {
        int code;
        const char* english;
        const char* chinese;
    } cases[] = {{49, "1", "1"},           {97, "NUMPAD1", "NUMPAD1"},   {243, "Not Available", "不可录制"},
                 {240, "Left_Key", "Left_Key"}, {242, "Middle_Key", "Middle_Key"}, {220, "\\|", "\\|"},
                 {222, " ' ", " ' "},      {186, ";:", ";:"},            {0, "Not Available", "不可录制"}};
    for (const auto& c : cases) {
        EXPECT_EQ(MacroEditor::KeyText(static_cast<std::uint8_t>(c.code), UiLanguage::English), c.english) << c.code;
        EXPECT_EQ(MacroEditor::KeyText(static_cast<std::uint8_t>(c.code), UiLanguage::Chinese), c.chinese) << c.code;
    }
}

TEST_F(MacroEditorTest, AddBackwardOnAnEmptyListAndForwardBeforeAnEvent) {
    setMacros({macroWithEvents(u"M", {})});
    rightClick(0, MacroMenuCommand::AddBackwardLeftDown);
    ASSERT_EQ(events(0), 1);
    EXPECT_EQ(event(0, 0), (MacroEvent{240, 1, 30}));
    EXPECT_EQ(editor.currentLine(), 0);

    setMacros({macroWithEvents(u"M", {{65, 1, 10}, {66, 1, 20}, {67, 1, 40}})});
    rightClick(3, MacroMenuCommand::AddForwardLeftDown + 3); // the delay after event 1: right button up
    ASSERT_EQ(events(0), 4);
    EXPECT_EQ(event(0, 0), (MacroEvent{65, 1, 10}));
    EXPECT_EQ(event(0, 1), (MacroEvent{241, 2, 30}));
    EXPECT_EQ(event(0, 2), (MacroEvent{66, 1, 20}));
    EXPECT_EQ(event(0, 3), (MacroEvent{67, 1, 40}));

    rightClick(0, MacroMenuCommand::AddBackwardLeftDown + 4); // after event 0: middle down
    EXPECT_EQ(event(0, 1), (MacroEvent{242, 1, 30}));
    EXPECT_EQ(events(0), 5);
}

TEST_F(MacroEditorTest, InsertingThe255thEventOverflows) {
    MacroRecord full = macroWithEvents(u"Full", {});
    for (int j = 0; j < 254; ++j)
        full.setEvent(j, {65, 1, 1});
    full.setEventCount(254);
    setMacros({full});
    rightClick(5, MacroMenuCommand::AddForwardLeftDown);
    EXPECT_EQ(notifier.messages(), std::vector<std::string>{"Overflow!!!"});
    EXPECT_EQ(table.record(0), full);
}

TEST_F(MacroEditorTest, DeleteMovesLaterEventsDown) {
    setMacros({macroWithEvents(u"M", {{65, 1, 10}, {66, 1, 20}, {67, 1, 40}})});
    rightClick(2, MacroMenuCommand::Delete);
    ASSERT_EQ(events(0), 2);
    EXPECT_EQ(event(0, 1), (MacroEvent{67, 1, 40}));
    EXPECT_EQ(editor.currentLine(), 0);
    EXPECT_EQ(eventList.lines.size(), 3u);
}

TEST_F(MacroEditorTest, DelayEditsParseTheLine) {
    const std::pair<const char*, int> cases[] = {{"250", 250}, {"250ms", 250}, {"  99 ms", 99}, {"70000", 4464}, {"abc", 0}};
    for (const auto& [typed, stored] : cases) {
        setMacros({macroWithEvents(u"M", {{65, 1, 10}, {66, 1, 20}})});
        rightClick(1, MacroMenuCommand::ModifyDelay);
        EXPECT_EQ(eventList.editsBegun, 1);
        eventList.lines[1] = typed; // what the in-place edit commits
        editor.OnDelayEditFinished();
        editor.OnDelayEditFinished(); // the list may report the end of one edit twice
        EXPECT_EQ(event(0, 0).delay, stored) << typed;
        EXPECT_EQ(eventList.lines[1], "    " + std::to_string(stored) + "ms");
        eventList.editsBegun = 0;
    }
    rightClick(2, MacroMenuCommand::ModifyDelay); // an event line: no edit
    EXPECT_EQ(eventList.editsBegun, 0);
}

TEST_F(MacroEditorTest, AnEditEndingOnAnEventLineKeepsTheDelays) {
    // The list also opens an edit on Ctrl+A, on any line: closing one on an event line ("[↓]B" reads
    // as 0) must not zero the delay of the event.
    setMacros({macroWithEvents(u"M", {{65, 1, 10}, {66, 1, 20}, {67, 2, 30}})});
    rightClick(2, 0);
    editor.OnDelayEditFinished();
    EXPECT_EQ(event(0, 1).delay, 20);
    eventList.lines[2] = "5";
    editor.OnDelayEditFinished();
    EXPECT_EQ(event(0, 1).delay, 20);
    EXPECT_EQ(event(0, 0).delay, 10);
}

TEST_F(MacroEditorTest, AddMacroWithNewExistingAndThirteenthName) {
    setMacros({macroWithEvents(u"One", {{65, 1, 10}}), macroWithEvents(u"Two", {})});
    name.value = "Three";
    editor.AddMacro();
    EXPECT_EQ(table.count(), 3);
    EXPECT_EQ(table.name(2), u"Three");
    EXPECT_EQ(macroList.selection(), 2);

    name.value = "One";
    editor.AddMacro();
    EXPECT_EQ(table.count(), 3);
    EXPECT_EQ(macroList.selection(), 0);
    EXPECT_EQ(table.current, 0);

    name.value = "a name that is far too long for the record";
    editor.AddMacro();
    EXPECT_EQ(table.name(3), u"a name that is far ");
    EXPECT_EQ(macroList.lines.back(), "a name that is far ");

    for (int i = 4; i < 12; ++i) {
        name.value = "m" + std::to_string(i);
        editor.AddMacro();
    }
    EXPECT_EQ(table.count(), 12);
    name.value = "thirteenth";
    editor.AddMacro();
    EXPECT_EQ(table.count(), 12);
}

TEST_F(MacroEditorTest, DeleteMacroShiftsAndResetsTheVacatedRecord) {
    std::vector<MacroRecord> five;
    for (int i = 0; i < 5; ++i)
        five.push_back(macroWithEvents(u"m" + std::u16string(1, static_cast<char16_t>(u'0' + i)), {{65, 1, 5}}));
    table.modify([&](MacroTable::Records& all, std::int16_t& count) {
        for (int i = 0; i < 5; ++i)
            all[static_cast<std::size_t>(i)] = five[static_cast<std::size_t>(i)];
        all[4].setRepeatEnabled(1);
        all[4].setRepeatCount(7);
        count = 5;
    });
    editor.RefillMacroList();
    macroList.select(2);
    editor.DeleteMacro();
    EXPECT_EQ(table.count(), 4);
    EXPECT_EQ(table.name(2), u"m3");
    EXPECT_EQ(table.name(3), u"m4");
    const MacroRecord vacated = table.record(4);
    EXPECT_EQ(vacated.name(), u"m4"); // name and events stay
    EXPECT_EQ(vacated.repeatEnabled(), 0);
    EXPECT_EQ(vacated.repeatCount(), 1);
    EXPECT_EQ(vacated.eventCount(), 0);
    EXPECT_EQ(macroList.selection(), 1);
    EXPECT_EQ(name.value, "m1");

    setMacros({macroWithEvents(u"only", {{65, 1, 5}})});
    editor.DeleteMacro();
    EXPECT_EQ(table.count(), 0);
    EXPECT_TRUE(macroList.lines.empty());
    EXPECT_TRUE(eventList.lines.empty());
    EXPECT_EQ(name.value, "");
    EXPECT_EQ(repeat.value, "1");
    EXPECT_FALSE(repeat.enabled);
}

TEST_F(MacroEditorTest, SaveClampsTheRepeatCount) {
    krv::test::TempDir dir;
    table.filePath = dir / "Macro_EN.dat";
    setMacros({macroWithEvents(u"M", {{65, 1, 5}})});
    const std::pair<const char*, std::pair<int, const char*>> cases[] = {
        {"0", {1, "1"}}, {"99999", {65535, "65535"}}, {"12", {12, "12"}}, {"x", {1, "1"}}};
    for (const auto& [typed, expected] : cases) {
        repeat.value = typed;
        editor.SaveMacros();
        EXPECT_EQ(table.record(0).repeatCount(), expected.first) << typed;
        EXPECT_EQ(repeat.value, expected.second);
    }
    EXPECT_EQ(IniFile::readString(table.filePath, "Macros", "macroNum"), "1");
}

TEST_F(MacroEditorTest, ToggleRepeatAndMacroMode) {
    MacroRecord r = macroWithEvents(u"M", {{65, 1, 5}});
    r.setRepeatCount(9);
    setMacros({r});
    editor.ToggleRepeat();
    EXPECT_EQ(table.record(0).repeatEnabled(), 1);
    EXPECT_EQ(repeat.value, "9");
    EXPECT_TRUE(repeat.enabled);
    editor.ToggleRepeat();
    EXPECT_EQ(repeat.value, "1");
    EXPECT_FALSE(repeat.enabled);
    editor.ToggleMacroMode();
    EXPECT_EQ(settings.macroPlaybackMode.load(), 1);
    editor.ToggleMacroMode();
    EXPECT_EQ(settings.macroPlaybackMode.load(), 0);
}

// Recording: keys in, events out.
class RecordingTest : public MacroEditorTest {
protected:
    void startRecording() {
        setMacros({macroWithEvents(u"Rec", {{1, 1, 1}, {2, 2, 2}})});
        editor.ToggleRecording();
        ASSERT_TRUE(editor.recording());
        ASSERT_TRUE(capture.active);
    }
    void key(KeyMessage message, std::uint8_t vk, std::int64_t at) {
        clock = at;
        editor.OnKeyMessage(message, vk);
    }
    std::vector<MacroEvent> recorded() const {
        std::vector<MacroEvent> out;
        const MacroRecord r = table.record(0);
        for (int j = 0; j < r.eventCount(); ++j)
            out.push_back(r.event(j));
        return out;
    }
};

TEST_F(RecordingTest, PressesAndReleasesWithMeasuredDelays) {
    startRecording();
    key(KeyMessage::KeyDown, 'A', 5000);
    key(KeyMessage::KeyDown, 'A', 5030); // auto-repeat
    key(KeyMessage::KeyDown, 'A', 5060);
    key(KeyMessage::KeyDown, 'B', 5100);
    key(KeyMessage::KeyUp, 'A', 5250);
    key(KeyMessage::KeyUp, 'C', 5300); // pressed before the recording: nothing
    key(KeyMessage::KeyUp, 'B', 5400);
    editor.ToggleRecording();
    EXPECT_FALSE(capture.active);
    EXPECT_EQ(recorded(), (std::vector<MacroEvent>{{'A', 1, 100}, {'B', 1, 150}, {'A', 2, 150}, {'B', 2, 30}}));
    EXPECT_EQ(table.name(0), u"Rec");
    EXPECT_EQ(table.record(0).repeatCount(), 1);
    EXPECT_EQ(eventList.lines.front(), "[↓]A");
    EXPECT_EQ(eventList.selection(), 6); // the last line while recording
}

TEST_F(RecordingTest, OneEventKeepsDelayZeroAndLongPausesAreCapped) {
    startRecording();
    key(KeyMessage::KeyDown, 'A', 86'399'000); // just before midnight
    editor.ToggleRecording();
    EXPECT_EQ(recorded(), (std::vector<MacroEvent>{{'A', 1, 0}}));

    editor.ToggleRecording();
    key(KeyMessage::SysKeyDown, 0xA4, 1000);
    key(KeyMessage::SysKeyUp, 0xA4, 100'000); // 99 seconds later: capped
    key(KeyMessage::KeyDown, 'Z', 86'399'990);
    key(KeyMessage::KeyUp, 'Z', 10);            // across midnight: 20 ms
    editor.ToggleRecording();
    EXPECT_EQ(recorded(), (std::vector<MacroEvent>{{0xA4, 1, 65535}, {0xA4, 2, 65535}, {'Z', 1, 20}, {'Z', 2, 30}}));
}

TEST_F(RecordingTest, LimitsOfPressesEventsAndHeldKeys) {
    startRecording();
    std::int64_t t = 2000;
    for (int i = 0; i < 12; ++i) // only nine keys can be held
        key(KeyMessage::KeyDown, static_cast<std::uint8_t>('A' + i), t += 10);
    EXPECT_EQ(editor.downCount(), 9);
    for (int i = 0; i < 12; ++i)
        key(KeyMessage::KeyUp, static_cast<std::uint8_t>('A' + i), t += 10);
    EXPECT_EQ(editor.upCount(), 9);

    // Presses stop at 108; releases of held keys still count until 216 events.
    for (int i = 0; i < 200; ++i) {
        key(KeyMessage::KeyDown, static_cast<std::uint8_t>('0' + i % 2), t += 10);
        key(KeyMessage::KeyUp, static_cast<std::uint8_t>('0' + i % 2), t += 10);
    }
    editor.ToggleRecording();
    auto events = recorded();
    EXPECT_EQ(events.size(), 216u);
    EXPECT_EQ(std::count_if(events.begin(), events.end(), [](const MacroEvent& e) { return e.action == 1; }), 108);
}

TEST_F(RecordingTest, FilteredKeys) {
    // F10 is consumed in every state; Esc and Enter key-downs are recorded while recording and consumed.
    EXPECT_TRUE(editor.OnKeyMessage(KeyMessage::KeyUp, 121));
    EXPECT_TRUE(editor.OnKeyMessage(KeyMessage::KeyDown, 27));
    EXPECT_FALSE(editor.OnKeyMessage(KeyMessage::KeyUp, 27));
    EXPECT_FALSE(editor.OnKeyMessage(KeyMessage::KeyDown, 'A'));
    startRecording();
    EXPECT_TRUE(editor.OnKeyMessage(KeyMessage::KeyDown, 13));
    EXPECT_EQ(recorded().empty(), true); // the count is written when the recording stops
    editor.ToggleRecording();
    EXPECT_EQ(recorded(), (std::vector<MacroEvent>{{13, 1, 0}}));
}

TEST_F(RecordingTest, NothingHappensWithoutMacrosAndEditsWaitForTheEnd) {
    editor.ToggleRecording();
    EXPECT_FALSE(editor.recording());
    startRecording();
    rightClick(0, MacroMenuCommand::Delete);
    macroList.select(0);
    editor.DeleteMacro();
    EXPECT_EQ(table.count(), 1);
    editor.detach(); // leaving the page keeps the recording running
    key(KeyMessage::KeyDown, 'Q', 100);
    editor.ToggleRecording();
    EXPECT_TRUE(editor.recording()); // the Record element is on the page: nothing to toggle with
}

} // namespace
