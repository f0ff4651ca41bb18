// SPDX-License-Identifier: MIT
#include "ui/MainWindowPainter.h"

#include "mouse/ButtonCode.h"

#include <QFontMetrics>
#include <QPainter>

#include <algorithm>

namespace krv {

namespace {

using namespace MainElement;
static_assert(SliderPositions == DpiPositionCount, "the slider shows every DPI position of a stage");

int load(const std::atomic<std::int32_t>& value) { return value.load(std::memory_order_relaxed); }
int load(const std::atomic<std::uint8_t>& value) { return value.load(std::memory_order_relaxed); }

void copyFrom(QImage& target, const QImage& source, const SkinLayout& layout, int index) {
    if (index >= 0 && static_cast<std::size_t>(index) < layout.size())
        CopyElementRect(target, source, layout[static_cast<std::size_t>(index)]);
}

// Writes captions: white, transparent background, measured in the current font.
class CaptionWriter {
public:
    CaptionWriter(QImage& target, const QFont& font) : m_painter(&target) {
        m_painter.setRenderHint(QPainter::TextAntialiasing);
        setFont(font);
    }
    void setFont(const QFont& font) {
        m_painter.setFont(font);
        m_metrics = QFontMetrics(m_painter.font());
    }
    // Centred: x = element x + (width - text width) / 2, y likewise, truncating toward zero.
    void centred(const SkinElement& element, const QString& text) {
        if (text.isEmpty())
            return;
        draw(element.x + (std::int64_t{element.width} - m_metrics.horizontalAdvance(text)) / 2, element, text);
    }
    // 5 pixels from the left edge, centred vertically.
    void leftAligned(const SkinElement& element, const QString& text) {
        if (!text.isEmpty())
            draw(std::int64_t{element.x} + 5, element, text);
    }

private:
    void draw(std::int64_t x, const SkinElement& element, const QString& text) {
        const std::int64_t top = element.y + (std::int64_t{element.height} - m_metrics.height()) / 2;
        m_painter.setPen(Qt::white);
        m_painter.drawText(QPoint(clampToScreen(x), clampToScreen(top + m_metrics.ascent())), text);
    }
    // Far outside the window anyway; keeps hand-edited coordinates from overflowing the painter.
    static int clampToScreen(std::int64_t v) { return static_cast<int>(std::clamp<std::int64_t>(v, -100000, 100000)); }
    QPainter m_painter;
    QFontMetrics m_metrics{QFont()};
};

QString captionOf(const SkinElement& element) { return QString::fromStdString(element.caption); }

} // namespace

QString MainWindowPainter::slotCaption(const MainPaintContext& context, int slot) {
    if (slot < 1 || slot > ButtonSlotCount)
        return {};
    const ButtonCode code =
        context.settings.buttonCodes[static_cast<std::size_t>(slot - 1)].load(std::memory_order_relaxed);
    if (code >= FirstMacroCode) {
        // A macro code names a macro of the table; one whose macro no longer exists shows nothing.
        const int position = code - FirstMacroCode;
        if (code > MaxMacroCode || position >= context.macros.count())
            return {};
        return QString::fromStdString(context.macros.nameUtf8(position));
    }
    return QString::fromStdString(context.skin.functionName(code));
}

QString MainWindowPainter::recordCaption(UiLanguage language, bool recording) {
    if (language == UiLanguage::English)
        return recording ? QStringLiteral("Stop") : QStringLiteral("Record");
    return recording ? QString::fromUtf8("停止") : QString::fromUtf8("录制");
}

QString MainWindowPainter::fireTimeCaption(int fireTime) { return QString::number(fireTime) + QStringLiteral("ms"); }

int MainWindowPainter::dpiReadout(const ProfileSettings& settings) {
    const int position = load(settings.appliedDpiStagePositions[static_cast<std::size_t>(settings.dpiStageIndex())]);
    return position >= 0 && position < DpiPositionCount ? DpiOfPosition[static_cast<std::size_t>(position)]
                                                         : DpiOfPosition[1];
}

MainWindowPainter::PageImages MainWindowPainter::loadPage(SkinPage page) {
    switch (page) {
    case SkinPage::Advanced:
        return {m_images.image(SkinImageName::AdvancedNormal), m_images.image(SkinImageName::AdvancedOver),
                m_images.image(SkinImageName::AdvancedDown)};
    case SkinPage::Color:
        return {m_images.image(SkinImageName::ColorNormal), m_images.image(SkinImageName::ColorOver),
                m_images.image(SkinImageName::ColorDown)};
    case SkinPage::Main:
        break;
    }
    return {m_images.image(SkinImageName::MainNormal), m_images.image(SkinImageName::MainOver),
            m_images.image(SkinImageName::MainDown)};
}

QImage MainWindowPainter::compose(const MainViewState& state, const MainPaintContext& context) {
    const PageImages images = loadPage(state.page);
    QImage target;
    if (!images.normal.isNull() && images.normal.size() == context.windowSize) {
        target = images.normal.copy();
    } else {
        // A missing or mis-sized normal image leaves black where it has no pixels.
        target = QImage(context.windowSize.isValid() ? context.windowSize : images.normal.size(), QImage::Format_RGB32);
        target.fill(Qt::black);
        CopyImageRect(target, 0, 0, images.normal, 0, 0, images.normal.width(), images.normal.height());
    }
    if (target.isNull())
        return target;

    switch (state.page) {
    case SkinPage::Main: drawMainStates(target, images, state, context); break;
    case SkinPage::Advanced: drawAdvancedStates(target, images, state, context); break;
    case SkinPage::Color: drawColorStates(target, images, state, context); break;
    }
    drawTopBar(target, images, state, context);
    drawCaptions(target, state, context);
    return target;
}

void MainWindowPainter::drawMainStates(QImage& target, const PageImages& images, const MainViewState& state,
                                       const MainPaintContext& context) {
    const SkinLayout& layout = context.skin.mainLayout;
    const ProfileSettings& settings = context.settings;
    DrawElementState(target, images.over, images.down, layout, state.mainHit, state.pressed);
    copyFrom(target, images.down, layout, StageMarkFirst + settings.dpiStageIndex());

    const QImage slider = m_images.image(SkinImageName::DpiSlider);
    for (int s = 0; s < DpiStageCount; ++s) {
        // The knob of a stage sits on its chosen position (a hand-edited position past the last shows on the last).
        const int position =
            ProfileSettings::positionIndex(load(settings.dpiStagePositions[static_cast<std::size_t>(s)]));
        const SkinElement& e = layout[static_cast<std::size_t>(sliderOf(s, position))];
        CopyImageRect(target, e.x, e.y, slider, 0, 0, e.width, e.height);
        if (load(settings.dpiStageEnabled[static_cast<std::size_t>(s)]) != 0)
            copyFrom(target, images.down, layout, StageEnableFirst + s);
    }

    const int wheel = load(settings.wheelMode);
    if (wheel == 0 || wheel == 1)
        copyFrom(target, images.down, layout, WheelFirst + wheel);

    if (state.mainHit >= ButtonSlotFirst && state.mainHit <= ButtonSlotLast) {
        copyFrom(target, images.over, layout, state.mainHit + ButtonSlotToMark);
    } else if (!context.feedback.HostFunctionsReady.load(std::memory_order_relaxed)) {
        const int slot = context.feedback.BlinkSlot.load(std::memory_order_relaxed);
        if (slot >= 1 && slot <= ButtonSlotCount) {
            const bool phase = context.feedback.BlinkPhase.load(std::memory_order_relaxed);
            copyFrom(target, phase ? images.over : images.down, layout, ButtonMarkBase + slot);
        }
    }
}

void MainWindowPainter::drawAdvancedStates(QImage& target, const PageImages& images, const MainViewState& state,
                                           const MainPaintContext& context) {
    using namespace AdvancedElement;
    const SkinLayout& layout = context.skin.advancedLayout;
    const ProfileSettings& settings = context.settings;
    DrawElementState(target, images.over, images.down, layout, state.advancedHit, state.pressed);
    if (context.macros.recording)
        copyFrom(target, images.down, layout, Record);
    const int dpiSpeed = load(settings.pointerSpeed);
    if (dpiSpeed <= 9)
        copyFrom(target, images.down, layout, DpiSpeedFirst + dpiSpeed);
    const int wheelSpeed = load(settings.wheelSpeed);
    if (wheelSpeed <= 9)
        copyFrom(target, images.down, layout, WheelSpeedFirst + wheelSpeed);

    // The fire-time bar: the left fireInterval / 300 of the element from the down image.
    const SkinElement& bar = layout[FireBar];
    const int fireTime = std::clamp(load(settings.fireInterval), 0, 300);
    const auto filled = static_cast<int>(std::int64_t{fireTime} * bar.width / 300);
    CopyImageRect(target, bar.x, bar.y, images.down, bar.x, bar.y, filled, bar.height);

    if (load(settings.macroPlaybackMode) != 0)
        copyFrom(target, images.down, layout, MacroMode);
    const int current = std::clamp(context.macros.current, 0, MacroTable::Capacity - 1);
    const bool repeat = context.macros.inspect([current](const MacroTable::Records& records, std::int16_t) {
        return records[static_cast<std::size_t>(current)].repeatEnabled() == 1;
    });
    if (repeat)
        copyFrom(target, images.down, layout, Repeat);
}

void MainWindowPainter::drawColorStates(QImage& target, const PageImages& images, const MainViewState& state,
                                        const MainPaintContext& context) {
    using namespace ColorElement;
    const SkinLayout& layout = context.skin.colorLayout;
    DrawElementState(target, images.over, images.down, layout, state.colorHit, state.pressed);
    const int led = load(context.settings.ledMode);
    if (led <= 3)
        copyFrom(target, images.down, layout, LedModeFirst + led);
    if (state.previewOff) {
        copyFrom(target, m_images.image(SkinImageName::ColorPreviewOff), layout, Preview);
        return;
    }
    switch (state.previewStage) {
    case 0: copyFrom(target, m_images.image(SkinImageName::ColorPreviewBlue), layout, Preview); break;
    case 2: copyFrom(target, images.over, layout, Preview); break;
    case 3: copyFrom(target, images.down, layout, Preview); break;
    default: break; // stage 1: the normal image's own preview stays
    }
}

void MainWindowPainter::drawTopBar(QImage& target, const PageImages& images, const MainViewState& state,
                                   const MainPaintContext& context) {
    const SkinLayout& layout = context.skin.mainLayout;
    // No profile (an unreadable config.ini, a "CurConfig" out of range) lights no tab and nothing else.
    const int profile = load(context.settings.currentProfile);
    const int profileTab = profile >= 1 && profile <= ProfileCount ? ProfileTabFirst + profile - 1 : NoHit;
    const int pageTab = PageTabFirst + static_cast<int>(state.page);
    const int languageButton = context.language == UiLanguage::Chinese ? MainElement::Chinese : MainElement::English;
    for (int i = 0; i <= TopBarLast; ++i) {
        if (i == profileTab)
            copyFrom(target, images.down, layout, i);
        else if (i == state.mainHit)
            copyFrom(target, state.pressed ? images.down : images.over, layout, i);
        else if (i == pageTab || i == languageButton)
            copyFrom(target, images.down, layout, i);
    }
}

void MainWindowPainter::drawCaptions(QImage& target, const MainViewState& state, const MainPaintContext& context) {
    const SkinDescriptions& skin = context.skin;
    CaptionWriter writer(target, context.fonts.text(context.language));
    for (int i = 0; i <= TopBarLast; ++i)
        writer.centred(skin.mainLayout[i], captionOf(skin.mainLayout[i]));

    switch (state.page) {
    case SkinPage::Main:
        for (int i = TopBarLast + 1; i <= LastDrawnCaption; ++i) {
            const SkinElement& element = skin.mainLayout[static_cast<std::size_t>(i)];
            if (i == DigitCaptionFirst)
                writer.setFont(context.fonts.digitCaptions(context.language));
            if (i >= ButtonSlotFirst && i <= ButtonSlotLast)
                writer.leftAligned(element, slotCaption(context, i - ButtonSlotFirst + 1));
            else
                writer.centred(element, captionOf(element));
        }
        break;
    case SkinPage::Advanced:
        for (int i = 0; i < static_cast<int>(AdvancedElementCount); ++i) {
            const SkinElement& element = skin.advancedLayout[static_cast<std::size_t>(i)];
            QString text = captionOf(element);
            if (i == AdvancedElement::Record)
                text = recordCaption(context.language, context.macros.recording);
            else if (i == AdvancedElement::FireReadout)
                text = fireTimeCaption(load(context.settings.fireInterval));
            else if (i == AdvancedElement::DownCount)
                text = QString::fromUtf8("[↓]") + QString::number(state.eventDownCount);
            else if (i == AdvancedElement::UpCount)
                text = QString::fromUtf8("[↑]") + QString::number(state.eventUpCount);
            writer.centred(element, text);
        }
        break;
    case SkinPage::Color:
        for (int i = 0; i < static_cast<int>(ColorElementCount); ++i) {
            const SkinElement& element = skin.colorLayout[static_cast<std::size_t>(i)];
            writer.centred(element, i == ColorElement::DpiReadout ? QString::number(dpiReadout(context.settings))
                                                                  : captionOf(element));
        }
        break;
    }
}

} // namespace krv
