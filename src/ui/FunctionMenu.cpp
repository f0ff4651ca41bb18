// SPDX-License-Identifier: MIT
#include "ui/FunctionMenu.h"

#include "skin/SkinImages.h"

#include <QGuiApplication>
#include <QMouseEvent>
#include <QPainter>
#include <QScreen>

#include <algorithm>

namespace krv {

namespace {

constexpr Qt::WindowFlags MenuFlags = Qt::Tool | Qt::FramelessWindowHint | Qt::WindowDoesNotAcceptFocus;
constexpr QSize FirstLevelWindow{300, 300};
constexpr QSize SecondLevelWindow{300, 400};
constexpr int SubMenuBands = 12; // the second level's mask holds twelve bands

QImage skinImage(const FunctionMenuLook& look, const char* name) {
    return look.images ? look.images->image(name) : QImage();
}

int itemCountOfGroup(int groupBand, int macroCount) {
    if (groupBand == MacroMenuRow)
        return macroCount;
    if (const auto group = MenuGroupOfRow(groupBand))
        return group->itemCount;
    return 0;
}

void drawBandTexts(QImage& target, const QFont& font, int bandWidth, int bandHeight,
                   const std::vector<QString>& texts) {
    QPainter painter(&target);
    painter.setFont(font);
    const QFontMetrics metrics(font);
    for (int n = 1; n <= static_cast<int>(texts.size()); ++n) {
        const QString& text = texts[static_cast<std::size_t>(n - 1)];
        // Centred in its band; a text wider than the band overflows both sides.
        const int x = (bandWidth - metrics.horizontalAdvance(text)) / 2;
        const int y = (n - 1) * bandHeight + (bandHeight - metrics.height()) / 2;
        painter.setPen(Qt::white);
        painter.drawText(x, y + metrics.ascent(), text);
    }
}

// The bands of one menu level from its images: the normal image, the hovered band from the over image
// or, while the left button is held, from the down image.
struct BandImages {
    const char* normal;
    const char* over;
    const char* down;
};

QImage composeBands(const FunctionMenuLook& look, BandImages names, bool pressed, int hovered, int bandWidth,
                    int bandHeight, const std::vector<QString>& texts, QSize size) {
    const QImage normal = skinImage(look, names.normal);
    QImage target = normal.isNull() ? QImage(size, QImage::Format_RGB32) : normal.copy();
    if (normal.isNull())
        target.fill(Qt::black);
    if (hovered != 255)
        CopyImageRect(target, 0, (hovered - 1) * bandHeight, skinImage(look, pressed ? names.down : names.over), 0,
                      (hovered - 1) * bandHeight, bandWidth, bandHeight);
    drawBandTexts(target, look.font, bandWidth, bandHeight, texts);
    return target;
}

} // namespace

int MenuBandAt(QPoint point, int bandWidth, int bandHeight, int limit) {
    for (int i = 1; i <= limit; ++i) {
        const int top = (i - 1) * bandHeight;
        if (0 <= point.x() && point.x() < bandWidth && top <= point.y() && point.y() < i * bandHeight)
            return i;
    }
    return 255;
}

QPoint SubMenuOffset(int groupBand, int firstBandWidth, int firstBandHeight, int macroCount) {
    switch (groupBand) {
    case 7:
        return {firstBandWidth, -firstBandHeight};
    case 8:
        return {firstBandWidth, 2 * firstBandHeight};
    case 9:
        return {firstBandWidth, (9 - macroCount) * firstBandHeight};
    default:
        return {firstBandWidth, 0};
    }
}

QPoint PlaceOnScreen(QPoint wanted, QSize size, QRect screen, int flipAbove, int flipLeft) {
    if (screen.isEmpty())
        return wanted;
    QPoint p = wanted;
    if (p.y() + size.height() > screen.bottom() + 1)
        p.setY(flipAbove - size.height());
    if (p.x() + size.width() > screen.right() + 1)
        p.setX(flipLeft - size.width());
    p.setY(std::clamp(p.y(), screen.top(), std::max(screen.top(), screen.bottom() + 1 - size.height())));
    p.setX(std::clamp(p.x(), screen.left(), std::max(screen.left(), screen.right() + 1 - size.width())));
    return p;
}

QRect ScreenAreaAt(QPoint point) {
    QScreen* screen = QGuiApplication::screenAt(point);
    if (!screen)
        screen = QGuiApplication::primaryScreen();
    return screen ? screen->availableGeometry() : QRect();
}

FunctionMenu::FunctionMenu(FunctionMenuLook look, QWidget* owner) : QWidget(owner, MenuFlags), m_look(std::move(look)) {
    setWindowTitle(QStringLiteral("MainMenuDlg"));
    setAttribute(Qt::WA_NoSystemBackground);
    setAttribute(Qt::WA_DeleteOnClose);
    setMouseTracking(true);
    // Only the mask's size is used, taken when the menu is created.
    const QImage mask = skinImage(m_look, SkinImageName::MenuMask);
    m_bandWidth = mask.width();
    m_bandHeight = mask.height() / Bands;
    resize(FirstLevelWindow);
    setMask(QRegion(0, 0, m_bandWidth, Bands * m_bandHeight + 1));
}

FunctionMenu::~FunctionMenu() {
    delete m_sub.data();
}

QImage FunctionMenu::composeImage() const {
    std::vector<QString> texts;
    for (int n = 1; n <= Bands; ++n)
        texts.push_back(m_look.functionName ? m_look.functionName(n) : QString());
    return composeBands(m_look, {SkinImageName::MenuNormal, SkinImageName::MenuOver, SkinImageName::MenuDown},
                        m_pressed, m_hovered, m_bandWidth, m_bandHeight, texts,
                        QSize(m_bandWidth, Bands * m_bandHeight + 1));
}

void FunctionMenu::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    const QImage image = composeImage();
    painter.drawImage(QPoint(0, 0), image, QRect(0, 0, m_bandWidth, Bands * m_bandHeight + 1));
}

