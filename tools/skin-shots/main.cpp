// SPDX-License-Identifier: MIT
// Shows the real main window on the X display, one page and state after another, and saves what the
// screen shows of it (shape included) as PNG files:
//   krv-skin-shots <output folder>        (run by tools/screenshots.sh under Xvfb)
#include "ui/MainWindow.h"

#include "device/ApplyFeedback.h"
#include "macros/MacroTable.h"
#include "settings/ProfileSettings.h"
#include "settings/TextCodec.h"
#include "settings/UiLanguage.h"

#include <QApplication>
#include <QDir>
#include <QGuiApplication>
#include <QPixmap>
#include <QScreen>
#include <QTest>

#include <cstdio>
#include <functional>

namespace {

using namespace krv;

class PrintingNotifier : public UiNotifier {
public:
    void showMessage(std::string_view text) override {
        std::fprintf(stderr, "message: %.*s\n", static_cast<int>(text.size()), text.data());
    }
};

void addMacro(MacroTable& table, const char* name) {
    table.modify([&](MacroTable::Records& records, std::int16_t& count) {
        records[static_cast<std::size_t>(count)].setName(utf8ToUtf16(name));
        records[static_cast<std::size_t>(count)].setRepeatEnabled(1);
        ++count;
    });
}

} // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: krv-skin-shots <output folder>\n");
        return 2;
    }
    QDir out(QString::fromLocal8Bit(argv[1]));
    out.mkpath(QStringLiteral("."));

    ProfileSettings settings;
    settings.setValues(FactoryProfile());
    settings.currentProfile = 2;
    settings.buttonCodes[3] = 41; // slot 4 plays the first macro
    settings.buttonCodes[7] = 31;
    ApplyFeedback feedback;
    MacroTable macros;
    addMacro(macros, "Rapid Reload");
    addMacro(macros, "Build Wall");
    UiLanguage language = UiLanguage::English;
    AppPaths paths{QCoreApplication::applicationDirPath().toStdString() + "/../bin"};
    if (!QDir(QString::fromStdString(paths.skinDirectory().string())).exists())
        paths.appDirectory = QCoreApplication::applicationDirPath().toStdString();
    PrintingNotifier notifier;

    MainWindow window({settings, feedback, macros, language, paths, notifier});
    if (!window.initialiseSkin())
        return 1;
    window.move(40, 40);
    window.show();
    if (!QTest::qWaitForWindowExposed(&window))
        return 1;

    int failures = 0;
    auto shot = [&](const QString& name, const std::function<void()>& setUp) {
        setUp();
        window.repaint();
        QCoreApplication::processEvents();
        QTest::qWait(150); // let the X server draw the window before reading the screen back
        const QRect frame = window.frameGeometry().adjusted(-12, -12, 12, 12);
        const QPixmap pixels = window.screen()->grabWindow(0, frame.x(), frame.y(), frame.width(), frame.height());
        if (!pixels.save(out.filePath(name + QStringLiteral(".png")))) {
            std::fprintf(stderr, "cannot save %s\n", qPrintable(name));
            ++failures;
        }
    };

    for (UiLanguage lang : {UiLanguage::English, UiLanguage::Chinese}) {
        language = lang;
        if (!window.reloadSkinDescriptions())
            return 1;
        const QString suffix = lang == UiLanguage::English ? QStringLiteral("_en") : QStringLiteral("_cn");
        MainViewState& state = window.viewState();
        shot(QStringLiteral("main") + suffix, [&] {
            state = MainViewState{};
            state.mainHit = 27; // hovering slot 3 lights its mark
            settings.dpiStage = 1;
        });
        shot(QStringLiteral("main_blink") + suffix, [&] {
            state = MainViewState{};
            state.mainHit = MainElement::Apply;
            state.pressed = true;
            feedback.HostFunctionsReady = false;
            feedback.BlinkSlot = 6;
            feedback.BlinkPhase = false;
            settings.dpiStageEnabled[3] = 0;
            settings.wheelMode = 1;
        });
        feedback.HostFunctionsReady = true;
        settings.dpiStageEnabled[3] = 1;
        settings.wheelMode = 0;
        shot(QStringLiteral("advanced") + suffix, [&] {
            state = MainViewState{};
            state.page = SkinPage::Advanced;
            state.advancedHit = AdvancedElement::ImportMacros;
            state.eventDownCount = 3;
            state.eventUpCount = 2;
            settings.fireInterval = 150;
            settings.macroPlaybackMode = 1;
            macros.recording = true;
        });
        macros.recording = false;
        shot(QStringLiteral("color") + suffix, [&] {
            state = MainViewState{};
            state.page = SkinPage::Color;
            state.colorHit = 1;
            state.previewStage = 3;
            settings.ledMode = 2;
        });
    }
    // the images of the menus and the warning box, for a look at their states
    QDir images(out.filePath(QStringLiteral("images")));
    images.mkpath(QStringLiteral("."));
    for (const char* name : {SkinImageName::MenuNormal, SkinImageName::MenuOver, SkinImageName::MenuDown,
                             SkinImageName::SubMenuOver, SkinImageName::WarningNormal, SkinImageName::WarningOver,
                             SkinImageName::DpiSlider}) {
        const QImage image = LoadSkinImage(paths.skinDirectory() / name);
        if (image.isNull() || !image.save(images.filePath(QString::fromUtf8(name).replace(".jpg", ".png"))))
            ++failures;
    }
    return failures == 0 ? 0 : 1;
}
