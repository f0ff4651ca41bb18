// SPDX-License-Identifier: MIT
// The main window driven with mouse events on its element rectangles, on a whole companion whose
// device is the simulated mouse.

#include "widgets/CompanionFixture.h"
#include "unit/RequireOk.h"

#include "app/VirtualMouseWindow.h"
#include "mouse/ButtonCode.h"
#include "settings/IniFile.h"
#include "skin/SkinImages.h"
#include "ui/FunctionMenu.h"
#include "ui/KrvMenu.h"

#include <QDesktopServices>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>

using namespace krv;
using namespace krv::test;

namespace {

void setStages(ProfileSettings& s, std::array<int, 4> enabled, int level) {
    for (std::size_t i = 0; i < 4; ++i)
        s.dpiStageEnabled[i].store(static_cast<std::uint8_t>(enabled[i]));
    s.dpiStage.store(level);
}

std::array<int, 4> stages(const ProfileSettings& s) {
    return {s.dpiStageEnabled[0].load(), s.dpiStageEnabled[1].load(), s.dpiStageEnabled[2].load(),
            s.dpiStageEnabled[3].load()};
}

std::string iniValue(const QString& file, const char* section, const char* key) {
    return IniFile::readString(file.toStdString(), section, key);
}

} // namespace

class CompanionTest : public QObject {
    Q_OBJECT
private slots:
    void startupAppliesTheProfileToTheMouse();
    void missingMouseShowsTheMessageAndEndsWithoutWriting_data();
    void missingMouseShowsTheMessageAndEndsWithoutWriting();
    void hoverFollowsTheLowestIndexAndExcludesEdges();
    void offTheMainPageOnlyTheTopBarReacts();
    void stageToggles_data();
    void stageToggles();
    void selectingADisabledStageDoesNothingButItsPositionCanBeSet();
    void fireTimeBarAndSteps();
    void warningGuardsTheLastPrimaryButton();
    void secondSlotClickReplacesTheMenu();
    void menuChoicesStoreCodes();
    void keepsThePrimaryButton();
    void releaseOverAGroupKeepsTheMenuOpen();
    void profileTabLoadsButSendsNothing();
    void cancelRestoresTheAppliedProfileButKeepsTheStage();
    void applyReachesTheMouseAndSavesTheProfile();
    void importAndExportProfiles();
    void pagesCreateAndDestroyTheAdvancedControls();
    void colorPreviewFollowsTheAppliedLedMode();
    void languageSwitchBothWays();
    void pressOnNoElementDragsTheWindow();
    void shutDownSaysGoodbyeAndResetsThePointer();
    void removalEndsWithoutGoodbye();
    void trayMenuCommands();
    void topBarReleaseActions();
    void systemMenuOffersMinimiseAndAbout();
    void missingSkinFileEndsAfterTheMessage();
    void startUpMessagesShowOneAfterAnother();
    void hostServedButtonsWorkWhileInTheTray();
    void virtualMouseShowsAndPresses();
};

// Records the addresses the program asks the desktop to open.
class UrlSink : public QObject {
    Q_OBJECT
public:
    QList<QUrl> opened;
public slots:
    void open(const QUrl& url) { opened.append(url); }
};

void CompanionTest::startupAppliesTheProfileToTheMouse() {
    CompanionFixture f;
    QCOMPARE(f.companion->state(), Companion::State::Shown);
    QVERIFY(f.window().isVisible());
    // The apply follows the scan 5 ms later: button map, wheel, DPI and LED, fire time.
    QTRY_VERIFY(f.reportsSent() >= 11);
    const SimMouseState s = f.mouse->state();
    for (int slot = 1; slot <= ButtonSlotCount; ++slot) {
        const auto expected = DeviceValue(f.settings().buttonCodes[static_cast<std::size_t>(slot - 1)].load());
        QCOMPARE(s.buttonMap[DeviceButtonId[static_cast<std::size_t>(slot - 1)]], *expected);
    }
    QCOMPARE(s.fireTime, static_cast<std::uint8_t>(f.settings().fireInterval.load() / 8));
    QCOMPARE(f.pointer->speed.load(), PointerSpeedOfStep(f.settings().pointerSpeed.load()));
    // The factory profile hands slots 6 and 7 to the host: the mouse acknowledges and the wait ends.
    QTRY_VERIFY(f.context->feedback.HostFunctionsReady.load());
}

