#include "program.h"

#include "dialog_service.h"
#include "guarded_application.h"
#include "main_window.h"
#include "meter/locale_service.h"
#include "platform_info.h"
#include "termination_signals.h"

#include <QStandardPaths>

int runProgram(int argc, char *argv[], const std::function<void(TFCOMM &)> &prepare)
{
    GuardedApplication app(argc, argv);
    // A logout, shutdown or kill ends the program like Quit: through the
    // event loop, so the window and its devices are destroyed in order.
    const TerminationSignals endOnSignal([](int) { QCoreApplication::quit(); });
    QGuiApplication::setApplicationDisplayName(QString()); // the task-bar entry has no title of its own
    installFontSubstitutes();
    MessageBoxDialogs dialogs;
    SystemLocaleService locale;
    WindowServices services{dialogs, locale, isNative64BitSystem(), [] { QCoreApplication::quit(); }};
    services.journalFolder = QStandardPaths::writableLocation(QStandardPaths::AppDataLocation);
    TFCOMM window(services);
    dialogs.setParent(&window);
    const ErrorReportBinding reportBinding(app, window.errorReport());
    if (prepare)
        prepare(window);
    window.show();
    window.offerJournalRecovery();
    return app.exec();
}
