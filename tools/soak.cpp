// A long, fast run of the real window: a simulated meter on COM 1 whose
// lines are fed as fast as the program reads them, the record limit
// "limitless", Repeat on. Reports frames sent against rows recorded, the
// resident memory along the way, the longest time the event loop was held
// up, and every error report.
//
//   halvern-soak [--line] [frames [seconds]]
//       default 1000000 frames, no time limit; with a limit it stops there
//       and reports what it reached. --line: the chart's line series
//       instead of the filled area (Fill cleared)
#include "app/command_line.h"
#include "app/main_window.h"
#include "link/serial/serial_fakes.h"
#include "link/serial/serial_port_driver.h"
#include "link/serial/simulated_serial_port.h"
#include "meter/frame_builder.h"
#include "meter/locale_service.h"
#include "record/measurement_log.h"
#include "ui/dialog_service.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QElapsedTimer>
#include <QPushButton>

#include <cstdio>
#include <unistd.h>

namespace {

struct CountingDialogs : DialogService {
    QStringList errors;
    bool askYesNo(const QString &, const QString &) override { return true; }
    void showError(const QString &title, const QString &text) override
    {
        errors << title + QStringLiteral(": ") + text;
    }
};

long residentKiB()
{
    long pages = 0, resident = 0;
    if (FILE *f = std::fopen("/proc/self/statm", "r")) {
        if (std::fscanf(f, "%ld %ld", &pages, &resident) != 2)
            resident = 0;
        std::fclose(f);
    }
    return resident * (sysconf(_SC_PAGESIZE) / 1024);
}

// Meter lines with a drifting reading, as the wire carries them.
QByteArray meterLine(long n)
{
    const QByteArray digits = QByteArray::number(n * 7 % 4000).rightJustified(4, '0');
    const char points[] = {'0', '1', '2', '4'};
    return '\n' + QByteArray::fromHex(frameHex(n % 3 ? '+' : '-', digits.constData(), points[n % 4],
                                               Bits::Auto8 | Bits::Dc8, 0, 0, Bits::Volt11)
                                          .toLatin1());
}

} // namespace

int main(int argc, char *argv[])
{
    const CommandLineDescription description{
        QStringLiteral("halvern-soak"),
        QStringLiteral("[FRAMES [SECONDS]]"),
        QStringLiteral("Drives the real window offscreen with a simulated meter on COM 1, fed as fast as the "
                       "program reads (default 1000000 frames, no time limit), and reports frames against "
                       "rows, resident memory and the longest hold-ups of the event loop."),
        {{QStringLiteral("--line"),
          {},
          QStringLiteral("the chart's line series instead of the filled area")}}};
    if (const std::optional<int> answered = answerHelpOrVersion(argc, argv, description))
        return *answered;
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QStringList args = QCoreApplication::arguments().mid(1);
    const bool lineSeries = args.removeAll(QStringLiteral("--line")) > 0;
    const long frames = args.size() > 0 ? args[0].toLong() : 1000000;
    const qint64 limitMs = args.size() > 1 ? args[1].toLongLong() * 1000 : -1;

    CountingDialogs dialogs;
    FixedLocaleService locale;
    TFCOMM window({dialogs, locale, true, [] {}});
    window.show();

    // COM 1 is an in-process port whose driver polls when told to.
    auto *port = new SimulatedSerialPort(QStringLiteral("soak"));
    auto *poll = new ManualWindowTimer;
    window.setSerialPort(std::make_unique<TSerialPortDriver>(std::unique_ptr<SerialPortIo>(port),
                                                             std::unique_ptr<WindowTimer>(poll)));
    TSerialPortDriver &driver = window.serialPort();
    driver.setComPort(TSerialPortDriver::pnCOM1);
    driver.setComPortSpeed(TSerialPortDriver::br2400);
    driver.setComPortPollingDelay(100);
    driver.setPortNameLookup([](TSerialPortDriver::TComPortNumber) { return QStringLiteral("soak"); });
    window.control<QAction>("limitess")->trigger();
    if (lineSeries)
        window.control<QCheckBox>("BtFill")->click();
    window.control<QCheckBox>("RepeatSet")->setChecked(true);
    window.control<QPushButton>("COMCon")->setChecked(true);
    if (!port->isOpen()) {
        std::fprintf(stderr, "the simulated port did not open\n");
        return 1;
    }

    const int linesPerPoll = window.serialPort().ComPortInBufSize() / 14; // all of them fit one read
    long sent = 0;
    constexpr int kWarmUpPolls = 10;
    qint64 worstPollNs = 0, worstLoopNs = 0, warmUpNs = 0;
    long polls = 0, slowPasses = 0;
    const long kMarks[3] = {1000, 100000, 1000000}; // rows
    long residentAtRows[3] = {};
    int marks = 0;
    QElapsedTimer clock, total;
    total.start();
    while (sent < frames && (limitMs < 0 || total.elapsed() < limitMs)) {
        QByteArray chunk;
        for (int i = 0; i < linesPerPoll && sent < frames; ++i)
            chunk += meterLine(sent++);
        port->feed(chunk);
        clock.start();
        poll->fire();
        worstPollNs = qMax(worstPollNs, clock.nsecsElapsed());
        clock.start();
        QCoreApplication::processEvents();
        const qint64 passNs = clock.nsecsElapsed();
        // The first passes show the window and load its fonts: counted apart.
        if (++polls <= kWarmUpPolls)
            warmUpNs = qMax(warmUpNs, passNs);
        else
            worstLoopNs = qMax(worstLoopNs, passNs);
        slowPasses += passNs > 100'000'000;
        while (marks < 3 && window.session().table().rowCount() >= kMarks[marks])
            residentAtRows[marks++] = residentKiB();
    }
    // The last line's CR ends it; the meter's next LF would start the next.
    const int rows = window.session().table().rowCount();
    const double seconds = total.elapsed() / 1000.0;

    std::printf("chart series       %s\n", lineSeries ? "line" : "filled area");
    std::printf("frames sent        %ld\n", sent);
    std::printf("rows recorded      %d%s\n", rows, rows == sent ? "" : "   MISMATCH");
    if (sent < frames)
        std::printf("stopped at the time limit, %ld of %ld frames\n", sent, frames);
    std::printf("record numbers     %d\n", window.measurementLog().RecordNo() - 1);
    const char *labels[] = {"10^3", "10^5", "10^6"};
    for (int i = 0; i < marks; ++i)
        std::printf("resident at %s rows  %ld KiB\n", labels[i], residentAtRows[i]);
    if (marks == 3)
        std::printf("growth per row (10^5 to 10^6)  %.1f bytes\n",
                    (residentAtRows[2] - residentAtRows[1]) * 1024.0 / (1000000 - 100000));
    std::printf("worst poll         %.2f ms (%d lines in one read)\n", worstPollNs / 1e6, linesPerPoll);
    std::printf("worst event loop   %.2f ms (one pass between polls; %.2f ms in the first %d)\n",
                worstLoopNs / 1e6, warmUpNs / 1e6, kWarmUpPolls);
    std::printf("passes over 100 ms %ld of %ld\n", slowPasses, polls);
    std::printf("run                %.1f s, %.0f frames/s\n", seconds, sent / seconds);
    std::printf("error reports      %lld\n", static_cast<long long>(dialogs.errors.size()));
    for (const QString &e : dialogs.errors.mid(0, 10))
        std::printf("  %s\n", qPrintable(e));
    return rows == sent && dialogs.errors.isEmpty() ? 0 : 1;
}
