// SPDX-License-Identifier: MIT
#include "ui/WidgetDialogs.h"

#include "ui/AboutBox.h"
#include "ui/WarningBox.h"

#include <QCoreApplication>
#include <QFileDialog>
#include <QFileInfo>
#include <QMessageBox>

namespace krv {

QString ProfileFileFilter() {
    // The description keeps its own parentheses; the pattern list follows it.
    return QStringLiteral("All Files(*.ini) (*.ini)");
}

QString ApplicationName() {
    const QString path = QCoreApplication::applicationFilePath();
    return path.isEmpty() ? QStringLiteral("krv-glyde") : QFileInfo(path).completeBaseName();
}

void WidgetDialogs::warning(QWidget* owner, QPoint origin, std::function<void(int)> done) {
    const SkinDescriptions& skin = m_look.skin();
    auto* box = new WarningBox(skin.warningLayout, m_look.fonts().text(m_look.language()), m_images, origin, owner);
    box->setAttribute(Qt::WA_DeleteOnClose);
    QObject::connect(box, &QDialog::finished, box, [done = std::move(done)](int result) { done(result); });
    box->open();
}

namespace {

void runFileDialog(QWidget* owner, const QString& folder, bool save, std::function<void(QString)> done) {
    auto* dialog = new QFileDialog(owner, QString(), folder, ProfileFileFilter());
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    if (save) {
        dialog->setAcceptMode(QFileDialog::AcceptSave);
        dialog->setFileMode(QFileDialog::AnyFile);
        dialog->setDefaultSuffix(QStringLiteral("ini"));
    } else {
        dialog->setAcceptMode(QFileDialog::AcceptOpen);
        dialog->setFileMode(QFileDialog::ExistingFile);
    }
    auto answer = std::make_shared<QString>();
    QObject::connect(dialog, &QFileDialog::fileSelected, dialog, [answer](const QString& file) { *answer = file; });
    QObject::connect(dialog, &QDialog::finished, dialog, [answer, done = std::move(done)](int) { done(*answer); });
    dialog->open();
}

} // namespace

void WidgetDialogs::openProfileFile(QWidget* owner, const QString& folder, std::function<void(QString)> done) {
    runFileDialog(owner, folder, false, std::move(done));
}

void WidgetDialogs::saveProfileFile(QWidget* owner, const QString& folder, std::function<void(QString)> done) {
    runFileDialog(owner, folder, true, std::move(done));
}

void WidgetDialogs::message(QWidget* owner, const QString& text, std::function<void()> done) {
    auto* box = new QMessageBox(QMessageBox::NoIcon, ApplicationName(), text, QMessageBox::Ok, owner);
    box->setAttribute(Qt::WA_DeleteOnClose);
    QObject::connect(box, &QDialog::finished, box, [done = std::move(done)](int) {
        if (done)
            done();
    });
    box->open();
}

FileChangedTexts FileChangedCaptions(UiLanguage language, ChangedFile file) {
    if (language == UiLanguage::English) {
        return {file == ChangedFile::Profile
                    ? "Another program changed this profile. Reload it, or keep your unsaved changes?"
                    : "Another program changed the macros. Reload them, or keep your unsaved changes?",
                "RELOAD", "KEEP MINE"};
    }
    return {file == ChangedFile::Profile ? "其他程序修改了此配置。重新载入，还是保留您未保存的修改？"
                                         : "其他程序修改了宏。重新载入，还是保留您未保存的修改？",
            "重新载入", "保留修改"};
}

void WidgetDialogs::fileChanged(QWidget* owner, ChangedFile file, std::function<void(bool)> done) {
    SkinLayout layout = m_look.skin().warningLayout;
    const FileChangedTexts texts = FileChangedCaptions(m_look.language(), file);
    layout.at(WarningElement::Message).caption = texts.message;
    layout.at(WarningElement::Confirm).caption = texts.reload;
    layout.at(WarningElement::Cancel).caption = texts.keep;
    auto* box =
        new WarningBox(std::move(layout), m_look.fonts().text(m_look.language()), m_images, QPoint(), owner, true);
    if (owner)
        box->move(owner->mapToGlobal(owner->rect().center()) - box->rect().center());
    box->setAttribute(Qt::WA_DeleteOnClose);
    QObject::connect(box, &QDialog::finished, box,
                     [done = std::move(done)](int result) { done(result == WarningBox::Confirm); });
    box->open();
}

void WidgetDialogs::about(QWidget* owner) {
    auto* box = new AboutBox(owner);
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->open();
}

} // namespace krv
