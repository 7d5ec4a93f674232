#include "link/replay/link_capture.h"

bool LinkCapture::open(const QString &path, QString &error)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_file.setFileName(path);
    if (!m_file.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
        error = path + QStringLiteral(": ") + m_file.errorString();
        return false;
    }
    return true;
}

bool LinkCapture::take(LinkRecording::Kind kind)
{
    if (!m_file.isOpen())
        return false;
    if (!m_hasKind) {
        m_hasKind = true;
        m_kind = kind;
        if (kind == LinkRecording::Kind::Reports)
            m_file.write("# HID input reports of the meter cable, report ID first\n");
    }
    return m_kind == kind;
}

void LinkCapture::serialBytes(const char *data, int size)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    if (size > 0 && take(LinkRecording::Kind::SerialBytes)) {
        m_file.write(data, size);
        m_file.flush(); // a session that ends in a crash still leaves its recording
    }
}

void LinkCapture::inputReport(const quint8 *report, int size)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    if (size > 0 && take(LinkRecording::Kind::Reports)) {
        m_file.write(LinkRecording::reportLine(QByteArray(reinterpret_cast<const char *>(report), size)) +
                     '\n');
        m_file.flush();
    }
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