void CompanionTest::missingMouseShowsTheMessageAndEndsWithoutWriting_data() {
    QTest::addColumn<QString>("verSel");
    QTest::addColumn<QString>("mouse"); // unplugged, no access, or a collection missing
    QTest::addColumn<QString>("message"); // the whole message, or its beginning for those that go on
    QTest::newRow("english") << "1" << "unplugged" << QStringLiteral("Please plug-in【VELDRA GAMING MOUSE】USB Mouse");
    QTest::newRow("chinese") << "0" << "unplugged" << QStringLiteral("Please plug-in VELDRA GAMING MOUSE USB Mouse");
    QTest::newRow("english, no access")
        << "1" << "no access"
        << QStringLiteral("The mouse is plugged in, but this program may not open it (/dev/hidraw-sim1: Permission "
                          "denied).\nTo give it access, run:\n");
    QTest::newRow("chinese, no access")
        << "0" << "no access" << QStringLiteral("鼠标已插入，但本程序无权打开它（/dev/hidraw-sim1：Permission denied）。");
    QTest::newRow("english, a collection missing")
        << "1" << "collection missing"
        << QStringLiteral("The mouse is plugged in, but its vendor feature interface (usage page 0xFF01) is missing");
}

void CompanionTest::missingMouseShowsTheMessageAndEndsWithoutWriting() {
    QFETCH(QString, verSel);
    QFETCH(QString, mouse);
    QFETCH(QString, message);
    QByteArray before;
    CompanionFixture f(
        [&](const QString& dir, SimulatedMouse& sim) {
            if (mouse == "unplugged")
                sim.unplug();
            else if (mouse == "no access")
                sim.setOpenFailure(SimulatedMouse::Collection::VendorInput, true);
            else
                sim.setEnumerationOrder({SimulatedMouse::Collection::Pointer, SimulatedMouse::Collection::VendorInput});
            krv::test::requireOk(IniFile::writeString((dir + "/config.ini").toStdString(), "Init", "VER_SEL", verSel.toStdString()));
            QFile file(dir + "/config.ini");
            file.open(QIODevice::ReadOnly);
            before = file.readAll();
        },
        false);
    f.dialogs.answerMessages = false;
    f.companion->start();
    QCOMPARE(f.dialogs.messages.size(), std::size_t{1});
    QVERIFY2(f.dialogs.messages[0].startsWith(message), qPrintable(f.dialogs.messages[0]));
    if (mouse == "unplugged")
        QCOMPARE(f.dialogs.messages[0], message);
#ifdef _WIN32
    else if (mouse == "no access") // no udev rule to write on Windows: no command is offered
        QVERIFY(!f.dialogs.messages[0].contains("udevadm"));
#else
    else if (mouse == "no access")
        QVERIFY(f.dialogs.messages[0].contains("udevadm trigger --subsystem-match=hidraw"));
#endif
    QVERIFY(f.endings.empty()); // waits for OK
    QVERIFY(!f.window().isVisible());
    f.dialogs.closeMessages();
    QCOMPARE(f.endings, std::vector<int>{0});
    QCOMPARE(f.companion->state(), Companion::State::Ended);
    QFile file(f.configPath());
    file.open(QIODevice::ReadOnly);
    QCOMPARE(file.readAll(), before);
    QCOMPARE(f.pointer->speed.load(), 10);
}

void CompanionTest::hoverFollowsTheLowestIndexAndExcludesEdges() {
    CompanionFixture f;
    const SkinElement& slot = f.mainElement(MainElement::ButtonSlotFirst);
    const MainViewState& s = f.window().viewState();
    struct Row {
        QPoint p;
        bool inside;
    };
    const Row rows[] = {
        {{slot.x, slot.y}, true},                                    // top-left corner
        {{slot.x + slot.width - 1, slot.y + slot.height - 1}, true}, // last pixel
        {{slot.x + slot.width, slot.y + 1}, false},                  // right edge
        {{slot.x + 1, slot.y + slot.height}, false},                 // bottom edge
    };
    for (const Row& row : rows) {
        f.moveTo(row.p);
        QCOMPARE(s.mainHit == MainElement::ButtonSlotFirst, row.inside);
        QCOMPARE(s.lastMainHit, s.mainHit);
    }
}

void CompanionTest::offTheMainPageOnlyTheTopBarReacts() {
    CompanionFixture f;
    const MainViewState& s = f.window().viewState();
    for (SkinPage page : {SkinPage::Color, SkinPage::Advanced}) {
        f.showPage(page);
        const int wheel = f.settings().wheelMode.load();
        f.clickMain(MainElement::WheelFirst + 1 - wheel);
        QCOMPARE(f.settings().wheelMode.load(), wheel);
        f.moveTo(CompanionFixture::center(f.mainElement(MainElement::ButtonSlotFirst)));
        QCOMPARE(s.mainHit, NoHit);
        QVERIFY(!f.controller().functionMenu());
        f.moveTo(CompanionFixture::center(f.mainElement(MainElement::Apply)));
        QCOMPARE(s.mainHit, HitIndex(MainElement::Apply));
    }
}

