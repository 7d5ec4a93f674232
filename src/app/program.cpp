#include "program.h"

#include "dialog_service.h"
#include "guarded_application.h"
#include "main_window.h"
#include "meter/locale_service.h"
#include "platform_info.h"

int runProgram(int argc, char *argv[], const std::function<void(TFCOMM &)> &prepare)
{
    GuardedApplication app(argc, argv);
    QGuiApplication::setApplicationDisplayName(QString()); // the task-bar entry has no title of its own
    installFontSubstitutes();
    MessageBoxDialogs dialogs;
    SystemLocaleService locale;
    TFCOMM window({dialogs, locale, isNative64BitSystem(), [] { QCoreApplication::quit(); }});
    dialogs.setParent(&window);
    const ErrorReportBinding reportBinding(app, window.errorReport());
    if (prepare)
        prepare(window);
    window.show();
    return app.exec();
}
