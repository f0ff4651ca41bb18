// SPDX-License-Identifier: MIT
#pragma once

#include "skin/SkinDescriptions.h"

#include <QColor>
#include <QImage>
#include <QPainterPath>
#include <QRectF>

namespace krv::art {

// The three states every full-window image shows all its elements in.
enum class State { Normal, Over, Down };

// Colours of the lighting stages 1..4 (the LED preview images are named after them) and of the
// lights-off preview.
QColor stageColor(int stage); // 0..3: blue, pink, red, purple
QColor lightsOffColor();

// The mouse seen from above, in its own coordinates: x -84..84, y 0..362, front at the top.
QPainterPath mouseBody();

// Draws the skin's images from the element rectangles of the skin descriptions.
class SkinArtist {
public:
    SkinArtist(const SkinDescriptions& skin, QSize mainSize);

    QImage mainPage(State state) const;
    QImage advancedPage(State state) const;
    // The color page in a state, its LED preview glowing in `preview` (an invalid colour: lights off).
    QImage colorPage(State state, const QColor& preview) const;
    // The knob copied into a chosen DPI position: the size of a slider element.
    QImage sliderKnob() const;
    QImage mainMask() const;

    QImage warning(State state) const;
    QImage warningMask() const;
    static QSize warningSize() { return {360, 180}; }

    // The menus: `bands` equal bands of bandHeight; groups (rows opening a second level) get a chevron.
    static QImage menu(State state, int width, int bandHeight, int bands, int firstGroupBand);
    static QImage plainMask(QSize size);

private:
    const SkinDescriptions& m_skin;
    QSize m_size;
};

} // namespace krv::art
