// The real program, started by tests as a child process.
//
//   halvern-test-child DEVICE
//       the program as it starts, COM 1 standing for DEVICE and connected;
//       prints "ready open" once the window shows
//   halvern-test-child --journal FOLDER FLUSHED PENDING
//       the window with its session journal in FOLDER records FLUSHED rows,
//       flushes the journal, records PENDING rows more, prints "ready" and
//       waits to be killed
#include "app/main_window.h"
#include "app/program.h"
#include "fake_dialogs.h"
#include "link/serial/serial_port_driver.h"
#include "meter/frame_builder.h"
#include "meter/locale_service.h"
#include "record/window_timer.h"

#include <QApplication>
#include <QHash>
#include <QPushButton>
#include <QTimer>

#include <cstdio>
#include <unistd.h>

namespace {

QString frameFor(int n)
{
    const QByteArray digits = QByteArray::number(1000 + n % 3000);
    return frameHex('+', digits.constData(), '1', Bits::Auto8 | Bits::Dc8, 0, 0, Bits::Volt11);
}

int recordAndWait(int argc, char *argv[])
{
    QApplication app(argc, argv);
    FakeDialogs dialogs;
    FixedLocaleService locale;
    QHash<QString, ManualWindowTimer *> timers;
    WindowServices services{dialogs, locale, true, [] {}};
    services.makeTimer = [&timers](const QString &name, int intervalMs, bool enabled) {
        auto timer = std::make_unique<ManualWindowTimer>(intervalMs, enabled);
        timers.insert(name, timer.get());
        return timer;
    };
    services.journalFolder = QString::fromLocal8Bit(argv[2]);
    TFCOMM window(services);
    const int flushed = std::atoi(argv[3]);
    const int pending = std::atoi(argv[4]);
    for (int n = 0; n < flushed; ++n)
        window.frameReceived(frameFor(n));
    timers.value(QStringLiteral("JournalTimer"))->fire();
    for (int n = flushed; n < flushed + pending; ++n)
        window.frameReceived(frameFor(n));
    std::printf("ready\n");
    std::fflush(stdout);
    for (;;)
        ::pause();
}

} // namespace

int main(int argc, char *argv[])
{
    if (argc == 5 && qstrcmp(argv[1], "--journal") == 0)
        return recordAndWait(argc, argv);
    const QString device = argc > 1 ? QString::fromLocal8Bit(argv[argc - 1]) : QString();
    int programArgc = 1; // the program's own options stay unset
    return runProgram(programArgc, argv, false, [device](TFCOMM &window) {
        if (!device.isEmpty()) {
            window.serialPort().setPortNameLookup(
                [device](TSerialPortDriver::TComPortNumber) { return device; });
            window.control<QPushButton>("COMCon")->setChecked(true);
        }
        QTimer::singleShot(0, &window, [&window] {
            std::printf("ready %s\n", window.serialPort().IsOpen() ? "open" : "closed");
            std::fflush(stdout);
        });
    });
}
