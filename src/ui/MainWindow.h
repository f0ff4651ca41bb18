// SPDX-License-Identifier: MIT
#pragma once

#include "device/ApplyFeedback.h"
#include "macros/MacroTable.h"
#include "ports/UiNotifier.h"
#include "settings/ProfileSettings.h"
#include "settings/UiLanguage.h"
#include "skin/SkinDescriptions.h"
#include "skin/SkinFonts.h"
#include "skin/SkinImages.h"
#include "ui/MainViewState.h"
#include "ui/MainWindowPainter.h"

#include <QImage>
#include <QRegion>
#include <QWidget>

namespace krv {

// The main window: a frameless window cut to the shape of the main mask, painted from the skin. It
// holds references to the program's state (made once in main) and owns only its view state, the
// skin it read and the image cache.
class MainWindow : public QWidget {
    Q_OBJECT
public:
    static constexpr const char* WindowTitle = "VELDRA GAMING MOUSE";

    struct Dependencies {
        ProfileSettings& settings;
        ApplyFeedback& feedback;
        MacroTable& macros;
        UiLanguage& language;
        const AppPaths& paths;
        UiNotifier& notifier;
    };

    explicit MainWindow(Dependencies dependencies, QWidget* parent = nullptr);

    // Reads the skin descriptions of the current language, installs the font aliases and creates
    // the fonts, loads the main mask, sizes the window and cuts its shape and RepaintRegion. When a
    // description file is missing, "找不到配置文件" has been shown, the window closes itself and
    // false is returned.
    bool initialiseSkin();
    // Reads the four description files again (a language switch). False, with the window closed,
    // when a file is missing.
    bool reloadSkinDescriptions();

    MainViewState& viewState() { return m_state; }
    const MainViewState& viewState() const { return m_state; }
    const SkinDescriptions& skin() const { return m_skin; }
    const SkinFonts& fonts() const { return m_fonts; }
    SkinImageCache& images() { return m_images; }
    const QRegion& shape() const { return m_shape; }
    const QRegion& repaintRegion() const { return m_repaintRegion; }
    QSize skinSize() const { return m_size; }
    const Dependencies& dependencies() const { return m_deps; }

    // Shows a page or a state set by code (repaints).
    void setPage(SkinPage page);
    void setHover(HitIndex mainHit, HitIndex advancedHit, HitIndex colorHit);
    void setPressed(bool pressed);

    // Gives a child control of the advanced page (edits, lists) the skin's look: white text on black
    // in the language's skin font. Call when the control is created.
    void styleChildControl(QWidget* control) const;

    // The picture the next paint shows.
    QImage composeCurrentPage();

signals:
    // A paint found the close-menu-at-paint flag set (the flag is already cleared).
    void closeMenuRequested();
    // initialiseSkin or reloadSkinDescriptions found a description file missing.
    void skinMissing();

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    MainPaintContext paintContext() const;

    Dependencies m_deps;
    MainViewState m_state;
    SkinDescriptions m_skin;
    SkinFonts m_fonts;
    SkinImageCache m_images;
    MainWindowPainter m_painter{m_images};
    QRegion m_shape;
    bool m_seeThroughOutside = false; // under Wayland: transparent outside the shape
    QRegion m_repaintRegion;
    QSize m_size;
};

} // namespace krv
