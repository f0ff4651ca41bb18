// SPDX-License-Identifier: MIT
#pragma once

#include <QPoint>
#include <QString>

#include <functional>

class QWidget;

namespace krv {

// A file of the user's that another program can change under the window.
enum class ChangedFile { Profile, Macros };

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
    // Tells the user that another program changed a file of which the window holds unsaved edits, and
    // asks what to do: true reloads the file (the edits are dropped), false keeps the edits (also Esc
    // or closing the box).
    virtual void fileChanged(QWidget* owner, ChangedFile file, std::function<void(bool reload)> done) = 0;
};

// The profile exchange files: "All Files(*.ini)", matching *.ini.
QString ProfileFileFilter();

} // namespace krv
