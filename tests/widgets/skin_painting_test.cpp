// SPDX-License-Identifier: MIT
// The skin's Qt half and the main window's painting: masks, the image cache, element copies, and the
// composed pages compared region by region with the shipped images.
#include "ui/MainWindow.h"
#include "ui/MainWindowPainter.h"

#include "fakes/RecordingNotifier.h"
#include "settings/TextCodec.h"
#include "skin/SkinFonts.h"
#include "skin/SkinImages.h"

#include <QFontInfo>
#include <QFontMetrics>
#include <QLineEdit>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <filesystem>
#include <random>

using namespace krv;
using krv::test::RecordingNotifier;

namespace {

bool sameRect(const QImage& a, const QImage& b, const QRect& r) {
    for (int y = r.top(); y <= r.bottom(); ++y)
        for (int x = r.left(); x <= r.right(); ++x)
            if (a.pixel(x, y) != b.pixel(x, y))
                return false;
    return true;
}

QRect rectOf(const SkinElement& e) { return QRect(e.x, e.y, e.width, e.height); }

void addMacro(MacroTable& table, const char* name, int repeat) {
    table.modify([&](MacroTable::Records& records, std::int16_t& count) {
        records[static_cast<std::size_t>(count)].setName(utf8ToUtf16(name));
        records[static_cast<std::size_t>(count)].setRepeatEnabled(static_cast<std::uint8_t>(repeat));
        ++count;
    });
}

} // namespace

class SkinPaintingTest : public QObject {
    Q_OBJECT

    AppPaths m_paths{KRV_BUILD_DATA_DIR};
    SkinDescriptions m_skin;       // shipped English skin with every caption removed
    SkinDescriptions m_captioned;  // shipped English skin as it is
    SkinFonts m_fonts;
    ProfileSettings m_settings;
    ApplyFeedback m_feedback;
    MacroTable m_macros;
    SkinImageCache m_images{AppPaths{KRV_BUILD_DATA_DIR}.skinDirectory()};

    MainPaintContext context(UiLanguage language = UiLanguage::English) {
        return {m_skin, m_settings, m_feedback, m_macros, language, m_fonts, QSize(840, 560)};
    }
    QImage compose(const MainViewState& state) {
        MainWindowPainter painter(m_images);
        return painter.compose(state, context());
    }
    QImage image(const char* name) { return m_images.image(name); }
    const SkinElement& mainElement(int i) { return m_skin.mainLayout[static_cast<std::size_t>(i)]; }

private slots:
    void initTestCase() {
        RecordingNotifier notifier;
        QVERIFY(LoadSkinDescriptions(m_captioned, m_paths, UiLanguage::English, notifier));
        QVERIFY(notifier.messages().empty());
        m_skin = m_captioned;
        for (SkinLayout* layout : {&m_skin.mainLayout, &m_skin.advancedLayout, &m_skin.colorLayout})
            for (std::size_t i = 0; i < layout->size(); ++i)
                layout->at(i).caption.clear();
        m_skin.functionNames.fill({});
        InstallSkinFontAliases(m_paths.skinDirectory());
        m_fonts = CreateSkinFonts();
        QVERIFY(!image(SkinImageName::MainNormal).isNull());
    }

    void init() {
        m_settings.setValues(FactoryProfile());
        m_settings.currentProfile = 1;
        m_feedback.HostFunctionsReady = true;
        m_macros.recording = false;
        m_macros.current = 0;
        m_macros.modify([](MacroTable::Records&, std::int16_t& count) { count = 0; });
    }

    // ---- masks ----

    void maskKeepRule() {
        QImage mask(4, 1, QImage::Format_RGB32);
        mask.setPixel(0, 0, qRgb(101, 101, 101));
        mask.setPixel(1, 0, qRgb(100, 255, 255));
        mask.setPixel(2, 0, qRgb(255, 255, 255));
        mask.setPixel(3, 0, qRgb(0, 0, 0));
        const QRegion shape = ShapeFromMask(mask);
        QVERIFY(!shape.contains(QPoint(0, 0)));
        QVERIFY(shape.contains(QPoint(1, 0)));
        QVERIFY(!shape.contains(QPoint(2, 0)));
        QVERIFY(shape.contains(QPoint(3, 0)));
    }

