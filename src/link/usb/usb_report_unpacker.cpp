#include "link/usb/usb_report_unpacker.h"

#include <QStringView>

#include <exception>
#include <utility>

namespace {

constexpr char kDigits[] = "0123456789ABCDEF";

void appendHex(QString &text, quint8 byte)
{
    text += QLatin1Char(kDigits[byte >> 4]);
    text += QLatin1Char(kDigits[byte & 0x0F]);
}

constexpr int kStatusDigit = 7;    // index of the status byte's low digit in the history text
constexpr int kFirstMeterByte = 9; // index of the first meter byte's digits

} // namespace

QString UsbReportUnpacker::historyText(quint8 ReportID, const quint8 *Data, quint16 Size)
{
    QString text = QStringLiteral("R ");
    text.reserve(6 + 3 * Size);
    appendHex(text, ReportID);
    text += QLatin1String("  ");
    for (int i = 0; i < Size; ++i) {
        appendHex(text, Data[i]);
        text += QLatin1Char(' ');
    }
    return text;
}

bool UsbReportUnpacker::hasMeterShape(const QString &frameHex)
{
    const QStringView frame(frameHex);
    const QString shape = frame.left(2).toString() + frame.mid(24, 2).toString();
    return shape == QLatin1String("2B0D") || shape == QLatin1String("2D0D");
}

void UsbReportUnpacker::handleReport(Variant variant, quint8 ReportID, const quint8 *Data, quint16 Size)
{
    ++m_reportsHandled;
    const QString text = historyText(ReportID, Data, Size);
    const bool hasStatus = text.size() > kStatusDigit;
    if (hasStatus)
        ++m_usbSilenceCount;
    const QChar status = hasStatus ? text[kStatusDigit] : QChar();
    if (status >= QLatin1Char('1') && status <= QLatin1Char('9')) {
        m_usbSilenceCount = 0;
        m_usbFrameOpen = true;
        const int count = status.digitValue();
        for (int k = 0; k < count; ++k) {
            const int at = kFirstMeterByte + 3 * k;
            if (at + 2 > text.size())
                break; // the report holds fewer bytes than its status says
            if (m_usbHexBuffer.size() < UsbHexBufferLimit)
                m_usbHexBuffer += QStringView(text).mid(at, 2);
        }
        if (m_history)
            m_history(text);
        return;
    }
    if (m_usbFrameOpen)
        endFrame(variant);
    m_usbFrameOpen = false;
}

void UsbReportUnpacker::endFrame(Variant variant)
{
    // Emptied and closed before the decoder runs: a frame it cannot decode must not come back joined to
    // the next one.
    const QString frame = std::exchange(m_usbHexBuffer, QString());
    m_usbFrameOpen = false;
    if (variant != Variant::Morvane)
        return; // no decoder exists for these meter types
    if (m_frameHex)
        m_frameHex(frame);
    if (!hasMeterShape(frame) || !m_decoder)
        return;
    ++m_decoderCalls;
    try {
        m_decoder();
    } catch (const std::exception &e) {
        if (m_error)
            m_error(QString::fromUtf8(e.what()));
    }
}
