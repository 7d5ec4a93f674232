#include "meter_simulator.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

MeterSimulator::MeterSimulator(LineSink sink, std::unique_ptr<WindowTimer> timer, QVector<MeterFace> script)
    : m_sink(std::move(sink)), m_timer(std::move(timer)), m_script(std::move(script))
{
    m_timer->setOnTimeout([this] { sendNext(); });
}

void MeterSimulator::start()
{
    m_timer->start(LineIntervalMs);
}

void MeterSimulator::stop()
{
    m_timer->stop();
}

void MeterSimulator::sendNext()
{
    if (m_script.isEmpty())
        return;
    const QByteArray line = meterLine(m_script.at(m_position));
    m_position = (m_position + 1) % int(m_script.size());
    if (m_sink && !line.isEmpty())
        m_sink(line);
}

DeviceLineWriter::~DeviceLineWriter()
{
    close();
}

namespace {

// Without this a terminal would turn every LF into CR LF, and echo.
void makeRaw(int fd)
{
    termios tio{};
    if (::tcgetattr(fd, &tio) != 0)
        return;
    ::cfmakeraw(&tio);
    ::cfsetispeed(&tio, B2400);
    ::cfsetospeed(&tio, B2400);
    ::tcsetattr(fd, TCSANOW, &tio);
}

QString systemError()
{
    return QString::fromLocal8Bit(std::strerror(errno));
}

} // namespace

bool DeviceLineWriter::open(const QString &path)
{
    close();
    const int fd = ::open(path.toLocal8Bit().constData(), O_WRONLY | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        m_error = systemError();
        return false;
    }
    if (::isatty(fd))
        makeRaw(fd);
    m_fd = fd;
    m_error.clear();
    return true;
}

bool DeviceLineWriter::openPseudoTerminal()
{
    close();
    int master = -1;
    int port = -1;
    char name[256] = {};
    if (::openpty(&master, &port, name, nullptr, nullptr) != 0) {
        m_error = systemError();
        return false;
    }
    makeRaw(port);
    ::fcntl(master, F_SETFL, ::fcntl(master, F_GETFL) | O_NONBLOCK);
    ::fcntl(master, F_SETFD, FD_CLOEXEC);
    ::fcntl(port, F_SETFD, FD_CLOEXEC);
    m_fd = master;
    m_portFd = port;
    m_portPath = QString::fromLocal8Bit(name);
    m_error.clear();
    return true;
}

void DeviceLineWriter::close()
{
    if (m_fd >= 0)
        ::close(m_fd);
    if (m_portFd >= 0)
        ::close(m_portFd);
    m_fd = -1;
    m_portFd = -1;
    m_portPath.clear();
}

bool DeviceLineWriter::write(const QByteArray &bytes)
{
    if (m_fd < 0)
        return false;
    qsizetype done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(m_fd, bytes.constData() + done, size_t(bytes.size() - done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            m_error = n < 0 ? systemError() : QStringLiteral("device took nothing");
            return false;
        }
        done += n;
    }
    return true;
}