    void maskAllLightOrAllDark() {
        QImage light(30, 20, QImage::Format_RGB32);
        light.fill(qRgb(200, 180, 101));
        QVERIFY(ShapeFromMask(light).isEmpty());
        QImage dark(30, 20, QImage::Format_RGB32);
        dark.fill(qRgb(101, 101, 100));
        QCOMPARE(ShapeFromMask(dark), QRegion(0, 0, 30, 20));
    }

    void maskRunsEqualThePixelByPixelRegion() {
        std::mt19937 random(7);
        for (int round = 0; round < 20; ++round) {
            QImage mask(37, 23, QImage::Format_RGB32);
            mask.fill(Qt::black);
            // light blocks and single light pixels, so that rows repeat and differ
            for (int block = 0; block < 6; ++block) {
                const int x = static_cast<int>(random() % 37), y = static_cast<int>(random() % 23);
                const int w = 1 + static_cast<int>(random() % 12), h = 1 + static_cast<int>(random() % 9);
                for (int yy = y; yy < std::min(23, y + h); ++yy)
                    for (int xx = x; xx < std::min(37, x + w); ++xx)
                        mask.setPixel(xx, yy, qRgb(255, 255, 255));
            }
            for (int n = 0; n < 15; ++n)
                mask.setPixel(static_cast<int>(random() % 37), static_cast<int>(random() % 23), qRgb(160, 150, 140));
            const QRegion runs = ShapeFromMask(mask);
            const QRegion pixels = ShapeFromMaskByPixels(mask);
            QVERIFY2(runs.xored(pixels).isEmpty(), qPrintable(QString("round %1").arg(round)));
            for (int y = 0; y < 23; ++y)
                for (int x = 0; x < 37; ++x) {
                    const QRgb p = mask.pixel(x, y);
                    QCOMPARE(runs.contains(QPoint(x, y)), !IsMaskPixelCut(qRed(p), qGreen(p), qBlue(p)));
                }
        }
    }

    void shippedMainMaskGivesAShapedWindow() {
        const QImage mask = LoadSkinImage(m_paths.skinDirectory() / SkinImageName::MainMask);
        QCOMPARE(mask.size(), QSize(840, 560));
        const QRegion shape = ShapeFromMask(mask);
        QVERIFY(!shape.contains(QPoint(0, 0)));
        QVERIFY(!shape.contains(QPoint(839, 559)));
        QVERIFY(shape.contains(QPoint(420, 280)));
        QVERIFY(shape.rectCount() > 1);
        QVERIFY(shape.xored(ShapeFromMaskByPixels(mask)).isEmpty());
        // every element of the main layout lies inside the shape
        for (std::size_t i = 0; i < m_skin.mainLayout.size(); ++i) {
            const QRect r = rectOf(m_skin.mainLayout[i]);
            if (!r.isEmpty())
                QVERIFY2(QRegion(r).subtracted(shape).isEmpty(), qPrintable(QString("element %1").arg(i)));
        }
    }

    void repaintRegionLeavesOutTheListsButNotTheRepeatEdit() {
        const QRegion shape = ShapeFromMask(LoadSkinImage(m_paths.skinDirectory() / SkinImageName::MainMask));
        const QRegion region = RepaintRegion(shape, m_skin);
        QVERIFY(!region.contains(toQRect(m_skin.macroListRect).center()));
        QVERIFY(!region.contains(toQRect(m_skin.eventListRect).center()));
        QVERIFY(!region.contains(toQRect(m_skin.macroNameEditRect).center()));
        QVERIFY(region.contains(toQRect(m_skin.repeatCountEditRect).center()));
    }

    void repaintRegionAddsWhatLiesOutsideTheShape() {
        SkinDescriptions skin;
        skin.macroNameEditRect = {5, 5, 15, 15};
        const QRegion region = RepaintRegion(QRegion(0, 0, 10, 10), skin);
        QVERIFY(!region.contains(QPoint(7, 7)));
        QVERIFY(region.contains(QPoint(12, 12)));
        QVERIFY(region.contains(QPoint(2, 2)));
    }

