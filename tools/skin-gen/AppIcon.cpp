// SPDX-License-Identifier: MIT
#include "AppIcon.h"

#include "SkinArtist.h"

#include <QLinearGradient>
#include <QPainter>
#include <QTransform>

namespace krv::art {

namespace {

constexpr qreal Box = 256;

QPainterPath bevelledTile(const QRectF& r, qreal cut) {
    QPainterPath path;
    path.moveTo(r.left() + cut, r.top());
    path.lineTo(r.right(), r.top());
    path.lineTo(r.right(), r.bottom() - cut);
    path.lineTo(r.right() - cut, r.bottom());
    path.lineTo(r.left(), r.bottom());
    path.lineTo(r.left(), r.top() + cut);
    path.closeSubpath();
    return path;
}

QString number(qreal value) {
    return QString::number(value, 'g', 6);
}

QString colour(const QColor& c) {
    return c.name(QColor::HexRgb);
}

// The path as SVG path data: moves, lines, cubic curves, closed where a subpath returns to its start.
QString pathData(const QPainterPath& path) {
    QString d;
    QPointF start;
    for (int i = 0; i < path.elementCount(); ++i) {
        const QPainterPath::Element e = path.elementAt(i);
        if (e.isMoveTo()) {
            d += QStringLiteral("M%1 %2").arg(number(e.x), number(e.y));
            start = e;
        } else if (e.isLineTo()) {
            d += QStringLiteral("L%1 %2").arg(number(e.x), number(e.y));
        } else if (e.isCurveTo()) {
            const QPainterPath::Element c2 = path.elementAt(i + 1);
            const QPainterPath::Element end = path.elementAt(i + 2);
            d += QStringLiteral("C%1 %2 %3 %4 %5 %6")
                     .arg(number(e.x), number(e.y), number(c2.x), number(c2.y), number(end.x), number(end.y));
            i += 2;
        }
        const bool lastOfSubpath = i + 1 >= path.elementCount() || path.elementAt(i + 1).isMoveTo();
        const QPointF here = path.elementAt(i);
        if (lastOfSubpath && QLineF(here, start).length() < 1e-6)
            d += QLatin1Char('Z');
    }
    return d;
}

} // namespace

std::vector<IconShape> applicationIconShapes() {
    const QColor accent(255, 40, 78);
    const QColor accentDeep(150, 14, 40);
    std::vector<IconShape> shapes;

    const QRectF tile(12, 12, 232, 232);
    shapes.push_back({bevelledTile(tile, 44), QColor(40, 46, 60), QColor(11, 13, 18), accent, 8, 0});
    // The mouse, front up, in the middle of the tile.
    QTransform place;
    place.translate(128, 30);
    place.scale(0.54, 0.54);
    const QPainterPath body = place.map(mouseBody());
    shapes.push_back({body, QColor(98, 108, 130), QColor(30, 34, 44), QColor(150, 160, 182), 6, 0});

    // The split between the buttons, the wheel and the lit ring around the back, as on the pages, drawn
    // a little bolder so that they read at small sizes.
    QPainterPath split;
    split.moveTo(0, 4);
    split.lineTo(0, 138);
    split.moveTo(-71, 134);
    split.quadTo(0, 150, 71, 134);
    shapes.push_back({place.map(split), QColor(), QColor(), QColor(6, 7, 9), 4, 32});

    QPainterPath wheel;
    wheel.addRoundedRect(QRectF(-13, 14, 26, 60), 13, 13);
    shapes.push_back({place.map(wheel), accent, accentDeep, QColor(), 0, 0});

    QPainterPath ring;
    ring.moveTo(-74, 250);
    ring.cubicTo(-74, 320, -50, 346, 0, 350);
    ring.cubicTo(50, 346, 74, 320, 74, 250);
    shapes.push_back({place.map(ring), QColor(), QColor(), accent, 9, 0});
    return shapes;
}

QImage paintIcon(const std::vector<IconShape>& shapes, int size) {
    QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    p.scale(size / Box, size / Box);
    for (const IconShape& shape : shapes) {
        if (size < shape.smallestSize)
            continue;
        if (shape.fillTop.isValid()) {
            const QRectF r = shape.path.boundingRect();
            QLinearGradient gradient(r.topLeft(), r.bottomLeft());
            gradient.setColorAt(0, shape.fillTop);
            gradient.setColorAt(1, shape.fillBottom.isValid() ? shape.fillBottom : shape.fillTop);
            p.setBrush(gradient);
        } else {
            p.setBrush(Qt::NoBrush);
        }
        if (shape.stroke.isValid())
            p.setPen(QPen(shape.stroke, shape.strokeWidth, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
        else
            p.setPen(Qt::NoPen);
        p.drawPath(shape.path);
    }
    p.end();
    return image;
}

QString iconSvg(const std::vector<IconShape>& shapes) {
    QString defs;
    QString body;
    int gradients = 0;
    for (const IconShape& shape : shapes) {
        QString fill = QStringLiteral("none");
        if (shape.fillTop.isValid()) {
            const QRectF r = shape.path.boundingRect();
            const QString id = QStringLiteral("g%1").arg(++gradients);
            const QColor bottom = shape.fillBottom.isValid() ? shape.fillBottom : shape.fillTop;
            defs += QStringLiteral("<linearGradient id=\"%1\" gradientUnits=\"userSpaceOnUse\" x1=\"0\" y1=\"%2\" "
                                   "x2=\"0\" y2=\"%3\"><stop offset=\"0\" stop-color=\"%4\"/>"
                                   "<stop offset=\"1\" stop-color=\"%5\"/></linearGradient>\n")
                        .arg(id, number(r.top()), number(r.bottom()), colour(shape.fillTop), colour(bottom));
            fill = QStringLiteral("url(#%1)").arg(id);
        }
        QString stroke;
        if (shape.stroke.isValid())
            stroke = QStringLiteral(" stroke=\"%1\" stroke-width=\"%2\" stroke-linecap=\"round\" "
                                    "stroke-linejoin=\"round\"")
                         .arg(colour(shape.stroke), number(shape.strokeWidth));
        body += QStringLiteral("<path d=\"%1\" fill=\"%2\"%3/>\n").arg(pathData(shape.path), fill, stroke);
    }
    return QStringLiteral("<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"256\" height=\"256\" "
                          "viewBox=\"0 0 256 256\">\n<defs>\n") +
           defs + QStringLiteral("</defs>\n") + body + QStringLiteral("</svg>\n");
}

} // namespace krv::art
