// SPDX-License-Identifier: MIT
#pragma once

#include <QPoint>
#include <QString>

#include <functional>

class QWidget;

namespace krv {

// Every modal dialog and file dialog the main window opens goes through this seam, so that a test can
// answer it. Dialogs are window-modal and asynchronous: each reports its answer through `done` once
// it is closed (no nested event loop). `done` is never called after the owner is destroyed.
class DialogSeam {
public:
    virtual ~DialogSeam() = default;

    // The skinned warning box at `origin` (screen coordinates): 1 confirm, 2 cancel.
    virtual void warning(QWidget* owner, QPoint origin, std::function<void(int result)> done) = 0;
    // The profile import and export dialogs, starting in `folder`; an empty path means Cancel.
    virtual void openProfileFile(QWidget* owner, const QString& folder, std::function<void(QString path)> done) = 0;
    virtual void saveProfileFile(QWidget* owner, const QString& folder, std::function<void(QString path)> done) = 0;
    // A message box with an OK button, titled with the application's name.
    virtual void message(QWidget* owner, const QString& text, std::function<void()> done) = 0;
    // The about box.
    virtual void about(QWidget* owner) = 0;
};

// The profile exchange files: "All Files(*.ini)", matching *.ini.
QString ProfileFileFilter();

} // namespace krv
