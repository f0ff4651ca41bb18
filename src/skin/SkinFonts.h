// SPDX-License-Identifier: MIT
#pragma once

#include "settings/UiLanguage.h"

#include <QFont>

#include <filesystem>

namespace krv {

// The three fonts of all skin text, made once when the main window starts. Each is sized by its
// character cell as the skin was designed: a cell height and an average character width in pixels.
struct SkinFonts {
    QFont english; // UiFontEnglish: "Arial", cell 15 x 7
    QFont chinese; // UiFontChinese: "宋体", cell 12 x 6
    QFont digits;  // UiFontDigits: "Consolas", cell 13 x 6

    // The font of every skin text in a language.
    const QFont& text(UiLanguage language) const { return language == UiLanguage::English ? english : chinese; }
    // The font of MainLayout captions 50..53.
    const QFont& digitCaptions(UiLanguage language) const {
        return language == UiLanguage::English ? digits : chinese;
    }
};

// Makes "Arial", "宋体" and "Consolas" resolve to installed fonts (Liberation Sans, WenQuanYi Zen Hei,
// Liberation Mono): loads the fontconfig file shipped in the skin folder ("fonts.conf") into the
// running configuration, and registers the same families as Qt substitutions so that the names
// resolve even where fontconfig is not used. The font files in the skin folder's "fonts" (shipped with
// the Windows program, where these fonts are not the system's) are loaded into the program first.
// Needs a QGuiApplication; harmless to call twice.
void InstallSkinFontAliases(const std::filesystem::path& skinDirectory);

// A font of `family` whose character cell is cellHeight pixels high (ascent + descent) and whose
// average character is averageWidth pixels wide.
QFont CellSizedFont(const QString& family, int cellHeight, int averageWidth);

// Creates the three fonts (after InstallSkinFontAliases).
SkinFonts CreateSkinFonts();

} // namespace krv
