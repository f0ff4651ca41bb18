#pragma once

#include <string_view>

namespace krv {

// Texts the program shows the user, exactly as they stand.
namespace Messages {
inline constexpr std::string_view DataFileMissing = "找不到配置文件";
inline constexpr std::string_view SkinValueMalformed = "加载ini错误！";
inline constexpr std::string_view MacroOverflow = "Overflow!!!";
// Recording ended because another program holds the keyboard.
inline constexpr std::string_view KeyboardBusyEnglish =
    "Another program is holding the keyboard, so the recording has stopped. Close it and press Record again.";
inline constexpr std::string_view KeyboardBusyChinese = "其他程序正在占用键盘，录制已停止。请关闭该程序后重新录制。";
} // namespace Messages

// How the core reaches the user. The GUI shows message boxes (titled with the application's name, OK
// only) and repaints its window; the command-line tool prints messages to standard error. Callable
// from any thread: an implementation posts to its UI thread.
class UiNotifier {
public:
    virtual ~UiNotifier() = default;
    // A message box with an OK button; returns when the user has dismissed it (GUI) or at once.
    virtual void showMessage(std::string_view text) = 0;
    // Ask the main window to repaint (a background thread never draws).
    virtual void requestRepaint() {}
};

} // namespace krv
