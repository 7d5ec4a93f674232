#include "program_links.h"

#include "link/hid/hid_platform_fake.h"
#include "link/replay/link_capture.h"
#include "link/replay/replay_serial_port.h"
#include "link/serial/meter_simulator.h"
#include "link/serial/serial_port_driver.h"
#include "link/serial/simulated_serial_port.h"
#include "link/usb/simulated_usb_cable.h"
#include "main_window.h"

#include <QAction>
#include <QMenu>
#include <QMenuBar>

ProgramLinks::ProgramLinks(bool demo) : m_demo(demo) {}

ProgramLinks::~ProgramLinks() = default;

QString ProgramLinks::usage(bool demo)
{
    return demo ? QStringLiteral("usage: halvern-demo [--replay FILE] [--capture FILE]")
                : QStringLiteral("usage: halvern [--capture FILE]");
}

bool ProgramLinks::setUp(const QStringList &arguments, QString &error)
{
    for (int i = 1; i < arguments.size(); ++i) {
        const QString &option = arguments[i];
        const bool known =
            option == QLatin1String("--capture") || (m_demo && option == QLatin1String("--replay"));
        if (!known || i + 1 >= arguments.size()) {
            error = known ? option + QStringLiteral(" needs a file name")
                          : QStringLiteral("unknown option ") + option;
            return false;
        }
        (option == QLatin1String("--capture") ? m_capturePath : m_replayPath) = arguments[++i];
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
            bindSerialReplay(*window.COMM2, m_replay.serialBytes);
        else
            bindMeterSimulator(*window.COMM2);

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
        TSerialPortDriver &driver = *window.COMM2;
        const TSerialPortDriver::TComPortReceiveDataEvent receive = driver.OnReceiveData();
        driver.setOnReceiveData(
            [capture = m_capture, receive](TSerialPortDriver *sender, const char *data, int size) {
                capture->serialBytes(data, size);
                if (receive)
                    receive(sender, data, size);
            });
    }
}
