#pragma once

#include "command_line.h"
#include "link/replay/link_recording.h"

#include <QString>
#include <QStringList>

#include <memory>

class FakeHidPlatform;
class HidPlatform;
class LinkCapture;
class MeterSimulator;
class SimulatedUsbCable;
class TFCOMM;

// The links a run of the program uses, from its command line:
//
//   --demo           the program only: runs as the demo
//   --capture FILE   writes the session's raw link traffic to FILE (program and demo)
//   --replay FILE    demo: plays FILE instead of the simulated meter on its link
//
// The demo has a simulated meter on COM1 and a simulated USB cable with a meter of its own.
class ProgramLinks {
public:
    explicit ProgramLinks(bool demo);
    ~ProgramLinks();
    ProgramLinks(const ProgramLinks &) = delete;
    ProgramLinks &operator=(const ProgramLinks &) = delete;

    // The command line of the program (halvern) or of the demo (halvern-demo).
    static CommandLineDescription description(bool demo);
    static QString usage(bool demo) { return usageLine(description(demo)); }

    // Reads the options (the program's name first) and prepares what they ask for; false with a message.
    bool setUp(const QStringList &arguments, QString &error);
    // The HID layer for the window; null for the system's.
    std::shared_ptr<HidPlatform> hidPlatform() const { return m_hidPlatform; }
    // Binds the window's serial port and capture, and adds the demo's menu.
    void attach(TFCOMM &window);

    bool isDemo() const { return m_demo; }

    SimulatedUsbCable *cable() const { return m_cable.get(); }
    const QString &capturePath() const { return m_capturePath; }
    const QString &replayPath() const { return m_replayPath; }

private:
    bool m_demo;
    QString m_capturePath;
    QString m_replayPath;
    LinkRecording m_replay;
    std::shared_ptr<LinkCapture> m_capture;
    std::shared_ptr<FakeHidPlatform> m_fakeHid;
    std::unique_ptr<SimulatedUsbCable> m_cable;
    std::unique_ptr<MeterSimulator> m_cableMeter;
    std::shared_ptr<HidPlatform> m_hidPlatform;
};