    // ---- images ----

    void cacheShowsAChangedFileAtTheNextLookup() {
        QTemporaryDir dir;
        const std::filesystem::path folder = dir.path().toStdString();
        QImage red(8, 8, QImage::Format_RGB32);
        red.fill(qRgb(255, 0, 0));
        QVERIFY(red.save(dir.filePath("x.png")));
        SkinImageCache cache(folder);
        QCOMPARE(cache.image("x.png").pixel(0, 0), qRgb(255, 0, 0));
        QCOMPARE(cache.image("x.png").cacheKey(), cache.image("x.png").cacheKey()); // not decoded again
        const auto stamp = std::filesystem::last_write_time(folder / "x.png");
        QImage blue(8, 8, QImage::Format_RGB32);
        blue.fill(qRgb(0, 0, 255));
        QVERIFY(blue.save(dir.filePath("x.png")));
        std::filesystem::last_write_time(folder / "x.png", stamp + std::chrono::seconds(2));
        QCOMPARE(cache.image("x.png").pixel(0, 0), qRgb(0, 0, 255));
        std::filesystem::remove(folder / "x.png");
        QVERIFY(cache.image("x.png").isNull());
        QVERIFY(cache.image("never.jpg").isNull());
    }

    void copiesAreClippedToBothImages() {
        QImage target(10, 10, QImage::Format_RGB32);
        target.fill(Qt::black);
        QImage source(6, 6, QImage::Format_RGB32);
        source.fill(Qt::white);
        CopyElementRect(target, source, SkinElement{4, -3, 20, 20, ""});
        QCOMPARE(target.pixel(4, 0), qRgb(255, 255, 255));
        QCOMPARE(target.pixel(5, 5), qRgb(255, 255, 255));
        QCOMPARE(target.pixel(6, 0), qRgb(0, 0, 0));
        QCOMPARE(target.pixel(3, 0), qRgb(0, 0, 0));
        CopyElementRect(target, QImage(), SkinElement{0, 0, 5, 5, ""});
        QCOMPARE(target.pixel(0, 0), qRgb(0, 0, 0));
    }

    void drawElementStatePicksOverOrDown() {
        SkinLayout layout(2);
        layout.at(1) = {2, 2, 3, 3, ""};
        QImage target(8, 8, QImage::Format_RGB32), over(8, 8, QImage::Format_RGB32), down(8, 8, QImage::Format_RGB32);
        target.fill(Qt::black);
        over.fill(Qt::green);
        down.fill(Qt::red);
        DrawElementState(target, over, down, layout, NoHit, true);
        QCOMPARE(target.pixel(3, 3), qRgb(0, 0, 0));
        DrawElementState(target, over, down, layout, 1, false);
        QCOMPARE(target.pixel(3, 3), QColor(Qt::green).rgb());
        DrawElementState(target, over, down, layout, 1, true);
        QCOMPARE(target.pixel(3, 3), QColor(Qt::red).rgb());
        QCOMPARE(target.pixel(5, 5), qRgb(0, 0, 0));
    }

    // ---- the main page ----

    void mainPageStageMarkSlidersEnablesAndWheel() {
        m_settings.dpiStage = 2;
        m_settings.dpiStageEnabled[1] = 0;
        m_settings.wheelMode = 1;
        m_settings.dpiStagePositions[3] = 4;
        const QImage page = compose(MainViewState{});
        const QImage normal = image(SkinImageName::MainNormal), down = image(SkinImageName::MainDown);
        const QImage knob = image(SkinImageName::DpiSlider);
        for (int s = 0; s < 4; ++s) {
            const QRect mark = rectOf(mainElement(MainElement::StageMarkFirst + s));
            QVERIFY(sameRect(page, s == 2 ? down : normal, mark));
            const QRect enable = rectOf(mainElement(MainElement::StageEnableFirst + s));
            QVERIFY(sameRect(page, s == 1 ? normal : down, enable));
            const int chosen = MainElement::sliderOf(s, m_settings.dpiStagePositions[static_cast<std::size_t>(s)]);
            for (int v = 0; v < 5; ++v) {
                const int element = MainElement::sliderOf(s, v);
                const QRect r = rectOf(mainElement(element));
                if (element == chosen)
                    QVERIFY(sameRect(page.copy(r), knob, QRect(QPoint(0, 0), r.size())));
                else
                    QVERIFY(sameRect(page, normal, r));
            }
        }
        QVERIFY(sameRect(page, down, rectOf(mainElement(42))));
        QVERIFY(sameRect(page, normal, rectOf(mainElement(41))));
        QVERIFY2(!sameRect(normal, down, rectOf(mainElement(42))), "the images show the states differently");
    }

