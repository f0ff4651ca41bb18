// SPDX-License-Identifier: MIT
// The styled menus, the two-level function menu's geometry and the warning box's answers.

#include "ports/UiNotifier.h"
#include "skin/SkinDescriptions.h"
#include "skin/SkinFonts.h"
#include "skin/SkinImages.h"
#include "ui/FunctionMenu.h"
#include "ui/KrvMenu.h"
#include "ui/WarningBox.h"

#include <QApplication>
#include <QImage>
#include <QMenu>
#include <QMouseEvent>
#include <QPainter>
#include <QSignalSpy>
#include <QStyleOptionMenuItem>
#include <QTemporaryDir>
#include <QTest>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <memory>

using namespace krv;

namespace {

void writeImage(const QString& path, int width, int height, QColor colour) {
    QImage image(width, height, QImage::Format_RGB32);
    image.fill(colour);
    QVERIFY(image.save(path));
}

// A mouse move delivered to the widget itself: the offscreen platform cannot cut the menus to their
// regions, so a move through the pointer position would land on the larger first level.
void moveMouse(QWidget* widget, QPoint to) {
    QMouseEvent move(QEvent::MouseMove, to, widget->mapToGlobal(to), Qt::NoButton, Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(widget, &move);
}

// JPEG keeps a flat colour within a few steps.
bool closeTo(QColor a, QColor b) {
    return std::abs(a.red() - b.red()) <= 8 && std::abs(a.green() - b.green()) <= 8 &&
           std::abs(a.blue() - b.blue()) <= 8;
}

} // namespace

class MenusTest : public QObject {
    Q_OBJECT
private slots:
    // The skin's fonts, as the program has them (on Windows without "Arial", those shipped in skins/fonts).
    void initTestCase() { InstallSkinFontAliases(std::filesystem::path(KRV_BUILD_DATA_DIR) / "skins"); }
    void itemSizes();
    void highlightGradient();
    void drawnItems();
    void reloadingStartsTheRecordsAgain();
    void firstLevelGeometry();
    void secondLevelGeometry();
    void bandHitTest();
    void warningAnswers();
    void changedImagesShowAtTheNextPaint_data();
    void changedImagesShowAtTheNextPaint();
};

void MenusTest::itemSizes() {
    KrvMenuStyle style;
    QStyleOptionMenuItem option;
    option.menuItemType = QStyleOptionMenuItem::Normal;
    option.fontMetrics = QFontMetrics(MenuFont());
    option.text = QStringLiteral("Modify Delay");
    QCOMPARE(style.sizeFromContents(QStyle::CT_MenuItem, &option, {}), QSize(96, 20));
    // A text wider than eight pixels a character widens its item rather than being cut.
    option.text = QStringLiteral("显示桌面");
    QVERIFY(style.sizeFromContents(QStyle::CT_MenuItem, &option, {}).width() >=
            KrvMenuStyle::TextIndent + option.fontMetrics.horizontalAdvance(option.text));
    option.menuItemType = QStyleOptionMenuItem::Separator;
    option.text.clear();
    QCOMPARE(style.sizeFromContents(QStyle::CT_MenuItem, &option, {}).height(), 1);
}

void MenusTest::highlightGradient() {
    const auto rows = KrvHighlightRows(20);
    QCOMPARE(rows.size(), std::size_t{18});
    for (std::size_t k = 0; k < rows.size(); ++k) {
        QCOMPARE(rows[k].red(), 0);
        QCOMPARE(rows[k].green(), static_cast<int>(k) * 14); // 255 / 18 truncated to 14
        QCOMPARE(rows[k].blue(), 255);
    }
    QCOMPARE(rows.back().green(), 238);
}

void MenusTest::drawnItems() {
    QImage image(120, 20, QImage::Format_RGB32);
    image.fill(Qt::magenta);
    {
        QPainter painter(&image);
        DrawKrvMenuItem(painter, image.rect(), QString(), false, true, false);
    }
    QCOMPARE(image.pixelColor(0, 0), QColor(Qt::black)); // the frame
    QCOMPARE(image.pixelColor(60, 1), QColor(0, 0, 255));
    QCOMPARE(image.pixelColor(60, 18), QColor(0, 238, 255));
    image.fill(Qt::magenta);
    {
        QPainter painter(&image);
        DrawKrvMenuItem(painter, image.rect(), QString(), false, false, false);
    }
    QCOMPARE(image.pixelColor(60, 10), QColor(0, 120, 153));
    QImage line(120, 1, QImage::Format_RGB32);
    line.fill(Qt::magenta);
    {
        QPainter painter(&line);
        DrawKrvMenuItem(painter, line.rect(), QString(), true, false, false);
    }
    QCOMPARE(line.pixelColor(10, 0), QColor(Qt::magenta)); // left of the 25-pixel indent
    QCOMPARE(line.pixelColor(60, 0), QColor(0, 0, 255));   // the bottom-right colour wins a 1-pixel line
}

void MenusTest::reloadingStartsTheRecordsAgain() {
    KrvMenu menu;
    for (int i = 0; i < 2; ++i) {
        menu.load(EventListMenuDefinition(UiLanguage::English));
        QCOMPARE(menu.itemCount(), 23);
        menu.load(TrayMenuDefinition(UiLanguage::Chinese));
        QCOMPARE(menu.itemCount(), 3);
    }
    QCOMPARE(menu.record(0).text, QStringLiteral("显示桌面"));
    QCOMPARE(menu.record(1).id, MenuCommand::AppProfiles);
    QCOMPARE(menu.record(2).id, MenuCommand::ExitDriver);
    QVERIFY(menu.action(MenuCommand::ShowWindow));
    menu.load(EventListMenuDefinition(UiLanguage::English));
    QVERIFY(menu.action(32802));
    QCOMPARE(menu.action(32802)->text(), QStringLiteral("Down ")); // the left button's trailing space
    QCOMPARE(menu.action(MenuCommand::ModifyDelay)->text(), QStringLiteral("Modify Delay"));
    // A definition larger than the record table is cut, never written past.
    std::vector<MenuItemDef> many(40, MenuItemDef{QStringLiteral("x"), 1, {}});
    menu.load(many);
    QCOMPARE(menu.itemCount(), KrvMenu::MaxRecords);
}

void MenusTest::firstLevelGeometry() {
    QTemporaryDir dir;
    writeImage(dir.filePath("menu_mask.jpg"), 200, 305, Qt::black);
    SkinImageCache images(dir.path().toStdString());
    FunctionMenuLook look;
    look.images = &images;
    look.functionName = [](int code) { return QString::number(code); };
    FunctionMenu menu(look, nullptr);
    QCOMPARE(menu.bandWidth(), 200);
    QCOMPARE(menu.bandHeight(), 30);
    QCOMPARE(menu.size(), QSize(300, 300));
    QCOMPARE(menu.mask().boundingRect(), QRect(0, 0, 200, 301)); // cut by the 300-pixel window
    QCOMPARE(menu.windowTitle(), QStringLiteral("MainMenuDlg"));
    QSignalSpy chosen(&menu, &FunctionMenu::codeChosen);
    const QPoint band3(100, 2 * 30 + 5);
    menu.hoverAt(band3);
    QTest::mouseClick(&menu, Qt::LeftButton, {}, band3);
    QCOMPARE(chosen.size(), 1);
    QCOMPARE(chosen[0][0].toInt(), 3);
    // The last row of the region reads as band 11: nothing is chosen there.
    menu.hoverAt(QPoint(100, 300));
    QCOMPARE(menu.hoveredBand(), 11);
    QTest::mouseClick(&menu, Qt::LeftButton, {}, QPoint(100, 299));
    QCOMPARE(chosen.size(), 1);
}

void MenusTest::secondLevelGeometry() {
    QTemporaryDir dir;
    writeImage(dir.filePath("menu_mask.jpg"), 150, 305, Qt::black);
    writeImage(dir.filePath("advanced menu_mask.jpg"), 180, 360, Qt::black);
    SkinImageCache images(dir.path().toStdString());
    FunctionMenuLook look;
    look.images = &images;
    look.functionName = [](int code) { return QString::number(code); };
    look.macroNames = [] {
        return std::vector<QString>{QStringLiteral("a"), QStringLiteral("b"), QStringLiteral("c")};
    };
    FunctionMenu menu(look, nullptr);
    menu.move(100, 200);
    menu.hoverAt(QPoint(10, 7 * 30 + 1)); // band 8: six items
    FunctionSubMenu* sub = menu.subMenu();
    QVERIFY(sub);
    QCOMPARE(sub->itemCount(), 6);
    QCOMPARE(sub->bandHeight(), 30);
    QCOMPARE(sub->mask().boundingRect(), QRect(0, 0, 180, 181));
    QCOMPARE(sub->itemText(1), QStringLiteral("21"));
    menu.hoverAt(QPoint(10, 8 * 30 + 1)); // band 9: the three macros, ending beside band 9
    sub = menu.subMenu();
    QCOMPARE(sub->itemCount(), 3);
    QCOMPARE(sub->itemText(2), QStringLiteral("b"));
    QCOMPARE(sub->pos(), QPoint(100 + 150, 200 + 6 * 30));
    QSignalSpy chosen(&menu, &FunctionMenu::subItemChosen);
    const QPoint item2(20, 30 + 4);
    sub->hoverAt(item2);
    QTest::mouseClick(sub, Qt::LeftButton, {}, item2);
    QCOMPARE(chosen.size(), 1);
    QCOMPARE(chosen[0][0].toInt(), 9);
    QCOMPARE(chosen[0][1].toInt(), 2);
}

void MenusTest::bandHitTest() {
    struct Row {
        QPoint p;
        int band;
    };
    const Row rows[] = {{{0, 0}, 1}, {{149, 29}, 1}, {{0, 30}, 2}, {{150, 10}, 255}, {{5, 299}, 10}, {{5, -1}, 255}};
    for (const Row& row : rows)
        QCOMPARE(MenuBandAt(row.p, 150, 30, 12), row.band);
    QCOMPARE(MenuBandAt({5, 95}, 150, 30, 3), 255); // beyond the item count
    QCOMPARE(SubMenuOffset(7, 150, 30, 0), QPoint(150, -30));
    QCOMPARE(SubMenuOffset(8, 150, 30, 0), QPoint(150, 60));
    QCOMPARE(SubMenuOffset(10, 150, 30, 0), QPoint(150, 0));
}

void MenusTest::warningAnswers() {
    SkinImageCache images(std::filesystem::path(KRV_BUILD_DATA_DIR) / "skins");
    SkinDescriptions skin;
    SilentNotifier notifier;
    AppPaths paths{KRV_BUILD_DATA_DIR};
    QVERIFY(LoadWarningLayout(skin, paths, UiLanguage::English, notifier));
    const SkinLayout& layout = skin.warningLayout;
    auto centre = [&](int i) {
        const SkinElement& e = layout[static_cast<std::size_t>(i)];
        return QPoint(e.x + e.width / 2, e.y + e.height / 2);
    };
    struct Row {
        const char* name;
        std::function<void(WarningBox&)> act;
        int result; // 0: still open
    };
    const Row rows[] = {
        {"confirm", [&](WarningBox& d) { QTest::mouseClick(&d, Qt::LeftButton, {}, centre(0)); }, 1},
        {"cancel", [&](WarningBox& d) { QTest::mouseClick(&d, Qt::LeftButton, {}, centre(1)); }, 2},
        {"press confirm, release cancel",
         [&](WarningBox& d) {
             QTest::mousePress(&d, Qt::LeftButton, {}, centre(0));
             QTest::mouseRelease(&d, Qt::LeftButton, {}, centre(1));
         },
         2},
        {"release over the message", [&](WarningBox& d) { QTest::mouseClick(&d, Qt::LeftButton, {}, centre(2)); }, 0},
        {"enter", [&](WarningBox& d) { QTest::keyClick(&d, Qt::Key_Return); }, 0},
        {"escape", [&](WarningBox& d) { QTest::keyClick(&d, Qt::Key_Escape); }, 2},
    };
    for (const Row& row : rows) {
        WarningBox box(layout, QFont(), images, QPoint(40, 50));
        QCOMPARE(box.pos(), QPoint(40, 50));
        QVERIFY(!box.size().isEmpty());
        QSignalSpy finished(&box, &QDialog::finished);
        box.open();
        QVERIFY(QTest::qWaitForWindowExposed(&box));
        row.act(box);
        if (row.result == 0) {
            QVERIFY2(finished.isEmpty(), row.name);
            QVERIFY2(box.isVisible(), row.name);
        } else {
            QVERIFY2(finished.size() == 1, row.name);
            QCOMPARE(finished[0][0].toInt(), row.result);
        }
    }
}

enum class SkinnedWindow { Menu, SubMenu, Warning };

void MenusTest::changedImagesShowAtTheNextPaint_data() {
    QTest::addColumn<SkinnedWindow>("window");
    QTest::addColumn<QString>("file");
    QTest::addColumn<bool>("hover");
    QTest::newRow("menu") << SkinnedWindow::Menu << "menu_normal.jpg" << false;
    QTest::newRow("menu, hovered band") << SkinnedWindow::Menu << "menu_over.jpg" << true;
    QTest::newRow("second level") << SkinnedWindow::SubMenu << "advanced menu_normal.jpg" << false;
    QTest::newRow("second level, hovered item") << SkinnedWindow::SubMenu << "advanced menu_over.jpg" << true;
    QTest::newRow("warning box") << SkinnedWindow::Warning << "warning_normal.jpg" << false;
    QTest::newRow("warning box, hovered button") << SkinnedWindow::Warning << "warning_over.jpg" << true;
}

void MenusTest::changedImagesShowAtTheNextPaint() {
    namespace fs = std::filesystem;
    QFETCH(SkinnedWindow, window);
    QFETCH(QString, file);
    QFETCH(bool, hover);
    // The shipped skin in a folder of its own, with the one image under test painted a flat colour.
    QTemporaryDir dir;
    const fs::path shipped = fs::path(KRV_BUILD_DATA_DIR) / "skins";
    for (const auto& entry : fs::directory_iterator(shipped))
        if (entry.is_regular_file())
            fs::copy_file(entry.path(), fs::path(dir.path().toStdString()) / entry.path().filename());
    const QString path = dir.filePath(file);
    const QSize size = QImage(path).size();
    QVERIFY(!size.isEmpty());
    writeImage(path, size.width(), size.height(), QColor(200, 40, 40));

    SkinImageCache images(dir.path().toStdString());
    SkinDescriptions skin;
    SilentNotifier notifier;
    QVERIFY(LoadWarningLayout(skin, AppPaths{KRV_BUILD_DATA_DIR}, UiLanguage::English, notifier));
    FunctionMenuLook look;
    look.images = &images;
    std::unique_ptr<QWidget> owner;
    QWidget* painted = nullptr;
    QPoint at(3, 3); // clear of the centred texts
    if (window == SkinnedWindow::Warning) {
        auto box = std::make_unique<WarningBox>(skin.warningLayout, QFont(), images, QPoint(40, 50));
        box->show();
        QVERIFY(QTest::qWaitForWindowExposed(box.get()));
        if (hover) {
            const SkinElement& confirm = skin.warningLayout[WarningElement::Confirm];
            at = QPoint(confirm.x + 2, confirm.y + 2);
            moveMouse(box.get(), at);
            QTRY_COMPARE(box->hovered(), WarningBox::Confirm);
        }
        painted = box.get();
        owner = std::move(box);
    } else {
        auto menu = std::make_unique<FunctionMenu>(look, nullptr);
        menu->move(40, 50);
        menu->show();
        QVERIFY(QTest::qWaitForWindowExposed(menu.get()));
        painted = menu.get();
        if (window == SkinnedWindow::SubMenu) {
            moveMouse(menu.get(), QPoint(3, 7 * menu->bandHeight() + 3)); // band 8 opens its group
            QTRY_VERIFY(menu->subMenu() && menu->subMenu()->isVisible());
            painted = menu->subMenu();
            QVERIFY(QTest::qWaitForWindowExposed(painted));
        }
        if (hover) {
            const int bandHeight =
                window == SkinnedWindow::SubMenu ? menu->subMenu()->bandHeight() : menu->bandHeight();
            at = QPoint(3, bandHeight + 3); // the second band
            moveMouse(painted, at);
            if (window == SkinnedWindow::SubMenu)
                QTRY_COMPARE(menu->subMenu()->hoveredItem(), 2);
            else
                QTRY_COMPARE(menu->hoveredBand(), 2);
        }
        owner = std::move(menu);
    }
    QVERIFY(closeTo(painted->grab().toImage().pixelColor(at), QColor(200, 40, 40)));

    // The file edited while the window is open; a later modification time, as a later edit would have
    // (file systems keep it to a few milliseconds).
    writeImage(path, size.width(), size.height(), QColor(40, 200, 40));
    const fs::path edited = path.toStdString();
    fs::last_write_time(edited, fs::last_write_time(edited) + std::chrono::seconds(2));
    QVERIFY(closeTo(painted->grab().toImage().pixelColor(at), QColor(40, 200, 40)));
}

QTEST_MAIN(MenusTest)
#include "menus_test.moc"
