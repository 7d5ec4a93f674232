#include "serial_frame_assembly.h"

#include <QStringView>

#include <exception>

namespace {

constexpr char kCarriageReturn = 0x0D;
constexpr int kFrameHexMax = 26; // 13 bytes: the line without its first byte

} // namespace

void SerialFrameAssembly::RECEIVE_COM_Data(TSerialPortDriver * /*Sender*/, const char *DataPtr, int DataSize)
{
    receive(DataPtr, DataSize);
}

void SerialFrameAssembly::receive(const char *data, int size)
{
    static constexpr char kDigits[] = "0123456789ABCDEF";
    for (int i = 0; i < size; ++i) {
        const auto byte = static_cast<unsigned char>(data[i]);
        if (m_pendingHex.size() < PendingHexLimit) {
            m_pendingHex += QLatin1Char(kDigits[byte >> 4]);
            m_pendingHex += QLatin1Char(kDigits[byte & 0x0F]);
        }
        if (byte == kCarriageReturn)
            endLine();
    }
}

void SerialFrameAssembly::endLine()
{
    m_frameHex = m_pendingHex.mid(2, kFrameHexMax);
    // Emptied before the handler runs: a frame it cannot decode must not come
    // back at the next carriage return.
    m_pendingHex.clear();
    if (!hasMeterShape() || !m_onFrame)
        return;
    try {
        m_onFrame(m_frameHex);
    } catch (const std::exception &e) {
        if (m_onError)
            m_onError(QString::fromUtf8(e.what()));
    } catch (...) {
        // Whatever it was, the rest of the chunk still has its frames.
        if (m_onError)
            m_onError(QStringLiteral("Unknown error"));
    }
}

bool SerialFrameAssembly::hasMeterShape() const
{
    const QStringView frame(m_frameHex);
    const QStringView sign = frame.left(2);
    if (sign != QLatin1String("2B") && sign != QLatin1String("2D"))
        return false;
    // The carriage return as byte 14 of the line, or as byte 13.
    return frame.mid(24, 2) == QLatin1String("0D") || frame.mid(22, 2) == QLatin1String("0D");
}