    void hoveredSlotLightsItsMarkAndSuppressesTheBlink() {
        const QImage normal = image(SkinImageName::MainNormal), over = image(SkinImageName::MainOver),
                     down = image(SkinImageName::MainDown);
        m_feedback.HostFunctionsReady = false;
        m_feedback.BlinkSlot = 5;
        MainViewState state;
        state.mainHit = 27; // slot 3
        QImage page = compose(state);
        QVERIFY(sameRect(page, over, rectOf(mainElement(27))));
        QVERIFY(sameRect(page, over, rectOf(mainElement(92))));
        QVERIFY(sameRect(page, normal, rectOf(mainElement(94))));
        state.pressed = true;
        page = compose(state);
        QVERIFY(sameRect(page, down, rectOf(mainElement(27))));
        QVERIFY(sameRect(page, over, rectOf(mainElement(92))));

        state = MainViewState{};
        for (bool phase : {true, false}) {
            m_feedback.BlinkPhase = phase;
            page = compose(state);
            QVERIFY(sameRect(page, phase ? over : down, rectOf(mainElement(94))));
            QVERIFY(sameRect(page, normal, rectOf(mainElement(92))));
        }
        m_feedback.HostFunctionsReady = true;
        QVERIFY(sameRect(compose(state), normal, rectOf(mainElement(94))));
        QVERIFY(!sameRect(over, down, rectOf(mainElement(94))) && !sameRect(normal, over, rectOf(mainElement(94))));
    }

    void topBarTabsAndLanguage() {
        const QImage normal = image(SkinImageName::MainNormal), over = image(SkinImageName::MainOver),
                     down = image(SkinImageName::MainDown);
        m_settings.currentProfile = 2;
        MainViewState state;
        state.mainHit = 5; // the current profile's own tab, hovered, not pressed
        QImage page = compose(state);
        QVERIFY(sameRect(page, down, rectOf(mainElement(5))));
        QVERIFY(sameRect(page, normal, rectOf(mainElement(4))));
        QVERIFY(sameRect(page, down, rectOf(mainElement(9))));
        QVERIFY(sameRect(page, normal, rectOf(mainElement(10))));
        QVERIFY(sameRect(page, down, rectOf(mainElement(18))));
        QVERIFY(sameRect(page, normal, rectOf(mainElement(17))));
        state.mainHit = 14;
        QVERIFY(sameRect(compose(state), over, rectOf(mainElement(14))));
        state.pressed = true;
        QVERIFY(sameRect(compose(state), down, rectOf(mainElement(14))));

        MainWindowPainter painter(m_images);
        page = painter.compose(MainViewState{}, context(UiLanguage::Chinese));
        QVERIFY(sameRect(page, down, rectOf(mainElement(17))));
        QVERIFY(sameRect(page, normal, rectOf(mainElement(18))));
    }

    // ---- the advanced page ----

    void fireBarShowsTheFireTime_data() {
        QTest::addColumn<int>("fireTime");
        QTest::newRow("0") << 0;
        QTest::newRow("150") << 150;
        QTest::newRow("300") << 300;
    }
    void fireBarShowsTheFireTime() {
        QFETCH(int, fireTime);
        m_settings.fireInterval = fireTime;
        MainViewState state;
        state.page = SkinPage::Advanced;
        const QImage page = compose(state);
        const QImage normal = image(SkinImageName::AdvancedNormal), down = image(SkinImageName::AdvancedDown);
        const SkinElement& bar = m_skin.advancedLayout[AdvancedElement::FireBar];
        const int filled = fireTime * bar.width / 300;
        if (filled > 0)
            QVERIFY(sameRect(page, down, QRect(bar.x, bar.y, filled, bar.height)));
        if (filled < bar.width)
            QVERIFY(sameRect(page, normal, QRect(bar.x + filled, bar.y, bar.width - filled, bar.height)));
        QVERIFY(sameRect(page, down, rectOf(mainElement(10))));
    }

