// SPDX-License-Identifier: MIT
// Compares a window's picture taken by the Windows build with the Linux build's picture of it:
//   wine_gui_compare LINUX.png WINDOWS.png DIFFERENCE.png MAX_SHARE
// Both must be there, of the same size, and differ in at most MAX_SHARE (a fraction, "0.02") of their
// pixels: where the two systems draw the same text with their own font rasterisers. The skin's pixels
// are equal, so a missing or misplaced element, another page or a widget drawn by the system's style
// instead of the skin differs in far more. Prints one line per picture ("differing N of M pixels
// (P%)") and the largest block of differing pixels; writes DIFFERENCE.png: the Linux picture faded,
// the differing pixels red. Exit status 0 when the pictures match, 1 when not, 2 on a usage error.
#include <QColor>
#include <QImage>
#include <QPoint>
#include <QRect>
#include <QSize>
#include <QString>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <vector>

namespace {

bool pixelsDiffer(QRgb a, QRgb b) {
    return qRed(a) != qRed(b) || qGreen(a) != qGreen(b) || qBlue(a) != qBlue(b);
}

// The widest and tallest run of neighbouring differing pixels (eight-connected), as a size: a line of
// text differs in small separate glyphs, a moved or missing element in one large patch.
QSize largestPatch(const QImage& differing) {
    const int w = differing.width();
    const int h = differing.height();
    std::vector<char> seen(static_cast<size_t>(w) * h, 0);
    std::vector<QPoint> stack;
    QSize largest(0, 0);
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
            if (seen[static_cast<size_t>(y) * w + x] || differing.pixelIndex(x, y) == 0)
                continue;
            QRect box(x, y, 1, 1);
            stack.push_back({x, y});
            seen[static_cast<size_t>(y) * w + x] = 1;
            while (!stack.empty()) {
                const QPoint p = stack.back();
                stack.pop_back();
                box = box.united(QRect(p, QSize(1, 1)));
                for (int dy = -1; dy <= 1; ++dy) {
                    for (int dx = -1; dx <= 1; ++dx) {
                        const int nx = p.x() + dx;
                        const int ny = p.y() + dy;
                        if (nx < 0 || ny < 0 || nx >= w || ny >= h)
                            continue;
                        char& s = seen[static_cast<size_t>(ny) * w + nx];
                        if (!s && differing.pixelIndex(nx, ny) != 0) {
                            s = 1;
                            stack.push_back({nx, ny});
                        }
                    }
                }
            }
            if (box.width() * box.height() > largest.width() * largest.height())
                largest = box.size();
        }
    }
    return largest;
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 5) {
        std::fprintf(stderr, "usage: %s LINUX.png WINDOWS.png DIFFERENCE.png MAX_SHARE\n", argv[0]);
        return 2;
    }
    const QString linuxFile = QString::fromLocal8Bit(argv[1]);
    const QString windowsFile = QString::fromLocal8Bit(argv[2]);
    const QString differenceFile = QString::fromLocal8Bit(argv[3]);
    char* end = nullptr;
    const double maxShare = std::strtod(argv[4], &end);
    if (end == argv[4] || *end != '\0' || maxShare < 0 || maxShare > 1) {
        std::fprintf(stderr, "MAX_SHARE must be a fraction between 0 and 1, not \"%s\"\n", argv[4]);
        return 2;
    }
    const QImage linuxShot = QImage(linuxFile).convertToFormat(QImage::Format_RGB32);
    const QImage windowsShot = QImage(windowsFile).convertToFormat(QImage::Format_RGB32);
    if (linuxShot.isNull() || windowsShot.isNull()) {
        std::fprintf(stderr, "%s: no picture\n", argv[linuxShot.isNull() ? 1 : 2]);
        return 1;
    }
    if (linuxShot.size() != windowsShot.size()) {
        std::printf("%s: %dx%d, the Linux build's %dx%d\n", argv[2], windowsShot.width(), windowsShot.height(),
                    linuxShot.width(), linuxShot.height());
        return 1;
    }
    QImage difference(linuxShot.size(), QImage::Format_RGB32);
    QImage differing(linuxShot.size(), QImage::Format_Indexed8);
    differing.setColorTable({qRgb(0, 0, 0), qRgb(255, 255, 255)});
    long long count = 0;
    for (int y = 0; y < linuxShot.height(); ++y) {
        const auto* a = reinterpret_cast<const QRgb*>(linuxShot.constScanLine(y));
        const auto* b = reinterpret_cast<const QRgb*>(windowsShot.constScanLine(y));
        auto* out = reinterpret_cast<QRgb*>(difference.scanLine(y));
        uchar* mark = differing.scanLine(y);
        for (int x = 0; x < linuxShot.width(); ++x) {
            const bool differs = pixelsDiffer(a[x], b[x]);
            mark[x] = differs ? 1 : 0;
            if (differs) {
                ++count;
                out[x] = qRgb(255, 0, 0);
            } else {
                const int grey = 128 + qGray(a[x]) / 4;
                out[x] = qRgb(grey, grey, grey);
            }
        }
    }
    const long long total = static_cast<long long>(linuxShot.width()) * linuxShot.height();
    const double share = total > 0 ? static_cast<double>(count) / static_cast<double>(total) : 0.0;
    const QSize patch = largestPatch(differing);
    std::printf("%s: differing %lld of %lld pixels (%.3f%%, at most %.3f%%), largest patch %dx%d\n", argv[2], count,
                total, 100.0 * share, 100.0 * maxShare, patch.width(), patch.height());
    if (!difference.save(differenceFile)) {
        std::fprintf(stderr, "%s: not written\n", argv[3]);
        return 1;
    }
    return share <= maxShare ? 0 : 1;
}