void CompanionTest::stageToggles_data() {
    QTest::addColumn<QList<int>>("enabled");
    QTest::addColumn<int>("level");
    QTest::addColumn<int>("stage");
    QTest::addColumn<QList<int>>("enabledAfter");
    QTest::addColumn<int>("levelAfter");
    QTest::newRow("enable a disabled stage") << QList<int>{1, 0, 0, 0} << 0 << 2 << QList<int>{1, 0, 1, 0} << 0;
    QTest::newRow("disable another stage") << QList<int>{1, 1, 1, 1} << 0 << 2 << QList<int>{1, 1, 0, 1} << 0;
    QTest::newRow("disable the current stage") << QList<int>{1, 1, 1, 1} << 1 << 1 << QList<int>{1, 0, 1, 1} << 2;
    QTest::newRow("the search wraps") << QList<int>{1, 0, 0, 1} << 3 << 3 << QList<int>{1, 0, 0, 0} << 0;
    QTest::newRow("the only stage stays") << QList<int>{0, 0, 1, 0} << 2 << 2 << QList<int>{0, 0, 1, 0} << 2;
}

void CompanionTest::stageToggles() {
    QFETCH(QList<int>, enabled);
    QFETCH(int, level);
    QFETCH(int, stage);
    QFETCH(QList<int>, enabledAfter);
    QFETCH(int, levelAfter);
    CompanionFixture f;
    setStages(f.settings(), {enabled[0], enabled[1], enabled[2], enabled[3]}, level);
    f.clickMain(MainElement::StageEnableFirst + stage);
    const std::array<int, 4> expected{enabledAfter[0], enabledAfter[1], enabledAfter[2], enabledAfter[3]};
    QCOMPARE(stages(f.settings()), expected);
    QCOMPARE(f.settings().dpiStage.load(), levelAfter);
}

void CompanionTest::selectingADisabledStageDoesNothingButItsPositionCanBeSet() {
    CompanionFixture f;
    setStages(f.settings(), {1, 0, 1, 1}, 0);
    f.clickMain(MainElement::StageSelectFirst + 1);
    QCOMPARE(f.settings().dpiStage.load(), 0);
    f.clickMain(MainElement::StageSelectFirst + 3);
    QCOMPARE(f.settings().dpiStage.load(), 3);
    // Position 4 of the disabled stage 2 (element 60 + 5 + 4).
    f.clickMain(MainElement::SliderFirst + 5 + 4);
    QCOMPARE(f.settings().dpiStagePositions[1].load(), std::uint8_t{4});
    QCOMPARE(MainElement::sliderOf(1, f.settings().dpiStagePositions[1].load()), MainElement::SliderFirst + 9);
    f.clickMain(MainElement::WheelFirst + 1);
    QCOMPARE(f.settings().wheelMode.load(), 1);
}

void CompanionTest::fireTimeBarAndSteps() {
    CompanionFixture f;
    f.showPage(SkinPage::Advanced);
    const SkinElement& bar = f.advancedElement(AdvancedElement::FireBar);
    const int y = bar.y + bar.height / 2;
    f.click({bar.x, y});
    QCOMPARE(f.settings().fireInterval.load(), 0);
    f.click({bar.x + bar.width - 1, y});
    QCOMPARE(f.settings().fireInterval.load(), (bar.width - 1) * 300 / bar.width);
    f.click({bar.x + bar.width / 2, y});
    QCOMPARE(f.settings().fireInterval.load(), (bar.width / 2) * 300 / bar.width);
    f.settings().fireInterval.store(300);
    f.clickAdvanced(AdvancedElement::FirePlus);
    QCOMPARE(f.settings().fireInterval.load(), 300);
    f.settings().fireInterval.store(0);
    f.clickAdvanced(AdvancedElement::FireMinus);
    QCOMPARE(f.settings().fireInterval.load(), 0);
    f.clickAdvanced(AdvancedElement::FirePlus);
    QCOMPARE(f.settings().fireInterval.load(), 1);
    f.clickAdvanced(AdvancedElement::DpiSpeedFirst + 7);
    QCOMPARE(f.settings().pointerSpeed.load(), std::uint8_t{7});
    f.clickAdvanced(AdvancedElement::WheelSpeedFirst + 9);
    QCOMPARE(f.settings().wheelSpeed.load(), std::uint8_t{9});
}

void CompanionTest::warningGuardsTheLastPrimaryButton() {
    CompanionFixture f;
    QCOMPARE(f.settings().buttonCodes[0].load(), 1); // the usual assignment: only slot 1 holds the primary code
    f.dialogs.warningAnswer = 2;
    f.clickMain(MainElement::ButtonSlotFirst);
    QCOMPARE(f.dialogs.warnings.size(), std::size_t{1});
    QCOMPARE(f.dialogs.warnings[0], f.controller().menuOrigin(MainElement::ButtonSlotFirst));
    QVERIFY(!f.controller().functionMenu());
    QVERIFY(!f.window().viewState().menuOpen);

    f.dialogs.warningAnswer = 1;
    f.clickMain(MainElement::ButtonSlotFirst);
    QCOMPARE(f.dialogs.warnings.size(), std::size_t{2});
    QVERIFY(f.controller().functionMenu());

    // Another slot while slot 1 keeps the code: no warning.
    f.clickMain(MainElement::ButtonSlotFirst + 3);
    QCOMPARE(f.dialogs.warnings.size(), std::size_t{2});
    QVERIFY(f.controller().functionMenu());
}