    void advancedStepsRecordingAndSwitches() {
        const QImage normal = image(SkinImageName::AdvancedNormal), down = image(SkinImageName::AdvancedDown);
        const SkinLayout& a = m_skin.advancedLayout;
        m_settings.pointerSpeed = 7;
        m_settings.wheelSpeed = 0;
        m_settings.macroPlaybackMode = 0;
        addMacro(m_macros, "one", 0);
        addMacro(m_macros, "two", 1);
        MainViewState state;
        state.page = SkinPage::Advanced;
        m_macros.current = 0;
        QImage page = compose(state);
        QVERIFY(sameRect(page, down, rectOf(a[15])));
        QVERIFY(sameRect(page, normal, rectOf(a[14])));
        QVERIFY(sameRect(page, down, rectOf(a[18])));
        // the record button's caption is always written: compare the part left of it
        const QRect recordLeft = rectOf(a[AdvancedElement::Record]).adjusted(0, 0, -80, 0);
        QVERIFY(sameRect(page, normal, recordLeft));
        QVERIFY(sameRect(page, normal, rectOf(a[AdvancedElement::MacroMode])));
        QVERIFY(sameRect(page, normal, rectOf(a[AdvancedElement::Repeat])));

        m_macros.recording = true;
        m_macros.current = 1;
        m_settings.macroPlaybackMode = 1;
        page = compose(state);
        QVERIFY(sameRect(page, down, recordLeft));
        QVERIFY(!sameRect(normal, down, recordLeft));
        QVERIFY(sameRect(page, down, rectOf(a[AdvancedElement::MacroMode])));
        QVERIFY(sameRect(page, down, rectOf(a[AdvancedElement::Repeat])));
    }

    void handEditedRectanglesAndSettingsPaintWithoutHarm() {
        SkinDescriptions odd = m_captioned;
        odd.advancedLayout.at(AdvancedElement::FireBar) = {INT32_MAX - 5, -100, INT32_MAX, 50, "bar"};
        odd.advancedLayout.at(AdvancedElement::FireReadout) = {INT32_MIN, INT32_MIN, INT32_MAX, 10, "x"};
        m_settings.fireInterval = 300;
        m_settings.pointerSpeed = 200;
        m_settings.dpiStagePositions[0] = 200;
        m_settings.dpiStage = 77;
        m_settings.currentProfile = -9;
        MainPaintContext c{odd, m_settings, m_feedback, m_macros, UiLanguage::English, m_fonts, QSize(840, 560)};
        MainWindowPainter painter(m_images);
        for (SkinPage page : {SkinPage::Main, SkinPage::Advanced, SkinPage::Color}) {
            MainViewState state;
            state.page = page;
            QCOMPARE(painter.compose(state, c).size(), QSize(840, 560));
        }
    }

    // ---- the color page ----

    void colorPageModeAndPreview_data() {
        QTest::addColumn<bool>("off");
        QTest::addColumn<int>("stage");
        QTest::addColumn<QString>("source");
        QTest::newRow("off") << true << 2 << QString(SkinImageName::ColorPreviewOff);
        QTest::newRow("stage 0") << false << 0 << QString(SkinImageName::ColorPreviewBlue);
        QTest::newRow("stage 1") << false << 1 << QString(SkinImageName::ColorNormal);
        QTest::newRow("stage 2") << false << 2 << QString(SkinImageName::ColorOver);
        QTest::newRow("stage 3") << false << 3 << QString(SkinImageName::ColorDown);
    }
    void colorPageModeAndPreview() {
        QFETCH(bool, off);
        QFETCH(int, stage);
        QFETCH(QString, source);
        m_settings.ledMode = 2;
        MainViewState state;
        state.page = SkinPage::Color;
        state.previewOff = off;
        state.previewStage = stage;
        const QImage page = compose(state);
        const SkinLayout& c = m_skin.colorLayout;
        QVERIFY(sameRect(page, image(source.toUtf8().constData()), rectOf(c[ColorElement::Preview])));
        QVERIFY(sameRect(page, image(SkinImageName::ColorDown), rectOf(c[2])));
        QVERIFY(sameRect(page, image(SkinImageName::ColorNormal), rectOf(c[0])));
        QVERIFY(sameRect(page, image(SkinImageName::ColorDown), rectOf(mainElement(11))));
    }

