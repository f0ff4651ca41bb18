// SPDX-License-Identifier: MIT
// Every control of the main window reached as a user reaches it: mouse events at the place the skin
// gives it (or keys into the focused control) on a whole companion over the simulated mouse. Each row
// checks the result where the user sees it: the window's pixels and child controls, what the mouse
// received, or the files.
#include "unit/RequireOk.h"
#include "widgets/CompanionFixture.h"

#include "mouse/ButtonCode.h"
#include "mouse/MouseProtocol.h"
#include "settings/IniFile.h"
#include "skin/FunctionMenuRows.h"
#include "skin/SkinImages.h"
#include "ui/FunctionMenu.h"
#include "ui/KrvMenu.h"

#include "fakes/RecordingNotifier.h"

#include <QDesktopServices>
#include <QFile>
#include <QKeyEvent>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QScreen>
#include <QSystemTrayIcon>
#include <QTest>

#include <functional>
#include <memory>
#include <tuple>
#include <vector>

using namespace krv;
using namespace krv::test;

namespace {

using Fixture = CompanionFixture;

// A click (press and release) at a point of a widget, as the window system delivers it.
void clickAt(QWidget* widget, QPoint p, Qt::MouseButton button = Qt::LeftButton) {
    QTest::mouseClick(widget, button, {}, p);
}
void clickMain(Fixture& f, int i) {
    clickAt(&f.window(), Fixture::center(f.mainElement(i)));
}
void clickAdvanced(Fixture& f, int i) {
    clickAt(&f.window(), Fixture::center(f.advancedElement(i)));
}
void clickColor(Fixture& f, int i) {
    clickAt(&f.window(), Fixture::center(f.colorElement(i)));
}

// The pointer moves over a widget without a button held.
void moveOver(QWidget* widget, QPoint p) {
    QMouseEvent move(QEvent::MouseMove, p, widget->mapToGlobal(p), Qt::NoButton, Qt::NoButton, Qt::NoModifier);
    QCoreApplication::sendEvent(widget, &move);
}

// The pointer leaves the element it clicked, so that the window shows the element's resting state.
void moveAway(Fixture& f) {
    moveOver(&f.window(), f.freePoint());
}

// Keys as the window system delivers them to the focused widget, with the key's X keysym and
// keycode (what a recording names the key by).
void typeKey(QWidget* widget, Qt::Key key, quint32 keysym, quint32 keycode) {
    for (QEvent::Type type : {QEvent::KeyPress, QEvent::KeyRelease}) {
        QKeyEvent event(type, key, Qt::NoModifier, keycode, keysym, 0);
        QCoreApplication::sendEvent(widget, &event);
    }
}

// Replaces the text of an edit the way a user does: click into it, select all, type.
void retype(QLineEdit* edit, const QString& text) {
    clickAt(edit, edit->rect().center());
    QTest::keyClick(edit, Qt::Key_A, Qt::ControlModifier);
    QTest::keyClicks(edit, text);
}

// A click on the item of an open menu whose command is `id`.
bool clickMenuItem(QMenu* menu, int id) {
    if (!menu || !menu->isVisible())
        return false;
    for (QAction* action : menu->actions()) {
        if (action->data().toInt() == id && !action->menu()) {
            clickAt(menu, menu->actionGeometry(action).center());
            return true;
        }
    }
    return false;
}

QMenu* visibleMenu(QWidget* owner) {
    for (QMenu* menu : owner->findChildren<QMenu*>())
        if (menu->isVisible())
            return menu;
    return nullptr;
}

// Which of its three images the current page shows at an element: the one most of its pixels match.
enum class Look { Normal, Over, Down };

Look lookOf(Fixture& f, const SkinElement& e) {
    const QImage shot = f.window().grab().toImage().convertToFormat(QImage::Format_RGB32);
    const char* names[3][3] = {
        {SkinImageName::MainNormal, SkinImageName::MainOver, SkinImageName::MainDown},
        {SkinImageName::AdvancedNormal, SkinImageName::AdvancedOver, SkinImageName::AdvancedDown},
        {SkinImageName::ColorNormal, SkinImageName::ColorOver, SkinImageName::ColorDown}};
    const auto page = static_cast<std::size_t>(f.window().viewState().page);
    int matches[3] = {0, 0, 0};
    for (int k = 0; k < 3; ++k) {
        const QImage image = f.window().images().image(names[page][k]).convertToFormat(QImage::Format_RGB32);
        for (int y = e.y; y < e.y + e.height; ++y)
            for (int x = e.x; x < e.x + e.width; ++x)
                matches[k] += shot.pixel(x, y) == image.pixel(x, y) ? 1 : 0;
    }
    if (matches[2] > matches[0] && matches[2] > matches[1])
        return Look::Down;
    return matches[1] > matches[0] ? Look::Over : Look::Normal;
}

std::string iniValue(const QString& file, const char* section, const char* key) {
    return IniFile::readString(file.toStdString(), section, key);
}

std::string configValue(Fixture& f, const char* section, const char* key) {
    return iniValue(f.configPath(), section, key);
}

// The stored fields of profile n in config.ini, as they are written.
std::vector<std::pair<std::string, std::string>> profileInFile(Fixture& f, int n) {
    return ProfileKeyValues(ReadProfileValues(IniFile::load(f.configPath().toStdString()), n, false, f.context->language));
}
std::vector<std::pair<std::string, std::string>>& storedClickedProfile() {
    static std::vector<std::pair<std::string, std::string>> values;
    return values;
}
std::vector<std::pair<std::string, std::string>>& storedProfile1() {
    static std::vector<std::pair<std::string, std::string>> values;
    return values;
}

// With profile 1 applied, the mouse's DPI Up button (slot 7, served by the program) pressed `steps`
// times, then profile `tab`'s tab, CANCEL, the window brought back and APPLY.
void tabCancelApply(Fixture& f, int steps, int tab) {
    for (int i = 0; i < steps; ++i) {
        const std::string before = configValue(f, "Config1", "DPI_LEVEL");
        f.mouse->press(DeviceButtonId[6]);
        f.mouse->release();
        QTRY_VERIFY(configValue(f, "Config1", "DPI_LEVEL") != before);
    }
    storedProfile1() = profileInFile(f, 1);
    storedClickedProfile() = profileInFile(f, tab);
    clickMain(f, MainElement::ProfileTabFirst + tab - 1);
    clickMain(f, MainElement::Cancel);
    f.companion->restoreWindow();
    QTRY_VERIFY(f.window().isVisible() && !f.window().isMinimized());
    clickMain(f, MainElement::Apply);
}
// Profile 1 and the clicked profile are in the file as they were, profile 1 is lit, and the mouse
// is at the stage the DPI button left it at, which the window shows.
void checkTabCancelApply(Fixture& f, int stage, int tab) {
    QCOMPARE(configValue(f, "Init", "CurConfig"), std::string("1"));
    QVERIFY(profileInFile(f, tab) == storedClickedProfile());
    QVERIFY(profileInFile(f, 1) == storedProfile1());
    QCOMPARE(configValue(f, "Config1", "DPI_LEVEL"), std::to_string(stage));
    QCOMPARE(int(f.mouse->state().dpiStage), stage);
    moveAway(f);
    QCOMPARE(lookOf(f, f.mainElement(MainElement::ProfileTabFirst)), Look::Down);
    QCOMPARE(lookOf(f, f.mainElement(MainElement::ProfileTabFirst + tab - 1)), Look::Normal);
    QCOMPARE(lookOf(f, f.mainElement(MainElement::StageMarkFirst + stage)), Look::Down);
}

QByteArray readBytes(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("(unreadable)");
}

std::unique_ptr<MacroTable> macroFile(const QString& path) {
    auto table = std::make_unique<MacroTable>();
    RecordingNotifier quiet;
    krv::test::requireOk(LoadMacroFile(*table, path.toStdString(), quiet));
    return table;
}

std::unique_ptr<MacroTable> savedMacros(Fixture& f) {
    return macroFile(f.folder.filePath("Macro_EN.dat"));
}

QStringList listLines(const QListWidget* list) {
    QStringList lines;
    for (int i = 0; list && i < list->count(); ++i)
        lines << list->item(i)->text();
    return lines;
}

MacroPage& page(Fixture& f) {
    return f.companion->macroPage();
}

void clickMacroRow(Fixture& f, int row) {
    QListWidget* list = page(f).macroList();
    clickAt(list->viewport(), list->visualItemRect(list->item(row)).center());
}

// Right-click on a line of the event list.
void rightClickEvent(Fixture& f, int line) {
    EditableListBox* events = page(f).eventList();
    events->scrollToItem(events->item(line));
    clickAt(events->viewport(), events->visualItemRect(events->item(line)).center(), Qt::RightButton);
}

std::uint8_t mouseButton(Fixture& f, int slot) {
    return f.mouse->state().buttonMap[DeviceButtonId[static_cast<std::size_t>(slot - 1)]];
}

// Opens a slot's function menu and picks band `band` of the first level, or item `item` of the
// group that band opens.
void chooseFunction(Fixture& f, int slot, int band, int item = 0) {
    clickMain(f, MainElement::ButtonSlotFirst + slot - 1);
    FunctionMenu* menu = f.controller().functionMenu();
    QVERIFY(menu && menu->isVisible());
    const QPoint bandPoint(menu->bandWidth() / 2, (band - 1) * menu->bandHeight() + menu->bandHeight() / 2);
    moveOver(menu, bandPoint);
    if (item == 0) {
        clickAt(menu, bandPoint);
        return;
    }
    FunctionSubMenu* sub = menu->subMenu();
    QVERIFY(sub && sub->isVisible());
    const QPoint itemPoint(sub->bandWidth() / 2, (item - 1) * sub->bandHeight() + sub->bandHeight() / 2);
    moveOver(sub, itemPoint);
    clickAt(sub, itemPoint);
}

// On the macro page, IMPORT of a macro exchange file that holds `text`.
void importMacros(Fixture& f, const char* text) {
    const QString exchange = f.folder.filePath("exchange.dat");
    QFile file(exchange);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(text);
    file.close();
    clickMain(f, MainElement::PageTabFirst + 1);
    f.dialogs.macroFileAnswer = exchange;
    clickAdvanced(f, AdvancedElement::ImportMacros);
}

void writeIni(const QString& file, const char* section, const char* key, const char* value) {
    krv::test::requireOk(IniFile::writeString(file.toStdString(), section, key, value));
}

// Stands in for the desktop's browser: records the addresses the program asks it to open.
class UrlRecorder : public QObject {
    Q_OBJECT
public:
    static UrlRecorder installed;
    QList<QUrl> opened;
public slots:
    void open(const QUrl& url) { opened.append(url); }
};
UrlRecorder UrlRecorder::installed;

struct Row {
    const char* name;
    std::function<void(const QString& folder)> files; // before the start; may be empty
    std::function<void(Fixture&)> drive;
    std::function<void(Fixture&)> check;
};

const std::vector<Row>& rows() {
    using namespace MainElement;
    namespace A = AdvancedElement;
    static const std::vector<Row> table{
        // ---- top bar
        {"profile tab loads the profile, APPLY sends it",
         {},
         [](Fixture& f) {
             clickMain(f, ProfileTabFirst + 2);
             clickMain(f, Apply);
         },
         [](Fixture& f) {
             ProfileSettings third;
             krv::test::requireOk(LoadProfile(third, f.configPath().toStdString(), 3, false, f.context->language));
             for (int slot = 1; slot <= ButtonSlotCount; ++slot)
                 QCOMPARE(mouseButton(f, slot),
                          *DeviceValue(third.buttonCodes[static_cast<std::size_t>(slot - 1)].load()));
             QCOMPARE(configValue(f, "Init", "CurConfig"), std::string("3"));
             moveAway(f);
             QCOMPARE(lookOf(f, f.mainElement(ProfileTabFirst + 2)), Look::Down);
             QCOMPARE(lookOf(f, f.mainElement(ProfileTabFirst)), Look::Normal);
         }},
        {"advanced page tab shows the macro controls",
         {},
         [](Fixture& f) { clickMain(f, PageTabFirst + 1); },
         [](Fixture& f) {
             QVERIFY(page(f).macroList() && page(f).macroList()->isVisible());
             QVERIFY(page(f).eventList()->isVisible());
             QCOMPARE(listLines(page(f).macroList()), (QStringList{"Reload", "Burst Fire x3", "Copy then Paste"}));
             moveAway(f);
             QCOMPARE(lookOf(f, f.mainElement(PageTabFirst + 1)), Look::Down);
         }},
        {"color page tab, then the main page tab",
         {},
         [](Fixture& f) {
             clickMain(f, PageTabFirst + 1);
             clickMain(f, PageTabFirst + 2);
         },
         [](Fixture& f) {
             QTRY_VERIFY(!page(f).controlsExist());
             moveAway(f);
             QCOMPARE(lookOf(f, f.mainElement(PageTabFirst + 2)), Look::Down);
             QCOMPARE(lookOf(f, f.colorElement(ColorElement::LedModeFirst)), Look::Down); // LED mode 0
             clickMain(f, PageTabFirst);
             moveAway(f);
             QCOMPARE(lookOf(f, f.mainElement(PageTabFirst)), Look::Down);
             QCOMPARE(lookOf(f, f.mainElement(StageEnableFirst)), Look::Down);
         }},
        {"CANCEL drops the edits and hides the window",
         {},
         [](Fixture& f) {
             clickMain(f, WheelFirst + 1);
             clickMain(f, Cancel);
         },
         [](Fixture& f) {
             QVERIFY(!f.window().isVisible() || f.window().isMinimized());
             QCOMPARE(lookOf(f, f.mainElement(WheelFirst)), Look::Down);
             QCOMPARE(lookOf(f, f.mainElement(WheelFirst + 1)), Look::Normal);
         }},
        // Profile 3 is stored at stage 2, profile 4 at stage 3; profile 1 at stage 1.
        {"a profile tab, CANCEL, APPLY leaves the clicked profile and the applied one as they were",
         {},
         [](Fixture& f) { tabCancelApply(f, 0, 3); },
         [](Fixture& f) { checkTabCancelApply(f, 0, 3); }},
        {"a DPI button on the mouse, a profile tab, CANCEL, APPLY keeps the mouse's stage",
         {},
         [](Fixture& f) { tabCancelApply(f, 1, 4); },
         [](Fixture& f) { checkTabCancelApply(f, 1, 4); }},
        {"slot 8's function menu near the screen's bottom shows all its rows, and its second level too",
         {},
         [](Fixture& f) {
             const QRect screen = f.window().screen()->availableGeometry();
             const SkinElement& slot = f.mainElement(ButtonSlotFirst + 7);
             f.window().move(screen.left() + 10, screen.bottom() - slot.y - slot.height - 5);
             QTRY_COMPARE(f.window().pos().y(), screen.bottom() - slot.y - slot.height - 5);
             clickMain(f, ButtonSlotFirst + 7);
         },
         [](Fixture& f) {
             const QRect screen = f.window().screen()->availableGeometry();
             FunctionMenu* menu = f.controller().functionMenu();
             QVERIFY(menu && menu->isVisible());
             QVERIFY2(screen.contains(QRect(menu->pos(), menu->visibleSize())), "the first level runs off the screen");
             // Band 10 opens the ten-item group.
             moveOver(menu, QPoint(menu->bandWidth() / 2, 9 * menu->bandHeight() + menu->bandHeight() / 2));
             FunctionSubMenu* sub = menu->subMenu();
             QVERIFY(sub && sub->isVisible());
             QVERIFY2(screen.contains(QRect(sub->pos(), sub->visibleSize())), "the second level runs off the screen");
             // Its last item is still reached by a click where it is drawn.
             const int items = sub->itemCount();
             const QPoint last(sub->bandWidth() / 2, (items - 1) * sub->bandHeight() + sub->bandHeight() / 2);
             moveOver(sub, last);
             clickAt(sub, last);
             QCOMPARE(f.settings().buttonCodes[7].load(), MenuGroupOfRow(10)->base + items);
         }},
        {"minimise",
         {},
         [](Fixture& f) { clickMain(f, Minimize); },
         [](Fixture& f) {
             QVERIFY(f.window().isMinimized());
             QVERIFY(!f.companion->trayIconShown());
         }},
        {"hide to the tray, and the tray menu brings the window back",
         {},
         [](Fixture& f) { clickMain(f, HideToTray); },
         [](Fixture& f) {
             QVERIFY(!f.window().isVisible() || f.window().isMinimized());
             // The tray icon itself takes no input here: its context request opens the menu.
             emit f.companion->trayIcon().activated(QSystemTrayIcon::Context);
             QMenu* tray = f.companion->trayMenu().menu();
             QTRY_VERIFY(tray->isVisible());
             QVERIFY(clickMenuItem(tray, MenuCommand::ShowWindow));
             QTRY_VERIFY(f.window().isVisible() && !f.window().isMinimized());
             QCOMPARE(f.companion->state(), Companion::State::Shown);
         }},
        {"profile EXPORT writes the exchange file",
         {},
         [](Fixture& f) {
             clickMain(f, WheelFirst + 1);
             f.dialogs.saveAnswer = f.folder.filePath("mine.ini");
             clickMain(f, ExportProfile);
         },
         [](Fixture& f) {
             QCOMPARE(iniValue(f.folder.filePath("mine.ini"), "Config7", "WHEEL_STATUS"), std::string("1"));
             QCOMPARE(iniValue(f.folder.filePath("mine.ini"), "Config7", "K6"), std::string("18"));
             QVERIFY(!QFile::exists(f.folder.filePath(".mine.ini.lock"))); // the user's file gets no lock file
         }},
        {"profile IMPORT reads the exchange file into the window",
         {},
         [](Fixture& f) {
             const QString exchange = f.folder.filePath("theirs.ini");
             for (const auto& [key, value] : ProfileKeyValues(FactoryProfile()))
                 writeIni(exchange, "Config7", key.c_str(), value.c_str());
             writeIni(exchange, "Config7", "FIRE_TIME", "77");
             writeIni(exchange, "Config7", "LED_STATUS", "3");
             f.dialogs.openAnswer = exchange;
             clickMain(f, ImportProfile);
             clickMain(f, Apply);
         },
         [](Fixture& f) {
             QCOMPARE(configValue(f, "Config1", "FIRE_TIME"), std::string("77"));
             QCOMPARE(f.mouse->state().ledMode, std::uint8_t{3});
         }},
        // Each file is refused with a message naming it: the window's profile and the files stay as
        // they were, and the APPLY after them sends and saves profile 1 as it was.
        {"profile IMPORT refuses a file without a whole profile",
         {},
         [](Fixture& f) {
             struct Case {
                 const char* name;
                 QByteArray bytes;
                 const char* said;
             };
             QByteArray noise(3000, '\0');
             for (int i = 0; i < noise.size(); ++i)
                 noise[i] = static_cast<char>((i * 7919 + 13) % 251);
             const std::vector<Case> cases{
                 {"noise.ini", noise, "holds no profile"},
                 {"empty.ini", {}, "holds no profile"},
                 {"other.ini", "[Config1]\r\nK1=1\r\nFIRE_TIME=77\r\n", "holds no profile"},
                 // no K1: it would import without the left click
                 {"partial.ini", "[Config7]\r\nFIRE_TIME=77\r\n", "has no number for K1"},
             };
             const ProfileValues shown = f.settings().values();
             const QByteArray config = readBytes(f.configPath());
             for (const Case& c : cases) {
                 const QString exchange = f.folder.filePath(c.name);
                 QFile file(exchange);
                 QVERIFY(file.open(QIODevice::WriteOnly));
                 file.write(c.bytes);
                 file.close();
                 const std::size_t before = f.dialogs.messages.size();
                 f.dialogs.openAnswer = exchange;
                 clickMain(f, ImportProfile);
                 QCOMPARE(f.dialogs.messages.size(), before + 1);
                 QVERIFY2(f.dialogs.messages.back().contains(exchange) && f.dialogs.messages.back().contains(c.said),
                          qPrintable(f.dialogs.messages.back()));
                 QVERIFY2(f.settings().values() == shown, c.name);
                 QCOMPARE(readBytes(f.configPath()), config);
                 QCOMPARE(readBytes(exchange), c.bytes);
             }
             clickMain(f, Apply);
         },
         [](Fixture& f) {
             QCOMPARE(configValue(f, "Config1", "FIRE_TIME"), std::to_string(FactoryProfile().fireInterval));
             QCOMPARE(configValue(f, "Config1", "K1"), std::to_string(FactoryProfile().buttonCodes[0]));
             QCOMPARE(f.mouse->state().fireTime, FireTimeByte(FactoryProfile().fireInterval));
         }},
        // Values past their ranges are brought into them before the window shows them, and so before
        // they are saved or reach the mouse and the desktop.
        {"profile IMPORT brings values out of their ranges into them",
         {},
         [](Fixture& f) {
             const QString exchange = f.folder.filePath("wild.ini");
             for (const auto& [key, value] : ProfileKeyValues(FactoryProfile()))
                 writeIni(exchange, "Config7", key.c_str(), value.c_str());
             for (const auto& [key, value] : std::vector<std::pair<const char*, const char*>>{
                      {"LED_STATUS", "200"}, {"FIRE_TIME", "9999"}, {"WHEEL_SPEED", "253"}, {"DPI_LEVEL", "99"},
                      {"K2", "999"}})
                 writeIni(exchange, "Config7", key, value);
             f.dialogs.openAnswer = exchange;
             clickMain(f, ImportProfile);
             QVERIFY(f.dialogs.messages.empty());
             QCOMPARE(f.settings().fireInterval.load(), 300);
             QCOMPARE(f.settings().buttonCodes[1].load(), FactoryProfile().buttonCodes[1]);
             clickMain(f, Apply);
         },
         [](Fixture& f) {
             const SimMouseState mouse = f.mouse->state();
             QCOMPARE(mouse.ledMode, std::uint8_t{3});
             QCOMPARE(mouse.fireTime, FireTimeByte(300));
             QCOMPARE(mouse.dpiStage, std::uint8_t{0});
             QCOMPARE(mouseButton(f, 2), *DeviceValue(FactoryProfile().buttonCodes[1]));
             QCOMPARE(f.pointer->lines.load(), 10);
             const std::vector<std::pair<const char*, const char*>> saved{
                 {"LED_STATUS", "3"}, {"FIRE_TIME", "300"}, {"WHEEL_SPEED", "9"}, {"DPI_LEVEL", "0"}, {"K2", "2"}};
             for (const auto& [key, value] : saved)
                 QCOMPARE(configValue(f, "Config1", key), std::string(value));
         }},
        {"restore defaults", [](const QString& folder) { writeIni(folder + "/config.ini", "Config1", "K4", "34"); },
         [](Fixture& f) { clickMain(f, RestoreDefaults); },
         [](Fixture& f) {
             const ButtonCode factory = FactoryProfile().buttonCodes[3];
             QCOMPARE(configValue(f, "Config1", "K4"), std::to_string(factory));
             QCOMPARE(mouseButton(f, 4), *DeviceValue(factory));
         }},
        {"Chinese",
         {},
         [](Fixture& f) { clickMain(f, MainElement::Chinese); },
         [](Fixture& f) {
             QCOMPARE(configValue(f, "Init", "VER_SEL"), std::string("0"));
             moveAway(f);
             QCOMPARE(lookOf(f, f.mainElement(MainElement::Chinese)), Look::Down);
             QCOMPARE(lookOf(f, f.mainElement(MainElement::English)), Look::Normal);
             clickMain(f, PageTabFirst + 1);
             const auto chinese = macroFile(f.folder.filePath("Macro_CN.dat"));
             QCOMPARE(page(f).macroList()->count(), int(chinese->count()));
             QCOMPARE(page(f).macroList()->item(0)->text(), QString::fromStdString(chinese->nameUtf8(0)));
         }},
        {"English", [](const QString& folder) { writeIni(folder + "/config.ini", "Init", "VER_SEL", "0"); },
         [](Fixture& f) { clickMain(f, MainElement::English); },
         [](Fixture& f) {
             QCOMPARE(configValue(f, "Init", "VER_SEL"), std::string("1"));
             moveAway(f);
             QCOMPARE(lookOf(f, f.mainElement(MainElement::English)), Look::Down);
             clickMain(f, PageTabFirst + 1);
             QCOMPARE(page(f).macroList()->item(0)->text(), QStringLiteral("Reload"));
         }},
        {"web page",
         {},
         [](Fixture& f) {
             UrlRecorder::installed.opened.clear();
             QDesktopServices::setUrlHandler(QStringLiteral("https"), &UrlRecorder::installed, "open");
             clickMain(f, WebPage);
             QDesktopServices::unsetUrlHandler(QStringLiteral("https"));
         },
         [](Fixture&) {
             QCOMPARE(UrlRecorder::installed.opened, QList<QUrl>{QUrl(QString::fromLatin1(WebPageAddress))});
         }},
        {"system menu on a free point: About",
         {},
         [](Fixture& f) { clickAt(&f.window(), f.freePoint(), Qt::RightButton); },
         [](Fixture& f) {
             QMenu* menu = nullptr;
             QTRY_VERIFY((menu = visibleMenu(&f.window())) != nullptr);
             clickAt(menu, menu->actionGeometry(menu->actions().last()).center());
             QCOMPARE(f.dialogs.abouts, 1);
         }},

        // ---- main page
        {"slot menu, a first-level band",
         {},
         [](Fixture& f) {
             chooseFunction(f, 5, 3);
             clickMain(f, Apply);
         },
         [](Fixture& f) {
             QCOMPARE(mouseButton(f, 5), std::uint8_t{3});
             QCOMPARE(configValue(f, "Config1", "K5"), std::string("3"));
             QTRY_VERIFY(!f.controller().functionMenu());
         }},
        {"slot menu, a second-level item (host-served Ctrl+C)",
         {},
         [](Fixture& f) {
             chooseFunction(f, 4, 10, 1);
             clickMain(f, Apply);
         },
         [](Fixture& f) {
             QCOMPARE(mouseButton(f, 4), HostCode);
             QCOMPARE(configValue(f, "Config1", "K4"), std::string("31"));
             QTRY_VERIFY(f.context->feedback.HostFunctionsReady.load());
         }},
        {"slot menu of the last primary button: the warning, cancelled",
         {},
         [](Fixture& f) {
             f.dialogs.warningAnswer = 2;
             clickMain(f, ButtonSlotFirst);
         },
         [](Fixture& f) {
             QCOMPARE(f.dialogs.warnings.size(), std::size_t{1});
             QVERIFY(!f.controller().functionMenu());
         }},
        {"wheel button",
         {},
         [](Fixture& f) {
             clickMain(f, WheelFirst + 1);
             clickMain(f, Apply);
         },
         [](Fixture& f) {
             QCOMPARE(lookOf(f, f.mainElement(WheelFirst + 1)), Look::Down);
             QCOMPARE(lookOf(f, f.mainElement(WheelFirst)), Look::Normal);
             QCOMPARE(configValue(f, "Config1", "WHEEL_STATUS"), std::string("1"));
             QCOMPARE(f.mouse->state().wheelOption, std::uint8_t{1});
         }},
        {"DPI stage enable button",
         {},
         [](Fixture& f) {
             clickMain(f, StageEnableFirst + 1);
             clickMain(f, Apply);
         },
         [](Fixture& f) {
             QCOMPARE(lookOf(f, f.mainElement(StageEnableFirst + 1)), Look::Normal);
             QCOMPARE(lookOf(f, f.mainElement(StageEnableFirst + 2)), Look::Down);
             QCOMPARE(configValue(f, "Config1", "DPI_SET_EN2"), std::string("0"));
         }},
        {"DPI stage button",
         {},
         [](Fixture& f) {
             clickMain(f, StageSelectFirst + 2);
             clickMain(f, Apply);
         },
         [](Fixture& f) {
             QCOMPARE(lookOf(f, f.mainElement(StageMarkFirst + 2)), Look::Down);
             QCOMPARE(lookOf(f, f.mainElement(StageMarkFirst)), Look::Normal);
             QCOMPARE(f.mouse->state().dpiStage, std::uint8_t{2});
         }},
        {"DPI slider position",
         {},
         [](Fixture& f) {
             clickMain(f, SliderFirst + 4); // stage 1, position 4
             clickMain(f, Apply);
         },
         [](Fixture& f) {
             QCOMPARE(f.mouse->state().dpiPosition[0], std::uint8_t{4});
             QCOMPARE(configValue(f, "Config1", "DPI_SET1"), std::string("4"));
         }},

        // ---- color page
        {"LED mode",
         {},
         [](Fixture& f) {
             clickMain(f, PageTabFirst + 2);
             clickColor(f, ColorElement::LedModeFirst + 2);
             clickMain(f, Apply);
         },
         [](Fixture& f) {
             QCOMPARE(lookOf(f, f.colorElement(ColorElement::LedModeFirst + 2)), Look::Down);
             QCOMPARE(lookOf(f, f.colorElement(ColorElement::LedModeFirst)), Look::Normal);
             QCOMPARE(f.mouse->state().ledMode, std::uint8_t{2});
         }},

        // ---- advanced page: speeds, fire time, macro mode
        {"pointer and wheel speed steps",
         {},
         [](Fixture& f) {
             clickMain(f, PageTabFirst + 1);
             clickAdvanced(f, A::DpiSpeedFirst + 7);
             clickAdvanced(f, A::WheelSpeedFirst + 9);
             clickMain(f, Apply);
         },
         [](Fixture& f) {
             QCOMPARE(lookOf(f, f.advancedElement(A::DpiSpeedFirst + 7)), Look::Down);
             QCOMPARE(lookOf(f, f.advancedElement(A::WheelSpeedFirst + 9)), Look::Down);
             QCOMPARE(lookOf(f, f.advancedElement(A::DpiSpeedFirst + 5)), Look::Normal);
             QCOMPARE(f.pointer->speed.load(), PointerSpeedOfStep(7));
             QCOMPARE(f.pointer->lines.load(), 10);
         }},
        {"fire-time bar, + and -",
         {},
         [](Fixture& f) {
             clickMain(f, PageTabFirst + 1);
             const SkinElement& bar = f.advancedElement(A::FireBar);
             clickAt(&f.window(), {bar.x + bar.width / 2, bar.y + bar.height / 2});
             clickAdvanced(f, A::FirePlus);
             clickAdvanced(f, A::FirePlus);
             clickAdvanced(f, A::FireMinus);
             clickMain(f, Apply);
         },
         [](Fixture& f) {
             const SkinElement& bar = f.advancedElement(A::FireBar);
             const int expected = (bar.width / 2) * 300 / bar.width + 1;
             QCOMPARE(configValue(f, "Config1", "FIRE_TIME"), std::to_string(expected));
             QCOMPARE(f.mouse->state().fireTime, static_cast<std::uint8_t>(expected / 8));
         }},
        {"macro mode",
         {},
         [](Fixture& f) {
             clickMain(f, PageTabFirst + 1);
             clickAdvanced(f, A::MacroMode);
             clickMain(f, Apply);
         },
         [](Fixture& f) {
             QCOMPARE(lookOf(f, f.advancedElement(A::MacroMode)), Look::Down);
             QCOMPARE(configValue(f, "Config1", "MACRO_MODE2"), std::string("1"));
         }},

        // ---- advanced page: the macro editor
        {"macro list click selects that macro; REPEAT and SAVE act on it",
         {},
         [](Fixture& f) {
             clickMain(f, PageTabFirst + 1);
             clickMacroRow(f, 0);
             clickMacroRow(f, 1);
             clickAdvanced(f, A::Repeat);
             clickAdvanced(f, A::SaveMacros);
         },
         [](Fixture& f) {
             QCOMPARE(page(f).nameEdit()->text(), QStringLiteral("Burst Fire x3"));
             QCOMPARE(page(f).eventList()->item(0)->text(), QString::fromUtf8("[↓]Left_Key"));
             const auto shipped = macroFile(QStringLiteral(KRV_SHIPPED_DATA_DIR "/Macro_EN.dat"));
             const auto saved = savedMacros(f);
             QCOMPARE(saved->record(0).repeatEnabled(), shipped->record(0).repeatEnabled());
             QCOMPARE(int(saved->record(1).repeatEnabled()), shipped->record(1).repeatEnabled() == 1 ? 0 : 1);
         }},
        {"name edit and ADD",
         {},
         [](Fixture& f) {
             clickMain(f, PageTabFirst + 1);
             retype(page(f).nameEdit(), QStringLiteral("Combo"));
             clickAdvanced(f, A::AddMacro);
             clickAdvanced(f, A::SaveMacros);
         },
         [](Fixture& f) {
             QCOMPARE(listLines(page(f).macroList()).last(), QStringLiteral("Combo"));
             QCOMPARE(page(f).macroList()->currentRow(), 3);
             const auto saved = savedMacros(f);
             QCOMPARE(int(saved->count()), 4);
             QCOMPARE(saved->nameUtf8(3), std::string("Combo"));
         }},
        {"DELETE",
         {},
         [](Fixture& f) {
             clickMain(f, PageTabFirst + 1);
             clickMacroRow(f, 0);
             clickAdvanced(f, A::DeleteMacro);
             clickAdvanced(f, A::SaveMacros);
         },
         [](Fixture& f) {
             QCOMPARE(listLines(page(f).macroList()), (QStringList{"Burst Fire x3", "Copy then Paste"}));
             const auto saved = savedMacros(f);
             QCOMPARE(int(saved->count()), 2);
             QCOMPARE(saved->nameUtf8(0), std::string("Burst Fire x3"));
         }},
        // Shipped: "Reload", "Burst Fire x3", "Copy then Paste" (codes 41, 42, 43); profile 4 (current)
        // plays them on buttons 4, 5 and 6, profile 2's button 5 plays "Copy then Paste", profile 1's
        // button 3 a macro that does not exist. DELETE of "Burst Fire x3" keeps every button on its macro.
        {"DELETE keeps the buttons of every profile on their macros",
         [](const QString& folder) {
             writeIni(folder + "/config.ini", "Init", "CurConfig", "4");
             writeIni(folder + "/config.ini", "Config2", "K5", "43");
             writeIni(folder + "/config.ini", "Config1", "K3", "52");
         },
         [](Fixture& f) {
             clickMain(f, PageTabFirst + 1);
             clickMacroRow(f, 1);
             clickAdvanced(f, A::DeleteMacro);
         },
         [](Fixture& f) {
             QCOMPARE(listLines(page(f).macroList()), (QStringList{"Reload", "Copy then Paste"}));
             const std::vector<std::tuple<const char*, const char*, const char*>> expected{
                 {"Config4", "K4", "41"}, {"Config4", "K5", "4"}, {"Config4", "K6", "42"}, // 4: button 5's factory function
                 {"Config6", "K4", "41"}, {"Config6", "K5", "4"}, {"Config6", "K6", "42"}, // the applied snapshot
                 {"Config2", "K5", "42"}, {"Config1", "K3", "52"}, {"Config4", "K8", "40"}};
             for (const auto& [section, key, value] : expected)
                 QCOMPARE(configValue(f, section, key), std::string(value));
             QCOMPARE(f.settings().buttonCodes[4].load(), 4);
             QCOMPARE(f.settings().buttonCodes[5].load(), 42);
             QCOMPARE(f.dialogs.messages.size(), std::size_t{1});
             QVERIFY2(f.dialogs.messages.front().contains("Burst Fire x3") &&
                          f.dialogs.messages.front().contains("profile 4, button 5"),
                      qPrintable(f.dialogs.messages.front()));
             QVERIFY(!f.dialogs.messages.front().contains("profile 2"));
             // The macro file agrees with the profiles: code 42 is "Copy then Paste" there too.
             const auto saved = savedMacros(f);
             QCOMPARE(int(saved->count()), 2);
             QCOMPARE(saved->nameUtf8(1), std::string("Copy then Paste"));
         }},
        {"Record, keys, Stop",
         {},
         [](Fixture& f) {
             clickMain(f, PageTabFirst + 1);
             clickMacroRow(f, 0);
             clickAdvanced(f, A::Record);
             QVERIFY(f.context->macros.recording);
             QCOMPARE(lookOf(f, f.advancedElement(A::Record)), Look::Down);
             QWidget* focus = QApplication::focusWidget() ? QApplication::focusWidget() : &f.window();
             typeKey(focus, Qt::Key_Q, 0x71 /* XK_q */, 16 + 8 /* KEY_Q */);
             clickAdvanced(f, A::Record);
             clickAdvanced(f, A::SaveMacros);
         },
         [](Fixture& f) {
             QVERIFY(!f.context->macros.recording);
             QCOMPARE(lookOf(f, f.advancedElement(A::Record)), Look::Normal);
             const QStringList lines = listLines(page(f).eventList());
             QCOMPARE(lines.size(), 3);
             QCOMPARE(lines.first(), QString::fromUtf8("[↓]Q"));
             QCOMPARE(lines.last(), QString::fromUtf8("[↑]Q"));
             const auto saved = savedMacros(f);
             QCOMPARE(int(saved->record(0).eventCount()), 2);
             QCOMPARE(int(saved->record(0).event(0).code), int('Q'));
         }},
        {"REPEAT enables the count; SAVE stores both",
         {},
         [](Fixture& f) {
             clickMain(f, PageTabFirst + 1);
             // The page opens on the last macro of the file.
             QCOMPARE(page(f).nameEdit()->text(), QStringLiteral("Copy then Paste"));
             QCOMPARE(page(f).macroList()->selectedItems().value(0), page(f).macroList()->item(2));
             clickAdvanced(f, A::Repeat);
             QVERIFY(page(f).repeatCountEdit()->isEnabled());
             retype(page(f).repeatCountEdit(), QStringLiteral("3"));
             clickAdvanced(f, A::SaveMacros);
         },
         [](Fixture& f) {
             QCOMPARE(lookOf(f, f.advancedElement(A::Repeat)), Look::Down);
             const auto saved = savedMacros(f);
             QCOMPARE(int(saved->record(2).repeatEnabled()), 1);
             QCOMPARE(int(saved->record(2).repeatCount()), 3);
             QCOMPARE(int(saved->record(0).repeatEnabled()), 0);
         }},
        {"macro EXPORT",
         {},
         [](Fixture& f) {
             clickMain(f, PageTabFirst + 1);
             f.dialogs.macroFileAnswer = f.folder.filePath("exchange.dat");
             clickAdvanced(f, A::ExportMacros);
         },
         [](Fixture& f) {
             const auto exported = macroFile(f.folder.filePath("exchange.dat"));
             QCOMPARE(int(exported->count()), 3);
             QCOMPARE(exported->nameUtf8(2), std::string("Copy then Paste"));
             QVERIFY(!QFile::exists(f.folder.filePath(".exchange.dat.lock")));
         }},
        {"macro IMPORT",
         {},
         [](Fixture& f) { importMacros(f, "[Macros]\r\nmacroNum=0\r\n"); },
         [](Fixture& f) { QCOMPARE(page(f).macroList()->count(), 0); }},
        {"macro IMPORT refuses a file without a usable count; the list and the file stay",
         {},
         [](Fixture& f) {
             importMacros(f, "[Macros]\r\nmacroNum=abc\r\n");
             clickAdvanced(f, A::SaveMacros);
         },
         [](Fixture& f) {
             QCOMPARE(listLines(page(f).macroList()), (QStringList{"Reload", "Burst Fire x3", "Copy then Paste"}));
             QCOMPARE(int(savedMacros(f)->count()), 3);
             QCOMPARE(f.dialogs.messages.size(), std::size_t{1});
             QVERIFY2(f.dialogs.messages.front().contains("\"macroNum\" is \"abc\""),
                      qPrintable(f.dialogs.messages.front()));
         }},
        {"a macro without events shows zero presses and releases",
         {},
         [](Fixture& f) {
             clickMain(f, PageTabFirst + 1);
             clickMacroRow(f, 0);
             QTRY_VERIFY(f.window().viewState().eventDownCount > 0);
             retype(page(f).nameEdit(), QStringLiteral("Empty"));
             clickAdvanced(f, A::AddMacro);
             QTRY_COMPARE(page(f).macroList()->count(), 4);
             clickMacroRow(f, 0);
             clickMacroRow(f, 3);
         },
         [](Fixture& f) {
             QCOMPARE(page(f).eventList()->count(), 0);
             QTRY_COMPARE(f.window().viewState().eventDownCount, 0);
             QCOMPARE(f.window().viewState().eventUpCount, 0);
         }},
        {"event list context menu: Delete",
         {},
         [](Fixture& f) {
             clickMain(f, PageTabFirst + 1);
             clickMacroRow(f, 0);
             rightClickEvent(f, 0);
             QVERIFY(clickMenuItem(page(f).openMenu(), MacroMenuCommand::Delete));
             clickAdvanced(f, A::SaveMacros);
         },
         [](Fixture& f) {
             QCOMPARE(listLines(page(f).eventList()), QStringList{QString::fromUtf8("[↑]R")});
             QCOMPARE(int(savedMacros(f)->record(0).eventCount()), 1);
         }},
        {"event list context menu: Modify Delay, typed in place",
         {},
         [](Fixture& f) {
             clickMain(f, PageTabFirst + 1);
             clickMacroRow(f, 0);
             rightClickEvent(f, 1);
             QVERIFY(clickMenuItem(page(f).openMenu(), MacroMenuCommand::ModifyDelay));
             QTRY_VERIFY(page(f).eventList()->editing());
             QLineEdit* edit = page(f).eventList()->editor();
             QTest::keyClick(edit, Qt::Key_A, Qt::ControlModifier);
             QTest::keyClicks(edit, QStringLiteral("250"));
             QTest::keyClick(edit, Qt::Key_Return);
             clickAdvanced(f, A::SaveMacros);
         },
         [](Fixture& f) {
             QCOMPARE(page(f).eventList()->item(1)->text(), QStringLiteral("    250ms"));
             QCOMPARE(int(savedMacros(f)->record(0).event(0).delay), 250);
         }},
        {"a right-click on the open delay edit opens the menu",
         {},
         [](Fixture& f) {
             clickMain(f, PageTabFirst + 1);
             clickMacroRow(f, 0);
             rightClickEvent(f, 1);
             QVERIFY(clickMenuItem(page(f).openMenu(), MacroMenuCommand::ModifyDelay));
             QTRY_VERIFY(page(f).eventList()->editing());
             QLineEdit* edit = page(f).eventList()->editor();
             clickAt(edit, edit->rect().center(), Qt::RightButton);
         },
         [](Fixture& f) {
             QTRY_VERIFY(page(f).openMenu() && page(f).openMenu()->isVisible());
             page(f).openMenu()->close();
         }},
    };
    return table;
}

} // namespace

class ControlsByInputTest : public QObject {
    Q_OBJECT
private slots:
    void controls_data() {
        QTest::addColumn<int>("row");
        for (std::size_t i = 0; i < rows().size(); ++i)
            QTest::newRow(rows()[i].name) << static_cast<int>(i);
    }

    void controls() {
        QFETCH(int, row);
        const Row& r = rows()[static_cast<std::size_t>(row)];
        Fixture f([&](const QString& folder, SimulatedMouse&) {
            if (r.files)
                r.files(folder);
        });
        QVERIFY(QTest::qWaitForWindowExposed(&f.window()));
        // The start-up apply has reached the mouse and been acknowledged.
        QTRY_VERIFY(f.reportsSent() >= 11);
        QTRY_VERIFY(f.context->feedback.HostFunctionsReady.load());
        r.drive(f);
        if (QTest::currentTestFailed())
            return;
        r.check(f);
    }
};

QTEST_MAIN(ControlsByInputTest)
#include "controls_by_input_test.moc"
