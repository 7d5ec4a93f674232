#include "recorder_options.h"

#include "record/limit_judge.h"
#include "record/measurement_log.h"

#include <QFileInfo>
#include <QSysInfo>

namespace RecorderArguments {

namespace {

bool wholeNumber(const QString &text, int least, int most, int &value)
{
    bool ok = false;
    const qlonglong n = text.toLongLong(&ok);
    if (!ok || n < least || n > most || text.trimmed() != text || text.startsWith(QLatin1Char('+')))
        return false;
    value = int(n);
    return true;
}

// The separator the limit fields put in on every frame: the other one of "." and "," becomes the user's.
QString withUserSeparator(QString text, QChar userSeparator)
{
    const QChar other = userSeparator == QLatin1Char('.') ? QLatin1Char(',') : QLatin1Char('.');
    const int at = text.indexOf(other);
    if (at >= 0 && !userSeparator.isNull())
        text[at] = userSeparator;
    return text;
}

// The link as the default meter id names it: the device, the cable, the recording.
QString linkName(const RecorderOptions &options)
{
    switch (options.link) {
    case RecorderOptions::Link::Port:
        return options.port;
    case RecorderOptions::Link::Usb:
        return QStringLiteral("usb");
    case RecorderOptions::Link::Replay:
        return QFileInfo(options.replay).completeBaseName();
    }
    return {};
}

} // namespace

QString usage()
{
    QString text = QStringLiteral(
        "usage: halvern-record (--port DEVICE | --usb | --replay FILE) [options]\n"
        "Records the meter's readings without a window, by the window's rules, as tab-separated "
        "rows.\n"
        "\n"
        "  --port DEVICE       read the meter on this serial device (e.g. /dev/ttyUSB0)\n"
        "  --usb               read the meter through its USB cable (\"USB to Serial\")\n"
        "  --replay FILE       play a recording made with --capture instead of a meter\n"
        "  --interval SECONDS  record the latest reading every SECONDS; 0 or absent: every line\n"
        "  --limit N           stop after N rows (1 to 10000000; absent: 10000000, \"limitless\")\n"
        "  --high VALUE        high limit of the judgement (default 4000)\n"
        "  --low VALUE         low limit of the judgement (default -4000)\n"
        "  --no-repeat         skip a reading equal to the last recorded one\n"
        "  --output FILE       write the rows to FILE (default: standard output)\n"
        "  --timeout SECONDS   give up when no line came for SECONDS (default: never)\n"
        "  --quiet             no live line on the terminal\n"
        "\n"
        "Publishing every row to an MQTT broker:\n"
        "%mqtt"
        "\n"
        "  --help              show this and exit\n"
        "  --version           show the version and exit\n"
        "\n"
        "Exit status: 0 done, 1 bad arguments, 2 device cannot be opened or went away,\n"
        "3 the link was silent longer than --timeout, 4 the output cannot be written,\n"
        "5 the MQTT broker refused the credentials at the start.\n");
    return text.replace(QLatin1String("%mqtt"), MqttSettings::usage());
}

QString versionText()
{
    return QStringLiteral("halvern-record " HALVERN_VERSION);
}

bool parse(const QStringList &arguments, QChar userDecimalSeparator, RecorderOptions &options, QString &error)
{
    options = RecorderOptions{};
    options.limit = MeasurementLog::RecordLimits[5].maxRecords;
    int links = 0;
    QStringList mqttOptions;
    for (int i = 1; i < arguments.size(); ++i) {
        QString option = arguments[i];
        QString value;
        bool inlineValue = false;
        if (const int eq = option.indexOf(QLatin1Char('='));
            option.startsWith(QLatin1String("--")) && eq > 0) {
            value = option.mid(eq + 1);
            option.truncate(eq);
            inlineValue = true;
        }
        auto flag = [&](bool &field) {
            if (inlineValue) {
                error = option + QStringLiteral(" takes no value");
                return false;
            }
            field = true;
            return true;
        };
        auto takeValue = [&](const char *what) {
            if (!inlineValue) {
                if (i + 1 >= arguments.size()) {
                    error = option + QStringLiteral(" needs ") + QLatin1String(what);
                    return false;
                }
                value = arguments[++i];
            }
            if (value.isEmpty()) {
                error = option + QStringLiteral(" needs ") + QLatin1String(what);
                return false;
            }
            return true;
        };
        auto seconds = [&](int least, int &field) {
            if (!takeValue("a number of seconds"))
                return false;
            if (!wholeNumber(value, least, RecorderOptions::MaxSeconds, field)) {
                error = QStringLiteral("%1: \"%2\" is not a whole number of seconds from %3 to %4")
                            .arg(option, value)
                            .arg(least)
                            .arg(RecorderOptions::MaxSeconds);
                return false;
            }
            return true;
        };
        auto limitText = [&](QString &field) {
            if (!takeValue("a value"))
                return false;
            field = withUserSeparator(value.trimmed(), userDecimalSeparator);
            if (!LimitJudge::isNumber(field, userDecimalSeparator)) {
                error = QStringLiteral("%1: \"%2\" is not a number").arg(option, value);
                return false;
            }
            return true;
        };

        bool ok = true;
        bool usb = false;
        if (option == QLatin1String("--help")) {
            ok = flag(options.help);
        } else if (option == QLatin1String("--version")) {
            ok = flag(options.version);
        } else if (option == QLatin1String("--port")) {
            ok = takeValue("a device");
            options.port = value;
            options.link = RecorderOptions::Link::Port;
            ++links;
        } else if (option == QLatin1String("--usb")) {
            ok = flag(usb);
            options.link = RecorderOptions::Link::Usb;
            ++links;
        } else if (option == QLatin1String("--replay")) {
            ok = takeValue("a file name");
            options.replay = value;
            options.link = RecorderOptions::Link::Replay;
            ++links;
        } else if (option == QLatin1String("--interval")) {
            ok = seconds(0, options.intervalSeconds);
        } else if (option == QLatin1String("--timeout")) {
            ok = seconds(0, options.timeoutSeconds);
        } else if (option == QLatin1String("--limit")) {
            const int most = MeasurementLog::RecordLimits[5].maxRecords;
            ok = takeValue("a number of rows");
            if (ok && !wholeNumber(value, 1, most, options.limit)) {
                error = QStringLiteral("--limit: \"%1\" is not a whole number of rows from 1 to %2")
                            .arg(value)
                            .arg(most);
                ok = false;
            }
        } else if (option == QLatin1String("--high")) {
            ok = limitText(options.high);
        } else if (option == QLatin1String("--low")) {
            ok = limitText(options.low);
        } else if (option == QLatin1String("--no-repeat")) {
            bool noRepeat = false;
            ok = flag(noRepeat);
            options.repeat = false;
        } else if (option == QLatin1String("--output")) {
            ok = takeValue("a file name");
            options.output = value;
            // The window reads a file named .xml as an XML data packet; these rows are text.
            if (ok && value.endsWith(QLatin1String(".xml"))) {
                error = QStringLiteral("--output: the rows are tab-separated text, which the window "
                                       "loads from a file not named .xml (e.g. .xls or .txt)");
                ok = false;
            }
        } else if (option == QLatin1String("--quiet")) {
            ok = flag(options.quiet);
        } else if (MqttSettings::optionNames().contains(option)) {
            ok = takeValue("a value") && options.mqtt.takeOption(option, value, error);
            mqttOptions << option;
        } else if (option == QLatin1String("--ha-discovery")) {
            ok = flag(options.mqtt.haDiscovery);
            mqttOptions << option;
        } else {
            error = QStringLiteral("unknown option ") + arguments[i];
            ok = false;
        }
        if (!ok)
            return false;
    }
    if (options.help || options.version)
        return true;
    if (links == 0) {
        error = QStringLiteral("name the meter's link: --port DEVICE, --usb or --replay FILE");
        return false;
    }
    if (links > 1) {
        error = QStringLiteral("--port, --usb and --replay exclude each other; name one link");
        return false;
    }
    if (!options.mqtt.enabled()) {
        if (mqttOptions.isEmpty())
            return true;
        error = mqttOptions.first() + QStringLiteral(" needs --mqtt URL");
        return false;
    }
    if (options.mqtt.meterId.isEmpty())
        options.mqtt.meterId = defaultMeterId(QSysInfo::machineHostName(), linkName(options));
    return options.mqtt.check(error);
}

} // namespace RecorderArguments
