// krv-glyde: the companion of the VELDRA gaming mouse. It takes no command line.
#include "app/AppContext.h"
#include "app/Companion.h"
#include "app/ProcessWiring.h"
#include "app/SingleInstance.h"
#include "platform/linux/ProgramFolder.h"
#include "platform/linux/TerminationSignals.h"

#include <QApplication>

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    app.setQuitOnLastWindowClosed(false); // the companion stays resident in the tray
    app.setApplicationName(QStringLiteral("krv-glyde"));

    krv::SingleInstance instance;
    if (!krv::becomeTheOnlyInstance(instance))
        return 1; // the running companion shows its window, or the user has been told why not

    krv::AppContext context(krv::AppPathsForProgram(QCoreApplication::applicationDirPath().toStdString()),
                            krv::AppPorts::LinuxDesktop());
    krv::Companion::Options options;
    options.raiseServiceThreads = true;
    krv::Companion companion(context, options);
    krv::TerminationSignals termination;
    krv::wireCompanionToProcess(companion, instance, termination);
    companion.start();
    return app.exec();
}
