// SPDX-License-Identifier: MIT
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace krv {

// The index of the element under the cursor within one layout; NoHit when none.
using HitIndex = std::uint8_t;
constexpr HitIndex NoHit = 255;

// The three pages of the main window, named after the prefixes of their images.
enum class SkinPage : std::uint8_t { Main = 0, Advanced = 1, Color = 2 };

// A rectangle as (left, top, right, bottom); right and bottom are outside it.
struct SkinRect {
    std::int32_t left = 0;
    std::int32_t top = 0;
    std::int32_t right = 0;
    std::int32_t bottom = 0;

    std::int32_t width() const { return right - left; }
    std::int32_t height() const { return bottom - top; }
    bool contains(std::int32_t px, std::int32_t py) const { return left <= px && px < right && top <= py && py < bottom; }
    bool operator==(const SkinRect&) const = default;
};

// One element of a skinned window: a rectangle in client coordinates and the caption drawn on it
// (UTF-8; may be empty).
struct SkinElement {
    std::int32_t x = 0;
    std::int32_t y = 0;
    std::int32_t width = 0;
    std::int32_t height = 0;
    std::string caption;

    // Right and bottom saturate at the limits of int32 (values come from hand-editable files).
    SkinRect rect() const { return {x, y, saturated(std::int64_t{x} + width), saturated(std::int64_t{y} + height)}; }
    // Left and top edges inside, right and bottom edges outside; an element of width or height 0
    // contains no point.
    bool contains(std::int32_t px, std::int32_t py) const {
        return x <= px && px < std::int64_t{x} + width && y <= py && py < std::int64_t{y} + height;
    }
    bool operator==(const SkinElement&) const = default;

    static std::int32_t saturated(std::int64_t v) {
        return static_cast<std::int32_t>(std::clamp<std::int64_t>(v, INT32_MIN, INT32_MAX));
    }
};

// The fixed-size element array of one skin description file. Reading past the end gives an empty
// element rather than undefined behaviour, so an index taken from a setting can never overrun it.
class SkinLayout {
public:
    explicit SkinLayout(std::size_t count) : m_elements(count) {}

    std::size_t size() const { return m_elements.size(); }
    const SkinElement& operator[](std::size_t i) const { return i < m_elements.size() ? m_elements[i] : empty(); }
    SkinElement& at(std::size_t i) { return m_elements.at(i); }

    // The lowest index i in 0..lastIndex (inclusive, and below size()) whose rectangle holds the
    // point, or NoHit.
    HitIndex hitTest(std::int32_t px, std::int32_t py, int lastIndex) const;

    // Empties every element (all rectangles 0,0,0,0 and captions empty).
    void clear();

    bool operator==(const SkinLayout&) const = default;

private:
    static const SkinElement& empty();
    std::vector<SkinElement> m_elements;
};

// Element counts of the four layouts and the last index each window hit-tests.
constexpr std::size_t MainElementCount = 100;
constexpr std::size_t AdvancedElementCount = 46;
constexpr std::size_t ColorElementCount = 13;
constexpr std::size_t WarningElementCount = 3;
constexpr int MainLastHitOnMainPage = 90;
constexpr int MainLastHitOnOtherPages = 19;
constexpr int AdvancedLastHit = 33;
constexpr int ColorLastHit = 4;
constexpr int FunctionNameCount = 55; // entries 0..54; 0 is always empty

// The fixed meaning of the element numbers. A skin must keep this numbering.
namespace MainElement {
constexpr int TopBarLast = 19;          // 0..19 form the top bar, drawn on every page
constexpr int Cancel = 2;               // keep the current stage, reload slot 6, hide to the tray
constexpr int Apply = 3;
constexpr int ProfileTabFirst = 4;      // 4..8: profiles 1..5 (profile = index - 3)
constexpr int PageTabFirst = 9;         // 9, 10, 11: main, advanced, color
constexpr int Minimize = 12;
constexpr int HideToTray = 13;
constexpr int ImportProfile = 14;
constexpr int ExportProfile = 15;
constexpr int RestoreDefaults = 16;
constexpr int Chinese = 17;
constexpr int English = 18;
constexpr int WebPage = 19;
constexpr int ButtonSlotFirst = 25;     // 25..32: button slots 1..8
constexpr int ButtonSlotLast = 32;
constexpr int WheelFirst = 41;          // 41 + wheel mode
constexpr int StageEnableFirst = 46;    // 46..49
constexpr int DigitCaptionFirst = 50;   // 50..53 use the digit font in English mode
constexpr int LastDrawnCaption = 53;
constexpr int StageSelectFirst = 54;    // 54..57
constexpr int SliderFirst = 60;         // 60..79: five positions per stage
constexpr int SliderPositions = 5;
constexpr int StageMarkFirst = 80;      // 80 + current stage
constexpr int ButtonMarkBase = 89;      // 89 + button number: marks 90..97 on the picture of the mouse
constexpr int ButtonSlotToMark = 65;    // hovering slot k lights mark k + 65

// The slider element of stage 0..3 at DPI position 0..4: the knob is drawn there.
constexpr int sliderOf(int stage, int position) {
    return SliderFirst + SliderPositions * stage + position;
}
} // namespace MainElement

namespace AdvancedElement {
constexpr int ImportMacros = 0;
constexpr int ExportMacros = 1;
constexpr int AddMacro = 2;
constexpr int DeleteMacro = 3;
constexpr int Record = 4;
constexpr int SaveMacros = 5;
constexpr int Repeat = 6;
constexpr int MacroMode = 7;
constexpr int DpiSpeedFirst = 8;        // 8..17
constexpr int WheelSpeedFirst = 18;     // 18..27
constexpr int FireBar = 30;
constexpr int FirePlus = 31;
constexpr int FireMinus = 32;
constexpr int FireReadout = 33;
constexpr int DownCount = 38;
constexpr int UpCount = 39;
} // namespace AdvancedElement

namespace ColorElement {
constexpr int LedModeFirst = 0;         // 0..3: LED mode
constexpr int DpiReadout = 9;
constexpr int Preview = 11;
} // namespace ColorElement

namespace WarningElement {
constexpr int Confirm = 0;
constexpr int Cancel = 1;
constexpr int Message = 2;
} // namespace WarningElement

} // namespace krv
