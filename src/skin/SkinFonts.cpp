// SPDX-License-Identifier: MIT
#include "skin/SkinFonts.h"

#include "settings/FileSystemCalls.h"

#include <QDir>
#include <QFont>
#include <QFontDatabase>
#include <QFontMetricsF>
#include <QString>
#include <QStringList>

#include <algorithm>
#include <cmath>
#include <vector>

#ifdef KRV_HAVE_FONTCONFIG
#include <fontconfig/fontconfig.h>
#endif

namespace krv {

namespace {

// The families the skin names and the installed fonts that stand in for them (the same aliases as
// the shipped fonts.conf).
struct FontAlias {
    const char* family;
    QStringList substitutes;
};

const std::vector<FontAlias>& fontAliases() {
    static const std::vector<FontAlias> aliases{
        {"Arial", {"Liberation Sans", "Arimo", "DejaVu Sans"}},
        {"宋体", {"WenQuanYi Zen Hei", "WenQuanYi Micro Hei", "Noto Sans CJK SC", "AR PL UMing CN"}},
        {"SimSun", {"WenQuanYi Zen Hei", "WenQuanYi Micro Hei", "Noto Sans CJK SC", "AR PL UMing CN"}},
        {"Consolas", {"Liberation Mono", "Cousine", "DejaVu Sans Mono"}},
    };
    return aliases;
}

} // namespace

void InstallSkinFontAliases(const std::filesystem::path& skinDirectory) {
    // Fonts shipped beside the skin; each file once per process.
    static QStringList loaded;
    const QDir fonts(QString::fromStdString(fsys::Utf8Of(skinDirectory / "fonts")));
    for (const QString& name : fonts.entryList({QStringLiteral("*.ttf"), QStringLiteral("*.ttc"), QStringLiteral("*.otf")},
                                               QDir::Files, QDir::Name)) {
        const QString file = fonts.filePath(name);
        if (!loaded.contains(file) && QFontDatabase::addApplicationFont(file) >= 0)
            loaded.append(file);
    }
#ifdef KRV_HAVE_FONTCONFIG
    const std::filesystem::path conf = skinDirectory / "fonts.conf";
    // Loading the file twice only repeats the same aliases.
    if (std::filesystem::exists(conf))
        FcConfigParseAndLoad(FcConfigGetCurrent(), reinterpret_cast<const FcChar8*>(conf.c_str()), FcFalse);
#else
    (void)skinDirectory;
#endif
    for (const FontAlias& alias : fontAliases()) {
        const QString family = QString::fromUtf8(alias.family);
        if (QFont::substitutes(family).isEmpty())
            QFont::insertSubstitutions(family, alias.substitutes);
    }
}

QFont CellSizedFont(const QString& family, int cellHeight, int averageWidth) {
    QFont font(family);
    font.setStyleHint(QFont::SansSerif);
    font.setWeight(QFont::Normal);
    font.setPixelSize(cellHeight);
    // The cell of a font is taller than its pixel size (ascent + descent): shrink until it fits.
    const qreal measured = QFontMetricsF(font).height();
    if (measured > cellHeight) {
        const int pixelSize = std::max(6, static_cast<int>(std::lround(cellHeight * cellHeight / measured)));
        font.setPixelSize(pixelSize);
    }
    const qreal average = QFontMetricsF(font).averageCharWidth();
    if (average > 0) {
        const int stretch = static_cast<int>(std::lround(100.0 * averageWidth / average));
        if (std::abs(stretch - 100) > 3)
            font.setStretch(std::clamp(stretch, 50, 200));
    }
    font.setHintingPreference(QFont::PreferFullHinting);
    return font;
}

SkinFonts CreateSkinFonts() {
    SkinFonts fonts;
    fonts.english = CellSizedFont(QStringLiteral("Arial"), 15, 7);
    fonts.chinese = CellSizedFont(QString::fromUtf8("宋体"), 12, 6);
#ifdef Q_OS_WIN
    // Drawn by DirectWrite: GDI takes the small sizes of a CJK font from its built-in bitmaps, which
    // the width stretch above breaks (strokes go missing).
    fonts.chinese.setHintingPreference(QFont::PreferNoHinting);
#endif
    fonts.digits = CellSizedFont(QStringLiteral("Consolas"), 13, 6);
    fonts.digits.setStyleHint(QFont::Monospace);
    return fonts;
}

} // namespace krv
