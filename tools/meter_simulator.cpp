// Plays a meter on a serial device, for trying the program over a real
// serial road without a meter:
//   halvern-meter-simulator DEVICE   writes to DEVICE (e.g. one end of a
//                                    null-modem cable)
//   halvern-meter-simulator          creates a pseudo-terminal and prints
//                                    the path a program opens as its port
#include "link/serial/meter_simulator.h"
#include "app/command_line.h"

#include <QCoreApplication>
#include <QTextStream>

int main(int argc, char *argv[])
{
    const CommandLineDescription description{
        QStringLiteral("halvern-meter-simulator"),
        QStringLiteral("[DEVICE]"),
        QStringLiteral(
            "Plays a meter on DEVICE (e.g. one end of a null-modem cable), or without DEVICE on a new "
            "pseudo-terminal whose path it prints, for trying the serial road without a meter."),
        {}};
    if (const std::optional<int> answered = answerHelpOrVersion(argc, argv, description))
        return *answered;
    if (argc > 2) {
        QTextStream(stderr) << usageLine(description) << "\n";
        return 1;
    }
    QCoreApplication app(argc, argv);
    QTextStream out(stdout);
    QTextStream err(stderr);
    DeviceLineWriter writer;
    const bool opened = argc > 1 ? writer.open(QString::fromLocal8Bit(argv[1])) : writer.openPseudoTerminal();
    if (!opened) {
        err << "halvern-meter-simulator: " << writer.errorString() << "\n";
        return 1;
    }
    if (argc == 1)
        out << "meter on " << writer.portPath() << Qt::endl;
    MeterSimulator simulator([&writer](const QByteArray &line) { writer.write(line); });
    simulator.start();
    return app.exec();
}
