// SPDX-License-Identifier: MIT
#include "ui/MainWindow.h"

#include <QGuiApplication>
#include <QPaintEvent>
#include <QPainter>
#include <QPalette>

namespace krv {

MainWindow::MainWindow(Dependencies dependencies, QWidget* parent)
    : QWidget(parent, Qt::Window | Qt::FramelessWindowHint), m_deps(dependencies),
      m_images(dependencies.paths.skinDirectory()) {
    setWindowTitle(QString::fromUtf8(WindowTitle));
    if (QGuiApplication::platformName().startsWith(QLatin1String("wayland"))) {
        // A Wayland compositor takes no shape from a client (the mask only limits input): outside
        // its outline the window is transparent instead, and only the inside is painted.
        setAttribute(Qt::WA_TranslucentBackground);
        m_seeThroughOutside = true;
    } else {
        // The whole picture is composed off screen and copied in one block: nothing to erase first.
        setAttribute(Qt::WA_OpaquePaintEvent);
    }
    setAttribute(Qt::WA_NoSystemBackground);
    setMouseTracking(true);
}

bool MainWindow::initialiseSkin() {
    if (!reloadSkinDescriptions())
        return false;
    InstallSkinFontAliases(m_deps.paths.skinDirectory());
    m_fonts = CreateSkinFonts();
    m_images.setDirectory(m_deps.paths.skinDirectory());

    const QImage mask = LoadSkinImage(m_deps.paths.skinDirectory() / SkinImageName::MainMask);
    m_size = mask.size();
    m_shape = ShapeFromMask(mask);
    // The region keeps the control rectangles read now; a language switch does not rebuild it.
    m_repaintRegion = RepaintRegion(m_shape, m_skin);
    if (!m_size.isEmpty()) {
        setFixedSize(m_size);
        setMask(m_shape);
    }
    return true;
}

bool MainWindow::reloadSkinDescriptions() {
    const SkinLoadResult result = LoadSkinDescriptions(m_skin, m_deps.paths, m_deps.language, m_deps.notifier);
    if (result)
        return true;
    emit skinMissing();
    close();
    return false;
}

void MainWindow::setPage(SkinPage page) {
    m_state.page = page;
    update();
}

void MainWindow::setHover(HitIndex mainHit, HitIndex advancedHit, HitIndex colorHit) {
    m_state.mainHit = mainHit;
    m_state.advancedHit = advancedHit;
    m_state.colorHit = colorHit;
    update();
}

void MainWindow::setPressed(bool pressed) {
    m_state.pressed = pressed;
    update();
}

void MainWindow::styleChildControl(QWidget* control) const {
    control->setFont(m_fonts.text(m_deps.language));
    QPalette palette = control->palette();
    for (QPalette::ColorRole role : {QPalette::Base, QPalette::Window, QPalette::Button, QPalette::AlternateBase})
        palette.setColor(role, Qt::black);
    for (QPalette::ColorRole role : {QPalette::Text, QPalette::WindowText, QPalette::ButtonText})
        palette.setColor(role, Qt::white);
    control->setPalette(palette);
    control->setAutoFillBackground(true);
}

MainPaintContext MainWindow::paintContext() const {
    return {m_skin, m_deps.settings, m_deps.feedback, m_deps.macros, m_deps.language, m_fonts, m_size};
}

QImage MainWindow::composeCurrentPage() { return m_painter.compose(m_state, paintContext()); }

void MainWindow::paintEvent(QPaintEvent*) {
    if (m_state.closeMenuAtPaint) {
        m_state.closeMenuAtPaint = false;
        emit closeMenuRequested();
    }
    const QImage picture = composeCurrentPage();
    QPainter painter(this);
    painter.setCompositionMode(QPainter::CompositionMode_Source);
    if (m_seeThroughOutside && !m_shape.isEmpty()) {
        painter.fillRect(rect(), Qt::transparent);
        painter.setClipRegion(m_shape);
    }
    painter.drawImage(QPoint(0, 0), picture);
}

} // namespace krv