    void previewImagesDifferFromEachOther() {
        const QRect preview = rectOf(m_skin.colorLayout[ColorElement::Preview]);
        const char* names[] = {SkinImageName::ColorPreviewOff, SkinImageName::ColorPreviewBlue, SkinImageName::ColorNormal,
                               SkinImageName::ColorOver, SkinImageName::ColorDown};
        for (int i = 0; i < 5; ++i)
            for (int j = i + 1; j < 5; ++j)
                QVERIFY(!sameRect(image(names[i]), image(names[j]), preview));
    }

    // ---- captions ----

    void slotAndRewrittenCaptions() {
        addMacro(m_macros, "Rapid Reload", 0);
        MainPaintContext c{m_captioned, m_settings, m_feedback, m_macros, UiLanguage::English, m_fonts, QSize(840, 560)};
        m_settings.buttonCodes[0] = 41;
        m_settings.buttonCodes[1] = 0;
        m_settings.buttonCodes[2] = 42; // no second macro
        m_settings.buttonCodes[3] = 99;
        m_settings.buttonCodes[4] = 13;
        QCOMPARE(MainWindowPainter::slotCaption(c, 1), QString("Rapid Reload"));
        QCOMPARE(MainWindowPainter::slotCaption(c, 2), QString());
        QCOMPARE(MainWindowPainter::slotCaption(c, 3), QString());
        QCOMPARE(MainWindowPainter::slotCaption(c, 4), QString());
        QCOMPARE(MainWindowPainter::slotCaption(c, 5), QString("Fire Key"));
        QCOMPARE(MainWindowPainter::recordCaption(UiLanguage::Chinese, false), QString::fromUtf8("录制"));
        QCOMPARE(MainWindowPainter::recordCaption(UiLanguage::Chinese, true), QString::fromUtf8("停止"));
        QCOMPARE(MainWindowPainter::recordCaption(UiLanguage::English, true), QString("Stop"));
        QCOMPARE(MainWindowPainter::fireTimeCaption(150), QString("150ms"));
        m_settings.dpiStage = 3;
        m_settings.appliedDpiStagePositions[3] = 0;
        QCOMPARE(MainWindowPainter::dpiReadout(m_settings), 3200);
        m_settings.appliedDpiStagePositions[3] = 9;
        QCOMPARE(MainWindowPainter::dpiReadout(m_settings), 1200);
    }

    void captionsAreWhiteTextInsideTheirElements() {
        MainWindowPainter painter(m_images);
        MainPaintContext c{m_captioned, m_settings, m_feedback, m_macros, UiLanguage::English, m_fonts, QSize(840, 560)};
        const QImage page = painter.compose(MainViewState{}, c);
        const QImage plain = compose(MainViewState{});
        const QRect apply = rectOf(mainElement(MainElement::Apply));
        QVERIFY(!sameRect(page, plain, apply));
        int white = 0;
        for (int y = apply.top(); y <= apply.bottom(); ++y)
            for (int x = apply.left(); x <= apply.right(); ++x)
                white += qRed(page.pixel(x, y)) > 240 && qGreen(page.pixel(x, y)) > 240 && qBlue(page.pixel(x, y)) > 240;
        QVERIFY(white > 10);
        // nothing is written outside the elements' rectangles of the page: the panel between them is untouched
        QVERIFY(sameRect(page, plain, QRect(314, 100, 4, 380)));
    }

