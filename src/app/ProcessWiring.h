// SPDX-License-Identifier: MIT
#pragma once

#include "app/Companion.h"
#include "app/SingleInstance.h"

#include "ui/MainWindow.h"

#include <QCoreApplication>
#include <QMessageBox>

#include <cstdio>

namespace krv {

// Takes the single-instance lock. False when this process must end: another companion runs (and was
// asked to show its window), or the lock could not be had or its holder does not answer, which the
// user is told in a message box and in one line on standard error, so that a second companion never runs and a failure is never silent.
inline bool becomeTheOnlyInstance(SingleInstance& instance) {
    const SingleInstance::Outcome outcome = instance.start();
    if (outcome == SingleInstance::Outcome::First)
        return true;
    if (outcome == SingleInstance::Outcome::AlreadyRunning)
        return false;
    const QString text =
        (outcome == SingleInstance::Outcome::NoAnswer
             ? QStringLiteral("Another copy of the program seems to be running but does not answer. End it and "
                              "start again.\n另一个程序副本似乎正在运行但没有响应。请结束它后重新启动。\n")
             : QStringLiteral("The program cannot make sure it runs only once, so it does not start.\n"
                              "程序无法确保只运行一个实例，因此不会启动。\n")) +
        instance.errorString();
    std::fprintf(stderr, "%s: %s\n", qPrintable(QCoreApplication::applicationName()), qPrintable(instance.errorString()));
    QMessageBox::critical(nullptr, QString::fromUtf8(MainWindow::WindowTitle), text);
    return false;
}

// What ties the companion to its process, the same for the real program and the demo: a second start
// restores the window, the companion's end ends the event loop with its status, and termination
// requests end it through its shutdown (the watch returned must live as long as the companion).
[[nodiscard]] inline std::unique_ptr<ProcessEventWatch> wireCompanionToProcess(Companion& companion,
                                                                               SingleInstance& instance,
                                                                               AppContext& context) {
    QObject::connect(&instance, &SingleInstance::restoreRequested, &companion, &Companion::restoreWindow);
#ifdef _WIN32
    // A later start finds the window by its title, also while it has never been shown (--tray).
    (void)companion.window().winId();
#endif
    QObject::connect(&companion, &Companion::ended, QCoreApplication::instance(),
                     [](int status) { QCoreApplication::exit(status); });
    return context.ports.watchTerminationRequests([&companion](int) { companion.ShutDown(); });
}

} // namespace krv
