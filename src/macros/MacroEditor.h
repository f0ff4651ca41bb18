// SPDX-License-Identifier: MIT
#pragma once

#include "macros/MacroTable.h"
#include "ports/KeyboardCapture.h"
#include "ports/UiNotifier.h"
#include "settings/ProfileSettings.h"
#include "settings/UiLanguage.h"

#include <array>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>

namespace krv {

// The controls of the macro page as the editor sees them. The page's widgets implement these; while
// the page is not shown the editor talks to inert stand-ins, so recording can go on without them.
class MacroListControl {
public:
    virtual ~MacroListControl() = default;
    virtual void clear() = 0;
    virtual void addLine(const std::string& text) = 0;
    virtual void removeLine(int line) = 0;
    virtual int lineCount() const = 0;
    virtual int selection() const = 0; // -1: nothing selected
    // Selects a line without notifying the editor; -1 clears the selection.
    virtual void select(int line) = 0;
    virtual std::string lineText(int line) const = 0;
};

class EventListControl : public MacroListControl {
public:
    // Opens the in-place edit on the selected line; the control calls
    // MacroEditor::OnDelayEditFinished whenever such an edit ends, committed or not.
    virtual void beginEdit() = 0;
};

class TextEditControl {
public:
    virtual ~TextEditControl() = default;
    virtual std::string text() const = 0;
    virtual void setText(const std::string& text) = 0;
    virtual void setEnabled(bool enabled) = 0;
};

struct MacroPageControls {
    TextEditControl& repeatCount;
    TextEditControl& name;
    MacroListControl& macroList;
    EventListControl& eventList;
};

// Context-menu commands of the event list.
namespace MacroMenuCommand {
constexpr int AddForwardLeftDown = 32802;  // .. 32807: left/right/middle, down/up
constexpr int AddBackwardLeftDown = 32809; // .. 32814
constexpr int ModifyDelay = 32780;
constexpr int Delete = 32781;
} // namespace MacroMenuCommand

// The macro page's editing and recording. All on the UI thread; the table itself is shared with
// the executor and is only touched through its lock.
class MacroEditor {
public:
    static constexpr int MaxRecordedEvents = 216;
    static constexpr int MaxRecordedPresses = 108;
    static constexpr int MaxHeldKeys = 9;
    static constexpr std::uint16_t InsertedDelay = 30;

    // utcMillisOfDay: milliseconds since midnight UTC (the recording clock).
    MacroEditor(MacroTable& table, ProfileSettings& settings, UiNotifier& notifier,
                std::function<UiLanguage()> language, std::function<std::int64_t()> utcMillisOfDay);

    // The page's controls exist only while it is shown.
    void attach(const MacroPageControls& controls);
    // After the table is loaded at start-up: the current line is the current macro's last event.
    void InitCurrentLine();
    void detach();
    void setKeyboardCapture(KeyboardCapture* capture) { m_capture = capture; }

    // The text a key code shows in the event list.
    static std::string KeyText(std::uint8_t code, UiLanguage language);

    void RefillMacroList();
    void OnMacroSelChange();
    void ShowMacroEvents(int m);
    void AddEventLines(int m, int j);
    void InsertEvent(int m, int pos, std::uint8_t code, std::uint8_t action);
    void DeleteEvent();
    void OnDelayEditFinished();

    // A right-click on the event list at `line` (computed from the click by the list); `inside` tells
    // whether the click lay in the list. trackMenu shows the context menu and returns the command
    // chosen (0 for none); it is called only when the menu is to be shown.
    void OnEventListRightClick(int line, bool inside, const std::function<int()>& trackMenu);
    void OnContextCommand(int command);

    // The page operations (file dialogs are the UI's: these take the chosen path).
    void ImportMacros(const std::filesystem::path& path);
    void ExportMacros(const std::filesystem::path& path);
    void AddMacro();
    void DeleteMacro();
    void SaveMacros();
    // SaveMacros' first step: the repeat count from its edit into the current macro (clamped to 1..65535).
    void TakeRepeatCount();
    void ToggleRepeat();
    void ToggleMacroMode();

    void ToggleRecording();
    // Ends a recording as its second click does, whether or not the page is showing; nothing when
    // no recording runs. For when the keys cannot be heard (another program holds the keyboard).
    void StopRecording();
    // A key message while the program runs; true when it is consumed (never reaches a control).
    bool OnKeyMessage(KeyMessage message, std::uint8_t vk);
    // Milliseconds since the previous call, capped at 65535 (midnight UTC wraps).
    std::int64_t ElapsedMs();

    bool recording() const { return m_table.recording; }
    int currentLine() const { return m_currentLine; }
    void setCurrentLine(int line) { m_currentLine = line; }
    int downCount() const { return m_downCount; }
    int upCount() const { return m_upCount; }
    int contextMacro() const { return m_contextMacro; }
    int contextEvent() const { return m_contextEvent; }

private:
    MacroPageControls controls() const;
    MacroRecord record(int m) const;
    bool validMacro(int m) const;
    // Shows a message when a save of the macros did not reach the disk.
    void reportIfNotSaved(const FileStatus& saved);

    MacroTable& m_table;
    ProfileSettings& m_settings;
    UiNotifier& m_notifier;
    std::function<UiLanguage()> m_language;
    std::function<std::int64_t()> m_clock;
    KeyboardCapture* m_capture = nullptr;

    struct InertEdit : TextEditControl {
        std::string text() const override { return {}; }
        void setText(const std::string&) override {}
        void setEnabled(bool) override {}
    };
    struct InertList : EventListControl {
        void clear() override {}
        void addLine(const std::string&) override {}
        void removeLine(int) override {}
        int lineCount() const override { return 0; }
        int selection() const override { return -1; }
        void select(int) override {}
        std::string lineText(int) const override { return {}; }
        void beginEdit() override {}
    };
    mutable InertEdit m_inertEdit;
    mutable InertList m_inertList;
    std::optional<MacroPageControls> m_page;

    int m_currentLine = 0;
    int m_contextMacro = 0;
    int m_contextEvent = 0;
    int m_lineCountAtRightClick = 0;
    int m_downCount = 0;
    int m_upCount = 0;

    // Recording.
    int m_target = 0;
    int m_recorded = 0;
    std::array<std::uint8_t, MaxHeldKeys> m_heldKeys{};
    int m_heldCount = 0;
    int m_lastMessage = 0;
    int m_lastKey = 0;
    std::int64_t m_lastTime = 0;
};

} // namespace krv