void CompanionTest::secondSlotClickReplacesTheMenu() {
    CompanionFixture f;
    f.clickMain(MainElement::ButtonSlotFirst + 1);
    QPointer<FunctionMenu> first = f.controller().functionMenu();
    QVERIFY(first);
    QCOMPARE(first->pos(), f.controller().menuOrigin(MainElement::ButtonSlotFirst + 1));
    QCOMPARE(first->windowTitle(), QStringLiteral("MainMenuDlg"));
    f.clickMain(MainElement::ButtonSlotFirst + 2);
    QTRY_VERIFY(!first);
    FunctionMenu* second = f.controller().functionMenu();
    QVERIFY(second);
    QCOMPARE(second->pos(), f.controller().menuOrigin(MainElement::ButtonSlotFirst + 2));
    QCOMPARE(f.window().viewState().menuSlot, MainElement::ButtonSlotFirst + 2);
    // A press elsewhere on the main page closes it.
    f.clickMain(MainElement::WheelFirst);
    QVERIFY(!f.controller().functionMenu());
}

namespace {

// Chooses band `band` of the first level, or item `item` of the group in band `band`.
void choose(CompanionFixture& f, int slot, int band, int item = 0) {
    f.clickMain(MainElement::ButtonSlotFirst + slot - 1);
    FunctionMenu* menu = f.controller().functionMenu();
    QVERIFY(menu);
    const QPoint bandPoint(menu->bandWidth() / 2, (band - 1) * menu->bandHeight() + menu->bandHeight() / 2);
    QTest::mouseMove(menu, bandPoint);
    menu->hoverAt(bandPoint);
    if (item == 0) {
        QTest::mouseClick(menu, Qt::LeftButton, {}, bandPoint);
        return;
    }
    FunctionSubMenu* sub = menu->subMenu();
    QVERIFY(sub);
    const QPoint itemPoint(sub->bandWidth() / 2, (item - 1) * sub->bandHeight() + sub->bandHeight() / 2);
    sub->hoverAt(itemPoint);
    QTest::mouseClick(sub, Qt::LeftButton, {}, itemPoint);
}

} // namespace

void CompanionTest::menuChoicesStoreCodes() {
    CompanionFixture f;
    // The user's macro file ships empty: take the language's default macros.
    krv::test::requireOk(LoadMacroFile(f.context->macros, f.context->paths.defaultMacroFile(f.context->language), f.companion->notifier()));
    QVERIFY(f.context->macros.count() >= 2);
    struct Row {
        int slot, band, item;
        int code;
    };
    const Row rows[] = {{4, 3, 0, 3}, {4, 10, 4, 34}, {5, 9, 2, 42}, {3, 7, 1, 11}, {2, 8, 6, 26}};
    for (const Row& row : rows) {
        choose(f, row.slot, row.band, row.item);
        QCOMPARE(f.settings().buttonCodes[static_cast<std::size_t>(row.slot - 1)].load(), row.code);
        QTRY_VERIFY(!f.controller().functionMenu());
        QVERIFY(!f.window().viewState().menuOpen);
    }
    // Nothing reached the mouse: the choices wait for apply.
    const auto sent = f.reportsSent();
    QTest::qWait(20);
    QCOMPARE(f.reportsSent(), sent);
}

void CompanionTest::keepsThePrimaryButton() {
    CompanionFixture f;
    choose(f, 1, 2); // slot 1, the only holder of code 1, takes code 2
    QCOMPARE(f.settings().buttonCodes[0].load(), 2);
    QCOMPARE(f.settings().buttonCodes[1].load(), 1);
    for (std::size_t i = 0; i < 7; ++i)
        f.settings().buttonCodes[i].store(3);
    f.settings().buttonCodes[7].store(1);
    choose(f, 8, 4);
    QCOMPARE(f.settings().buttonCodes[7].load(), 1);
}

void CompanionTest::releaseOverAGroupKeepsTheMenuOpen() {
    CompanionFixture f;
    const int before = f.settings().buttonCodes[3].load();
    choose(f, 4, 7);
    FunctionMenu* menu = f.controller().functionMenu();
    QVERIFY(menu);
    QCOMPARE(f.settings().buttonCodes[3].load(), before);
    QVERIFY(menu->subMenu());
    QCOMPARE(menu->subMenu()->itemCount(), 9);
    QCOMPARE(menu->subMenu()->pos(), menu->pos() + QPoint(menu->bandWidth(), -menu->bandHeight()));
    // Band 8 replaces the second level by group 8's, two bands below the top.
    const QPoint band8(menu->bandWidth() / 2, 7 * menu->bandHeight() + 2);
    menu->hoverAt(band8);
    QCOMPARE(menu->subMenu()->group(), 8);
    QCOMPARE(menu->subMenu()->itemCount(), 6);
    QCOMPARE(menu->subMenu()->pos(), menu->pos() + QPoint(menu->bandWidth(), 2 * menu->bandHeight()));
    // Group 9 opens so that its macros end beside band 9.
    krv::test::requireOk(LoadMacroFile(f.context->macros, f.context->paths.defaultMacroFile(f.context->language), f.companion->notifier()));
    menu->hoverAt(QPoint(2, 8 * menu->bandHeight() + 2));
    const int m = f.context->macros.count();
    QCOMPARE(menu->subMenu()->itemCount(), m);
    QCOMPARE(menu->subMenu()->pos(), menu->pos() + QPoint(menu->bandWidth(), (9 - m) * menu->bandHeight()));
    // A direct band removes it.
    menu->hoverAt(QPoint(2, 2));
    QVERIFY(!menu->subMenu());
}

