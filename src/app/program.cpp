#include "program.h"

#include "dialog_service.h"
#include "guarded_application.h"
#include "main_window.h"
#include "meter/locale_service.h"
#include "platform_info.h"
#include "program_links.h"

#include <QTextStream>

int runProgram(int argc, char *argv[], bool demo)
{
    GuardedApplication app(argc, argv);
    ProgramLinks links(demo);
    QString error;
    if (!links.setUp(QCoreApplication::arguments(), error)) {
        QTextStream(stderr) << error << "\n" << ProgramLinks::usage(demo) << "\n";
        return 2;
    }
    QGuiApplication::setApplicationDisplayName(QString()); // the task-bar entry has no title of its own
    installFontSubstitutes();
    MessageBoxDialogs dialogs;
    SystemLocaleService locale;
    TFCOMM window({dialogs,
                   locale,
                   isNative64BitSystem(),
                   [] { QCoreApplication::quit(); },
                   {},
                   {},
                   links.hidPlatform()});
    dialogs.setParent(&window);
    const ErrorReportBinding reportBinding(app, window.errorReport());
    links.attach(window);
    window.show();
    return app.exec();
}
