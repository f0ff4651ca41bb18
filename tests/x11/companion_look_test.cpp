// SPDX-License-Identifier: MIT
// The companion's own windows on a real X server (Xvfb), in both languages: the shaped main window,
// the skinned warning box and the two-level function menu, compared pixel by pixel with what they
// compose, and saved as PNG files under the build folder for a look.
#include "widgets/CompanionFixture.h"
#include "x11/QtEnvironment.h"

#include "ui/FunctionMenu.h"
#include "ui/WarningBox.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QGuiApplication>
#include <QMenu>
#include <QScreen>

namespace krv {
namespace {

[[maybe_unused]] ::testing::Environment* const qtEnvironment =
    ::testing::AddGlobalTestEnvironment(new test::QtEnvironment);

QImage grabScreen(const QRect& rect) {
    QCoreApplication::processEvents();
    return QGuiApplication::primaryScreen()->grabWindow(0, rect.x(), rect.y(), rect.width(), rect.height()).toImage();
}

QString shotPath(const QString& name) {
    const QString dir = QStringLiteral(KRV_BUILD_DATA_DIR "/../x11-shots");
    QDir().mkpath(dir);
    return QDir(dir).filePath(name);
}

// A visible point of a widget: its composed pixel equals the screen's.
void expectShown(const QImage& screen, const QImage& composed, QPoint p, const char* what) {
    EXPECT_EQ(screen.pixelColor(p).rgb(), composed.pixelColor(p).rgb()) << what << " at " << p.x() << "," << p.y();
}

class LookTest : public ::testing::TestWithParam<UiLanguage> {};

TEST_P(LookTest, WarningBoxAndMenus) {
    test::CompanionFixture f({}, false);
    // The real dialogs, not the script.
    Companion::Options options;
    options.watchHotplug = false;
    options.watchPower = false;
    Companion companion(*f.context, options);
    f.companion.reset();
    companion.start();
    companion.switchLanguage(GetParam());
    const QString lang = GetParam() == UiLanguage::English ? QStringLiteral("en") : QStringLiteral("cn");
    MainWindow& window = companion.window();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    window.move(20, 20);
    QTest::qWait(100);
    window.repaint();
    const QImage mainShot = grabScreen(window.geometry());
    mainShot.save(shotPath(lang + "-main.png"));
    // Inside the shape the screen shows the composed page; a cut pixel of the mask does not.
    const QImage page = window.composeCurrentPage();
    const SkinElement& apply = window.skin().mainLayout[MainElement::Apply];
    expectShown(mainShot, page, QPoint(apply.x + 3, apply.y + apply.height / 2), "main window");

    // Slot 1 holds the only primary button: the warning box comes first, under the slot.
    const SkinElement& slot1 = window.skin().mainLayout[MainElement::ButtonSlotFirst];
    const QPoint slotPoint(slot1.x + slot1.width / 2, slot1.y + slot1.height / 2);
    companion.controller().mouseMove(slotPoint);
    QTest::mousePress(&window, Qt::LeftButton, {}, slotPoint);
    QTest::mouseRelease(&window, Qt::LeftButton, {}, slotPoint);
    WarningBox* box = nullptr;
    QTRY_VERIFY_WITH_TIMEOUT(
        [&] {
            for (QWidget* w : QApplication::topLevelWidgets())
                if (auto* b = qobject_cast<WarningBox*>(w); b && b->isVisible())
                    box = b;
            return box != nullptr;
        }(),
        5000);
    ASSERT_TRUE(box);
    ASSERT_TRUE(QTest::qWaitForWindowExposed(box));
    EXPECT_EQ(box->pos(), companion.controller().menuOrigin(MainElement::ButtonSlotFirst));
    QTest::qWait(100);
    const SkinLayout& warning = window.skin().warningLayout;
    const SkinElement& confirm = warning[WarningElement::Confirm];
    const QPoint confirmPoint(confirm.x + confirm.width / 2, confirm.y + confirm.height / 2);
    QTest::mouseMove(box, confirmPoint);
    QTRY_COMPARE(box->hovered(), WarningBox::Confirm);
    box->repaint();
    const QImage boxShot = grabScreen(box->geometry());
    boxShot.save(shotPath(lang + "-warning.png"));
    expectShown(boxShot, box->composeImage(), confirmPoint, "warning box");
    EXPECT_FALSE(box->mask().isEmpty());

    QTest::mouseClick(box, Qt::LeftButton, {}, confirmPoint);
    QTRY_VERIFY_WITH_TIMEOUT(companion.controller().functionMenu() != nullptr, 5000);
    FunctionMenu* menu = companion.controller().functionMenu();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(menu));
    const QPoint band10(menu->bandWidth() / 2, 9 * menu->bandHeight() + menu->bandHeight() / 2);
    QTest::mouseMove(menu, band10);
    QTRY_VERIFY(menu->subMenu() != nullptr);
    ASSERT_TRUE(QTest::qWaitForWindowExposed(menu->subMenu()));
    QTest::qWait(100);
    menu->repaint();
    menu->subMenu()->repaint();
    const QRect both = menu->geometry().united(menu->subMenu()->geometry());
    const QImage menuShot = grabScreen(both);
    menuShot.save(shotPath(lang + "-menus.png"));
    const QImage first = grabScreen(menu->geometry());
    expectShown(first, menu->composeImage(), band10, "first level, hovered band");
    expectShown(first, menu->composeImage(), QPoint(menu->bandWidth() / 2, menu->bandHeight() / 2), "first level");
    // Choosing item 4 of the shortcuts stores code 34 in slot 1 and gives code 1 to slot 2.
    FunctionSubMenu* sub = menu->subMenu();
    const QPoint item4(sub->bandWidth() / 2, 3 * sub->bandHeight() + sub->bandHeight() / 2);
    QTest::mouseMove(sub, item4);
    QTRY_COMPARE(sub->hoveredItem(), 4);
    QTest::mouseClick(sub, Qt::LeftButton, {}, item4);
    EXPECT_EQ(f.settings().buttonCodes[0].load(), 34);
    EXPECT_EQ(f.settings().buttonCodes[1].load(), 1);
    QTRY_VERIFY(companion.controller().functionMenu() == nullptr);

    // The tray menu in the program's colours.
    QMenu* tray = companion.trayMenu().menu();
    tray->popup(QPoint(400, 300));
    ASSERT_TRUE(QTest::qWaitForWindowExposed(tray));
    tray->setActiveAction(tray->actions().value(0));
    QTest::qWait(100);
    const QImage trayShot = grabScreen(tray->geometry());
    trayShot.save(shotPath(lang + "-tray-menu.png"));
    EXPECT_EQ(trayShot.pixelColor(trayShot.width() - 3, 1 + 20 + 10).rgb(), QColor(0, 120, 153).rgb())
        << "the second item is a teal bar";
    tray->hide();
    companion.ShutDown();
}

INSTANTIATE_TEST_SUITE_P(Languages, LookTest, ::testing::Values(UiLanguage::English, UiLanguage::Chinese),
                         [](const auto& info) { return info.param == UiLanguage::English ? "English" : "Chinese"; });

} // namespace
} // namespace krv
