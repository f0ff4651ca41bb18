#include "ui/AboutDlg.h"

#include <QIcon>
#include <QLabel>
#include <QPainter>
#include <QPainterPath>
#include <QPixmap>
#include <QPushButton>

namespace krv {

QIcon ApplicationIcon() {
    QIcon icon;
    for (int size : {16, 24, 32, 48, 64}) {
        QPixmap pixmap(size, size);
        pixmap.fill(Qt::transparent);
        QPainter painter(&pixmap);
        painter.setRenderHint(QPainter::Antialiasing);
        const qreal s = size;
        QPainterPath body;
        body.addRoundedRect(QRectF(s * 0.22, s * 0.06, s * 0.56, s * 0.88), s * 0.26, s * 0.26);
        painter.fillPath(body, QColor(0, 120, 153));
        painter.setPen(QPen(QColor(0, 255, 255), std::max(1.0, s / 24)));
        painter.drawPath(body);
        painter.drawLine(QPointF(s * 0.5, s * 0.08), QPointF(s * 0.5, s * 0.38));
        painter.drawLine(QPointF(s * 0.24, s * 0.38), QPointF(s * 0.76, s * 0.38));
        icon.addPixmap(pixmap);
    }
    return icon;
}

CAboutDlg::CAboutDlg(QWidget* owner) : QDialog(owner) {
    // The classic template measures 235 x 55 dialog units of an 8-point font: about 353 x 90 pixels.
    setWindowTitle(QStringLiteral("About KRV_Glyde"));
    setFixedSize(353, 90);
    auto* icon = new QLabel(this);
    icon->setPixmap(ApplicationIcon().pixmap(32, 32));
    icon->setGeometry(17, 28, 32, 32);
    auto* version = new QLabel(QStringLiteral("KRV_Glyde Version 1.0"), this);
    version->setTextFormat(Qt::PlainText);
    version->setGeometry(60, 16, 180, 16);
    auto* copyright = new QLabel(QStringLiteral("Copyright (C) 2026"), this);
    copyright->setGeometry(60, 40, 180, 16);
    auto* ok = new QPushButton(QStringLiteral("OK"), this);
    ok->setDefault(true);
    ok->setGeometry(267, 11, 75, 26);
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);
}

} // namespace krv