    void shippedCaptionsFitTheirElements_data() {
        QTest::addColumn<int>("language");
        QTest::newRow("English") << static_cast<int>(UiLanguage::English);
        QTest::newRow("Chinese") << static_cast<int>(UiLanguage::Chinese);
    }
    void shippedCaptionsFitTheirElements() {
        QFETCH(int, language);
        const auto lang = static_cast<UiLanguage>(language);
        SkinDescriptions skin;
        RecordingNotifier notifier;
        QVERIFY(LoadSkinDescriptions(skin, m_paths, lang, notifier));
        const QFontMetrics text(m_fonts.text(lang)), digits(m_fonts.digitCaptions(lang));
        auto fits = [](const QFontMetrics& metrics, const SkinElement& e, const QString& caption, int margin) {
            return caption.isEmpty() || (metrics.horizontalAdvance(caption) + margin <= e.width && metrics.height() <= e.height + 4);
        };
        for (int i = 0; i <= MainElement::LastDrawnCaption; ++i) {
            const SkinElement& e = skin.mainLayout[static_cast<std::size_t>(i)];
            const QFontMetrics& m = i >= MainElement::DigitCaptionFirst ? digits : text;
            QVERIFY2(fits(m, e, QString::fromStdString(e.caption), 0), qPrintable(QString("main %1").arg(i)));
        }
        for (int code = 1; code <= 40; ++code)
            QVERIFY2(fits(text, skin.mainLayout[MainElement::ButtonSlotFirst], QString::fromStdString(skin.functionName(code)), 5 + 26),
                     qPrintable(QString("function %1").arg(code)));
        for (const SkinLayout* layout : {&skin.advancedLayout, &skin.colorLayout, &skin.warningLayout})
            for (std::size_t i = 0; i < layout->size(); ++i)
                QVERIFY2(fits(text, (*layout)[i], QString::fromStdString((*layout)[i].caption), 0),
                         qPrintable(QString("element %1: %2").arg(i).arg(QString::fromStdString((*layout)[i].caption))));
        QVERIFY(fits(text, skin.advancedLayout[AdvancedElement::FireReadout], MainWindowPainter::fireTimeCaption(300), 0));
        QVERIFY(fits(text, skin.advancedLayout[AdvancedElement::Record], MainWindowPainter::recordCaption(lang, false), 24));
        QVERIFY(fits(text, skin.advancedLayout[AdvancedElement::DownCount], QString::fromUtf8("[↓]254"), 0));
    }

    void dpiTickLabelsStandApart_data() { shippedCaptionsFitTheirElements_data(); }
    // The five DPI values over the stage tracks, as painted: each stands apart from its neighbours and
    // from the panel's edge, centred over its track position.
    void dpiTickLabelsStandApart() {
        QFETCH(int, language);
        const auto lang = static_cast<UiLanguage>(language);
        SkinDescriptions skin;
        RecordingNotifier notifier;
        QVERIFY(LoadSkinDescriptions(skin, m_paths, lang, notifier));
        MainWindowPainter painter(m_images);
        const QImage page =
            painter.compose(MainViewState{}, {skin, m_settings, m_feedback, m_macros, lang, m_fonts, QSize(840, 560)});
        const SkinElement& firstTick = skin.mainLayout[20];
        const SkinElement& stagesHeading = skin.mainLayout[44];
        // Columns holding text (light pixels on the dark panel); a gap of 5 or more ends a label.
        std::vector<std::pair<int, int>> labels;
        int lastLit = -100;
        for (int x = stagesHeading.x; x < page.width(); ++x) {
            bool lit = false;
            for (int y = firstTick.y; y < firstTick.y + firstTick.height; ++y)
                lit = lit || qGray(page.pixel(x, y)) > 170;
            if (!lit)
                continue;
            if (x - lastLit > 5)
                labels.emplace_back(x, x);
            labels.back().second = x;
            lastLit = x;
        }
        QCOMPARE(labels.size(), std::size_t{5});
        for (std::size_t i = 1; i < labels.size(); ++i)
            QVERIFY2(labels[i].first - labels[i - 1].second > 6, qPrintable(QString("gap before label %1").arg(i)));
        QVERIFY2(stagesHeading.x + stagesHeading.width - labels.back().second >= 4, "room before the panel's edge");
        std::vector<int> positions;
        for (int p = 0; p < DpiPositionCount; ++p) {
            const SkinElement& e = skin.mainLayout[static_cast<std::size_t>(MainElement::SliderFirst + p)];
            positions.push_back(e.x + e.width / 2);
        }
        std::sort(positions.begin(), positions.end());
        for (std::size_t i = 0; i < labels.size(); ++i)
            QVERIFY2(std::abs((labels[i].first + labels[i].second) / 2 - positions[i]) <= 2,
                     qPrintable(QString("label %1 over its position").arg(i)));
    }

