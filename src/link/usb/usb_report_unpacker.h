#pragma once

#include <QString>
#include <QtGlobal>

#include <functional>

// Unpacks the input reports of the meter cable's USB adapter into meter frames. Each report carries a status
// byte whose low nibble counts the meter bytes behind it (1 to 9 count as data); a report without data after
// some data ends the frame:
//
//   F7 2B 30 31 32 33 20 31     data: 7 bytes appended
//   F7 00 00 00 00 00 0D 0A     data: 7 bytes appended
//   F0 00 00 00 00 00 00 00     no data: frame end, FrameHex = the 14 bytes, shape test, decoder
//
// Runs on the main thread; reports are handled one at a time in the order they came.
class UsbReportUnpacker {
public:
    // What a frame end does, after the model switch that attached the handler.
    enum class Variant {
        Morvane, // frame to FrameHex, shape test, decoder
        Semvo,   // frame dropped
        Vostra,  // frame dropped
    };

    // Characters of UsbHexBuffer kept for one frame (two meter lines). The shape test reads characters 1-2
    // and 25-26 and the decoder the first 22, so bytes beyond cannot change a frame's verdict, and a
    // stream that never pauses does not grow memory.
    static constexpr int UsbHexBufferLimit = 56;

    using LineSink = std::function<void(const QString &line)>;
    using FrameSink = std::function<void(const QString &frameHex)>;
    using DecoderCall = std::function<void()>;
    using ErrorSink = std::function<void(const QString &message)>;

    // History line for every data report.
    void setHistorySink(LineSink sink) { m_history = std::move(sink); }
    // Receives FrameHex at every frame end of the Morvane variant, before the shape test.
    void setFrameHexSink(FrameSink sink) { m_frameHex = std::move(sink); }
    // Runs the decoder on the FrameHex just written.
    void setDecoder(DecoderCall decoder) { m_decoder = std::move(decoder); }
    // Gets the message of an exception thrown by the decoder; that frame alone is lost.
    void setErrorSink(ErrorSink sink) { m_error = std::move(sink); }

    // One input report: ReportID, then the Size bytes at Data.
    void handleReport(Variant variant, quint8 ReportID, const quint8 *Data, quint16 Size);

    // "R %.2x  " with the report ID, then "%.2x " for each byte.
    static QString historyText(quint8 ReportID, const quint8 *Data, quint16 Size);
    // The frame's first byte is a sign and its thirteenth a carriage return.
    static bool hasMeterShape(const QString &frameHex);

    const QString &UsbHexBuffer() const { return m_usbHexBuffer; }
    bool UsbFrameOpen() const { return m_usbFrameOpen; }
    int UsbSilenceCount() const { return m_usbSilenceCount; }
    void setUsbSilenceCount(int count) { m_usbSilenceCount = count; }
    int decoderCalls() const { return m_decoderCalls; }
    long long reportsHandled() const { return m_reportsHandled; }

private:
    void endFrame(Variant variant);

    QString m_usbHexBuffer;
    bool m_usbFrameOpen = false;
    int m_usbSilenceCount = 0;
    int m_decoderCalls = 0;
    long long m_reportsHandled = 0;
    LineSink m_history;
    FrameSink m_frameHex;
    DecoderCall m_decoder;
    ErrorSink m_error;
};
