// SPDX-License-Identifier: MIT
// Repaints of the three pages of the main window with the image cache against decoding every image
// at every paint, and the window shape cut from the main mask by runs against one pixel at a time.
// Prints "name value unit" lines.
#include "ui/MainWindowPainter.h"

#include "skin/SkinFonts.h"
#include "skin/SkinImages.h"

#include <QCoreApplication>
#include <QGuiApplication>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <functional>
#include <vector>

using namespace krv;

namespace {

class PrintingNotifier : public UiNotifier {
public:
    void showMessage(std::string_view text) override {
        std::fprintf(stderr, "message: %.*s\n", static_cast<int>(text.size()), text.data());
    }
};

// Median duration of `runs` calls, in microseconds.
double medianMicros(int runs, const std::function<void()>& work) {
    std::vector<double> times;
    times.reserve(static_cast<std::size_t>(runs));
    for (int i = 0; i < runs; ++i) {
        const auto start = std::chrono::steady_clock::now();
        work();
        times.push_back(std::chrono::duration<double, std::micro>(std::chrono::steady_clock::now() - start).count());
    }
    std::nth_element(times.begin(), times.begin() + runs / 2, times.end());
    return times[static_cast<std::size_t>(runs / 2)];
}

} // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    AppPaths paths{QCoreApplication::applicationDirPath().toStdString()};
    SkinDescriptions skin;
    PrintingNotifier notifier;
    if (!LoadSkinDescriptions(skin, paths, UiLanguage::English, notifier))
        return 1;
    InstallSkinFontAliases(paths.skinDirectory());
    const SkinFonts fonts = CreateSkinFonts();
    ProfileSettings settings;
    settings.setValues(FactoryProfile());
    settings.currentProfile = 1;
    settings.fireInterval = 150;
    ApplyFeedback feedback;
    feedback.HostFunctionsReady = false; // the blink is drawn too
    feedback.BlinkSlot = 6;
    MacroTable macros;
    const MainPaintContext context{skin, settings, feedback, macros, UiLanguage::English, fonts, QSize(840, 560)};

    SkinImageCache cached(paths.skinDirectory());
    SkinImageCache uncached(paths.skinDirectory());
    uncached.setCaching(false);
    MainWindowPainter withCache(cached);
    MainWindowPainter withoutCache(uncached);

    const struct {
        const char* name;
        SkinPage page;
    } pages[] = {{"main", SkinPage::Main}, {"advanced", SkinPage::Advanced}, {"color", SkinPage::Color}};
    for (const auto& p : pages) {
        MainViewState state;
        state.page = p.page;
        state.mainHit = p.page == SkinPage::Main ? 27 : 14;
        state.previewStage = 0;
        withCache.compose(state, context); // fill the cache
        const double fast = medianMicros(200, [&] { withCache.compose(state, context); });
        const double slow = medianMicros(30, [&] { withoutCache.compose(state, context); });
        std::printf("page_repaint_cached_%s %.0f us\n", p.name, fast);
        std::printf("page_repaint_decoding_%s %.0f us\n", p.name, slow);
    }

    const QImage mask = LoadSkinImage(paths.skinDirectory() / SkinImageName::MainMask);
    int cut = 0;
    for (int y = 0; y < mask.height(); ++y)
        for (int x = 0; x < mask.width(); ++x) {
            const QRgb px = mask.pixel(x, y);
            cut += IsMaskPixelCut(qRed(px), qGreen(px), qBlue(px));
        }
    QRegion byRuns;
    const double runs = medianMicros(50, [&] { byRuns = ShapeFromMask(mask); });
    QRegion byPixels;
    const double pixels = medianMicros(3, [&] { byPixels = ShapeFromMaskByPixels(mask); });
    std::printf("main_mask_light_pixels %d px\n", cut);
    std::printf("shape_from_mask_runs %.2f ms\n", runs / 1000.0);
    std::printf("shape_from_mask_pixel_xor %.2f ms\n", pixels / 1000.0);
    std::printf("shape_regions_equal %d bool\n", byRuns.xored(byPixels).isEmpty() ? 1 : 0);
    return 0;
}
