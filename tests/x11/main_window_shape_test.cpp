// SPDX-License-Identifier: MIT
// The main window on a real X server: the screen shows it cut to the outline of its mask.
#include <gtest/gtest.h>

#if __has_include(<QWidget>)

#include "ui/MainWindow.h"

#include <QApplication>
#include <QDeadlineTimer>
#include <QScreen>
#include <QTest>

using namespace krv;

namespace {

class NoMessages : public UiNotifier {
public:
    void showMessage(std::string_view text) override { ADD_FAILURE() << "message: " << text; }
};

TEST(MainWindowShape, TheScreenShowsTheWindowOnlyInsideItsMask) {
    int argc = 1;
    char name[] = "x11_main_window_shape_test";
    char* argv[] = {name, nullptr};
    QApplication app(argc, argv);

    // a white backdrop, so that what the shape cuts away shows white
    QWidget backdrop(nullptr, Qt::Window | Qt::FramelessWindowHint);
    backdrop.setAutoFillBackground(true);
    QPalette palette = backdrop.palette();
    palette.setColor(QPalette::Window, Qt::white);
    backdrop.setPalette(palette);
    backdrop.setGeometry(0, 0, 1000, 700);
    backdrop.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&backdrop));

    ProfileSettings settings;
    settings.setValues(FactoryProfile());
    settings.currentProfile = 1;
    ApplyFeedback feedback;
    MacroTable macros;
    UiLanguage language = UiLanguage::English;
    AppPaths paths{KRV_BUILD_DATA_DIR};
    NoMessages notifier;
    MainWindow window({settings, feedback, macros, language, paths, notifier});
    ASSERT_TRUE(window.initialiseSkin());
    window.move(50, 40);
    window.show();
    window.raise();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));

    const QImage expected = window.composeCurrentPage();
    const QRegion shape = window.shape();
    auto screenMatches = [&] {
        QCoreApplication::processEvents();
        const QImage screen =
            window.screen()->grabWindow(0, window.x(), window.y(), window.width(), window.height()).toImage();
        if (screen.size() != expected.size())
            return false;
        for (const QPoint p : {QPoint(0, 0), QPoint(5, 5), QPoint(839, 0), QPoint(839, 559), QPoint(0, 559)})
            if (shape.contains(p) || screen.pixel(p) != qRgb(255, 255, 255))
                return false;
        for (const QPoint p : {QPoint(420, 280), QPoint(30, 30), QPoint(800, 520)})
            if (!shape.contains(p) || screen.pixel(p) != expected.convertToFormat(QImage::Format_RGB32).pixel(p))
                return false;
        return true;
    };
    // the X server draws asynchronously: look again until it has, for at most five seconds
    QDeadlineTimer deadline(5000);
    bool matches = screenMatches();
    while (!matches && !deadline.hasExpired()) {
        QTest::qWait(20);
        matches = screenMatches();
    }
    EXPECT_TRUE(matches);
}

} // namespace

#endif
