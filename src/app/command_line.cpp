#include "command_line.h"

#include <QTextStream>

namespace {

QString optionWithValue(const CommandLineOption &option)
{
    return option.valueName.isEmpty() ? option.name : option.name + QLatin1Char(' ') + option.valueName;
}

QList<CommandLineOption> withStandardOptions(const CommandLineDescription &description)
{
    QList<CommandLineOption> options = description.options;
    options << CommandLineOption{QStringLiteral("-h, --help"), {}, QStringLiteral("shows this help and ends")}
            << CommandLineOption{
                   QStringLiteral("--version"), {}, QStringLiteral("shows the version and ends")};
    return options;
}

} // namespace

QList<CommandLineOption> publishingOptions()
{
    const auto option = [](const char *name, const char *value, const char *description) {
        return CommandLineOption{QLatin1String(name), QLatin1String(value), QLatin1String(description)};
    };
    return {option("--mqtt", "URL", "publishes every row to mqtt://host[:port] or mqtts://host[:port]"),
            option("--mqtt-topic", "PREFIX", "topics PREFIX/METER/reading and PREFIX/METER/status (halvern)"),
            option("--meter-id", "NAME", "METER in the topics (the host name and \"window\")"),
            option("--mqtt-user", "NAME", "the user name at the broker"),
            option("--mqtt-password-file", "FILE", "the password: the first line of FILE"),
            option("--mqtt-cafile", "FILE", "CA certificates for mqtts:// (the system's)"),
            option("--mqtt-cert", "FILE", "client certificate, with --mqtt-key"),
            option("--mqtt-key", "FILE", "the client certificate's key"),
            option("--mqtt-queue", "N", "readings kept while the broker is away (100000)"),
            option("--ha-discovery", "", "announces the meter to Home Assistant")};
}

QString versionText(const QString &name)
{
    return name + QLatin1Char(' ') + QStringLiteral(HALVERN_VERSION);
}

QString usageLine(const CommandLineDescription &description)
{
    QString line = QStringLiteral("usage: ") + description.name;
    if (!description.synopsis.isEmpty())
        return line + QLatin1Char(' ') + description.synopsis;
    for (const CommandLineOption &option : description.options)
        line += QStringLiteral(" [") + optionWithValue(option) + QLatin1Char(']');
    if (!description.arguments.isEmpty())
        line += QLatin1Char(' ') + description.arguments;
    return line;
}

QString helpText(const CommandLineDescription &description)
{
    const QList<CommandLineOption> options = withStandardOptions(description);
    qsizetype width = 0;
    for (const CommandLineOption &option : options)
        width = qMax(width, optionWithValue(option).size());
    QString text = QStringLiteral("Usage: ") + description.name + QLatin1Char(' ');
    if (!description.synopsis.isEmpty())
        text += description.synopsis;
    else
        text += QStringLiteral("[options]") +
                (description.arguments.isEmpty() ? QString() : QLatin1Char(' ') + description.arguments);
    text += QLatin1Char('\n') + description.summary + QStringLiteral("\n\nOptions:\n");
    for (const CommandLineOption &option : options)
        text += QStringLiteral("  ") + optionWithValue(option).leftJustified(width + 2) + option.description +
                QLatin1Char('\n');
    return text;
}

std::optional<int> answerHelpOrVersion(const QStringList &arguments,
                                       const CommandLineDescription &description, QTextStream &out)
{
    for (qsizetype i = 1; i < arguments.size(); ++i) {
        const QString &argument = arguments[i];
        if (argument == QLatin1String("--help") || argument == QLatin1String("-h")) {
            out << helpText(description);
            return 0;
        }
        if (argument == QLatin1String("--version")) {
            out << versionText(description.name) << '\n';
            return 0;
        }
        for (const CommandLineOption &option : description.options)
            if (option.name == argument && !option.valueName.isEmpty())
                ++i;
    }
    return std::nullopt;
}

std::optional<int> answerHelpOrVersion(int argc, char *argv[], const CommandLineDescription &description)
{
    QStringList arguments;
    for (int i = 0; i < argc; ++i)
        arguments << QString::fromLocal8Bit(argv[i]);
    QTextStream out(stdout);
    return answerHelpOrVersion(arguments, description, out);
}
