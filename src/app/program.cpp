#include "program.h"

#include "command_line.h"
#include "guarded_application.h"
#include "main_window.h"
#include "meter/locale_service.h"
#include "platform_info.h"
#include "process/termination_signals.h"
#include "program_links.h"
#include "ui/dialog_service.h"

#include <QStandardPaths>
#include <QTextStream>

int runProgram(int argc, char *argv[], bool demo, const std::function<void(TFCOMM &)> &prepare)
{
    if (const std::optional<int> answered = answerHelpOrVersion(argc, argv, ProgramLinks::description(demo)))
        return *answered;
    GuardedApplication app(argc, argv);
    // A logout, shutdown or kill ends the program like Quit: through the
    // event loop, so the window and its devices are destroyed in order.
    const TerminationSignals endOnSignal([](int) { QCoreApplication::quit(); });
    ProgramLinks links(demo);
    QString error;
    // After the application, which takes its own options (-platform, -style) off the list.
    if (!links.setUp(QCoreApplication::arguments(), error)) {
        QTextStream(stderr) << error << "\n" << ProgramLinks::usage(demo) << "\n";
        return 2;
    }
    QGuiApplication::setApplicationDisplayName(QString()); // the task-bar entry has no title of its own
    QGuiApplication::setDesktopFileName(QStringLiteral("org.halvern.halvern")); // its menu entry and icon
    installFontSubstitutes();
    MessageBoxDialogs dialogs;
    SystemLocaleService locale;
    WindowServices services{dialogs, locale, isNative64BitSystem(), [] { QCoreApplication::quit(); }};
    services.hidPlatform = links.hidPlatform();
    services.journalFolder = QStandardPaths::writableLocation(QStandardPaths::AppDataLocation);
    TFCOMM window(services);
    dialogs.setParent(&window);
    const ErrorReportBinding reportBinding(app, window.errorReport());
    links.attach(window);
    if (prepare)
        prepare(window);
    window.show();
    window.offerJournalRecovery();
    return app.exec();
}
