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

void WidgetDialogs::about(QWidget* owner) {
    auto* box = new AboutBox(owner);
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->open();
}

} // namespace krv
