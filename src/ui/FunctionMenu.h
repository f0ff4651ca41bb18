// SPDX-License-Identifier: MIT
#pragma once

#include "skin/FunctionMenuRows.h"

#include <QFont>
#include <QImage>
#include <QPointer>
#include <QString>
#include <QWidget>

#include <functional>
#include <vector>

namespace krv {

class FunctionSubMenu;
class SkinImageCache;

// What both menu levels draw with: the skin images, the font of the language and the texts. The
// images are looked up in the cache at every paint, so a changed image file shows at the next one.
struct FunctionMenuLook {
    SkinImageCache* images = nullptr; // the main window's cache; outlives the menus
    QFont font;
    std::function<QString(int code)> functionName;    // FunctionNames entry of a code 1..40
    std::function<std::vector<QString>()> macroNames; // names of the macros, in table order
};

// Band hit test of a menu: the 1-based band holding the point among `limit` bands of bandWidth x
// bandHeight stacked from y = 0, or 255.
int MenuBandAt(QPoint point, int bandWidth, int bandHeight, int limit);

// Where the second level of a group opens, relative to the first level's top-left corner (T): band 7
// one band above T, band 8 two bands below, band 9 so that its m macros end at band 9's foot, band 10
// at T.
QPoint SubMenuOffset(int groupBand, int firstBandWidth, int firstBandHeight, int macroCount);

// Where a menu of `size` opens so that the whole of it lies on `screen`, `wanted` being its place
// when there is room: one that would run past the bottom opens above `flipAbove` (the top of what it
// opens under) instead, one that would run past the right edge opens left of `flipLeft`, and what
// still does not fit is shifted inside.
QPoint PlaceOnScreen(QPoint wanted, QSize size, QRect screen, int flipAbove, int flipLeft);
// The free area of the screen that holds `point` (the primary screen's when none does).
QRect ScreenAreaAt(QPoint point);

// The first level of a button slot's function menu ("MainMenuDlg"): ten bands cut from the
// "menu_*.jpg" images, bands 1..6 choose codes 1..6, bands 7..10 open a group beside it.
// Frameless and not modal: the main window goes on working while it is open.
class FunctionMenu : public QWidget {
    Q_OBJECT
public:
    static constexpr int Bands = 10;
    static constexpr int HitLimit = 12; // bands 11 and 12 lie below the region

    FunctionMenu(FunctionMenuLook look, QWidget* owner);
    ~FunctionMenu() override;

    int bandWidth() const { return m_bandWidth; }
    int bandHeight() const { return m_bandHeight; }
    int hoveredBand() const { return m_hovered; }
    // The drawn part: the ten bands (the window itself is larger).
    QSize visibleSize() const { return {m_bandWidth, Bands * m_bandHeight + 1}; }
    FunctionSubMenu* subMenu() const { return m_sub.data(); }
    const FunctionMenuLook& look() const { return m_look; }
    QImage composeImage() const;

    // Updates the hovered band as a mouse move to `point` would.
    void hoverAt(QPoint point);

signals:
    // A direct choice (band 1..6).
    void codeChosen(int code);
    // A choice in the second level: item 1..n of the group shown beside the first level.
    void subItemChosen(int group, int item);

protected:
    void paintEvent(QPaintEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void moveEvent(QMoveEvent* event) override;

private:
    void replaceSubMenu();
    void placeSubMenu();

    FunctionMenuLook m_look;
    int m_bandWidth = 0;
    int m_bandHeight = 0;
    int m_hovered = 255;
    bool m_pressed = false;
    QPointer<FunctionSubMenu> m_sub;
};

// The second level: the items of one group (9 of group 7, 6 of group 8, 10 of group 10, one per
// macro in group 9) cut from the "advanced menu_*.jpg" images.
class FunctionSubMenu : public QWidget {
    Q_OBJECT
public:
    FunctionSubMenu(int groupBand, FunctionMenu* first);

    int group() const { return m_group; }
    int itemCount() const { return m_count; }
    int bandWidth() const { return m_bandWidth; }
    int bandHeight() const { return m_bandHeight; }
    int hoveredItem() const { return m_hovered; }
    QSize visibleSize() const { return {m_bandWidth, m_count * m_bandHeight + 1}; }
    QString itemText(int item) const; // item 1..n
    QImage composeImage() const;
    void hoverAt(QPoint point);

signals:
    void itemChosen(int group, int item);

protected:
    void paintEvent(QPaintEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    FunctionMenu* m_first;
    int m_group;
    int m_count = 0;
    int m_bandWidth = 0;
    int m_bandHeight = 0;
    int m_hovered = 255;
    bool m_pressed = false;
};

} // namespace krv
