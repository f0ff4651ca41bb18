// SPDX-License-Identifier: MIT
#include "ui/AboutBox.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QIcon>
#include <QLabel>
#include <QPixmap>
#include <QPushButton>

namespace krv {

QString ApplicationId() {
    return QStringLiteral(KRV_APP_ID);
}

QIcon ApplicationIcon() {
    // The icon theme folders beside the program in the build tree, and <prefix>/share/icons for a
    // program installed in <prefix>/lib/krv-glyde; then the desktop's icon theme.
    const QDir program(QCoreApplication::applicationDirPath());
    const QString png = QStringLiteral("/apps/") + ApplicationId() + QStringLiteral(".png");
    for (const QString& icons : {QStringLiteral("icons"), QStringLiteral("../../share/icons")}) {
        const QDir hicolor(program.filePath(icons + QStringLiteral("/hicolor")));
        QIcon icon;
        for (const QString& size : hicolor.entryList(QDir::Dirs | QDir::NoDotAndDotDot))
            if (QFileInfo::exists(hicolor.filePath(size + png)))
                icon.addFile(hicolor.filePath(size + png));
        if (!icon.isNull())
            return icon;
    }
    return QIcon::fromTheme(ApplicationId(), QIcon::fromTheme(QStringLiteral("input-mouse")));
}

AboutBox::AboutBox(QWidget* owner) : QDialog(owner) {
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