void CompanionTest::profileTabLoadsButSendsNothing() {
    CompanionFixture f;
    QTRY_VERIFY(f.reportsSent() >= 11);
    QTest::qWait(50);
    const auto sent = f.reportsSent();
    ProfileSettings expected;
    krv::test::requireOk(LoadProfile(expected, f.configPath().toStdString(), 3, false, f.context->language));
    f.clickMain(MainElement::ProfileTabFirst + 2);
    QCOMPARE(f.settings().currentProfile.load(), 3);
    QVERIFY(f.settings().values() == expected.values());
    QTest::qWait(20);
    QCOMPARE(f.reportsSent(), sent);
}

void CompanionTest::cancelRestoresTheAppliedProfileButKeepsTheStage() {
    CompanionFixture f;
    QTRY_VERIFY(f.reportsSent() >= 11);
    const int k4 = f.settings().buttonCodes[3].load();
    const int wheel = f.settings().wheelMode.load();
    choose(f, 4, 3);
    f.clickMain(MainElement::WheelFirst + 1 - wheel);
    setStages(f.settings(), {1, 1, 1, 1}, 0);
    f.clickMain(MainElement::StageSelectFirst + 2);
    QCOMPARE(f.settings().dpiStage.load(), 2);
    f.clickMain(MainElement::Cancel);
    QCOMPARE(f.settings().buttonCodes[3].load(), k4);
    QCOMPARE(f.settings().wheelMode.load(), wheel);
    QCOMPARE(f.settings().dpiStage.load(), 2);
    QCOMPARE(iniValue(f.configPath(), "Config6", "DPI_LEVEL"), std::string("2"));
    QCOMPARE(f.window().viewState().mainHit, NoHit);
    // Hidden to the tray, or minimised where the desktop has no tray.
    QVERIFY(!f.window().isVisible() || f.window().isMinimized());
}

void CompanionTest::applyReachesTheMouseAndSavesTheProfile() {
    CompanionFixture f;
    QTRY_VERIFY(f.context->feedback.HostFunctionsReady.load());
    choose(f, 4, 10, 1); // slot 4: Ctrl+C, served by the host
    choose(f, 5, 3);     // slot 5: code 3
    f.showPage(SkinPage::Advanced);
    f.clickAdvanced(AdvancedElement::FireMinus);
    const int fire = f.settings().fireInterval.load();
    f.showPage(SkinPage::Main);
    f.clickMain(MainElement::Apply);
    const SimMouseState s = f.mouse->state();
    QCOMPARE(s.buttonMap[DeviceButtonId[3]], HostCode);
    QCOMPARE(s.buttonMap[DeviceButtonId[4]], std::uint8_t{3});
    QCOMPARE(s.fireTime, static_cast<std::uint8_t>(fire / 8));
    QCOMPARE(iniValue(f.configPath(), "Config6", "K4"), std::string("31"));
    QCOMPARE(iniValue(f.configPath(), "Config1", "K5"), std::string("3"));
    QCOMPARE(iniValue(f.configPath(), "Init", "CurConfig"), std::string("1"));
    QTRY_VERIFY(f.context->feedback.HostFunctionsReady.load());
}

void CompanionTest::importAndExportProfiles() {
    CompanionFixture f;
    const QString exchange = f.folder.filePath("exchange.ini");
    f.settings().fireInterval.store(123);
    f.dialogs.saveAnswer = exchange;
    f.clickMain(MainElement::ExportProfile);
    QCOMPARE(f.dialogs.openFolders.back(), f.folder.path());
    QCOMPARE(iniValue(exchange, "Config7", "FIRE_TIME"), std::string("123"));
    krv::test::requireOk(IniFile::writeString(exchange.toStdString(), "Config7", "FIRE_TIME", "77"));
    f.dialogs.openAnswer = exchange;
    f.clickMain(MainElement::ImportProfile);
    QCOMPARE(f.settings().fireInterval.load(), 77);
    // Cancel changes nothing.
    f.dialogs.openAnswer.clear();
    f.settings().fireInterval.store(5);
    f.clickMain(MainElement::ImportProfile);
    QCOMPARE(f.settings().fireInterval.load(), 5);
}

