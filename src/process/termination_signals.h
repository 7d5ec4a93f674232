#pragma once

#include <QObject>

#include <functional>

class QSocketNotifier;

// Turns SIGTERM, SIGINT and SIGHUP (logout, shutdown, kill, a closed
// terminal) into a call on the main thread, so that the program ends
// through its event loop and every destructor runs: the port closes, its
// lock file goes, the HID devices are released. The signal handler only
// writes the signal number into a pipe; a socket notifier reads it.
// One instance at a time; the previous handlers come back when it dies.
class TerminationSignals : public QObject {
    Q_OBJECT

public:
    explicit TerminationSignals(std::function<void(int signal)> onSignal, QObject *parent = nullptr);
    ~TerminationSignals() override;

    bool isActive() const { return m_notifier != nullptr; }

private:
    void readPipe();

    std::function<void(int)> m_onSignal;
    QSocketNotifier *m_notifier = nullptr;
    int m_pipe[2] = {-1, -1};
    bool m_installed[3] = {};
};
