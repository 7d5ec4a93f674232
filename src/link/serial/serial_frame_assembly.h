#pragma once

#include <QString>

#include <functional>

class TSerialPortDriver;

// Cuts the serial byte stream into the meter's lines. Each byte goes into
// PendingHex as two hex digits; a carriage return ends the line, whose bytes
// from the second on become FrameHex. Lines of the meter's shape go to the
// frame handler, one call per line, before the next byte is looked at:
//
//   byte 1       anything (the line feed that ended the previous line)
//   byte 2       sign, '+' or '-'
//   bytes 3..13  payload, CR as byte 14      (FrameHex: 26 characters)
//   bytes 3..12  payload, CR as byte 13      (FrameHex: 24 characters)
//
// Other lines are dropped without a word.
class SerialFrameAssembly {
public:
    using FrameHandler = std::function<void(const QString &frameHex)>;
    using ErrorHandler = std::function<void(const QString &message)>;

    // Characters of PendingHex kept for one line (15 bytes). Whatever a longer
    // line holds beyond this cannot change its verdict, so noise without a
    // carriage return does not grow memory.
    static constexpr int PendingHexLimit = 30;

    void setFrameHandler(FrameHandler handler) { m_onFrame = std::move(handler); }
    // Gets the message of an exception thrown by the frame handler; that
    // frame alone is lost.
    void setErrorHandler(ErrorHandler handler) { m_onError = std::move(handler); }

    // Fits TSerialPortDriver::OnReceiveData.
    void RECEIVE_COM_Data(TSerialPortDriver *Sender, const char *DataPtr, int DataSize);
    void receive(const char *data, int size);

    const QString &PendingHex() const { return m_pendingHex; }
    const QString &FrameHex() const { return m_frameHex; }

private:
    void endLine();
    bool hasMeterShape() const;

    QString m_pendingHex;
    QString m_frameHex;
    FrameHandler m_onFrame;
    ErrorHandler m_onError;
};
