// SPDX-License-Identifier: MIT
#pragma once

#include "settings/UiLanguage.h"

#include <string>
#include <string_view>
#include <utility>
#include <vector>

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

// The user's files and the mouse's left button. `problem` is one line naming the file and the reason.
inline std::string FileNotUsed(UiLanguage language, std::string_view problem) {
    if (language == UiLanguage::English)
        return std::string(problem) + "\nThe file was left as it is: nothing was loaded from it, applied or saved over it.";
    return std::string(problem) + "\n该文件保持原样：未从中读取，也未应用或覆盖保存。";
}
inline std::string NotSaved(UiLanguage language, std::string_view problem) {
    if (language == UiLanguage::English)
        return "The settings did not reach the disk.\n" + std::string(problem);
    return "设置未能保存到磁盘。\n" + std::string(problem);
}
inline std::string_view NoLeftButton(UiLanguage language) {
    if (language == UiLanguage::English)
        return "No button is set to Left Click, so the profile was not sent to the mouse: it would be left without "
               "a left button. Set a button to Left Click and apply again.";
    return "没有任何按键设为左键，配置未发送到鼠标（否则鼠标将没有左键）。请将一个按键设为左键后重新应用。";
}
// The profile-switch button found no left click in profile `next`: the mouse stays on `current`.
inline std::string SwitchWithoutLeftButton(UiLanguage language, int next, int current) {
    if (language == UiLanguage::English)
        return "Profile " + std::to_string(next) + " has no button set to Left Click, so the mouse stays on profile " +
               std::to_string(current) + ". Set a button of profile " + std::to_string(next) +
               " to Left Click and apply it once.";
    return "配置 " + std::to_string(next) + " 没有任何按键设为左键，鼠标仍使用配置 " + std::to_string(current) +
           "。请将配置 " + std::to_string(next) + " 的一个按键设为左键并应用一次。";
}
// The mouse is plugged in but cannot be used: `node` and the system's `reason`, and the command that
// gives this user access.
inline std::string MouseNotAccessible(UiLanguage language, std::string_view node, std::string_view reason,
                                      std::string_view command) {
    if (language == UiLanguage::English)
        return "The mouse is plugged in, but this program may not open it (" + std::string(node) + ": " +
               std::string(reason) + ").\nTo give it access, run:\n" + std::string(command) +
               "\nthen unplug the mouse and plug it in again.";
    return "鼠标已插入，但本程序无权打开它（" + std::string(node) + "：" + std::string(reason) +
           "）。\n请运行以下命令授予权限：\n" + std::string(command) + "\n然后拔下鼠标并重新插入。";
}
inline std::string MouseCollectionMissing(UiLanguage language, std::string_view node, std::string_view missing) {
    if (language == UiLanguage::English)
        return "The mouse is plugged in, but its " + std::string(missing) + " is missing (" + std::string(node) +
               "). Plug it into another USB port, or unplug it and plug it in again.";
    return "鼠标已插入，但缺少其" + std::string(missing) + "（" + std::string(node) +
           "）。请换一个 USB 接口，或拔下后重新插入。";
}
// A Wayland session without write access to /dev/uinput: `problem` is the system's reason.
inline std::string UinputNotWritable(UiLanguage language, std::string_view problem, std::string_view command) {
    if (language == UiLanguage::English)
        return "This is a Wayland session, where keys and buttons reach other programs only through /dev/uinput, "
               "which this program may not write (" +
               std::string(problem) +
               ").\nThe buttons' shortcuts and macros will reach only X11 programs. To let them reach every "
               "program, run:\n" +
               std::string(command) + "\nthen start the program again.";
    return "这是 Wayland 会话，按键和鼠标按钮只能通过 /dev/uinput 发送给其他程序，而本程序无权写入它（" +
           std::string(problem) + "）。\n按键的快捷键和宏只能送达 X11 程序。若要送达所有程序，请运行：\n" +
           std::string(command) + "\n然后重新启动本程序。";
}
// A deleted macro was played by buttons, which now have their slot's factory function.
inline std::string MacroButtonsReset(UiLanguage language, std::string_view macroName,
                                     const std::vector<std::pair<int, int>>& profileAndButton) {
    std::string list;
    for (const auto& [profile, button] : profileAndButton) {
        if (language == UiLanguage::English)
            list += "\n  profile " + std::to_string(profile) + ", button " + std::to_string(button);
        else
            list += "\n  配置 " + std::to_string(profile) + "，按键 " + std::to_string(button);
    }
    if (language == UiLanguage::English)
        return "The deleted macro \"" + std::string(macroName) +
               "\" was played by these buttons, which now have their factory function (apply to send it to the "
               "mouse):" + list;
    return "已删除的宏“" + std::string(macroName) + "”曾由以下按键播放，这些按键已恢复出厂功能（应用后发送到鼠标）：" + list;
}
inline std::string DefaultsNotRestored(UiLanguage language, std::string_view problem) {
    if (language == UiLanguage::English)
        return "The defaults were not restored and nothing was changed.\n" + std::string(problem);
    return "未恢复默认设置，未做任何更改。\n" + std::string(problem);
}
// The profiles were restored, but the macro file could not be put in its place.
inline std::string DefaultsHalfRestored(UiLanguage language, std::string_view restored, std::string_view notRestored,
                                        std::string_view problem) {
    if (language == UiLanguage::English)
        return "The profiles were restored in " + std::string(restored) + ", but the macros were not: " +
               std::string(notRestored) + " is as it was.\n" + std::string(problem);
    return "配置已在 " + std::string(restored) + " 中恢复，但宏未恢复：" + std::string(notRestored) + " 保持原样。\n" +
           std::string(problem);
}
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

// Shows nothing: for programs and tests that tell the user nothing this way.
class SilentNotifier final : public UiNotifier {
public:
    void showMessage(std::string_view) override {}
};

} // namespace krv