    void skinFontsResolveToInstalledFamilies() {
        // the skin asks for "Arial", "宋体" and "Consolas"; the shipped aliases map them to Debian's fonts
        QCOMPARE(QFontInfo(m_fonts.english).family(), QString("Liberation Sans"));
        QCOMPARE(QFontInfo(m_fonts.digits).family(), QString("Liberation Mono"));
        QVERIFY(QFontInfo(m_fonts.chinese).family().startsWith(QString("WenQuanYi")));
        QVERIFY(QFontMetrics(m_fonts.chinese).inFont(QChar(0x5F55)));
        // cell sizes as the skin was drawn for
        QVERIFY(qAbs(QFontMetrics(m_fonts.english).height() - 15) <= 1);
        QVERIFY(qAbs(QFontMetrics(m_fonts.chinese).height() - 12) <= 2);
    }

    // ---- the window ----

    void windowTakesTheMaskShapeAndSize() {
        RecordingNotifier notifier;
        UiLanguage language = UiLanguage::Chinese;
        MainWindow window({m_settings, m_feedback, m_macros, language, m_paths, notifier});
        QVERIFY(window.initialiseSkin());
        QVERIFY(notifier.messages().empty());
        QCOMPARE(window.size(), QSize(840, 560));
        QCOMPARE(window.windowTitle(), QString("VELDRA GAMING MOUSE"));
        QVERIFY(!window.mask().contains(QPoint(0, 0)));
        QVERIFY(window.mask().contains(QPoint(420, 300)));
        QCOMPARE(window.skin().functionName(1), QString::fromUtf8("左键").toStdString());
        window.setPage(SkinPage::Color);
        QCOMPARE(window.composeCurrentPage().size(), QSize(840, 560));
        QLineEdit edit(&window);
        window.styleChildControl(&edit);
        QCOMPARE(edit.palette().color(QPalette::Base), QColor(Qt::black));
        QCOMPARE(edit.palette().color(QPalette::Text), QColor(Qt::white));
        QCOMPARE(edit.font(), window.fonts().chinese);
    }

    void closeMenuFlagIsClearedByThePaint() {
        RecordingNotifier notifier;
        UiLanguage language = UiLanguage::English;
        MainWindow window({m_settings, m_feedback, m_macros, language, m_paths, notifier});
        QVERIFY(window.initialiseSkin());
        QSignalSpy closeMenu(&window, &MainWindow::closeMenuRequested);
        window.viewState().closeMenuAtPaint = true;
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        window.repaint();
        QTRY_COMPARE(closeMenu.count(), 1);
        QVERIFY(!window.viewState().closeMenuAtPaint);
    }

    void missingDescriptionClosesTheWindowWithOneMessage() {
        QTemporaryDir dir;
        AppPaths paths{dir.path().toStdString()};
        RecordingNotifier notifier;
        UiLanguage language = UiLanguage::English;
        MainWindow window({m_settings, m_feedback, m_macros, language, paths, notifier});
        QSignalSpy missing(&window, &MainWindow::skinMissing);
        window.show();
        QVERIFY(!window.initialiseSkin());
        QCOMPARE(notifier.messages(), std::vector<std::string>{std::string(Messages::DataFileMissing)});
        QCOMPARE(missing.count(), 1);
        QVERIFY(!window.isVisible());
    }
};

QTEST_MAIN(SkinPaintingTest)
#include "skin_painting_test.moc"
