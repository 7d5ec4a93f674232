#pragma once

#include <QList>
#include <QString>
#include <QStringList>

#include <optional>

class QTextStream;

// One option of an executable's command line, as --help shows it.
struct CommandLineOption {
    QString name;      // "--replay"
    QString valueName; // "FILE"; empty for a switch
    QString description;
};

// What an executable tells about itself on --help.
struct CommandLineDescription {
    QString name;      // "halvern-demo"
    QString arguments; // what follows the options, e.g. "[DEVICE]"; may be empty
    QString summary;
    QList<CommandLineOption> options; // --help and --version are added
    QString synopsis = {};            // what follows the name where options do not come first; may be empty
};

// The options that publish every reading to an MQTT broker, as the window takes them.
QList<CommandLineOption> publishingOptions();

// "<name> <version>", the project's version.
QString versionText(const QString &name);
QString helpText(const CommandLineDescription &description);
// One line: the name, every option with its value, the arguments.
QString usageLine(const CommandLineDescription &description);

// --help (-h) and --version answer before any application object exists, so that they work without a
// display. The values of options that take one are skipped ("--capture --help" captures to "--help").
// Prints the answer to `out` and returns the exit code when one was asked for; nothing otherwise.
std::optional<int> answerHelpOrVersion(const QStringList &arguments,
                                       const CommandLineDescription &description, QTextStream &out);
// The same for main's arguments, to standard output.
std::optional<int> answerHelpOrVersion(int argc, char *argv[], const CommandLineDescription &description);
