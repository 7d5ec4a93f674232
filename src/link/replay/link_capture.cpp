#include "link/replay/link_capture.h"

#include <QFile>

#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

qint64 systemWrite(int fd, const char *data, qint64 size)
{
    return ::write(fd, data, size_t(size));
}

} // namespace

LinkCapture::LinkCapture(Writer writer) : m_writer(writer ? std::move(writer) : Writer(&systemWrite)) {}

LinkCapture::~LinkCapture()
{
    if (m_fd >= 0)
        ::close(m_fd);
}

bool LinkCapture::open(const QString &path, QString &error)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    const auto refuse = [&](const QString &reason) {
        error = path + QStringLiteral(": ") + reason;
        return false;
    };
    // Not truncated before it is known to be a regular file; non-blocking, so that a pipe without a reader
    // refuses at once instead of waiting.
    const int fd = ::open(QFile::encodeName(path).constData(),
                          O_WRONLY | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0666);
    const QString notFile = QStringLiteral("The name is a device or a pipe, not a file.");
    if (fd < 0) {
        const int code = errno;
        if (code == ELOOP)
            return refuse(QStringLiteral("The name is a symbolic link; a capture does not follow it."));
        return refuse(code == ENXIO ? notFile : QString::fromLocal8Bit(std::strerror(code)) + '.');
    }
    struct stat info {};
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        ::close(fd);
        return refuse(notFile);
    }
    if (::ftruncate(fd, 0) != 0) {
        const int code = errno;
        ::close(fd);
        return refuse(QString::fromLocal8Bit(std::strerror(code)) + '.');
    }
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    if (m_fd >= 0)
        ::close(m_fd);
    m_fd = fd;
    m_path = path;
    return true;
}

bool LinkCapture::isOpen() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_fd >= 0;
}

void LinkCapture::setOnFailure(std::function<void(const QString &)> onFailure)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_onFailure = std::move(onFailure);
}

bool LinkCapture::take(LinkRecording::Kind kind)
{
    if (m_fd < 0 || m_ended)
        return false;
    if (!m_hasKind) {
        m_hasKind = true;
        m_kind = kind;
        if (kind == LinkRecording::Kind::Reports) {
            static const char kHeader[] = "# HID input reports of the meter cable, report ID first\n";
            write(kHeader, qsizetype(sizeof kHeader - 1));
        }
    }
    return m_kind == kind;
}

// Straight to the file, without a buffer of the process: a session that ends in a crash still leaves its
// recording.
void LinkCapture::write(const char *data, qsizetype size)
{
    m_pending.append(data, size);
    qsizetype done = 0;
    while (done < m_pending.size()) {
        const qint64 wrote = m_writer(m_fd, m_pending.constData() + done, m_pending.size() - done);
        if (wrote < 0 && errno == EINTR)
            continue;
        if (wrote <= 0) {
            fail(wrote < 0 ? errno : ENOSPC);
            break;
        }
        done += wrote;
    }
    m_pending.remove(0, done);
    if (m_pending.size() > MaxPendingBytes) {
        m_ended = true;
        m_pending.clear();
        m_pending.squeeze();
    }
}

void LinkCapture::fail(int error)
{
    if (m_told)
        return;
    m_told = true;
    if (m_onFailure)
        m_onFailure(
            QStringLiteral("Cannot write the capture %1: %2. What could not be written waits in memory "
                           "(up to %3 MiB) and goes to the file once there is room; beyond that "
                           "the capture ends there.")
                .arg(m_path, QString::fromLocal8Bit(std::strerror(error)))
                .arg(MaxPendingBytes >> 20));
}

void LinkCapture::serialBytes(const char *data, int size)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    if (size > 0 && take(LinkRecording::Kind::SerialBytes))
        write(data, size);
}

void LinkCapture::inputReport(const quint8 *report, int size)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    if (size > 0 && take(LinkRecording::Kind::Reports)) {
        const QByteArray line =
            LinkRecording::reportLine(QByteArray(reinterpret_cast<const char *>(report), size)) + '\n';
        write(line.constData(), line.size());
    }
}

qsizetype LinkCapture::pendingBytes() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_pending.size();
}

bool LinkCapture::hasKind() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_hasKind;
}

LinkRecording::Kind LinkCapture::kind() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_kind;
}

HidReadResult CapturingHidPlatform::read(HidHandle &handle, quint8 *buffer, int length, int timeout,
                                         int &bytesRead)
{
    const HidReadResult result = m_inner->read(handle, buffer, length, timeout, bytesRead);
    if (result == HidReadResult::Completed && bytesRead > 0)
        m_capture->inputReport(buffer, bytesRead);
    return result;
}
