#include "program_links.h"

#include "error_report.h"
#include "link/hid/hid_platform_fake.h"
#include "link/replay/link_capture.h"
#include "link/replay/replay_serial_port.h"
#include "link/serial/meter_simulator.h"
#include "link/serial/serial_port_driver.h"
#include "link/serial/simulated_serial_port.h"
#include "link/usb/simulated_usb_cable.h"
#include "main_window.h"

#include <QAction>
#include <QApplication>
#include <QMenu>
#include <QMenuBar>
#include <QPointer>

#include <algorithm>

ProgramLinks::ProgramLinks(bool demo) : m_demo(demo) {}

ProgramLinks::~ProgramLinks() = default;

CommandLineDescription ProgramLinks::description(bool demo)
{
    const CommandLineOption replay{
        QStringLiteral("--replay"), QStringLiteral("FILE"),
        QStringLiteral(
            "%1plays FILE, a capture (raw serial bytes or USB input reports as hex lines), once on "
            "the link it was taken from when that link connects")
            .arg(demo ? QString() : QStringLiteral("with --demo: "))};
    const CommandLineOption capture{QStringLiteral("--capture"), QStringLiteral("FILE"),
                                    QStringLiteral("writes the raw traffic of the session's link to FILE")};
    if (demo)
        return {QStringLiteral("halvern-demo"),
                {},
                QStringLiteral("The multimeter interface with a simulated meter on COM 1 and a simulated USB "
                               "cable, for trying it without a meter."),
                {replay, capture}};
    return {
        QStringLiteral("halvern"),
        {},
        QStringLiteral("The PC interface of the handheld digital multimeter: reads the meter through a "
                       "serial port or its USB cable, shows its display, judges and records the readings."),
        {{QStringLiteral("--demo"),
          {},
          QStringLiteral("runs as the demo: a simulated meter on COM 1 and a simulated USB cable")},
         replay,
         capture}};
}

bool ProgramLinks::setUp(const QStringList &arguments, QString &error)
{
    const QList<CommandLineOption> known = description(m_demo).options;
    for (int i = 1; i < arguments.size(); ++i) {
        const QString &name = arguments[i];
        const auto option = std::find_if(known.begin(), known.end(),
                                         [&name](const CommandLineOption &o) { return o.name == name; });
        if (option == known.end()) {
            error = QStringLiteral("unknown option ") + name;
            return false;
        }
        if (option->valueName.isEmpty()) { // --demo, the one switch
            m_demo = true;
            continue;
        }
        if (i + 1 >= arguments.size()) {
            error = name + QStringLiteral(" needs a file name");
            return false;
        }
        (name == QLatin1String("--capture") ? m_capturePath : m_replayPath) = arguments[++i];
    }
    if (!m_replayPath.isEmpty() && !m_demo) {
        error = QStringLiteral("--replay plays in the demo only (add --demo)");
        return false;
    }
    if (!m_replayPath.isEmpty() && !LinkRecording::load(m_replayPath, m_replay, error))
        return false;
    if (!m_capturePath.isEmpty()) {
        m_capture = std::make_shared<LinkCapture>();
        if (!m_capture->open(m_capturePath, error))
            return false;
    }
    if (m_demo) {
        m_fakeHid = std::make_shared<FakeHidPlatform>();
        m_cable = std::make_unique<SimulatedUsbCable>(m_fakeHid);
        if (!m_replayPath.isEmpty() && m_replay.kind == LinkRecording::Kind::Reports) {
            m_cable->setReplay(m_replay.reports);
        } else {
            m_cableMeter =
                std::make_unique<MeterSimulator>([this](const QByteArray &line) { m_cable->feed(line); });
            m_cableMeter->start();
        }
        m_hidPlatform = m_fakeHid;
    }
    if (m_capture)
        m_hidPlatform = std::make_shared<CapturingHidPlatform>(
            m_hidPlatform ? m_hidPlatform : createSystemHidPlatform(), m_capture);
    return true;
}

void ProgramLinks::attach(TFCOMM &window)
{
    if (m_demo) {
        if (!m_replayPath.isEmpty() && m_replay.kind == LinkRecording::Kind::SerialBytes)
            bindSerialReplay(window.serialPort(), m_replay.serialBytes);
        else
            bindMeterSimulator(window.serialPort());

        QMenu *menu = window.menuBar()->addMenu(QStringLiteral("Demo"));
        QAction *pull = menu->addAction(QStringLiteral("Pull the USB cable"));
        pull->setShortcut(Qt::Key_F9);
        QObject::connect(pull, &QAction::triggered, &window, [this, pull] {
            m_cable->togglePlug();
            pull->setText(m_cable->isPlugged() ? QStringLiteral("Pull the USB cable")
                                               : QStringLiteral("Plug in the USB cable"));
        });
    }
    if (m_capture) {
        // Reports are written on the reader threads; the box opens on the main thread, while the window
        // lives.
        m_capture->setOnFailure([target = QPointer<TFCOMM>(&window)](const QString &message) {
            QMetaObject::invokeMethod(
                qApp,
                [target, message] {
                    if (target)
                        target->errorReport().report(message);
                },
                Qt::QueuedConnection);
        });
        TSerialPortDriver &driver = window.serialPort();
        const TSerialPortDriver::TComPortReceiveDataEvent receive = driver.OnReceiveData();
        driver.setOnReceiveData(
            [capture = m_capture, receive](TSerialPortDriver *sender, const char *data, int size) {
                capture->serialBytes(data, size);
                if (receive)
                    receive(sender, data, size);
            });
    }
}
