#pragma once

#include <QByteArray>
#include <QList>

// Packs serial bytes into input reports the way the meter cable's adapter does: report ID 0, a status byte
// F0 + n, then n meter bytes (at most 7) padded with zeros to nine bytes in all; a report without data
// (F0) when nothing waits.
class UsbCableEncoder {
public:
    static constexpr int ReportLength = 9;  // bytes, counting the report ID
    static constexpr int MaxBytes = 7;      // meter bytes a report carries
    static constexpr int MaxPending = 4096; // bytes; what arrives beyond is lost, as in the adapter's buffer

    // Bytes the adapter received on its serial side.
    void feed(const QByteArray &bytes);
    // The next report: data while bytes wait, else one without data.
    QByteArray nextReport();
    int pending() const { return static_cast<int>(m_pending.size()); }

    // The reports of a serial stream sent line by line (a line ends after its LF) as the meter sends them:
    // each line in one run of data reports, followed by one report without data.
    static QList<QByteArray> reportsOfLines(const QByteArray &stream);

private:
    QByteArray m_pending;
};
