// SPDX-License-Identifier: MIT
#pragma once

#include "skin/SkinLayout.h"

#include <QDialog>
#include <QFont>
#include <QImage>

namespace krv {

class SkinImageCache;

// The skinned confirmation shown before a button slot's menu opens when no other slot holds the
// primary button's code. Cut to the shape of "warning_mask.jpg" and placed with its top-left corner at
// the given origin. Releasing the left button over the confirming button (element 0) ends it with 1,
// over the cancelling button (element 1) with 2; Esc or closing gives 2; Enter does nothing. Its images
// are looked up in the cache at every paint, so a changed image file shows at the next one; the shape
// is cut once, when the box is created.
class WarningBox : public QDialog {
    Q_OBJECT
public:
    static constexpr int Confirm = 1;
    static constexpr int Cancel = 2;

    // wrapMessage: the message element's caption is broken into lines within its rectangle (a
    // question longer than the warning's one line).
    WarningBox(SkinLayout layout, const QFont& font, SkinImageCache& images, QPoint origin, QWidget* owner = nullptr,
               bool wrapMessage = false);

    // 1 over the confirming button, 2 over the cancelling one, 255 over neither.
    int hovered() const { return m_hovered; }
    QImage composeImage() const;

    void reject() override;

protected:
    void paintEvent(QPaintEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    SkinLayout m_layout;
    QFont m_font;
    SkinImageCache& m_images;
    bool m_wrapMessage = false;
    int m_hovered = 255;
    int m_previous = 0; // starts at 0 so that the first move always repaints
};

} // namespace krv