void CompanionTest::pagesCreateAndDestroyTheAdvancedControls() {
    CompanionFixture f;
    auto controls = [&] { return f.window().findChildren<QListWidget*>().size(); };
    QCOMPARE(controls(), 0);
    f.clickMain(MainElement::PageTabFirst + 1);
    QCOMPARE(f.window().viewState().page, SkinPage::Advanced);
    QCOMPARE(controls(), 2);
    const auto lists = f.window().findChildren<QListWidget*>();
    bool filled = false;
    for (QListWidget* list : lists)
        filled = filled || list->count() == f.context->macros.count();
    QVERIFY(filled);
    f.clickMain(MainElement::PageTabFirst + 2);
    QCOMPARE(f.window().viewState().page, SkinPage::Color);
    QTRY_COMPARE(controls(), 0);
    QVERIFY(f.controller().colorPreview().running());
    f.clickColor(ColorElement::LedModeFirst + 2);
    QCOMPARE(f.settings().ledMode.load(), std::uint8_t{2});
    f.clickMain(MainElement::PageTabFirst);
    QCOMPARE(f.window().viewState().page, SkinPage::Main);
    // The macro mode toggles on the advanced page, and a named macro is added.
    f.showPage(SkinPage::Advanced);
    QLineEdit* name = nullptr;
    for (QLineEdit* edit : f.window().findChildren<QLineEdit*>())
        if (edit->geometry() == toQRect(f.window().skin().macroNameEditRect))
            name = edit;
    QVERIFY(name);
    const int macros = f.context->macros.count();
    name->setText(QStringLiteral("Combo"));
    f.clickAdvanced(AdvancedElement::AddMacro);
    QCOMPARE(f.context->macros.count(), macros + 1);
    QCOMPARE(f.context->macros.nameUtf8(macros), std::string("Combo"));
    const int mode = f.settings().macroPlaybackMode.load();
    f.clickAdvanced(AdvancedElement::MacroMode);
    QCOMPARE(f.settings().macroPlaybackMode.load(), mode == 0 ? 1 : 0);
}

void CompanionTest::colorPreviewFollowsTheAppliedLedMode() {
    CompanionFixture f;
    MainViewState& s = f.window().viewState();
    ColorPreview& preview = f.controller().colorPreview();
    f.settings().appliedLedMode.store(0);
    setStages(f.settings(), {1, 1, 1, 1}, 1);
    f.showPage(SkinPage::Color);
    QVERIFY(preview.running());
    // Mode 0 alternates: off with the next stage, then on, every 1200 ms.
    QCOMPARE(s.previewOff, true);
    QCOMPARE(s.previewStage, 2);
    QCOMPARE(preview.periodMs(), 1200);
    preview.advance();
    QCOMPARE(s.previewOff, false);
    QCOMPARE(s.previewStage, 2);
    preview.advance();
    QCOMPARE(s.previewOff, true);
    QCOMPARE(s.previewStage, 3);
    // A new current stage shows its colour for 2 s first.
    f.settings().dpiStage.store(0);
    preview.advance();
    QCOMPARE(s.previewOff, false);
    QCOMPARE(s.previewStage, 0);
    QCOMPARE(preview.periodMs(), 2000);
    // Mode 1 steps every 800 ms; mode 3 stays off.
    f.settings().appliedLedMode.store(1);
    preview.advance();
    preview.advance();
    QCOMPARE(preview.periodMs(), 800);
    f.settings().appliedLedMode.store(3);
    preview.advance();
    QCOMPARE(s.previewOff, true);
    QCOMPARE(s.previewStage, 0);
    // Leaving the page ends it after the current period.
    f.showPage(SkinPage::Main);
    QVERIFY(preview.running());
    preview.advance();
    QVERIFY(!preview.running());
}

void CompanionTest::languageSwitchBothWays() {
    CompanionFixture f;
    f.clickMain(MainElement::Chinese);
    QCOMPARE(f.context->language, UiLanguage::Chinese);
    QCOMPARE(iniValue(f.configPath(), "Init", "VER_SEL"), std::string("0"));
    QCOMPARE(QString::fromStdString(f.context->macros.filePath.filename().string()), QStringLiteral("Macro_CN.dat"));
    QCOMPARE(f.companion->trayMenu().record(0).text, QStringLiteral("显示桌面"));
    QCOMPARE(f.companion->trayMenu().record(1).text, QStringLiteral("程序配置…"));
    QCOMPARE(f.companion->trayMenu().itemCount(), 3);
    QCOMPARE(f.companion->eventListMenu().itemCount(), 23);
    QCOMPARE(f.window().windowTitle(), QStringLiteral("VELDRA GAMING MOUSE"));
    f.clickMain(MainElement::English);
    QCOMPARE(f.context->language, UiLanguage::English);
    QCOMPARE(iniValue(f.configPath(), "Init", "VER_SEL"), std::string("1"));
    QCOMPARE(QString::fromStdString(f.context->macros.filePath.filename().string()), QStringLiteral("Macro_EN.dat"));
    QCOMPARE(f.companion->trayMenu().record(1).text, QStringLiteral("Profiles for programs…"));
    QCOMPARE(f.companion->trayMenu().record(2).text, QStringLiteral("Exit Driver"));
    QCOMPARE(f.companion->trayMenu().itemCount(), 3);
    // The English function names are back.
    QCOMPARE(f.window().skin().functionName(1), std::string("Left Click"));
}

