// SPDX-License-Identifier: MIT
#include "ui/WarningBox.h"

#include "skin/SkinImages.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>

namespace krv {

WarningBox::WarningBox(SkinLayout layout, const QFont& font, SkinImageCache& images, QPoint origin, QWidget* owner,
                       bool wrapMessage)
    : QDialog(owner, Qt::Dialog | Qt::FramelessWindowHint), m_layout(std::move(layout)), m_font(font), m_images(images),
      m_wrapMessage(wrapMessage) {
    setWindowTitle(QStringLiteral("VELDRA GAMING MOUSE"));
    setAttribute(Qt::WA_NoSystemBackground);
    setMouseTracking(true);
    const QImage mask = m_images.image(SkinImageName::WarningMask);
    const QSize size = mask.isNull() ? m_images.image(SkinImageName::WarningNormal).size() : mask.size();
    setFixedSize(size);
    if (!mask.isNull()) {
        const QRegion shape = ShapeFromMask(mask);
        if (!shape.isEmpty())
            setMask(shape);
    }
    move(origin);
}

QImage WarningBox::composeImage() const {
    const QImage normal = m_images.image(SkinImageName::WarningNormal);
    QImage target = normal.isNull() ? QImage(size(), QImage::Format_RGB32) : normal.copy();
    if (normal.isNull())
        target.fill(Qt::black);
    if (m_hovered == Confirm)
        CopyElementRect(target, m_images.image(SkinImageName::WarningOver), m_layout[WarningElement::Confirm]);
    else if (m_hovered == Cancel)
        CopyElementRect(target, m_images.image(SkinImageName::WarningOver), m_layout[WarningElement::Cancel]);
    QPainter painter(&target);
    painter.setFont(m_font);
    const QFontMetrics metrics(m_font);
    for (int i = 0; i < static_cast<int>(WarningElementCount); ++i) {
        const SkinElement& e = m_layout[static_cast<std::size_t>(i)];
        const QString caption = QString::fromStdString(e.caption);
        painter.setPen(Qt::white);
        if (m_wrapMessage && i == WarningElement::Message) {
            painter.drawText(QRect(e.x, e.y, e.width, e.height), Qt::AlignCenter | Qt::TextWordWrap, caption);
            continue;
        }
        const int x = e.x + (e.width - metrics.horizontalAdvance(caption)) / 2;
        const int y = e.y + (e.height - metrics.height()) / 2;
        painter.drawText(x, y + metrics.ascent(), caption);
    }
    return target;
}

void WarningBox::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.drawImage(0, 0, composeImage());
}

void WarningBox::mouseMoveEvent(QMouseEvent* event) {
    const QPoint p = event->position().toPoint();
    int hovered = 255;
    if (m_layout[WarningElement::Confirm].contains(p.x(), p.y()))
        hovered = Confirm;
    else if (m_layout[WarningElement::Cancel].contains(p.x(), p.y()))
        hovered = Cancel;
    m_hovered = hovered;
    if (hovered != m_previous) {
        m_previous = hovered;
        update();
    }
}

void WarningBox::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton)
        return;
    // Only the position at the release counts: track it even when no move preceded.
    mouseMoveEvent(event);
    if (m_hovered == Confirm || m_hovered == Cancel)
        done(m_hovered);
}

void WarningBox::keyPressEvent(QKeyEvent* event) {
    switch (event->key()) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
        event->accept(); // the box has no default button: Enter does nothing
        return;
    case Qt::Key_Escape:
        reject();
        return;
    default:
        QDialog::keyPressEvent(event);
    }
}

void WarningBox::reject() {
    done(Cancel);
}

} // namespace krv
