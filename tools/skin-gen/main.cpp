// SPDX-License-Identifier: MIT
// Draws every image of the skin folder from the English skin description files, and the application
// icon in the layout of an icon theme:
//   krv-skin-gen <data folder holding skins/INI_EN> <output folder>
//   krv-skin-gen --icon <icon name> <output folder>   (hicolor/scalable/apps/NAME.svg, hicolor/NxN/apps/NAME.png)
//   krv-skin-gen --ico <file>                         (the same icon as a Windows .ico, for the programs' resources)
#include "AppIcon.h"
#include "SkinArtist.h"

#include "ports/UiNotifier.h"
#include "settings/UiLanguage.h"
#include "skin/SkinDescriptions.h"
#include "skin/SkinImages.h"

#include <QBuffer>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QString>

#include <cstdio>
#include <filesystem>
#include <string>

namespace {

using namespace krv;
using art::State;

class PrintingNotifier : public UiNotifier {
public:
    void showMessage(std::string_view text) override {
        std::fprintf(stderr, "krv-skin-gen: %.*s\n", static_cast<int>(text.size()), text.data());
        failed = true;
    }
    bool failed = false;
};

// The main window's size: every full-window image and the main mask have it.
constexpr QSize MainSize(840, 560);
constexpr int MenuWidth = 170;
constexpr int MenuBand = 30;

bool save(const QImage& image, const QDir& out, const char* name, int quality = 92) {
    const QString path = out.filePath(QString::fromUtf8(name));
    if (!image.save(path, "JPG", quality)) {
        std::fprintf(stderr, "krv-skin-gen: cannot write %s\n", path.toLocal8Bit().constData());
        return false;
    }
    return true;
}

// The sizes of the icon theme's application icons, besides the scalable one.
constexpr int IconSizes[] = {16, 22, 24, 32, 48, 64, 128, 256};

int drawIcon(const QString& name, const QDir& out) {
    const std::vector<art::IconShape> shapes = art::applicationIconShapes();
    const QString scalable = QStringLiteral("hicolor/scalable/apps");
    QFile svg(out.filePath(scalable + QLatin1Char('/') + name + QStringLiteral(".svg")));
    if (!out.mkpath(scalable) || !svg.open(QIODevice::WriteOnly | QIODevice::Truncate) ||
        svg.write(art::iconSvg(shapes).toUtf8()) < 0 || !svg.flush()) {
        std::fprintf(stderr, "krv-skin-gen: cannot write %s\n", svg.fileName().toLocal8Bit().constData());
        return 1;
    }
    for (int size : IconSizes) {
        const QString folder = QStringLiteral("hicolor/%1x%1/apps").arg(size);
        const QString path = out.filePath(folder + QLatin1Char('/') + name + QStringLiteral(".png"));
        if (!out.mkpath(folder) || !art::paintIcon(shapes, size).save(path, "PNG")) {
            std::fprintf(stderr, "krv-skin-gen: cannot write %s\n", path.toLocal8Bit().constData());
            return 1;
        }
    }
    return 0;
}

// A Windows icon file: the ICONDIR header, one 16-byte entry per size and each image as PNG (which
// Windows reads in icons since Vista); a width or height of 256 is written as 0.
int drawIco(const QString& path) {
    const std::vector<art::IconShape> shapes = art::applicationIconShapes();
    const int sizes[] = {16, 24, 32, 48, 64, 128, 256};
    std::vector<QByteArray> images;
    for (int size : sizes) {
        QByteArray png;
        QBuffer buffer(&png);
        buffer.open(QIODevice::WriteOnly);
        if (!art::paintIcon(shapes, size).save(&buffer, "PNG"))
            return 1;
        images.push_back(png);
    }
    QByteArray ico;
    const auto put16 = [&ico](int v) { ico.append(char(v & 0xff)).append(char((v >> 8) & 0xff)); };
    const auto put32 = [&](quint32 v) { put16(int(v & 0xffff)), put16(int(v >> 16)); };
    put16(0);
    put16(1); // an icon
    put16(int(images.size()));
    quint32 offset = 6 + 16 * quint32(images.size());
    for (std::size_t i = 0; i < images.size(); ++i) {
        const int size = sizes[i] >= 256 ? 0 : sizes[i];
        ico.append(char(size)).append(char(size)).append(char(0)).append(char(0));
        put16(1);  // planes
        put16(32); // bits per pixel
        put32(quint32(images[i].size()));
        put32(offset);
        offset += quint32(images[i].size());
    }
    for (const QByteArray& image : images)
        ico.append(image);
    QFile file(path);
    if (!QDir().mkpath(QFileInfo(path).absolutePath()) || !file.open(QIODevice::WriteOnly | QIODevice::Truncate) ||
        file.write(ico) != ico.size() || !file.flush()) {
        std::fprintf(stderr, "krv-skin-gen: cannot write %s\n", path.toLocal8Bit().constData());
        return 1;
    }
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    if (argc == 4 && std::string(argv[1]) == "--icon")
        return drawIcon(QString::fromLocal8Bit(argv[2]), QDir(QString::fromLocal8Bit(argv[3])));
    if (argc == 3 && std::string(argv[1]) == "--ico")
        return drawIco(QString::fromLocal8Bit(argv[2]));
    if (argc != 3) {
        std::fprintf(stderr, "usage: krv-skin-gen <data folder> <output folder>\n"
                             "       krv-skin-gen --icon <icon name> <output folder>\n"
                             "       krv-skin-gen --ico <file>\n");
        return 2;
    }
    AppPaths paths{std::filesystem::path(argv[1])};
    SkinDescriptions skin;
    PrintingNotifier notifier;
    if (!LoadSkinDescriptions(skin, paths, UiLanguage::English, notifier) || notifier.failed)
        return 1;
    QDir out(QString::fromLocal8Bit(argv[2]));
    if (!out.mkpath(QStringLiteral(".")))
        return 1;

    namespace N = SkinImageName;
    const art::SkinArtist artist(skin, MainSize);
    bool ok = true;
    ok &= save(artist.mainPage(State::Normal), out, N::MainNormal);
    ok &= save(artist.mainPage(State::Over), out, N::MainOver);
    ok &= save(artist.mainPage(State::Down), out, N::MainDown);
    ok &= save(artist.sliderKnob(), out, N::DpiSlider, 95);
    ok &= save(artist.advancedPage(State::Normal), out, N::AdvancedNormal);
    ok &= save(artist.advancedPage(State::Over), out, N::AdvancedOver);
    ok &= save(artist.advancedPage(State::Down), out, N::AdvancedDown);
    ok &= save(artist.colorPage(State::Normal, art::stageColor(1)), out, N::ColorNormal);
    ok &= save(artist.colorPage(State::Over, art::stageColor(2)), out, N::ColorOver);
    ok &= save(artist.colorPage(State::Down, art::stageColor(3)), out, N::ColorDown);
    ok &= save(artist.colorPage(State::Over, art::stageColor(0)), out, N::ColorPreviewBlue);
    ok &= save(artist.colorPage(State::Normal, art::lightsOffColor()), out, N::ColorPreviewOff);
    ok &= save(artist.mainMask(), out, N::MainMask, 95);

    const art::State states[] = {State::Normal, State::Over, State::Down};
    const char* menuNames[] = {N::MenuNormal, N::MenuOver, N::MenuDown};
    const char* subMenuNames[] = {N::SubMenuNormal, N::SubMenuOver, N::SubMenuDown};
    for (int i = 0; i < 3; ++i) {
        ok &= save(art::SkinArtist::menu(states[i], MenuWidth, MenuBand, 10, 7), out, menuNames[i]);
        ok &= save(art::SkinArtist::menu(states[i], MenuWidth, MenuBand, 12, 0), out, subMenuNames[i]);
    }
    ok &= save(art::SkinArtist::plainMask(QSize(MenuWidth, 10 * MenuBand)), out, N::MenuMask, 95);
    ok &= save(art::SkinArtist::plainMask(QSize(MenuWidth, 12 * MenuBand)), out, N::SubMenuMask, 95);
    ok &= save(artist.warning(State::Normal), out, N::WarningNormal);
    ok &= save(artist.warning(State::Over), out, N::WarningOver);
    ok &= save(artist.warningMask(), out, N::WarningMask, 95);
    return ok ? 0 : 1;
}