void FunctionMenu::hoverAt(QPoint point) {
    const int band = MenuBandAt(point, m_bandWidth, m_bandHeight, HitLimit);
    if (band == m_hovered)
        return;
    m_hovered = band;
    update();
    replaceSubMenu();
}

void FunctionMenu::replaceSubMenu() {
    // Each change of the hovered band replaces the second level: another group gets its own, a direct
    // band or no band none.
    delete m_sub.data();
    if (m_hovered < 7 || m_hovered > Bands)
        return;
    auto* sub = new FunctionSubMenu(m_hovered, this);
    m_sub = sub;
    placeSubMenu();
    connect(sub, &FunctionSubMenu::itemChosen, this, &FunctionMenu::subItemChosen);
    if (sub->itemCount() > 0)
        sub->show(); // an empty group (no macros) opens nothing that can be seen or clicked
}

void FunctionMenu::placeSubMenu() {
    // Beside the first level, or on its left where the screen ends; kept on the first level's screen.
    if (!m_sub)
        return;
    const int macroCount = m_look.macroNames ? static_cast<int>(m_look.macroNames().size()) : 0;
    const QPoint wanted = pos() + SubMenuOffset(m_hovered, m_bandWidth, m_bandHeight, macroCount);
    const QSize size = m_sub->visibleSize();
    m_sub->move(PlaceOnScreen(wanted, size, ScreenAreaAt(pos()), wanted.y() + size.height(), pos().x()));
}

void FunctionMenu::moveEvent(QMoveEvent*) {
    placeSubMenu();
}

void FunctionMenu::mouseMoveEvent(QMouseEvent* event) {
    hoverAt(event->position().toPoint());
}

void FunctionMenu::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton)
        return;
    m_pressed = true;
    update();
}

void FunctionMenu::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton)
        return;
    m_pressed = false;
    update();
    // A group band, the row below the bands or no band: the menu stays open.
    if (m_hovered >= 7)
        return;
    emit codeChosen(m_hovered);
}

FunctionSubMenu::FunctionSubMenu(int groupBand, FunctionMenu* first)
    : QWidget(first, MenuFlags), m_first(first), m_group(groupBand) {
    setAttribute(Qt::WA_NoSystemBackground);
    setMouseTracking(true);
    const auto& look = first->look();
    const QImage mask = skinImage(look, SkinImageName::SubMenuMask);
    m_bandWidth = mask.width();
    m_bandHeight = mask.height() / SubMenuBands;
    const int macroCount = look.macroNames ? static_cast<int>(look.macroNames().size()) : 0;
    m_count = itemCountOfGroup(groupBand, macroCount);
    resize(SecondLevelWindow);
    const int height = m_count > 0 ? m_count * m_bandHeight + 1 : 0;
    setMask(QRegion(0, 0, m_bandWidth, std::max(height, 1)));
}

QString FunctionSubMenu::itemText(int item) const {
    const auto& look = m_first->look();
    if (m_group == MacroMenuRow) {
        const auto names = look.macroNames ? look.macroNames() : std::vector<QString>{};
        return item >= 1 && item <= static_cast<int>(names.size()) ? names[static_cast<std::size_t>(item - 1)]
                                                                   : QString();
    }
    const auto group = MenuGroupOfRow(m_group);
    return group && look.functionName ? look.functionName(group->base + item) : QString();
}

QImage FunctionSubMenu::composeImage() const {
    std::vector<QString> texts;
    for (int i = 1; i <= m_count; ++i)
        texts.push_back(itemText(i));
    return composeBands(
        m_first->look(), {SkinImageName::SubMenuNormal, SkinImageName::SubMenuOver, SkinImageName::SubMenuDown},
        m_pressed, m_hovered, m_bandWidth, m_bandHeight, texts, QSize(m_bandWidth, m_count * m_bandHeight + 1));
}

void FunctionSubMenu::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.drawImage(QPoint(0, 0), composeImage(), QRect(0, 0, m_bandWidth, m_count * m_bandHeight + 1));
}

void FunctionSubMenu::hoverAt(QPoint point) {
    const int item = MenuBandAt(point, m_bandWidth, m_bandHeight, m_count);
    if (item != m_hovered) {
        m_hovered = item;
        update();
    }
}

void FunctionSubMenu::mouseMoveEvent(QMouseEvent* event) {
    hoverAt(event->position().toPoint());
}

void FunctionSubMenu::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton)
        return;
    m_pressed = true;
    update();
}

void FunctionSubMenu::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton)
        return;
    m_pressed = false;
    // The last pixel row lies below item n: nothing is chosen there.
    if (m_hovered == 255)
        return;
    emit itemChosen(m_group, m_hovered);
}

} // namespace krv
