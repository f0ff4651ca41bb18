// SPDX-License-Identifier: MIT
#include "ui/KrvMenu.h"

#include <QAction>
#include <QMenu>
#include <QPainter>
#include <QStyleFactory>
#include <QStyleOptionMenuItem>

#include <algorithm>

namespace krv {

namespace {

const QColor ItemBackground(0, 120, 153);
const QColor SeparatorTopLeft(255, 0, 0);
const QColor SeparatorBottomRight(0, 0, 255);

// A 3-D rectangle drawn as the classic toolkit does: top and left edges in one colour, then the right
// and bottom edges in the other (so a 1-pixel-high line ends up in the second colour but its first pixel).
void draw3dRect(QPainter& painter, const QRect& r, const QColor& topLeft, const QColor& bottomRight) {
    const int x = r.x(), y = r.y(), cx = r.width(), cy = r.height();
    if (cx <= 0 || cy <= 0)
        return;
    painter.fillRect(QRect(x, y, cx - 1, 1), topLeft);
    painter.fillRect(QRect(x, y, 1, cy - 1), topLeft);
    painter.fillRect(QRect(x + cx - 1, y, 1, cy), bottomRight);
    painter.fillRect(QRect(x, y + cy - 1, cx, 1), bottomRight);
}

std::vector<MenuItemDef> insertButtons(UiLanguage language, int firstId) {
    const bool en = language == UiLanguage::English;
    auto button = [&](const QString& name, int down) {
        // The left button's down item carries a trailing space in both languages.
        return MenuItemDef{name,
                           -1,
                           {{down == firstId ? QStringLiteral("Down ") : QStringLiteral("Down"), down, {}},
                            {QStringLiteral("Up"), down + 1, {}}}};
    };
    return {button(en ? QStringLiteral("Left Button") : QStringLiteral("左键"), firstId),
            button(en ? QStringLiteral("Right Button") : QStringLiteral("右键"), firstId + 2),
            button(en ? QStringLiteral("Mid Button") : QStringLiteral("中键"), firstId + 4)};
}

} // namespace

std::vector<MenuItemDef> TrayMenuDefinition(UiLanguage language) {
    if (language == UiLanguage::English)
        return {{QStringLiteral("Show Window"), MenuCommand::ShowWindow, {}},
                {QStringLiteral("Profiles for programs…"), MenuCommand::AppProfiles, {}},
                {QStringLiteral("Exit Driver"), MenuCommand::ExitDriver, {}}};
    return {{QStringLiteral("显示桌面"), MenuCommand::ShowWindow, {}},
            {QStringLiteral("程序配置…"), MenuCommand::AppProfiles, {}},
            {QStringLiteral("退出程序"), MenuCommand::ExitDriver, {}}};
}

std::vector<MenuItemDef> EventListMenuDefinition(UiLanguage language) {
    const bool en = language == UiLanguage::English;
    // The menu shown is the resource's first popup: one top-level item with the four entries below it.
    MenuItemDef popup{en ? QStringLiteral("Menu") : QStringLiteral("菜单"), -1, {}};
    popup.children.push_back({en ? QStringLiteral("Add Forward") : QStringLiteral("项前插入"), -1,
                              insertButtons(language, MenuCommand::InsertBeforeFirst)});
    popup.children.push_back({en ? QStringLiteral("Add Backward") : QStringLiteral("项后插入"), -1,
                              insertButtons(language, MenuCommand::InsertAfterFirst)});
    popup.children.push_back(
        {en ? QStringLiteral("Modify Delay") : QStringLiteral("修改参数"), MenuCommand::ModifyDelay, {}});
    popup.children.push_back({en ? QStringLiteral("Delete") : QStringLiteral("删除"), MenuCommand::DeleteEvent, {}});
    return {popup};
}

std::vector<QColor> KrvHighlightRows(int itemHeight) {
    const int h = itemHeight - 2; // inside the frame
    std::vector<QColor> rows;
    if (h <= 0)
        return rows;
    // Each channel's step is computed once in floating point and truncated.
    const int stepR = static_cast<int>((0.0 - 0.0) / h);
    const int stepG = static_cast<int>((255.0 - 0.0) / h);
    const int stepB = static_cast<int>((255.0 - 255.0) / h);
    for (int k = 0; k < h; ++k)
        rows.emplace_back((0 + k * stepR) % 256, (0 + k * stepG) % 256, (255 + k * stepB) % 256);
    return rows;
}

void DrawKrvMenuItem(QPainter& painter, const QRect& rect, const QString& text, bool separator, bool highlighted,
                     bool hasSubMenu) {
    painter.save();
    if (separator) {
        draw3dRect(painter, rect.adjusted(KrvMenuStyle::SeparatorIndent, 0, 0, 0), SeparatorTopLeft,
                   SeparatorBottomRight);
        painter.restore();
        return;
    }
    if (!highlighted) {
        painter.fillRect(rect, ItemBackground);
    } else {
        // The frame in the default pen (black) and brush (white), then one gradient line per inner row.
        painter.fillRect(rect, Qt::white);
        painter.setPen(Qt::black);
        painter.drawRect(rect.adjusted(0, 0, -1, -1));
        const QRect inner = rect.adjusted(1, 1, -1, -1);
        const auto rows = KrvHighlightRows(rect.height());
        for (int k = 0; k < static_cast<int>(rows.size()); ++k)
            painter.fillRect(QRect(inner.left(), inner.top() + k, inner.width(), 1), rows[static_cast<std::size_t>(k)]);
    }
    painter.setPen(Qt::white);
    painter.drawText(rect.adjusted(KrvMenuStyle::TextIndent, 0, 0, 0),
                     Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine, text);
    if (hasSubMenu) {
        // The sub-menu arrow, as the system draws it beside an owner-drawn item.
        const int cx = rect.right() - 8, cy = rect.center().y();
        QPolygon arrow;
        arrow << QPoint(cx, cy - 4) << QPoint(cx + 4, cy) << QPoint(cx, cy + 4);
        painter.setBrush(Qt::white);
        painter.drawPolygon(arrow);
    }
    painter.restore();
}

QFont MenuFont() {
    // The classic menu font: 12 pixels high ("Arial" resolves through the skin's font aliases).
    QFont font(QStringLiteral("Arial"));
    font.setPixelSize(12);
    return font;
}

KrvMenuStyle::KrvMenuStyle() : QProxyStyle(QStyleFactory::create(QStringLiteral("Fusion"))) {}

void KrvMenuStyle::drawControl(ControlElement element, const QStyleOption* option, QPainter* painter,
                               const QWidget* widget) const {
    if (element == CE_MenuItem) {
        if (const auto* item = qstyleoption_cast<const QStyleOptionMenuItem*>(option)) {
            if (item->menuItemType == QStyleOptionMenuItem::EmptyArea) {
                painter->fillRect(item->rect, ItemBackground);
                return;
            }
            QString text = item->text;
            const int tab = text.indexOf(QLatin1Char('\t'));
            if (tab >= 0)
                text.truncate(tab);
            DrawKrvMenuItem(*painter, item->rect, text, item->menuItemType == QStyleOptionMenuItem::Separator,
                            (item->state & State_Selected) && (item->state & State_Enabled),
                            item->menuItemType == QStyleOptionMenuItem::SubMenu);
            return;
        }
    }
    if (element == CE_MenuEmptyArea) {
        painter->fillRect(option->rect, ItemBackground);
        return;
    }
    QProxyStyle::drawControl(element, option, painter, widget);
}

void KrvMenuStyle::drawPrimitive(PrimitiveElement element, const QStyleOption* option, QPainter* painter,
                                 const QWidget* widget) const {
    if (element == PE_PanelMenu) {
        painter->fillRect(option->rect, ItemBackground);
        return;
    }
    if (element == PE_FrameMenu) {
        painter->setPen(ItemBackground.darker(160));
        painter->drawRect(option->rect.adjusted(0, 0, -1, -1));
        return;
    }
    QProxyStyle::drawPrimitive(element, option, painter, widget);
}

QSize KrvMenuStyle::sizeFromContents(ContentsType type, const QStyleOption* option, const QSize& size,
                                     const QWidget* widget) const {
    if (type == CT_MenuItem) {
        if (const auto* item = qstyleoption_cast<const QStyleOptionMenuItem*>(option)) {
            if (item->menuItemType == QStyleOptionMenuItem::Separator)
                return {0, 1};
            // Eight pixels per character, but never so narrow that the text is cut (wide scripts).
            const int measured = CharWidth * static_cast<int>(item->text.size());
            const int needed = TextIndent + item->fontMetrics.horizontalAdvance(item->text) + TextIndent;
            const int arrow = item->menuItemType == QStyleOptionMenuItem::SubMenu ? 16 : 0;
            return {std::max(measured, needed + arrow), ItemHeight};
        }
    }
    return QProxyStyle::sizeFromContents(type, option, size, widget);
}

int KrvMenuStyle::pixelMetric(PixelMetric metric, const QStyleOption* option, const QWidget* widget) const {
    switch (metric) {
    case PM_MenuPanelWidth:
        return 1;
    case PM_MenuHMargin:
    case PM_MenuVMargin:
    case PM_MenuDesktopFrameWidth:
        return 0;
    default:
        return QProxyStyle::pixelMetric(metric, option, widget);
    }
}

int KrvMenuStyle::styleHint(StyleHint hint, const QStyleOption* option, const QWidget* widget,
                            QStyleHintReturn* returnData) const {
    if (hint == SH_Menu_SubMenuPopupDelay)
        return 0;
    return QProxyStyle::styleHint(hint, option, widget, returnData);
}

KrvMenu::KrvMenu() : m_style(std::make_unique<KrvMenuStyle>()) {}

KrvMenu::~KrvMenu() {
    m_menu.reset(); // the menus use the style: destroy them first
}

void KrvMenu::load(const std::vector<MenuItemDef>& definition) {
    m_menu.reset();
    m_itemCount = 0;
    m_records = {};
    m_menu = std::make_unique<QMenu>();
    m_menu->setStyle(m_style.get());
    m_menu->setFont(MenuFont());
    convert(m_menu.get(), definition);
}

void KrvMenu::convert(QMenu* menu, const std::vector<MenuItemDef>& items) {
    for (const MenuItemDef& item : items) {
        if (m_itemCount >= MaxRecords)
            return;
        m_records[static_cast<std::size_t>(m_itemCount)] = {item.text, item.id};
        ++m_itemCount;
        if (item.id == 0) {
            menu->addSeparator();
        } else if (item.id == -1) {
            QMenu* sub = menu->addMenu(item.text);
            sub->setStyle(m_style.get());
            sub->setFont(MenuFont());
            convert(sub, item.children);
        } else {
            QAction* action = menu->addAction(item.text);
            action->setData(item.id);
        }
    }
}

QAction* KrvMenu::action(int id) const {
    if (!m_menu)
        return nullptr;
    const auto all = m_menu->findChildren<QAction*>();
    for (QAction* a : all)
        if (a->data().toInt() == id && !a->menu())
            return a;
    return nullptr;
}

} // namespace krv
