#include "termination_signals.h"

#include <QSocketNotifier>

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

const int kSignals[3] = {SIGTERM, SIGINT, SIGHUP};
volatile std::sig_atomic_t g_writeEnd = -1;
struct sigaction g_previous[3];

// Async-signal-safe: write() and errno only.
extern "C" void onTerminationSignal(int signal)
{
    const int savedErrno = errno;
    const unsigned char number = static_cast<unsigned char>(signal);
    if (g_writeEnd >= 0) [[maybe_unused]]
        const ssize_t written = ::write(g_writeEnd, &number, 1);
    errno = savedErrno;
}

} // namespace

TerminationSignals::TerminationSignals(std::function<void(int)> onSignal, QObject *parent)
    : QObject(parent), m_onSignal(std::move(onSignal))
{
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0, m_pipe) != 0)
        return; // without the pipe the signals keep their default action
    g_writeEnd = m_pipe[0];
    m_notifier = new QSocketNotifier(m_pipe[1], QSocketNotifier::Read, this);
    connect(m_notifier, &QSocketNotifier::activated, this, &TerminationSignals::readPipe);

    struct sigaction action = {};
    action.sa_handler = onTerminationSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (int i = 0; i < 3; ++i)
        m_installed[i] = ::sigaction(kSignals[i], &action, &g_previous[i]) == 0;
}

TerminationSignals::~TerminationSignals()
{
    for (int i = 0; i < 3; ++i)
        if (m_installed[i])
            ::sigaction(kSignals[i], &g_previous[i], nullptr);
    g_writeEnd = -1;
    delete m_notifier;
    for (int fd : m_pipe)
        if (fd >= 0)
            ::close(fd);
}

void TerminationSignals::readPipe()
{
    unsigned char numbers[16];
    ssize_t count;
    while ((count = ::read(m_pipe[1], numbers, sizeof numbers)) > 0) {
        for (ssize_t i = 0; i < count; ++i)
            if (m_onSignal)
                m_onSignal(numbers[i]);
    }
}
