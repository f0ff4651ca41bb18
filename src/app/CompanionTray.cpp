// SPDX-License-Identifier: MIT
#include "app/CompanionTray.h"

#include "ui/AboutBox.h"
#include "ui/MainWindow.h"

#include <QAction>
#include <QCursor>
#ifndef _WIN32
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#endif
#include <QMenu>
#include <QSystemTrayIcon>

namespace krv {

namespace {

bool StatusNotifierHostRuns() {
#ifdef _WIN32
    return false;
#else
    const QDBusConnectionInterface* bus = QDBusConnection::sessionBus().interface();
    return bus && bus->isServiceRegistered(QStringLiteral("org.kde.StatusNotifierWatcher")).value();
#endif
}

QString Title() {
    return QString::fromUtf8(MainWindow::WindowTitle);
}

} // namespace

CompanionTray::CompanionTray(std::optional<bool> statusNotifierTray, QObject* parent)
    : QObject(parent), m_statusNotifierTray(statusNotifierTray ? *statusNotifierTray : StatusNotifierHostRuns()),
      m_icon(std::make_unique<QSystemTrayIcon>(ApplicationIcon())) {
    m_icon->setToolTip(Title());
    connect(m_icon.get(), &QSystemTrayIcon::activated, this,
            [this](QSystemTrayIcon::ActivationReason reason) { onActivated(static_cast<int>(reason)); });
}

CompanionTray::~CompanionTray() = default;

QString CompanionTray::MouseAwaitedText(UiLanguage language) {
    if (language == UiLanguage::English)
        return QStringLiteral("The mouse is not plugged in: waiting for it");
    return QStringLiteral("鼠标未插入，正在等待");
}

QString CompanionTray::ProfileInUseText(UiLanguage language, int profile) {
    if (language == UiLanguage::English)
        return QStringLiteral("Profile %1").arg(profile);
    return QStringLiteral("配置%1").arg(profile);
}

void CompanionTray::loadMenu(UiLanguage language) {
    m_menu.load(TrayMenuDefinition(language));
    for (int id : {MenuCommand::ShowWindow, MenuCommand::AppProfiles, MenuCommand::ExitDriver}) {
        if (QAction* action = m_menu.action(id))
            connect(action, &QAction::triggered, this, [this, id] { emit menuCommand(id); });
    }
    // A StatusNotifierItem tray draws the menu itself from the same items (their texts).
    if (m_statusNotifierTray)
        m_icon->setContextMenu(m_menu.menu());
    if (m_waitingForMouse)
        setWaitingForMouse(true, language); // the new menu gets the line too, in its language
}

void CompanionTray::setWaitingForMouse(bool waiting, UiLanguage language) {
    m_waitingForMouse = waiting;
    m_icon->setToolTip(waiting ? Title() + QStringLiteral(" — ") + MouseAwaitedText(language) : Title());
    delete m_waitingLine.data();
    QMenu* menu = m_menu.menu();
    if (!waiting || !menu)
        return;
    QAction* first = menu->actions().isEmpty() ? nullptr : menu->actions().first();
    auto* line = new QAction(MouseAwaitedText(language), menu);
    line->setEnabled(false);
    menu->insertAction(first, line);
    m_waitingLine = line;
}

void CompanionTray::showProfileInUse(UiLanguage language, int profile) {
    if (!m_waitingForMouse)
        m_icon->setToolTip(Title() + QStringLiteral(" — ") + ProfileInUseText(language, profile));
}

void CompanionTray::show() {
    m_icon->show();
}

void CompanionTray::hide() {
    m_icon->hide();
}

bool CompanionTray::shown() const {
    return m_icon->isVisible();
}

void CompanionTray::onActivated(int reason) {
    switch (static_cast<QSystemTrayIcon::ActivationReason>(reason)) {
    case QSystemTrayIcon::DoubleClick:
        emit showRequested();
        break;
    case QSystemTrayIcon::Trigger:
        // A StatusNotifierItem tray reports a click as Trigger and never a double-click.
        if (m_statusNotifierTray)
            emit showRequested();
        break;
    case QSystemTrayIcon::Context:
        // A StatusNotifierItem tray shows the menu it was given itself.
        if (m_statusNotifierTray)
            break;
        emit menuAboutToPopUp();
        if (QMenu* menu = m_menu.menu())
            menu->popup(QCursor::pos());
        break;
    default:
        break;
    }
}

} // namespace krv
