// SPDX-License-Identifier: MIT
#pragma once

#include "settings/UiLanguage.h"
#include "skin/SkinDescriptions.h"
#include "skin/SkinFonts.h"
#include "skin/SkinImages.h"
#include "ui/DialogSeam.h"

#include <filesystem>
#include <functional>
#include <string>

namespace krv {

// The dialogs as the user sees them: the skinned warning box, Qt's file dialogs with the profile
// filter, message boxes titled with the application's name, and the about box. All window-modal and
// asynchronous.
class WidgetDialogs : public DialogSeam {
public:
    struct Look {
        std::function<const SkinDescriptions&()> skin;
        std::function<const SkinFonts&()> fonts;
        std::function<UiLanguage()> language;
        std::filesystem::path skinDirectory;
    };

    explicit WidgetDialogs(Look look) : m_look(std::move(look)), m_images(m_look.skinDirectory) {}

    void warning(QWidget* owner, QPoint origin, std::function<void(int)> done) override;
    void openProfileFile(QWidget* owner, const QString& folder, std::function<void(QString)> done) override;
    void saveProfileFile(QWidget* owner, const QString& folder, std::function<void(QString)> done) override;
    void message(QWidget* owner, const QString& text, std::function<void()> done) override;
    void about(QWidget* owner) override;
    // The warning box's look with the question's texts, over the middle of the owner.
    void fileChanged(QWidget* owner, ChangedFile file, std::function<void(bool)> done) override;

private:
    Look m_look;
    SkinImageCache m_images; // the warning box's images, checked against their files at every paint
};

// The texts of the question after another program changed a file: the message and the captions of
// the reloading and the keeping button.
struct FileChangedTexts {
    std::string message;
    std::string reload;
    std::string keep;
};
FileChangedTexts FileChangedCaptions(UiLanguage language, ChangedFile file);

// The caption of every message box: the executable's name without its extension.
QString ApplicationName();

} // namespace krv
