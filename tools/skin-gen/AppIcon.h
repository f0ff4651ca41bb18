// SPDX-License-Identifier: MIT
#pragma once

#include <QColor>
#include <QImage>
#include <QPainterPath>
#include <QString>

#include <vector>

namespace krv::art {

// One shape of the application icon, in a 256 x 256 box. Painted into the PNG sizes and written into
// the SVG from the same path, so that every size shows the same drawing.
struct IconShape {
    QPainterPath path;
    QColor fillTop;    // invalid: not filled
    QColor fillBottom; // invalid: filled with fillTop alone; else a vertical gradient over the path
    QColor stroke;     // invalid: no outline
    qreal strokeWidth = 0;
    int smallestSize = 0; // left out of PNG sizes below this, where it would only blur
};

// The application's icon: the skin's mouse on a bevelled tile in the skin's colours.
std::vector<IconShape> applicationIconShapes();

QImage paintIcon(const std::vector<IconShape>& shapes, int size);
QString iconSvg(const std::vector<IconShape>& shapes);

} // namespace krv::art
