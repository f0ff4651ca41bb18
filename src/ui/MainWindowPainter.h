// SPDX-License-Identifier: MIT
#pragma once

#include "device/ApplyFeedback.h"
#include "macros/MacroTable.h"
#include "settings/ProfileSettings.h"
#include "settings/UiLanguage.h"
#include "skin/SkinDescriptions.h"
#include "skin/SkinFonts.h"
#include "skin/SkinImages.h"
#include "ui/MainViewState.h"

#include <QImage>
#include <QSize>
#include <QString>

namespace krv {

// Everything a paint of the main window reads besides its view state.
struct MainPaintContext {
    const SkinDescriptions& skin;
    const ProfileSettings& settings;
    const ApplyFeedback& feedback;
    const MacroTable& macros;
    UiLanguage language;
    const SkinFonts& fonts;
    QSize windowSize; // W x H of the main mask
};

// Composes one picture of the main window: the page's normal image with element states copied from
// its over and down images, then the top bar, then the captions. Pure apart from the image cache:
// the same state, settings and images always give the same pixels.
class MainWindowPainter {
public:
    explicit MainWindowPainter(SkinImageCache& images) : m_images(images) {}

    QImage compose(const MainViewState& state, const MainPaintContext& context);

    // The texts the page draws in place of a caption (exposed for tests and the interaction code).
    static QString slotCaption(const MainPaintContext& context, int slot); // slot 1..8
    static QString recordCaption(UiLanguage language, bool recording);
    static QString fireTimeCaption(int fireTime);
    static int dpiReadout(const ProfileSettings& settings);

private:
    struct PageImages {
        QImage normal;
        QImage over;
        QImage down;
    };
    PageImages loadPage(SkinPage page);
    void drawMainStates(QImage& target, const PageImages& images, const MainViewState& state,
                        const MainPaintContext& context);
    void drawAdvancedStates(QImage& target, const PageImages& images, const MainViewState& state,
                            const MainPaintContext& context);
    void drawColorStates(QImage& target, const PageImages& images, const MainViewState& state,
                         const MainPaintContext& context);
    void drawTopBar(QImage& target, const PageImages& images, const MainViewState& state,
                    const MainPaintContext& context);
    void drawCaptions(QImage& target, const MainViewState& state, const MainPaintContext& context);

    SkinImageCache& m_images;
};

} // namespace krv
