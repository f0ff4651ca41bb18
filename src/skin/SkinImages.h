// SPDX-License-Identifier: MIT
#pragma once

#include "skin/SkinDescriptions.h"
#include "skin/SkinLayout.h"

#include <QHash>
#include <QImage>
#include <QRegion>
#include <QString>

#include <cstdint>
#include <filesystem>

namespace krv {

// Image file names of the skin folder (appended to the skin directory).
namespace SkinImageName {
inline constexpr const char* MainNormal = "main_normal.jpg";
inline constexpr const char* MainOver = "main_over.jpg";
inline constexpr const char* MainDown = "main_down.jpg";
inline constexpr const char* DpiSlider = "dpi_slider.jpg";
inline constexpr const char* AdvancedNormal = "advanced_normal.jpg";
inline constexpr const char* AdvancedOver = "advanced_over.jpg";
inline constexpr const char* AdvancedDown = "advanced_down.jpg";
inline constexpr const char* ColorNormal = "color_normal_pink.jpg";
inline constexpr const char* ColorOver = "color_over_red.jpg";
inline constexpr const char* ColorDown = "color_down_purple.jpg";
inline constexpr const char* ColorPreviewBlue = "color_over_blue.jpg";
inline constexpr const char* ColorPreviewOff = "color_normal_gray.jpg";
inline constexpr const char* MainMask = "main_mask.jpg";
inline constexpr const char* MenuNormal = "menu_normal.jpg";
inline constexpr const char* MenuOver = "menu_over.jpg";
inline constexpr const char* MenuDown = "menu_down.jpg";
inline constexpr const char* MenuMask = "menu_mask.jpg";
inline constexpr const char* SubMenuNormal = "advanced menu_normal.jpg";
inline constexpr const char* SubMenuOver = "advanced menu_over.jpg";
inline constexpr const char* SubMenuDown = "advanced menu_down.jpg";
inline constexpr const char* SubMenuMask = "advanced menu_mask.jpg";
inline constexpr const char* WarningNormal = "warning_normal.jpg";
inline constexpr const char* WarningOver = "warning_over.jpg";
inline constexpr const char* WarningMask = "warning_mask.jpg";
} // namespace SkinImageName

// Decodes an image file into a 32-bit RGB image; a null image when the file is missing or cannot be
// decoded (never reported).
QImage LoadSkinImage(const std::filesystem::path& file);

// The decoded skin images, kept between paints. Every lookup compares the file's size and
// modification time with those of the decoded copy, so a replaced or edited file is decoded again and
// shows at the next paint; a file that disappears gives a null image.
class SkinImageCache {
public:
    explicit SkinImageCache(std::filesystem::path directory = {}) : m_directory(std::move(directory)) {}

    void setDirectory(std::filesystem::path directory);
    const std::filesystem::path& directory() const { return m_directory; }

    // The image of `name` in the directory (shared, not copied).
    QImage image(const char* name);
    // Without the cache: decodes the file at every call, as a paint that loads its images afresh.
    bool caching() const { return m_caching; }
    void setCaching(bool on) { m_caching = on; }
    void clear() { m_entries.clear(); }

private:
    struct Entry {
        std::uintmax_t size = 0;
        std::int64_t modified = 0;
        QImage image;
    };
    std::filesystem::path m_directory;
    QHash<QString, Entry> m_entries;
    bool m_caching = true;
};

// Copies the rectangle (x, y, width, height) of source to the same place of target, unscaled,
// clipped to both images. Both images are expected in QImage::Format_RGB32 (LoadSkinImage's format);
// other formats are converted.
void CopyElementRect(QImage& target, const QImage& source, const SkinElement& element);
// Copies the source rectangle (sx, sy, width, height) to (dx, dy) of target, clipped to both images.
void CopyImageRect(QImage& target, int dx, int dy, const QImage& source, int sx, int sy, int width, int height);

// The hovered element of a layout from the down image while pressed, from the over image otherwise;
// nothing for NoHit.
void DrawElementState(QImage& target, const QImage& over, const QImage& down, const SkinLayout& layout,
                      HitIndex hovered, bool pressed);

// True when a mask pixel is cut away: red, green and blue all above 100.
constexpr bool IsMaskPixelCut(int red, int green, int blue) { return red > 100 && green > 100 && blue > 100; }

// The window shape of a mask: every pixel except the light ones (IsMaskPixelCut), assembled from
// runs of kept pixels per row, equal rows merged into one band.
QRegion ShapeFromMask(const QImage& mask);
// The same region built one light pixel at a time by exclusive-or on the full rectangle, scanning
// column by column. Slow; kept as the reference for tests and the benchmark.
QRegion ShapeFromMaskByPixels(const QImage& mask);

// The main window's shape with the macro-name edit, the event list and the macro list combined into
// it by exclusive-or (the repeat-count edit is not taken out).
QRegion RepaintRegion(const QRegion& shape, const SkinDescriptions& skin);

QRect toQRect(const SkinRect& rect);

} // namespace krv