void CompanionTest::pressOnNoElementDragsTheWindow() {
    CompanionFixture f;
    const QPoint free = f.freePoint();
    QVERIFY(free.x() >= 0);
    const QPoint before = f.window().pos();
    f.moveTo(free);
    f.press(free);
    QVERIFY(f.controller().dragging());
    QTest::mouseMove(&f.window(), free + QPoint(30, 20));
    QTRY_COMPARE(f.window().pos(), before + QPoint(30, 20));
    f.release(free + QPoint(30, 20));
    QVERIFY(!f.controller().dragging());
    // A top-bar element never starts a drag.
    f.moveTo(CompanionFixture::center(f.mainElement(0)));
    f.press(CompanionFixture::center(f.mainElement(0)));
    QVERIFY(!f.controller().dragging());
    f.release(CompanionFixture::center(f.mainElement(0)));
}

void CompanionTest::shutDownSaysGoodbyeAndResetsThePointer() {
    CompanionFixture f;
    QTRY_VERIFY(f.reportsSent() >= 11);
    f.settings().pointerSpeed.store(9);
    f.companion->applyProfile();
    QCOMPARE(f.pointer->speed.load(), 18);
    f.companion->ShutDown();
    QCOMPARE(f.endings, std::vector<int>{0});
    QVERIFY(f.mouse->state().goodbye);
    QCOMPARE(f.mouse->state().featureReports.back()[1], std::uint8_t{0x20});
    QCOMPARE(f.pointer->speed.load(), 10);
    QVERIFY(!f.companion->trayIconShown());
}

void CompanionTest::removalEndsWithoutGoodbye() {
    CompanionFixture f;
    QTRY_VERIFY(f.reportsSent() >= 11);
    f.companion->hideToTray();
    f.settings().pointerSpeed.store(0);
    f.companion->applyProfile();
    f.mouse->unplug();
    f.companion->handleDeviceChange({DeviceChange::Kind::Removal, std::string(SimulatedMouse::VendorPath)});
    QCOMPARE(f.endings, std::vector<int>{0});
    QVERIFY(!f.mouse->state().goodbye);
    QCOMPARE(f.pointer->speed.load(), 1);
    QVERIFY(!f.companion->trayIconShown());
    // Another device's removal would have been ignored.
}

void CompanionTest::trayMenuCommands() {
    CompanionFixture f;
    f.companion->hideToTray();
    QAction* show = f.companion->trayMenu().action(MenuCommand::ShowWindow);
    QVERIFY(show);
    show->trigger();
    QVERIFY(f.window().isVisible());
    QCOMPARE(f.companion->state(), Companion::State::Shown);
    QVERIFY(!f.companion->trayIconShown());
    f.companion->trayMenu().action(MenuCommand::ExitDriver)->trigger();
    QCOMPARE(f.endings, std::vector<int>{0});
}

void CompanionTest::topBarReleaseActions() {
    CompanionFixture f;
    QTRY_VERIFY(f.reportsSent() >= 11);
    // Restore defaults: profile 1 gets the factory values and the current profile is applied.
    f.settings().fireInterval.store(299);
    krv::test::requireOk(IniFile::writeString(f.configPath().toStdString(), "Config1", "FIRE_TIME", "299"));
    const auto sent = f.reportsSent();
    f.clickMain(MainElement::RestoreDefaults);
    QCOMPARE(iniValue(f.configPath(), "Config1", "FIRE_TIME"), std::to_string(FactoryProfile().fireInterval));
    QVERIFY(f.reportsSent() > sent);
    // The web page.
    UrlSink sink;
    QDesktopServices::setUrlHandler(QStringLiteral("https"), &sink, "open");
    f.clickMain(MainElement::WebPage);
    QDesktopServices::unsetUrlHandler(QStringLiteral("https"));
    QCOMPARE(sink.opened, QList<QUrl>{QUrl(QString::fromLatin1(WebPageAddress))});
    // Minimise leaves the window in the task bar, not in the tray.
    f.clickMain(MainElement::Minimize);
    QVERIFY(f.window().isMinimized());
    QVERIFY(!f.companion->trayIconShown());
    QCOMPARE(f.window().viewState().mainHit, NoHit);
    f.window().showNormal();
    // Hide to the tray (minimised where the desktop has none).
    f.clickMain(MainElement::HideToTray);
    QVERIFY(!f.window().isVisible() || f.window().isMinimized());
}

