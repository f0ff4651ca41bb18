// SPDX-License-Identifier: MIT
#pragma once

#include <QDialog>

namespace krv {

// The about box: the application's icon, "KRV_Glyde Version 1.0", a second line and an OK button.
class AboutBox : public QDialog {
    Q_OBJECT
public:
    explicit AboutBox(QWidget* owner = nullptr);
};

// The application's id: the name of its desktop entry, icon and AppStream metainfo.
QString ApplicationId();

// The application's icon (drawn by the build in the skin's colours), shown by the tray, the windows and
// the about box.
QIcon ApplicationIcon();

} // namespace krv
