// SPDX-License-Identifier: MIT
#pragma once

#include "settings/UiLanguage.h"

#include <QFont>
#include <QProxyStyle>
#include <QString>

#include <array>
#include <memory>
#include <vector>

class QMenu;
class QAction;
class QWidget;

namespace krv {

// One item of a menu definition: a command, a separator (id 0) or a sub-menu (id -1, with children).
struct MenuItemDef {
    QString text;
    int id = 0;
    std::vector<MenuItemDef> children;
};

// The program's two menus in both languages. Command ids are those the handlers act on.
namespace MenuCommand {
constexpr int ExitDriver = 32800;
constexpr int ShowWindow = 32801;
constexpr int ModifyDelay = 32780;
constexpr int DeleteEvent = 32781;
constexpr int InsertBeforeFirst = 32802; // left down, left up, right down, right up, middle down, middle up
constexpr int InsertAfterFirst = 32809;
constexpr int AppProfiles = 32830; // the tray's "Profiles for programs…"
} // namespace MenuCommand

std::vector<MenuItemDef> TrayMenuDefinition(UiLanguage language);
std::vector<MenuItemDef> EventListMenuDefinition(UiLanguage language);

// Draws menu items in the program's colours: a teal bar for normal items, a blue-to-cyan gradient
// inside a black frame for the highlighted one, white text 10 pixels in, and a red/blue 3-D line for
// separators. Items are 8 pixels per character wide (wider when the text needs it) and 20 high; a
// separator is 1 high.
class KrvMenuStyle : public QProxyStyle {
public:
    KrvMenuStyle();

    void drawControl(ControlElement element, const QStyleOption* option, QPainter* painter,
                     const QWidget* widget = nullptr) const override;
    void drawPrimitive(PrimitiveElement element, const QStyleOption* option, QPainter* painter,
                       const QWidget* widget = nullptr) const override;
    QSize sizeFromContents(ContentsType type, const QStyleOption* option, const QSize& size,
                           const QWidget* widget = nullptr) const override;
    int pixelMetric(PixelMetric metric, const QStyleOption* option = nullptr,
                    const QWidget* widget = nullptr) const override;
    int styleHint(StyleHint hint, const QStyleOption* option = nullptr, const QWidget* widget = nullptr,
                  QStyleHintReturn* returnData = nullptr) const override;

    static constexpr int ItemHeight = 20;
    static constexpr int CharWidth = 8;
    static constexpr int TextIndent = 10;
    static constexpr int SeparatorIndent = 25;
};

// The font of the styled menus.
QFont MenuFont();

// Paints one item as the style does; exposed so that tests can check the pixels of each state.
void DrawKrvMenuItem(QPainter& painter, const QRect& rect, const QString& text, bool separator, bool highlighted,
                     bool hasSubMenu);
// Rows of the highlight gradient for an item of the given height: the colour of each row inside the frame.
std::vector<QColor> KrvHighlightRows(int itemHeight);

// A menu drawn by KrvMenuStyle and built from a definition. Each load starts from an empty record
// list; the record list holds at most 30 items (a definition with more is cut there).
class KrvMenu {
public:
    static constexpr int MaxRecords = 30;

    struct Record {
        QString text;
        int id = 0; // command id, 0 separator, -1 sub-menu
    };

    KrvMenu();
    ~KrvMenu();
    KrvMenu(const KrvMenu&) = delete;
    KrvMenu& operator=(const KrvMenu&) = delete;

    // Replaces the menu by the definition (the previous menu is detached and destroyed).
    void load(const std::vector<MenuItemDef>& definition);

    QMenu* menu() const { return m_menu.get(); }
    int itemCount() const { return m_itemCount; }
    const Record& record(int i) const { return m_records.at(static_cast<std::size_t>(i)); }
    // The action of a command id, or null.
    QAction* action(int id) const;

private:
    void convert(QMenu* menu, const std::vector<MenuItemDef>& items);

    std::unique_ptr<KrvMenuStyle> m_style;
    std::unique_ptr<QMenu> m_menu;
    std::array<Record, MaxRecords> m_records{};
    int m_itemCount = 0;
};

} // namespace krv
