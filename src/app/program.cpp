#include "program.h"

#include "command_line.h"
#include "guarded_application.h"
#include "main_window.h"
#include "meter/locale_service.h"
#include "platform_info.h"
#include "process/termination_signals.h"
#include "program_links.h"
#include "publish/mqtt_publisher.h"
#include "ui/dialog_service.h"

#include <QSettings>
#include <QStandardPaths>
#include <QSysInfo>
#include <QTextStream>

namespace {

// The settings file's group "mqtt" under the command line's options, which
// leave the list; the rest is the links' to read. fromCommandLine: an option
// was given, so a bad setting is the command line's error.
bool takePublishing(QStringList &arguments, MqttSettings &mqtt, QString &error, bool &fromCommandLine)
{
    const int given = int(arguments.size());
    QSettings file(QSettings::NativeFormat, QSettings::UserScope, QStringLiteral("halvern"),
                   QStringLiteral("halvern"));
    mqtt.load(file);
    const QStringList names = MqttSettings::optionNames();
    for (int i = 1; i < arguments.size();) {
        const QString name = arguments[i];
        if (name == QLatin1String("--ha-discovery")) {
            mqtt.haDiscovery = true;
            arguments.removeAt(i);
        } else if (names.contains(name)) {
            if (i + 1 >= arguments.size()) {
                error = name + QStringLiteral(" needs a value");
                return false;
            }
            if (!mqtt.takeOption(name, arguments[i + 1], error))
                return false;
            arguments.remove(i, 2);
        } else {
            ++i;
        }
    }
    fromCommandLine = arguments.size() != given;
    if (!mqtt.enabled())
        return true;
    if (mqtt.meterId.isEmpty())
        mqtt.meterId = defaultMeterId(QSysInfo::machineHostName(), QStringLiteral("window"));
    return mqtt.check(error);
}

} // namespace

int runProgram(int argc, char *argv[], bool demo, const std::function<void(TFCOMM &)> &prepare)
{
    CommandLineDescription description = ProgramLinks::description(demo);
    description.options += publishingOptions();
    if (const std::optional<int> answered = answerHelpOrVersion(argc, argv, description))
        return *answered;
    GuardedApplication app(argc, argv);
    // A logout, shutdown or kill ends the program like Quit: through the
    // event loop, so the window and its devices are destroyed in order.
    const TerminationSignals endOnSignal([](int) { QCoreApplication::quit(); });
    ProgramLinks links(demo);
    QString error;
    // After the application, which takes its own options (-platform, -style) off the list.
    QStringList arguments = QCoreApplication::arguments();
    MqttSettings mqtt;
    QString settingsError;
    bool mqttOptions = false;
    const bool publishing = takePublishing(arguments, mqtt, settingsError, mqttOptions);
    if (!publishing && mqttOptions)
        error = settingsError;
    if ((!publishing && mqttOptions) || !links.setUp(arguments, error)) {
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
    std::unique_ptr<MqttPublisher> publisher;
    if (publishing && mqtt.enabled()) {
        publisher = std::make_unique<MqttPublisher>(mqtt, window.session(), locale.userDecimalSeparator());
        window.session().addListener(publisher.get());
        // What the user must know (a lost reading, refused credentials) goes through the error report;
        // the coming and going of a broker is a line on standard error.
        QObject::connect(publisher.get(), &MqttPublisher::overflow, &window,
                         [&window](const QString &line) { window.errorReport().report(line); });
        QObject::connect(publisher.get(), &MqttPublisher::problem, &window,
                         [](const QString &line) { QTextStream(stderr) << line << '\n'; });
        QObject::connect(publisher.get(), &MqttPublisher::credentialsRejected, &window, [&window, &mqtt] {
            window.errorReport().report(
                QStringLiteral("MQTT broker %1 refused the user name or password; the readings "
                               "are recorded but not published")
                    .arg(mqtt.brokerName()));
        });
        QObject::connect(publisher.get(), &MqttPublisher::recovered, &window,
                         [](const QString &line) { QTextStream(stderr) << line << '\n'; });
        publisher->start();
    }
    window.show();
    // A bad settings file does not keep the window from starting; it says why it does not publish.
    if (!publishing)
        window.errorReport().report(
            QStringLiteral("Not publishing: %1 (in the settings file)").arg(settingsError));
    window.offerJournalRecovery();
    return app.exec();
}