void CompanionTest::systemMenuOffersMinimiseAndAbout() {
    CompanionFixture f;
    const QPoint free = f.freePoint();
    QTest::mouseClick(&f.window(), Qt::RightButton, {}, free);
    QMenu* menu = f.window().findChild<QMenu*>();
    QVERIFY(menu);
    QTRY_VERIFY(menu->isVisible());
    const auto actions = menu->actions();
    QCOMPARE(actions.size(), 3);
    actions.last()->trigger();
    QCOMPARE(f.dialogs.abouts, 1);
    actions.first()->trigger();
    QVERIFY(f.window().isMinimized());
}

void CompanionTest::missingSkinFileEndsAfterTheMessage() {
    CompanionFixture f(
        [](const QString& dir, SimulatedMouse&) { QFile::remove(dir + "/skins/INI_EN/skin_color_en.ini"); }, false);
    f.dialogs.answerMessages = false;
    f.companion->start();
    QCOMPARE(f.dialogs.messages, std::vector<QString>{QStringLiteral("找不到配置文件")});
    QVERIFY(f.endings.empty());
    f.dialogs.closeMessages();
    QCOMPARE(f.endings, std::vector<int>{0});
    QCOMPARE(f.reportsSent(), std::size_t{0});
}

void CompanionTest::startUpMessagesShowOneAfterAnother() {
    // Two skin entries with too many commas: two messages, the second once the first is closed.
    CompanionFixture f(
        [](const QString& dir, SimulatedMouse&) {
            QFile file(dir + "/skins/INI_EN/skin_main_en.ini");
            QVERIFY(file.open(QIODevice::ReadOnly));
            QByteArray text = file.readAll();
            file.close();
            text.replace("0=brand,60,14,110,20,VELDRA,", "0=brand,60,14,110,20,VELDRA,,,,");
            text.replace("1=model,60,34,110,18,GAMING MOUSE,", "1=model,60,34,110,18,GAMING MOUSE,,,,");
            QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
            file.write(text);
        },
        false);
    f.dialogs.answerMessages = false;
    f.companion->start();
    const QString malformed = QString::fromUtf8(Messages::SkinValueMalformed.data());
    QCOMPARE(f.dialogs.messages, std::vector<QString>{malformed});
    QCOMPARE(f.dialogs.openMessages.size(), std::size_t{1});
    auto closeFirst = [&] {
        auto done = std::move(f.dialogs.openMessages.front());
        f.dialogs.openMessages.pop_front();
        done();
    };
    closeFirst();
    QCOMPARE(f.dialogs.messages, (std::vector<QString>{malformed, malformed}));
    QCOMPARE(f.dialogs.openMessages.size(), std::size_t{1});
    closeFirst();
    QCOMPARE(f.dialogs.messages.size(), std::size_t{2});
    QVERIFY(f.endings.empty()); // a malformed value is only reported
}

void CompanionTest::hostServedButtonsWorkWhileInTheTray() {
    CompanionFixture f;
    // The first apply tells the mouse which buttons the host serves; the acknowledgement ends the wait.
    QTRY_VERIFY(f.reportsSent() >= 11);
    QTRY_VERIFY(f.context->feedback.HostFunctionsReady.load());
    QCOMPARE(f.settings().buttonCodes[6].load(), 17); // factory slot 7: next DPI stage up
    setStages(f.settings(), {1, 1, 1, 1}, 0);
    f.companion->hideToTray();
    f.mouse->press(DeviceButtonId[6]);
    f.mouse->release();
    QTRY_COMPARE(f.settings().dpiStage.load(), 1);
    QTRY_COMPARE(f.mouse->state().dpiStage, std::uint8_t{1});
    QTRY_COMPARE(iniValue(f.configPath(), "Config1", "DPI_LEVEL"), std::string("1"));
}

void CompanionTest::virtualMouseShowsAndPresses() {
    CompanionFixture f;
    QTRY_VERIFY(f.reportsSent() >= 11);
    QTRY_VERIFY(f.context->feedback.HostFunctionsReady.load());
    setStages(f.settings(), {1, 1, 1, 1}, 0);
    bool unplugged = false;
    VirtualMouseWindow mouse(*f.mouse, *f.pointer, [&] { unplugged = true; });
    mouse.refresh();
    QVERIFY(mouse.stateText().contains(QStringLiteral("6: 31 (host)")));
    QVERIFY(mouse.stateText().contains(QStringLiteral("DPI stage 1")));
    auto buttons = mouse.findChildren<QPushButton*>();
    QCOMPARE(buttons.size(), 9);
    QTest::mouseClick(buttons[6], Qt::LeftButton); // button 7: next stage up, served by the host
    QTRY_VERIFY(mouse.stateText().contains(QStringLiteral("DPI stage 2")));
    QTest::mouseClick(buttons[8], Qt::LeftButton); // unplug
    QVERIFY(unplugged);
    QTRY_VERIFY(mouse.stateText().startsWith(QStringLiteral("unplugged")));
}

QTEST_MAIN(CompanionTest)
#include "companion_test.moc"
