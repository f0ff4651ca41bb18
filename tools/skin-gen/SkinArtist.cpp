// SPDX-License-Identifier: MIT
#include "SkinArtist.h"

#include "settings/ProfileSettings.h"

#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QPolygonF>
#include <QRadialGradient>

#include <cmath>

namespace krv::art {

namespace {

// The palette: near-black gunmetal with one hot accent.
const QColor Outside(0, 0, 0);
const QColor Base(11, 13, 18);
const QColor Panel(16, 19, 26);
const QColor PanelEdge(35, 40, 51);
const QColor Face(24, 28, 36);
const QColor FaceHi(34, 40, 52);
const QColor Edge(50, 57, 70);
const QColor Accent(255, 40, 78);
const QColor AccentDeep(150, 14, 40);
const QColor AccentLight(255, 120, 140);
const QColor Amber(255, 170, 30);
const QColor Inset(4, 5, 7);

constexpr int HeaderBottom = 92;
constexpr int FooterTop = 500;

QRectF rectOf(const SkinElement& e) { return QRectF(e.x, e.y, e.width, e.height); }
bool present(const SkinElement& e) { return e.width > 0 && e.height > 0; }

// A rectangle with its top-left and bottom-right corners cut at 45 degrees.
QPainterPath bevel(const QRectF& r, qreal c) {
    c = std::min({c, r.width() / 2, r.height() / 2});
    QPainterPath path;
    path.moveTo(r.left() + c, r.top());
    path.lineTo(r.right(), r.top());
    path.lineTo(r.right(), r.bottom() - c);
    path.lineTo(r.right() - c, r.bottom());
    path.lineTo(r.left(), r.bottom());
    path.lineTo(r.left(), r.top() + c);
    path.closeSubpath();
    return path;
}

// A parallelogram leaning right, for tabs.
QPainterPath slant(const QRectF& r, qreal lean) {
    QPainterPath path;
    path.moveTo(r.left() + lean, r.top());
    path.lineTo(r.right(), r.top());
    path.lineTo(r.right() - lean, r.bottom());
    path.lineTo(r.left(), r.bottom());
    path.closeSubpath();
    return path;
}

void glow(QPainter& p, const QPainterPath& path, QColor color, qreal spread = 6) {
    p.save();
    p.setBrush(Qt::NoBrush);
    for (int i = 3; i >= 1; --i) {
        color.setAlpha(28 + (3 - i) * 18);
        p.setPen(QPen(color, spread * i / 3.0, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
        p.drawPath(path);
    }
    p.restore();
}

QLinearGradient vertical(const QRectF& r, const QColor& top, const QColor& bottom) {
    QLinearGradient g(r.topLeft(), r.bottomLeft());
    g.setColorAt(0, top);
    g.setColorAt(1, bottom);
    return g;
}

// One face in one state: normal (dark, quiet edge), over (lighter, hot edge with glow), down (filled
// with the accent). `accentNormal` gives a normal face an accent edge (the primary action).
void drawFace(QPainter& p, const QPainterPath& shape, State state, bool accentNormal = false) {
    const QRectF r = shape.boundingRect();
    p.save();
    switch (state) {
    case State::Normal:
        p.setPen(QPen(accentNormal ? AccentDeep.lighter(150) : Edge, 1.2));
        p.setBrush(vertical(r, FaceHi, Face));
        p.drawPath(shape);
        break;
    case State::Over:
        glow(p, shape, Accent, 7);
        p.setPen(QPen(AccentLight, 1.4));
        p.setBrush(vertical(r, QColor(52, 58, 74), QColor(32, 36, 48)));
        p.drawPath(shape);
        break;
    case State::Down:
        glow(p, shape, Accent, 9);
        p.setPen(QPen(AccentLight, 1.4));
        p.setBrush(vertical(r, Accent, AccentDeep));
        p.drawPath(shape);
        // a bright top edge, as if lit from above
        p.setPen(QPen(QColor(255, 200, 210, 150), 1));
        p.drawLine(QPointF(r.left() + 6, r.top() + 1.5), QPointF(r.right() - 2, r.top() + 1.5));
        break;
    }
    p.restore();
}

void insetBox(QPainter& p, const QRectF& r) {
    p.save();
    p.setPen(QPen(PanelEdge, 1));
    p.setBrush(Inset);
    p.drawPath(bevel(r.adjusted(-2, -2, 2, 2), 5));
    p.restore();
}

// The V emblem of the brand, centred on c, `size` wide.
void emblem(QPainter& p, QPointF c, qreal size, const QColor& from, const QColor& to) {
    const qreal s = size / 36.0;
    QPolygonF v;
    for (QPointF q : {QPointF(-18, -13), QPointF(-8, -13), QPointF(0, 3), QPointF(8, -13), QPointF(18, -13),
                      QPointF(0, 15)})
        v << c + q * s;
    QLinearGradient g(c + QPointF(0, -13 * s), c + QPointF(0, 15 * s));
    g.setColorAt(0, from);
    g.setColorAt(1, to);
    p.save();
    p.setPen(Qt::NoPen);
    p.setBrush(g);
    p.drawPolygon(v);
    p.restore();
}

// The window outline: chamfered corners and a shallow notch in the bottom edge.
QPolygonF outline(QSize size) {
    const qreal w = size.width();
    const qreal h = size.height();
    const qreal c = 20;
    return QPolygonF({QPointF(c, 0), QPointF(w - c, 0), QPointF(w, c), QPointF(w, h - c), QPointF(w - c, h),
                      QPointF(w * 0.64, h), QPointF(w * 0.64 - 10, h - 10), QPointF(w * 0.36 + 10, h - 10),
                      QPointF(w * 0.36, h), QPointF(c, h), QPointF(0, h - c), QPointF(0, c)});
}

void carbon(QPainter& p, const QRectF& area) {
    p.save();
    p.setClipRect(area);
    p.setPen(QPen(QColor(255, 255, 255, 7), 1));
    for (qreal x = area.left() - area.height(); x < area.right(); x += 5)
        p.drawLine(QPointF(x, area.bottom()), QPointF(x + area.height(), area.top()));
    p.restore();
}

// Everything the three pages share: body, header with the emblem, footer, the frame's lit edge.
void chrome(QPainter& p, QSize size) {
    const QPolygonF shape = outline(size);
    p.fillRect(QRect(QPoint(0, 0), size), Outside);
    p.setPen(Qt::NoPen);
    p.setBrush(Base);
    p.drawPolygon(shape);
    p.save();
    QPainterPath clip;
    clip.addPolygon(shape);
    p.setClipPath(clip);
    const QRectF header(0, 0, size.width(), HeaderBottom);
    p.fillRect(header, vertical(header, QColor(26, 30, 40), QColor(12, 14, 19)));
    carbon(p, header);
    const QRectF footer(0, FooterTop, size.width(), size.height() - FooterTop);
    p.fillRect(footer, vertical(footer, QColor(13, 15, 20), QColor(22, 25, 33)));
    carbon(p, footer);
    // the lit seam under the header
    QLinearGradient seam(0, 0, size.width(), 0);
    seam.setColorAt(0, QColor(255, 40, 78, 0));
    seam.setColorAt(0.25, Accent);
    seam.setColorAt(0.75, Accent);
    seam.setColorAt(1, QColor(255, 40, 78, 0));
    p.fillRect(QRectF(0, HeaderBottom - 2, size.width(), 2), seam);
    seam.setColorAt(0.25, QColor(255, 40, 78, 60));
    seam.setColorAt(0.75, QColor(255, 40, 78, 60));
    p.fillRect(QRectF(0, HeaderBottom, size.width(), 4), seam);
    // footer stripes at the left
    p.setPen(Qt::NoPen);
    for (int i = 0; i < 6; ++i) {
        p.setBrush(QColor(255, 40, 78, 150 - i * 22));
        p.drawPolygon(QPolygonF({QPointF(24 + i * 14, size.height() - 22), QPointF(32 + i * 14, size.height() - 22),
                                 QPointF(40 + i * 14, size.height() - 38), QPointF(32 + i * 14, size.height() - 38)}));
    }
    p.restore();
    // the frame
    p.setBrush(Qt::NoBrush);
    p.setPen(QPen(QColor(60, 66, 80), 2));
    p.drawPolygon(shape);
    p.setPen(QPen(QColor(255, 40, 78, 120), 1));
    p.drawPolyline(QPolygonF({QPointF(1, 60), QPointF(1, 21), QPointF(21, 1), QPointF(180, 1)}));
    p.drawPolyline(QPolygonF({QPointF(size.width() - 1, size.height() - 60), QPointF(size.width() - 1, size.height() - 21),
                              QPointF(size.width() - 21, size.height() - 1), QPointF(size.width() - 180, size.height() - 1)}));
    emblem(p, QPointF(38, 32), 34, AccentLight, AccentDeep);
}

void panel(QPainter& p, const QRectF& r, std::initializer_list<qreal> separators = {}) {
    p.save();
    p.setPen(QPen(PanelEdge, 1));
    p.setBrush(Panel);
    p.drawPath(bevel(r, 14));
    p.setPen(QPen(PanelEdge, 1, Qt::SolidLine));
    for (qreal x : separators)
        p.drawLine(QPointF(x, r.top() + 12), QPointF(x, r.bottom() - 12));
    p.restore();
}

void heading(QPainter& p, const SkinElement& e) {
    if (!present(e))
        return;
    const QRectF r = rectOf(e);
    p.save();
    QLinearGradient line(r.left(), 0, r.right(), 0);
    line.setColorAt(0, QColor(255, 40, 78, 200));
    line.setColorAt(0.3, QColor(70, 78, 96));
    line.setColorAt(1, QColor(70, 78, 96, 0));
    p.fillRect(QRectF(r.left(), r.bottom() + 2, r.width(), 1), line);
    p.setPen(Qt::NoPen);
    p.setBrush(Accent);
    p.drawPolygon(QPolygonF({QPointF(r.left(), r.top() + 3), QPointF(r.left() + 4, r.top() + 3),
                             QPointF(r.left() + 4, r.bottom() - 3), QPointF(r.left(), r.bottom() - 3)}));
    p.restore();
}

void checkbox(QPainter& p, const QRectF& element, State state) {
    const QRectF box(element.left() + 10, element.center().y() - 6, 12, 12);
    p.save();
    p.setPen(QPen(state == State::Normal ? Edge.lighter(140) : QColor(255, 230, 235), 1.2));
    p.setBrush(state == State::Down ? QColor(255, 255, 255, 60) : QColor(0, 0, 0, 90));
    p.drawRect(box);
    if (state == State::Down) {
        p.setPen(QPen(Qt::white, 2, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
        p.drawPolyline(QPolygonF({box.topLeft() + QPointF(2.5, 6), box.topLeft() + QPointF(5, 9),
                                  box.topLeft() + QPointF(10, 2.5)}));
    }
    p.restore();
}

void chevronDown(QPainter& p, QPointF c, const QColor& color) {
    p.save();
    p.setPen(QPen(color, 2, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.drawPolyline(QPolygonF({c + QPointF(-5, -2.5), c + QPointF(0, 2.5), c + QPointF(5, -2.5)}));
    p.restore();
}

void chevronRight(QPainter& p, QPointF c, const QColor& color) {
    p.save();
    p.setPen(QPen(color, 2, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.drawPolyline(QPolygonF({c + QPointF(-2.5, -5), c + QPointF(2.5, 0), c + QPointF(-2.5, 5)}));
    p.restore();
}

} // namespace

QPainterPath mouseBody() {
    QPainterPath body;
    body.moveTo(-44, 8);
    body.cubicTo(-40, -2, 40, -2, 44, 8);
    body.cubicTo(62, 40, 72, 120, 78, 200);
    body.cubicTo(84, 280, 76, 330, 52, 352);
    body.cubicTo(30, 366, -30, 366, -52, 352);
    body.cubicTo(-76, 330, -84, 280, -78, 200);
    body.cubicTo(-72, 120, -62, 40, -44, 8);
    body.closeSubpath();
    return body;
}

namespace {

// Draws the mouse with its origin at `top` (front centre), scaled; `light` is the colour of its
// lighting (invalid: lights off).
void drawMouse(QPainter& p, QPointF top, qreal scale, const QColor& light) {
    p.save();
    p.translate(top);
    p.scale(scale, scale);
    const QPainterPath body = mouseBody();
    // shadow and glow under the mouse
    QRadialGradient under(QPointF(0, 200), 190);
    const QColor halo = light.isValid() ? light : QColor(40, 44, 52);
    under.setColorAt(0, QColor(halo.red(), halo.green(), halo.blue(), light.isValid() ? 110 : 40));
    under.setColorAt(1, QColor(halo.red(), halo.green(), halo.blue(), 0));
    p.setPen(Qt::NoPen);
    p.setBrush(under);
    p.drawEllipse(QPointF(0, 200), 190, 210);
    if (light.isValid())
        glow(p, body, light, 14);
    QLinearGradient shell(-80, 0, 80, 0);
    shell.setColorAt(0, QColor(44, 49, 60));
    shell.setColorAt(0.45, QColor(30, 34, 43));
    shell.setColorAt(1, QColor(16, 18, 24));
    p.setBrush(shell);
    p.setPen(QPen(QColor(72, 80, 96), 1.5));
    p.drawPath(body);
    // the lit ring around the back
    QPainterPath ring;
    ring.moveTo(-74, 250);
    ring.cubicTo(-74, 320, -50, 346, 0, 350);
    ring.cubicTo(50, 346, 74, 320, 74, 250);
    const QColor ringColor = light.isValid() ? light : QColor(58, 62, 70);
    if (light.isValid())
        glow(p, ring, light, 10);
    p.setBrush(Qt::NoBrush);
    p.setPen(QPen(ringColor, 3, Qt::SolidLine, Qt::RoundCap));
    p.drawPath(ring);
    // the split between the two main buttons and the palm
    p.setPen(QPen(QColor(6, 7, 9), 2.2));
    p.drawLine(QPointF(0, 2), QPointF(0, 140));
    QPainterPath split;
    split.moveTo(-71, 134);
    split.quadTo(0, 150, 71, 134);
    p.drawPath(split);
    p.setPen(QPen(QColor(255, 255, 255, 26), 1));
    p.drawLine(QPointF(-2, 4), QPointF(-2, 138));
    // wheel with its ridges
    p.setPen(QPen(QColor(8, 9, 12), 1.5));
    p.setBrush(QColor(20, 22, 28));
    p.drawRoundedRect(QRectF(-10, 10, 20, 44), 8, 8);
    p.setPen(QPen(QColor(90, 98, 114), 1));
    for (int i = 0; i < 8; ++i)
        p.drawLine(QPointF(-5, 15 + i * 5), QPointF(5, 15 + i * 5));
    // DPI buttons, the side buttons and the fire key
    p.setPen(QPen(QColor(8, 9, 12), 1.2));
    p.setBrush(QColor(36, 40, 50));
    p.drawRoundedRect(QRectF(-8, 82, 16, 24), 4, 4);
    p.drawRoundedRect(QRectF(-8, 116, 16, 24), 4, 4);
    p.setBrush(QColor(46, 51, 63));
    p.drawRoundedRect(QRectF(-84, 148, 14, 32), 5, 5);
    p.drawRoundedRect(QRectF(-84, 188, 14, 32), 5, 5);
    p.setBrush(AccentDeep);
    p.drawRoundedRect(QRectF(-80, 82, 12, 26), 4, 4);
    // the emblem on the palm
    emblem(p, QPointF(0, 262), 34, light.isValid() ? light.lighter(140) : QColor(80, 86, 98),
           light.isValid() ? light.darker(160) : QColor(40, 44, 52));
    p.restore();
}

void drawMark(QPainter& p, const QRectF& r, State state) {
    const QPointF c = r.center();
    const qreal radius = r.width() / 2 - 3;
    p.save();
    QPainterPath circle;
    circle.addEllipse(c, radius, radius);
    switch (state) {
    case State::Normal:
        p.setPen(QPen(QColor(120, 128, 144), 1.5));
        p.setBrush(QColor(10, 12, 16, 200));
        p.drawPath(circle);
        p.setPen(Qt::NoPen);
        p.setBrush(QColor(120, 128, 144));
        p.drawEllipse(c, 2.5, 2.5);
        break;
    case State::Over:
    case State::Down: {
        const QColor hot = state == State::Over ? Accent : Amber;
        glow(p, circle, hot, 10);
        p.setPen(QPen(hot.lighter(130), 2));
        p.setBrush(QColor(hot.red(), hot.green(), hot.blue(), 90));
        p.drawPath(circle);
        p.setPen(Qt::NoPen);
        p.setBrush(Qt::white);
        p.drawEllipse(c, 3.5, 3.5);
        break;
    }
    }
    p.restore();
}

void drawStageMark(QPainter& p, const QRectF& r, int stage, State state) {
    const QPointF c = r.center();
    p.save();
    if (state == State::Down) {
        const QColor color = stageColor(stage);
        QPainterPath dot;
        dot.addEllipse(c, 7, 7);
        glow(p, dot, color, 12);
        QRadialGradient g(c - QPointF(2, 2), 9);
        g.setColorAt(0, color.lighter(170));
        g.setColorAt(1, color);
        p.setPen(QPen(color.lighter(150), 1));
        p.setBrush(g);
        p.drawPath(dot);
    } else {
        p.setPen(QPen(QColor(84, 92, 108), 1.5));
        p.setBrush(QColor(6, 7, 10));
        p.drawEllipse(c, 7, 7);
    }
    p.restore();
}

void drawKnob(QPainter& p, const QRectF& r, bool ghost, bool pressed = false) {
    const QRectF knob(r.center().x() - 7, r.top() + 2, 14, r.height() - 4);
    QPainterPath shape;
    shape.addRoundedRect(knob, 4, 4);
    p.save();
    if (ghost) {
        p.setPen(QPen(pressed ? AccentLight : QColor(255, 40, 78, 170), 1.5));
        p.setBrush(pressed ? QColor(255, 40, 78, 120) : QColor(255, 40, 78, 40));
        p.drawPath(shape);
    } else {
        glow(p, shape, Accent, 8);
        QLinearGradient g(knob.topLeft(), knob.bottomLeft());
        g.setColorAt(0, QColor(255, 110, 130));
        g.setColorAt(1, AccentDeep);
        p.setPen(QPen(QColor(255, 200, 210), 1.2));
        p.setBrush(g);
        p.drawPath(shape);
        p.setPen(QPen(Qt::white, 1.5));
        p.drawLine(QPointF(knob.center().x(), knob.top() + 4), QPointF(knob.center().x(), knob.bottom() - 4));
    }
    p.restore();
}

void ledIcon(QPainter& p, const QRectF& element, int mode, State state) {
    const QPointF c(element.left() + 26, element.center().y());
    p.save();
    p.setPen(Qt::NoPen);
    const qreal dim = state == State::Down ? 1.0 : 0.8;
    auto dot = [&](QPointF at, QColor color, qreal radius) {
        color.setAlphaF(dim);
        p.setBrush(color);
        p.drawEllipse(at, radius, radius);
    };
    switch (mode) {
    case 0:
        for (int i = 0; i < 4; ++i)
            dot(c + QPointF(std::cos(i * M_PI / 2) * 7, std::sin(i * M_PI / 2) * 7), stageColor(i), 3.5);
        break;
    case 1:
        for (int i = 0; i < 4; ++i)
            dot(c + QPointF(-9 + i * 6, 0), stageColor(i), 2.8);
        p.setPen(QPen(QColor(255, 255, 255, 160), 1.2));
        p.drawLine(c + QPointF(-12, 7), c + QPointF(12, 7));
        p.drawLine(c + QPointF(-12, -7), c + QPointF(12, -7));
        break;
    case 2:
        dot(c, stageColor(0), 6);
        break;
    default:
        p.setPen(QPen(QColor(150, 156, 168), 1.6));
        p.setBrush(Qt::NoBrush);
        p.drawEllipse(c, 6, 6);
        p.drawLine(c + QPointF(-4.5, 4.5), c + QPointF(4.5, -4.5));
        break;
    }
    p.restore();
}

void minimizeIcon(QPainter& p, const QRectF& r) {
    p.save();
    p.setPen(QPen(QColor(230, 232, 238), 2, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(QPointF(r.center().x() - 6, r.center().y() + 4), QPointF(r.center().x() + 6, r.center().y() + 4));
    p.restore();
}

void closeIcon(QPainter& p, const QRectF& r) {
    p.save();
    p.setPen(QPen(QColor(230, 232, 238), 2, Qt::SolidLine, Qt::RoundCap));
    const QPointF c = r.center();
    p.drawLine(c + QPointF(-5, -5), c + QPointF(5, 5));
    p.drawLine(c + QPointF(-5, 5), c + QPointF(5, -5));
    p.restore();
}

QPainter* begin(QImage& image, QPainter& p) {
    p.begin(&image);
    p.setRenderHint(QPainter::Antialiasing);
    return &p;
}

} // namespace

QColor stageColor(int stage) {
    switch (stage) {
    case 0: return QColor(40, 140, 255);  // blue
    case 1: return QColor(255, 90, 200);  // pink
    case 2: return QColor(255, 36, 36);   // red
    default: return QColor(160, 80, 255); // purple
    }
}

QColor lightsOffColor() { return QColor(); }

SkinArtist::SkinArtist(const SkinDescriptions& skin, QSize mainSize) : m_skin(skin), m_size(mainSize) {}

namespace {

// The top bar, the same on every page.
void topBar(QPainter& p, const SkinLayout& main, State state) {
    using namespace MainElement;
    for (int i = 0; i <= TopBarLast; ++i) {
        const SkinElement& e = main[static_cast<std::size_t>(i)];
        if (!present(e) || i <= 1)
            continue;
        const QRectF r = rectOf(e);
        if (i >= ProfileTabFirst && i < ProfileTabFirst + 5)
            drawFace(p, slant(r, 8), state);
        else if (i >= PageTabFirst && i <= PageTabFirst + 2)
            drawFace(p, slant(r, 12), state);
        else if (i == Apply)
            drawFace(p, bevel(r, 10), state, true);
        else
            drawFace(p, bevel(r, i == Cancel ? 10 : 6), state);
        if (i == Minimize)
            minimizeIcon(p, r);
        if (i == MainElement::HideToTray)
            closeIcon(p, r);
    }
}

} // namespace

QImage SkinArtist::mainPage(State state) const {
    using namespace MainElement;
    QImage image(m_size, QImage::Format_RGB32);
    QPainter p;
    begin(image, p);
    chrome(p, m_size);
    const SkinLayout& m = m_skin.mainLayout;
    // Three columns: the button slots under heading 43, the DPI stages under heading 44 and, between
    // them, the picture of the mouse.
    const qreal buttonsEnd = m[43].x + m[43].width + 12;
    const qreal stagesStart = m[44].x - 8;
    panel(p, QRectF(8, 96, m_size.width() - 16, 400), {buttonsEnd, stagesStart});
    for (int h : {43, 44, 45})
        heading(p, m[static_cast<std::size_t>(h)]);
    topBar(p, m, state);

    // button slots with their number badges
    for (int slot = 0; slot < ButtonSlotCount; ++slot) {
        const SkinElement& e = m[static_cast<std::size_t>(ButtonSlotFirst + slot)];
        const QRectF r = rectOf(e);
        drawFace(p, bevel(r, 8), state);
        chevronDown(p, QPointF(r.right() - 16, r.center().y()), state == State::Normal ? Edge.lighter(170) : Qt::white);
        p.setPen(QPen(state == State::Normal ? QColor(255, 40, 78, 160) : QColor(255, 255, 255, 200), 3));
        p.drawLine(QPointF(r.left() + 1.5, r.top() + 9), QPointF(r.left() + 1.5, r.bottom() - 3));
        const SkinElement& number = m[static_cast<std::size_t>(33 + slot)];
        if (present(number)) {
            const QRectF n = rectOf(number).adjusted(2, 5, -2, -5);
            p.setPen(QPen(PanelEdge.lighter(150), 1));
            p.setBrush(QColor(10, 12, 16));
            p.drawPath(bevel(n, 6));
        }
    }

    // the mouse and the marks of its eight buttons
    drawMouse(p, QPointF((buttonsEnd + stagesStart) / 2, 118), 1.0, QColor(255, 40, 78));
    for (int b = 1; b <= ButtonSlotCount; ++b) {
        const SkinElement& e = m[static_cast<std::size_t>(ButtonMarkBase + b)];
        if (present(e))
            drawMark(p, rectOf(e), state);
    }

    // DPI stages: select button with its stage light, enable switch, five-position track
    for (int s = 0; s < DpiStageCount; ++s) {
        const SkinElement& select = m[static_cast<std::size_t>(StageSelectFirst + s)];
        drawFace(p, bevel(rectOf(select), 8), state);
        drawStageMark(p, rectOf(m[static_cast<std::size_t>(StageMarkFirst + s)]), s, state);
        drawFace(p, bevel(rectOf(m[static_cast<std::size_t>(StageEnableFirst + s)]), 5), state);
        // the track: a groove through the centres of the five positions
        qreal left = 1e9, right = -1e9, y = 0;
        for (int v = 0; v < DpiPositionCount; ++v) {
            const QRectF r = rectOf(m[static_cast<std::size_t>(SliderFirst + 5 * s + v)]);
            left = std::min(left, r.center().x());
            right = std::max(right, r.center().x());
            y = r.center().y();
        }
        p.setPen(Qt::NoPen);
        p.setBrush(Inset);
        p.drawRoundedRect(QRectF(left - 4, y - 3, right - left + 8, 6), 3, 3);
        QLinearGradient fill(left, 0, right, 0);
        fill.setColorAt(0, QColor(255, 40, 78, 90));
        fill.setColorAt(1, QColor(255, 40, 78, 200));
        p.setBrush(fill);
        p.drawRoundedRect(QRectF(left - 2, y - 1, right - left + 4, 2), 1, 1);
        for (int v = 0; v < DpiPositionCount; ++v) {
            const QRectF r = rectOf(m[static_cast<std::size_t>(SliderFirst + 5 * s + v)]);
            p.setBrush(QColor(140, 148, 164));
            p.drawEllipse(QPointF(r.center().x(), y), 2.2, 2.2);
            if (state != State::Normal)
                drawKnob(p, r, true, state == State::Down);
        }
    }
    for (int w = 0; w < 2; ++w)
        drawFace(p, bevel(rectOf(m[static_cast<std::size_t>(WheelFirst + w)]), 8), state);
    p.end();
    return image;
}

QImage SkinArtist::sliderKnob() const {
    using namespace MainElement;
    // The knob over the page's own track, cut out of the normal image so that it sits seamlessly.
    QImage page = mainPage(State::Normal);
    const SkinElement& e = m_skin.mainLayout[SliderFirst + 1];
    QPainter p;
    begin(page, p);
    drawKnob(p, rectOf(e), false);
    p.end();
    return page.copy(e.x, e.y, std::max(1, e.width), std::max(1, e.height));
}

QImage SkinArtist::advancedPage(State state) const {
    using namespace AdvancedElement;
    QImage image(m_size, QImage::Format_RGB32);
    QPainter p;
    begin(image, p);
    chrome(p, m_size);
    const SkinLayout& a = m_skin.advancedLayout;
    panel(p, QRectF(8, 96, m_size.width() - 16, 400), {318, 544});
    topBar(p, m_skin.mainLayout, state);
    for (int h : {28, 29, 34, 35, 36})
        heading(p, a[static_cast<std::size_t>(h)]);
    for (const SkinRect& r : {m_skin.macroListRect, m_skin.eventListRect, m_skin.macroNameEditRect,
                              m_skin.repeatCountEditRect})
        insetBox(p, QRectF(r.left, r.top, r.width(), r.height()));
    for (int i : {ImportMacros, ExportMacros, AddMacro, DeleteMacro, Record, SaveMacros, FirePlus, FireMinus})
        drawFace(p, bevel(rectOf(a[static_cast<std::size_t>(i)]), 7), state);
    // the record button carries a red dot at its left
    {
        const QRectF r = rectOf(a[Record]);
        p.setPen(Qt::NoPen);
        p.setBrush(state == State::Down ? QColor(Qt::white) : Accent);
        p.drawEllipse(QPointF(r.left() + 14, r.center().y()), 4.5, 4.5);
    }
    for (int i : {Repeat, MacroMode}) {
        const QRectF r = rectOf(a[static_cast<std::size_t>(i)]);
        drawFace(p, bevel(r, 7), state);
        checkbox(p, r, state);
    }
    for (int i = 0; i < 10; ++i) {
        for (int first : {DpiSpeedFirst, WheelSpeedFirst}) {
            const QRectF r = rectOf(a[static_cast<std::size_t>(first + i)]);
            drawFace(p, bevel(r, 5), state);
            // a rising level mark under each step
            p.setPen(Qt::NoPen);
            p.setBrush(state == State::Normal ? QColor(70, 78, 96) : QColor(255, 255, 255, 180));
            const qreal h = 2 + i * 0.6;
            p.drawRect(QRectF(r.left() + 4, r.bottom() - 3 - h, r.width() - 8, 1.2));
        }
    }
    for (int i : {FireReadout, DownCount, UpCount})
        insetBox(p, rectOf(a[static_cast<std::size_t>(i)]).adjusted(2, 2, -2, -2));
    // the fire-time bar: a groove with ticks; pressed, a full hot gradient (the page shows its left part)
    {
        const QRectF r = rectOf(a[FireBar]);
        p.setPen(QPen(state == State::Over ? AccentLight : PanelEdge.lighter(130), 1));
        p.setBrush(Inset);
        p.drawRect(r);
        if (state == State::Down) {
            QLinearGradient g(r.left(), 0, r.right(), 0);
            g.setColorAt(0, AccentDeep);
            g.setColorAt(0.7, Accent);
            g.setColorAt(1, Amber);
            p.setPen(Qt::NoPen);
            p.setBrush(g);
            p.drawRect(r.adjusted(1, 1, -1, -1));
            p.setBrush(QColor(255, 255, 255, 70));
            p.drawRect(QRectF(r.left() + 1, r.top() + 1, r.width() - 2, 3));
        }
        p.setPen(QPen(state == State::Down ? QColor(255, 255, 255, 90) : QColor(60, 66, 80), 1));
        for (int t = 1; t < 10; ++t) {
            const qreal x = r.left() + r.width() * t / 10.0;
            p.drawLine(QPointF(x, r.bottom() - (t == 5 ? 9 : 5)), QPointF(x, r.bottom() - 1));
        }
    }
    p.end();
    return image;
}

QImage SkinArtist::colorPage(State state, const QColor& preview) const {
    using namespace ColorElement;
    QImage image(m_size, QImage::Format_RGB32);
    QPainter p;
    begin(image, p);
    chrome(p, m_size);
    const SkinLayout& c = m_skin.colorLayout;
    panel(p, QRectF(8, 96, m_size.width() - 16, 400), {330, 650});
    topBar(p, m_skin.mainLayout, state);
    for (int h : {5, 6, 7, 8})
        heading(p, c[static_cast<std::size_t>(h)]);
    for (int mode = 0; mode < 4; ++mode) {
        const QRectF r = rectOf(c[static_cast<std::size_t>(LedModeFirst + mode)]);
        drawFace(p, bevel(r, 10), state);
        ledIcon(p, r, mode, state);
    }
    // the hint panel (hit-tested, no action): a quiet box with an information mark
    {
        const QRectF r = rectOf(c[4]);
        p.setPen(QPen(state == State::Normal ? PanelEdge : Edge.lighter(150), 1, Qt::DashLine));
        p.setBrush(state == State::Normal ? QColor(12, 14, 19) : QColor(22, 26, 34));
        p.drawPath(bevel(r, 8));
        p.setPen(QPen(QColor(120, 128, 144), 1.5));
        p.setBrush(Qt::NoBrush);
        const QPointF i(r.left() + 18, r.center().y());
        p.drawEllipse(i, 7, 7);
        p.drawLine(i + QPointF(0, -1), i + QPointF(0, 4));
        p.drawPoint(i + QPointF(0, -3.5));
    }
    // the DPI read-out
    {
        const QRectF r = rectOf(c[DpiReadout]);
        QPainterPath box = bevel(r, 10);
        glow(p, box, QColor(255, 40, 78), 6);
        p.setPen(QPen(AccentDeep.lighter(160), 1.2));
        p.setBrush(Inset);
        p.drawPath(box);
    }
    // the stage colours
    {
        const QRectF label = rectOf(c[10]);
        for (int s = 0; s < 4; ++s) {
            const QRectF sw(label.left() + 6 + s * 42, label.top() - 40, 32, 30);
            QPainterPath path = bevel(sw, 6);
            glow(p, path, stageColor(s), 6);
            p.setPen(QPen(stageColor(s).lighter(150), 1));
            p.setBrush(vertical(sw, stageColor(s), stageColor(s).darker(180)));
            p.drawPath(path);
        }
    }
    // the LED preview: the mouse lit in the preview colour
    {
        const QRectF r = rectOf(c[Preview]);
        p.save();
        p.setClipRect(r);
        p.fillRect(r, Panel);
        drawMouse(p, QPointF(r.center().x(), r.top() + 14), (r.height() - 28) / 362.0, preview);
        p.restore();
    }
    p.end();
    return image;
}

QImage SkinArtist::mainMask() const {
    QImage mask(m_size, QImage::Format_RGB32);
    mask.fill(Qt::white);
    QPainter p(&mask);
    p.setPen(Qt::NoPen);
    p.setBrush(Qt::black);
    p.drawPolygon(outline(m_size));
    return mask;
}

namespace {
QPolygonF warningOutline(QSize size) {
    const qreal w = size.width();
    const qreal h = size.height();
    return QPolygonF({QPointF(16, 0), QPointF(w, 0), QPointF(w, h - 16), QPointF(w - 16, h), QPointF(0, h),
                      QPointF(0, 16)});
}
} // namespace

QImage SkinArtist::warning(State state) const {
    const QSize size = warningSize();
    QImage image(size, QImage::Format_RGB32);
    QPainter p;
    begin(image, p);
    image.fill(Qt::black);
    const QPolygonF shape = warningOutline(size);
    p.setPen(Qt::NoPen);
    p.setBrush(vertical(QRectF(0, 0, size.width(), size.height()), QColor(26, 30, 40), QColor(11, 13, 18)));
    p.drawPolygon(shape);
    carbon(p, QRectF(0, 0, size.width(), 30));
    p.fillRect(QRectF(0, 30, size.width(), 2), Accent);
    // the warning sign
    QPolygonF sign({QPointF(30, 6), QPointF(42, 26), QPointF(18, 26)});
    p.setBrush(Amber);
    p.drawPolygon(sign);
    p.setPen(QPen(QColor(20, 20, 20), 2.2, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(QPointF(30, 12), QPointF(30, 19));
    p.drawPoint(QPointF(30, 23));
    p.setPen(QPen(QColor(255, 40, 78, 150), 1));
    p.setBrush(Qt::NoBrush);
    p.drawPolygon(shape);
    const SkinLayout& w = m_skin.warningLayout;
    insetBox(p, rectOf(w[WarningElement::Message]));
    drawFace(p, bevel(rectOf(w[WarningElement::Confirm]), 8), state, true);
    drawFace(p, bevel(rectOf(w[WarningElement::Cancel]), 8), state);
    p.end();
    return image;
}

QImage SkinArtist::warningMask() const {
    QImage mask(warningSize(), QImage::Format_RGB32);
    mask.fill(Qt::white);
    QPainter p(&mask);
    p.setPen(Qt::NoPen);
    p.setBrush(Qt::black);
    p.drawPolygon(warningOutline(warningSize()));
    return mask;
}

QImage SkinArtist::menu(State state, int width, int bandHeight, int bands, int firstGroupBand) {
    QImage image(width, bandHeight * bands, QImage::Format_RGB32);
    QPainter p;
    begin(image, p);
    image.fill(QColor(14, 16, 22));
    for (int b = 0; b < bands; ++b) {
        const QRectF r(0, b * bandHeight, width, bandHeight);
        p.fillRect(r, vertical(r, QColor(24, 28, 36), QColor(15, 17, 23)));
        if (state != State::Normal) {
            const QRectF inner = r.adjusted(1, 1, -1, -1);
            if (state == State::Down)
                p.fillRect(inner, vertical(inner, Accent, AccentDeep));
            else
                p.fillRect(inner, vertical(inner, QColor(52, 58, 74), QColor(34, 38, 50)));
            p.fillRect(QRectF(r.left(), r.top(), 4, r.height()), state == State::Down ? QColor(Qt::white) : Accent);
        }
        p.fillRect(QRectF(0, r.bottom() - 1, width, 1), QColor(38, 43, 54));
        if (firstGroupBand > 0 && b + 1 >= firstGroupBand && b + 1 < firstGroupBand + 4)
            chevronRight(p, QPointF(width - 14, r.center().y()), state == State::Normal ? Edge.lighter(180) : Qt::white);
    }
    p.setPen(QPen(QColor(60, 66, 80), 1));
    p.setBrush(Qt::NoBrush);
    p.drawRect(QRectF(0.5, 0.5, width - 1, bandHeight * bands - 1));
    p.end();
    return image;
}

QImage SkinArtist::plainMask(QSize size) {
    QImage mask(size, QImage::Format_RGB32);
    mask.fill(Qt::black);
    return mask;
}

} // namespace krv::art
