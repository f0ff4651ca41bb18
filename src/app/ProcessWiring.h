#pragma once

#include "app/Companion.h"
#include "app/SingleInstance.h"
#include "app/TerminationSignals.h"

#include <QCoreApplication>

namespace krv {

// What ties the companion to its process, the same for the real program and the demo: a second start
// restores the window, the companion's end ends the event loop with its status, and termination
// signals end it through its shutdown.
inline void wireCompanionToProcess(Companion& companion, SingleInstance& instance, TerminationSignals& termination) {
    QObject::connect(&instance, &SingleInstance::restoreRequested, &companion, &Companion::restoreWindow);
    QObject::connect(&companion, &Companion::ended, QCoreApplication::instance(),
                     [](int status) { QCoreApplication::exit(status); });
    QObject::connect(&termination, &TerminationSignals::terminationRequested, &companion, &Companion::ShutDown);
}

} // namespace krv
