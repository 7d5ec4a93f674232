#include "link/usb/usb_cable_encoder.h"

void UsbCableEncoder::feed(const QByteArray &bytes)
{
    m_pending += bytes.left(MaxPending - m_pending.size());
}

QByteArray UsbCableEncoder::nextReport()
{
    const QByteArray bytes = m_pending.left(MaxBytes);
    m_pending.remove(0, bytes.size());
    QByteArray report(ReportLength, '\0');
    report[1] = char(0xF0 | bytes.size());
    report.replace(2, bytes.size(), bytes);
    return report;
}

QList<QByteArray> UsbCableEncoder::reportsOfLines(const QByteArray &stream)
{
    QList<QByteArray> reports;
    UsbCableEncoder encoder;
    qsizetype at = 0;
    while (at < stream.size()) {
        const qsizetype lf = stream.indexOf('\n', at);
        const qsizetype end = lf < 0 ? stream.size() : lf + 1;
        encoder.feed(stream.mid(at, end - at));
        while (encoder.pending() > 0)
            reports << encoder.nextReport();
        reports << encoder.nextReport();
        at = end;
    }
    return reports;
}
