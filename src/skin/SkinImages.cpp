// SPDX-License-Identifier: MIT
#include "skin/SkinImages.h"

#include "settings/FileSystemCalls.h"

#include <QImageReader>
#include <QVector>

#include <algorithm>
#include <cstring>
#include <system_error>
#include <utility>
#include <vector>

namespace krv {

namespace fs = std::filesystem;

namespace {

QString toQString(const fs::path& path) { return QString::fromStdString(fsys::Utf8Of(path)); }

QImage asRgb32(const QImage& image) {
    return image.format() == QImage::Format_RGB32 ? image : image.convertToFormat(QImage::Format_RGB32);
}

} // namespace

QRect toQRect(const SkinRect& rect) { return QRect(rect.left, rect.top, rect.width(), rect.height()); }

QImage LoadSkinImage(const fs::path& file) {
    QImageReader reader(toQString(file));
    QImage image = reader.read();
    if (image.isNull())
        return {};
    return asRgb32(image);
}

void SkinImageCache::setDirectory(fs::path directory) {
    if (directory != m_directory)
        m_entries.clear();
    m_directory = std::move(directory);
}

QImage SkinImageCache::image(const char* name) {
    const fs::path file = m_directory / name;
    if (!m_caching)
        return LoadSkinImage(file);
    std::error_code ec;
    const std::uintmax_t size = fs::file_size(file, ec);
    if (ec) {
        m_entries.remove(QString::fromUtf8(name));
        return {};
    }
    const auto modified = static_cast<std::int64_t>(fs::last_write_time(file, ec).time_since_epoch().count());
    const QString key = QString::fromUtf8(name);
    auto found = m_entries.find(key);
    if (found != m_entries.end() && found->size == size && found->modified == modified)
        return found->image;
    Entry entry{size, modified, LoadSkinImage(file)};
    QImage image = entry.image;
    m_entries.insert(key, std::move(entry));
    return image;
}

void CopyImageRect(QImage& target, int dx, int dy, const QImage& source, int sx, int sy, int width, int height) {
    if (target.isNull() || source.isNull() || width <= 0 || height <= 0)
        return;
    if (target.format() != QImage::Format_RGB32)
        target = asRgb32(target);
    const QImage src = asRgb32(source);
    // Clip the rectangle against the source and the target (64-bit: rectangles come from files).
    std::int64_t x0 = dx, y0 = dy, s0 = sx, t0 = sy, w = width, h = height;
    if (s0 < 0) { w += s0; x0 -= s0; s0 = 0; }
    if (t0 < 0) { h += t0; y0 -= t0; t0 = 0; }
    if (x0 < 0) { w += x0; s0 -= x0; x0 = 0; }
    if (y0 < 0) { h += y0; t0 -= y0; y0 = 0; }
    w = std::min({w, std::int64_t{src.width()} - s0, std::int64_t{target.width()} - x0});
    h = std::min({h, std::int64_t{src.height()} - t0, std::int64_t{target.height()} - y0});
    if (w <= 0 || h <= 0)
        return;
    const std::size_t bytes = static_cast<std::size_t>(w) * 4;
    for (std::int64_t row = 0; row < h; ++row)
        std::memcpy(target.scanLine(static_cast<int>(y0 + row)) + x0 * 4,
                    src.constScanLine(static_cast<int>(t0 + row)) + s0 * 4, bytes);
}

void CopyElementRect(QImage& target, const QImage& source, const SkinElement& element) {
    CopyImageRect(target, element.x, element.y, source, element.x, element.y, element.width, element.height);
}

void DrawElementState(QImage& target, const QImage& over, const QImage& down, const SkinLayout& layout,
                      HitIndex hovered, bool pressed) {
    if (hovered == NoHit)
        return;
    CopyElementRect(target, pressed ? down : over, layout[hovered]);
}

QRegion ShapeFromMask(const QImage& mask) {
    if (mask.isNull())
        return {};
    const QImage image = asRgb32(mask);
    const int w = image.width();
    const int h = image.height();
    // Each row becomes a list of kept runs; consecutive rows with the same runs share one band.
    QVector<QRect> rects;
    std::vector<std::pair<int, int>> runs;
    std::vector<std::pair<int, int>> bandRuns;
    int bandTop = 0;
    auto flush = [&](int bandBottom) {
        for (const auto& [left, right] : bandRuns)
            rects.append(QRect(QPoint(left, bandTop), QPoint(right - 1, bandBottom - 1)));
    };
    for (int y = 0; y < h; ++y) {
        runs.clear();
        const auto* line = reinterpret_cast<const QRgb*>(image.constScanLine(y));
        int x = 0;
        while (x < w) {
            while (x < w && IsMaskPixelCut(qRed(line[x]), qGreen(line[x]), qBlue(line[x])))
                ++x;
            const int start = x;
            while (x < w && !IsMaskPixelCut(qRed(line[x]), qGreen(line[x]), qBlue(line[x])))
                ++x;
            if (x > start)
                runs.emplace_back(start, x);
        }
        if (y == 0 || runs != bandRuns) {
            if (y > 0)
                flush(y);
            bandRuns = runs;
            bandTop = y;
        }
    }
    if (h > 0)
        flush(h);
    QRegion region;
    region.setRects(rects.constData(), static_cast<int>(rects.size()));
    return region;
}

QRegion ShapeFromMaskByPixels(const QImage& mask) {
    if (mask.isNull())
        return {};
    const QImage image = asRgb32(mask);
    QRegion region(0, 0, image.width(), image.height());
    for (int x = 0; x < image.width(); ++x)
        for (int y = 0; y < image.height(); ++y) {
            const QRgb pixel = image.pixel(x, y);
            if (IsMaskPixelCut(qRed(pixel), qGreen(pixel), qBlue(pixel)))
                region = region.xored(QRegion(x, y, 1, 1));
        }
    return region;
}

QRegion RepaintRegion(const QRegion& shape, const SkinDescriptions& skin) {
    QRegion region = shape;
    for (const SkinRect& rect : {skin.macroNameEditRect, skin.eventListRect, skin.macroListRect})
        region = region.xored(QRegion(toQRect(rect)));
    return region;
}

} // namespace krv
