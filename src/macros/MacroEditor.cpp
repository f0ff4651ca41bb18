// SPDX-License-Identifier: MIT
#include "macros/MacroEditor.h"

#include "mouse/VirtualKeys.h"
#include "settings/IniDocument.h"
#include "settings/TextCodec.h"

#include <algorithm>

namespace krv {

namespace {

constexpr std::int64_t MillisPerDay = 86'400'000;
constexpr std::int64_t MaxMeasuredDelay = 65'535;
constexpr std::uint8_t VkReturn = 13;
constexpr std::uint8_t VkEscape = 27;
constexpr std::uint8_t VkF10 = 121;

bool isKeyDown(KeyMessage m) {
    return m == KeyMessage::KeyDown || m == KeyMessage::SysKeyDown;
}

std::string delayLine(std::uint16_t delay) {
    return "    " + std::to_string(delay) + "ms";
}

// A name as the record can hold it: at most 19 UTF-16 units.
std::u16string storableName(const std::string& text) {
    std::u16string name = utf8ToUtf16(text);
    if (name.size() > MacroRecord::NameUnits - 1)
        name.resize(MacroRecord::NameUnits - 1);
    return name;
}

} // namespace

MacroEditor::MacroEditor(MacroTable& table, ProfileSettings& settings, UiNotifier& notifier,
                         std::function<UiLanguage()> language, std::function<std::int64_t()> utcMillisOfDay)
    : m_table(table), m_settings(settings), m_notifier(notifier), m_language(std::move(language)),
      m_clock(std::move(utcMillisOfDay)) {
    InitCurrentLine();
}

void MacroEditor::InitCurrentLine() {
    // The event list starts on the last event line of the current macro.
    const int n = validMacro(m_table.current) ? record(m_table.current).eventCount() : 0;
    m_currentLine = n > 0 ? 2 * n - 2 : 0;
}

void MacroEditor::attach(const MacroPageControls& controls) {
    m_page.emplace(controls);
}

void MacroEditor::detach() {
    m_page.reset();
}

MacroPageControls MacroEditor::controls() const {
    if (m_page)
        return *m_page;
    return MacroPageControls{m_inertEdit, m_inertEdit, m_inertList, m_inertList};
}

MacroRecord MacroEditor::record(int m) const {
    return m_table.record(std::clamp(m, 0, MacroTable::Capacity - 1));
}

bool MacroEditor::validMacro(int m) const {
    return m >= 0 && m < m_table.count();
}

std::string MacroEditor::KeyText(std::uint8_t code, UiLanguage language) {
    switch (code) {
    case MacroCodeLeftButton:
        return "Left_Key";
    case MacroCodeRightButton:
        return "Right_Key";
    case MacroCodeMiddleButton:
        return "Middle_Key";
    case 220:
        return "\\|";
    default:
        break;
    }
    if (auto text = KeyTextOf(code))
        return std::string(*text);
    return language == UiLanguage::English ? "Not Available" : "不可录制";
}

void MacroEditor::RefillMacroList() {
    auto page = controls();
    page.macroList.clear();
    const int count = m_table.count();
    for (int i = 0; i < count; ++i)
        page.macroList.addLine(m_table.nameUtf8(i));
    if (count == 0)
        return;
    m_table.current = std::min(m_table.current, std::max(page.macroList.lineCount() - 1, 0));
    page.macroList.select(m_table.current);
    OnMacroSelChange();
}

void MacroEditor::OnMacroSelChange() {
    auto page = controls();
    const int selection = page.macroList.selection();
    if (selection < 0)
        return;
    m_table.current = selection;
    page.name.setText(page.macroList.lineText(selection));
    ShowMacroEvents(m_table.current);
}

void MacroEditor::ShowMacroEvents(int m) {
    auto page = controls();
    m_downCount = 0;
    m_upCount = 0;
    page.eventList.clear();
    const MacroRecord r = record(m);
    // The repeat box shows this macro's own count, an empty macro's too: a SAVE takes the box's count
    // into the macro selected, never the count of the macro shown before it.
    if (r.repeatEnabled() != 1) {
        page.repeatCount.setText("1");
        page.repeatCount.setEnabled(false);
    } else {
        page.repeatCount.setText(std::to_string(r.repeatCount()));
        page.repeatCount.setEnabled(true);
    }
    const int n = std::min<int>(r.eventCount(), MacroRecord::EventSlots);
    if (n == 0) {
        m_notifier.requestRepaint(); // the counters show the zeros, not the previous macro's counts
        return;
    }
    for (int j = 0; j < n; ++j)
        AddEventLines(m, j);
}

void MacroEditor::AddEventLines(int m, int j) {
    auto page = controls();
    const MacroRecord r = record(m);
    const MacroEvent e = r.event(std::clamp(j, 0, MacroRecord::EventSlots - 1));
    const std::string text = KeyText(e.code, m_language());
    if (j > 0)
        page.eventList.addLine(delayLine(r.event(j - 1).delay));
    std::string mark;
    if (e.action == MacroActionDown) {
        mark = "[↓]";
        ++m_downCount;
    } else if (e.action == MacroActionUp) {
        mark = "[↑]";
        ++m_upCount;
    }
    page.eventList.addLine(mark + text);
    m_notifier.requestRepaint();
    page.eventList.select(m_table.recording ? page.eventList.lineCount() - 1 : m_currentLine);
}

void MacroEditor::InsertEvent(int m, int pos, std::uint8_t code, std::uint8_t action) {
    if (!validMacro(m))
        return;
    const int n = record(m).eventCount();
    if (n + 1 > MacroRecord::MaxEvents) {
        m_notifier.showMessage(Messages::MacroOverflow);
        return;
    }
    pos = std::clamp(pos, 0, n);
    m_table.modify([&](MacroTable::Records& records, std::int16_t&) {
        MacroRecord& r = records[static_cast<std::size_t>(m)];
        r.setEventCount(static_cast<std::uint8_t>(n + 1));
        for (int j = n - 1; j >= pos; --j)
            r.setEvent(j + 1, r.event(j));
        r.setEvent(pos, {code, action, InsertedDelay});
    });
    m_currentLine += 2;
}

void MacroEditor::DeleteEvent() {
    if (m_table.recording || !validMacro(m_contextMacro))
        return;
    m_table.modify([&](MacroTable::Records& records, std::int16_t&) {
        MacroRecord& r = records[static_cast<std::size_t>(m_contextMacro)];
        const int n = std::max(r.eventCount() - 1, 0);
        r.setEventCount(static_cast<std::uint8_t>(n));
        for (int j = m_contextEvent; j >= 0 && j < n; ++j)
            r.setEvent(j, r.event(j + 1));
    });
    m_currentLine = m_currentLine > 2 ? m_currentLine - 2 : 0;
    ShowMacroEvents(m_contextMacro);
}

void MacroEditor::OnDelayEditFinished() {
    if (m_table.recording || !validMacro(m_contextMacro))
        return;
    auto page = controls();
    // Only a delay line holds a delay: an edit closed on an event line (the list opens one on Ctrl+A
    // too) would otherwise read its key text as 0 ms.
    if (m_currentLine < 0 || m_currentLine >= page.eventList.lineCount() || m_currentLine % 2 == 0)
        return;
    std::string text = page.eventList.lineText(m_currentLine);
    if (auto ms = text.find("ms"); ms != std::string::npos)
        text.resize(ms);
    const int v = leadingInt(text);
    const int event = std::clamp(m_contextEvent, 0, MacroRecord::EventSlots - 1);
    m_table.modify([&](MacroTable::Records& records, std::int16_t&) {
        MacroRecord& r = records[static_cast<std::size_t>(m_contextMacro)];
        MacroEvent e = r.event(event);
        e.delay = static_cast<std::uint16_t>(static_cast<unsigned>(v) & 0xFFFF); // larger values wrap
        r.setEvent(event, e);
    });
    ShowMacroEvents(m_contextMacro);
}

void MacroEditor::OnEventListRightClick(int line, bool inside, const std::function<int()>& trackMenu) {
    if (m_table.recording)
        return;
    auto page = controls();
    m_currentLine = line;
    page.eventList.select(line);
    m_lineCountAtRightClick = page.eventList.lineCount();
    int command = 0;
    if (inside && (line < m_lineCountAtRightClick || m_lineCountAtRightClick == 0) && trackMenu)
        command = trackMenu();
    m_contextMacro = std::min(page.macroList.selection(), MacroTable::Capacity - 1);
    const int eventSelection = page.eventList.selection();
    m_contextEvent = eventSelection > 0 ? eventSelection / 2 : 0;
    if (command != 0)
        OnContextCommand(command);
}

void MacroEditor::OnContextCommand(int command) {
    if (m_table.recording || !validMacro(m_contextMacro))
        return;
    auto insert = [&](int first, bool backward) {
        const int offset = command - first; // left down, left up, right down, right up, middle down, middle up
        const auto code = static_cast<std::uint8_t>(MacroCodeLeftButton + offset / 2);
        const auto action = static_cast<std::uint8_t>(offset % 2 == 0 ? MacroActionDown : MacroActionUp);
        if (!backward) {
            InsertEvent(m_contextMacro, m_contextEvent, code, action);
        } else if (controls().eventList.lineCount() == 0) {
            InsertEvent(m_contextMacro, 0, code, action);
            m_currentLine = 0;
        } else {
            InsertEvent(m_contextMacro, m_contextEvent + 1, code, action);
        }
        ShowMacroEvents(m_contextMacro);
    };
    if (command >= MacroMenuCommand::AddForwardLeftDown && command < MacroMenuCommand::AddForwardLeftDown + 6)
        insert(MacroMenuCommand::AddForwardLeftDown, false);
    else if (command >= MacroMenuCommand::AddBackwardLeftDown && command < MacroMenuCommand::AddBackwardLeftDown + 6)
        insert(MacroMenuCommand::AddBackwardLeftDown, true);
    else if (command == MacroMenuCommand::ModifyDelay) {
        if (m_lineCountAtRightClick != 0 && m_currentLine % 2 == 1)
            controls().eventList.beginEdit();
    } else if (command == MacroMenuCommand::Delete)
        DeleteEvent();
}

void MacroEditor::ImportMacros(const std::filesystem::path& path) {
    // A file that is not a macro file would empty the table: it is refused and nothing changes.
    if (const FileStatus loaded = LoadMacroSource(m_table, path); !loaded) {
        m_notifier.showMessage(Messages::FileNotUsed(m_language(), loaded.message()));
        return;
    }
    RefillMacroList();
    m_notifier.requestRepaint();
}

void MacroEditor::ExportMacros(const std::filesystem::path& path) {
    reportIfNotSaved(SaveMacroFile(m_table, path, FileLock::None));
}

void MacroEditor::reportIfNotSaved(const FileStatus& saved) {
    if (!saved)
        m_notifier.showMessage(Messages::NotSaved(m_language(), saved.message()));
}

void MacroEditor::AddMacro() {
    auto page = controls();
    const std::string text = page.name.text();
    const int count = m_table.count();
    if (count >= MacroTable::Capacity || text.empty())
        return;
    const std::u16string name = storableName(text);
    const int pos = count == 0 ? 0 : m_table.FindMacroByName(name);
    m_table.current = pos;
    if (pos == count) {
        m_table.modify([&](MacroTable::Records& records, std::int16_t& tableCount) {
            records[static_cast<std::size_t>(pos)].setName(name);
            tableCount = static_cast<std::int16_t>(count + 1);
        });
        page.eventList.clear();
        page.macroList.addLine(utf16ToUtf8(name));
    }
    page.macroList.select(m_table.current);
}

void MacroEditor::DeleteMacro() {
    auto page = controls();
    const int s = page.macroList.selection();
    if (page.macroList.lineCount() == 0 || m_table.recording || s < 0)
        return;
    m_table.modify([&](MacroTable::Records& records, std::int16_t& count) {
        for (int i = s; i + 1 < count; ++i)
            records[static_cast<std::size_t>(i)] = records[static_cast<std::size_t>(i + 1)];
    });
    page.macroList.removeLine(s);
    const int t = s > 0 ? s - 1 : 0;
    page.macroList.select(t);
    m_table.current = t;
    if (page.macroList.lineCount() > 0) {
        page.name.setText(page.macroList.lineText(t));
    } else {
        page.name.setText("");
        page.repeatCount.setText("1");
        page.repeatCount.setEnabled(false);
    }
    m_table.modify([&](MacroTable::Records& records, std::int16_t& count) {
        count = static_cast<std::int16_t>(std::max(count - 1, 0));
        MacroRecord& vacated = records[static_cast<std::size_t>(count)];
        vacated.setRepeatEnabled(0);
        vacated.setRepeatCount(1);
        vacated.setEventCount(0);
    });
    ShowMacroEvents(t);
}

void MacroEditor::SaveMacros() {
    TakeRepeatCount();
    reportIfNotSaved(SaveMacroFile(m_table, m_table.filePath));
}

void MacroEditor::TakeRepeatCount() {
    auto page = controls();
    int v = leadingInt(page.repeatCount.text());
    if (v < 1 || v > 65535) {
        v = std::clamp(v, 1, 65535);
        page.repeatCount.setText(std::to_string(v));
    }
    const int current = std::clamp(m_table.current, 0, MacroTable::Capacity - 1);
    m_table.modify([&](MacroTable::Records& records, std::int16_t&) {
        records[static_cast<std::size_t>(current)].setRepeatCount(static_cast<std::uint16_t>(v));
    });
}

void MacroEditor::ToggleRepeat() {
    auto page = controls();
    const int current = std::clamp(m_table.current, 0, MacroTable::Capacity - 1);
    const MacroRecord r = record(current);
    const bool turnOn = r.repeatEnabled() == 0;
    m_table.modify([&](MacroTable::Records& records, std::int16_t&) {
        records[static_cast<std::size_t>(current)].setRepeatEnabled(turnOn ? 1 : 0);
    });
    page.repeatCount.setText(turnOn ? std::to_string(r.repeatCount()) : "1");
    page.repeatCount.setEnabled(turnOn);
    m_notifier.requestRepaint();
}

void MacroEditor::ToggleMacroMode() {
    m_settings.macroPlaybackMode.store(m_settings.macroPlaybackMode.load(std::memory_order_relaxed) == 0 ? 1 : 0,
                                       std::memory_order_relaxed);
}

void MacroEditor::ToggleRecording() {
    auto page = controls();
    if (page.macroList.lineCount() == 0)
        return;
    if (m_table.recording) {
        StopRecording();
    } else {
        m_table.recording = true;
        const int position = std::clamp(page.macroList.selection(), 0, MacroTable::Capacity - 1);
        m_heldKeys.fill(0);
        m_heldCount = 0;
        if (m_capture)
            m_capture->start();
        m_target = position;
        m_downCount = m_upCount = m_recorded = 0;
        const std::u16string name = storableName(page.macroList.lineText(position));
        m_table.modify([&](MacroTable::Records& records, std::int16_t&) {
            MacroRecord& r = records[static_cast<std::size_t>(position)];
            r = MacroRecord{};
            r.setName(name);
            r.setRepeatEnabled(0);
            r.setRepeatCount(1);
        });
        m_table.current = position;
        page.repeatCount.setText("1");
        page.repeatCount.setEnabled(false);
        page.eventList.clear();
    }
}

void MacroEditor::StopRecording() {
    if (!m_table.recording)
        return;
    m_table.recording = false;
    m_table.modify([&](MacroTable::Records& records, std::int16_t&) {
        records[static_cast<std::size_t>(m_target)].setEventCount(static_cast<std::uint8_t>(m_recorded & 0xFF));
    });
    if (m_capture)
        m_capture->stop();
}

bool MacroEditor::OnKeyMessage(KeyMessage message, std::uint8_t vk) {
    auto tail = [&] {
        if (message == KeyMessage::KeyDown && (vk == VkEscape || vk == VkReturn))
            return true;
        return vk == VkF10;
    };
    if (!m_table.recording)
        return tail();
    auto remember = [&] {
        m_lastMessage = static_cast<int>(message);
        m_lastKey = vk;
    };
    if (static_cast<int>(message) == m_lastMessage && vk == m_lastKey) {
        remember(); // auto-repeat: one press however long the key is held
        return tail();
    }
    if (m_recorded >= MaxRecordedEvents) {
        remember();
        return tail();
    }
    const bool down = isKeyDown(message);
    // Past the press limit, or with nine keys held, a press is not recorded.
    if (down && (m_downCount >= MaxRecordedPresses || m_heldCount >= MaxHeldKeys))
        return false;
    std::uint8_t action = MacroActionDown;
    if (down) {
        m_heldKeys[static_cast<std::size_t>(m_heldCount++)] = vk;
    } else {
        auto end = m_heldKeys.begin() + m_heldCount;
        auto held = std::find(m_heldKeys.begin(), end, vk);
        if (held == end)
            return false; // released a key pressed before the recording began
        std::copy(held + 1, end, held);
        m_heldKeys[static_cast<std::size_t>(--m_heldCount)] = 0;
        action = MacroActionUp;
    }
    const int slot = m_recorded;
    const std::int64_t elapsed = ElapsedMs();
    m_table.modify([&](MacroTable::Records& records, std::int16_t&) {
        MacroRecord& r = records[static_cast<std::size_t>(m_target)];
        if (slot > 0) {
            MacroEvent previous = r.event(slot - 1);
            previous.delay = static_cast<std::uint16_t>(elapsed);
            r.setEvent(slot - 1, previous);
        }
        r.setEvent(slot, {vk, action, static_cast<std::uint16_t>(slot > 0 ? InsertedDelay : 0)});
    });
    AddEventLines(m_target, slot);
    ++m_recorded;
    remember();
    return tail();
}

std::int64_t MacroEditor::ElapsedMs() {
    const std::int64_t now = m_clock();
    std::int64_t d = now - m_lastTime;
    m_lastTime = now;
    if (d < 0)
        d += MillisPerDay;
    return std::min(d, MaxMeasuredDelay);
}

} // namespace krv
