#include "recorder_program.h"

#include "meter/locale_service.h"
#include "process/termination_signals.h"
#include "publish/mqtt_publisher.h"
#include "recorder.h"
#include "recorder_link.h"
#include "recorder_options.h"

#include <QCoreApplication>
#include <QFile>

#include <csignal>

#include <unistd.h>

namespace {

QString signalName(int signal)
{
    switch (signal) {
    case SIGINT:
        return QStringLiteral("SIGINT");
    case SIGTERM:
        return QStringLiteral("SIGTERM");
    case SIGHUP:
        return QStringLiteral("SIGHUP");
    default:
        return QStringLiteral("signal %1").arg(signal);
    }
}

void say(QFile &console, const QString &text)
{
    console.write(text.toLocal8Bit());
}

} // namespace

bool liveLineWanted(bool quiet, bool stderrIsTerminal, bool rowsToStdout, bool stdoutIsTerminal)
{
    return !quiet && stderrIsTerminal && !(rowsToStdout && stdoutIsTerminal);
}

int runRecorder(int argc, char *argv[], const std::function<void(RecorderLinkParts &)> &parts)
{
    QCoreApplication app(argc, argv);
    // A reader of the pipe that went away is a failed write, reported, not a silent death.
    std::signal(SIGPIPE, SIG_IGN);
    QFile console;
    console.open(STDERR_FILENO, QIODevice::WriteOnly | QIODevice::Unbuffered, QFileDevice::DontCloseHandle);

    SystemLocaleService locale;
    const QString separator = locale.userDecimalSeparator();
    RecorderOptions options;
    QString error;
    if (!RecorderArguments::parse(QCoreApplication::arguments(), separator.isEmpty() ? QChar() : separator[0],
                                  options, error)) {
        say(console, QStringLiteral("halvern-record: %1\n%2").arg(error, RecorderArguments::usage()));
        return Recorder::BadArguments;
    }
    if (options.help || options.version) {
        QFile out;
        out.open(STDOUT_FILENO, QIODevice::WriteOnly, QFileDevice::DontCloseHandle);
        say(out, options.help ? RecorderArguments::usage() : RecorderArguments::versionText() + '\n');
        return Recorder::Done;
    }

    const bool toStdout = options.output.isEmpty();
    QFile output;
    RecorderServices services{locale, output, console,
                              toStdout ? QStringLiteral("standard output") : options.output};
    services.liveLine =
        liveLineWanted(options.quiet, ::isatty(STDERR_FILENO), toStdout, ::isatty(STDOUT_FILENO));
    Recorder recorder(options, services);
    RecorderLinkParts linkParts;
    if (parts)
        parts(linkParts);
    RecorderLink link(recorder, linkParts);
    // The link opens first: a device that does not open leaves an earlier file of the same name alone.
    if (!link.open(options, error)) {
        say(console, QStringLiteral("halvern-record: %1\n").arg(error));
        return Recorder::DeviceFailed;
    }
    const bool opened =
        toStdout ? output.open(STDOUT_FILENO, QIODevice::WriteOnly | QIODevice::Unbuffered,
                               QFileDevice::DontCloseHandle)
                 : (output.setFileName(options.output),
                    output.open(QIODevice::WriteOnly | QIODevice::Truncate | QIODevice::Unbuffered));
    if (!opened) {
        say(console, QStringLiteral("halvern-record: cannot create %1: %2\n")
                         .arg(options.output, output.errorString()));
        return Recorder::OutputFailed;
    }

    std::unique_ptr<MqttPublisher> publisher;
    if (options.mqtt.enabled()) {
        publisher = std::make_unique<MqttPublisher>(options.mqtt, recorder.session(), separator);
        recorder.addListener(publisher.get());
        QObject::connect(publisher.get(), &MqttPublisher::problem, &app,
                         [&recorder](const QString &line) { recorder.message(line); });
        QObject::connect(publisher.get(), &MqttPublisher::overflow, &app,
                         [&recorder](const QString &line) { recorder.message(line); });
        QObject::connect(publisher.get(), &MqttPublisher::recovered, &app,
                         [&recorder](const QString &line) { recorder.message(line); });
        // A broker that is down may come; one that refuses the credentials at the start will not take them.
        QObject::connect(publisher.get(), &MqttPublisher::credentialsRejected, &app, [&recorder](bool first) {
            if (first)
                recorder.finish(Recorder::BrokerRefused,
                                QStringLiteral("the MQTT broker refused the credentials"));
        });
        publisher->start();
    }

    recorder.onFinished = [](int code) { QCoreApplication::exit(code); };
    const TerminationSignals endOnSignal([&recorder](int signal) {
        recorder.finish(Recorder::Done, QStringLiteral("stopped by ") + signalName(signal));
    });
    if (!recorder.start()) {
        recorder.finish(Recorder::OutputFailed, QStringLiteral("the output refused the header line"));
        return recorder.exitCode();
    }
    return app.exec();
}
