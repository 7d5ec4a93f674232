#pragma once

#include "link/hid/hid_platform.h"
#include "link/replay/link_recording.h"

#include <QByteArray>
#include <QString>

#include <functional>
#include <memory>
#include <mutex>

// Writes the raw link traffic of a session to a file that LinkRecording reads back: the serial bytes as they
// were received, or the HID input reports as report lines. The first link that delivers traffic sets the
// format; traffic of the other link is left out, so the file always replays as one recording. Serial bytes
// come on the main thread, reports on the reader threads.
//
// The file is a regular file reached without a symbolic link in its last step. Every write is checked; the
// first that fails is told once through onFailure (from the thread that wrote). What could not be written
// waits in memory, up to MaxPendingBytes, and goes out with the next traffic once there is room again; past
// that bound the capture ends where the file ends.
class LinkCapture {
public:
    static constexpr qsizetype MaxPendingBytes = 1 << 20;

    // Writes what it can of the bytes to the file descriptor: how many, or -1 with errno set. The seam for
    // a disk that fills; ::write by default.
    using Writer = std::function<qint64(int fd, const char *data, qint64 size)>;

    explicit LinkCapture(Writer writer = {});
    ~LinkCapture();
    LinkCapture(const LinkCapture &) = delete;
    LinkCapture &operator=(const LinkCapture &) = delete;

    // False with a message when the file cannot be created, is a link or is no regular file.
    bool open(const QString &path, QString &error);
    bool isOpen() const;
    // Called once, with a message for the user, when a write first fails.
    void setOnFailure(std::function<void(const QString &message)> onFailure);

    void serialBytes(const char *data, int size);
    void inputReport(const quint8 *report, int size);

    // The format taken, once traffic came.
    bool hasKind() const;
    LinkRecording::Kind kind() const;
    // Bytes that wait for room on the disk.
    qsizetype pendingBytes() const;

private:
    bool take(LinkRecording::Kind kind);          // with m_mutex held
    void write(const char *data, qsizetype size); // with m_mutex held
    void fail(int error);                         // with m_mutex held

    mutable std::mutex m_mutex;
    Writer m_writer;
    QString m_path;
    int m_fd = -1;
    QByteArray m_pending;
    bool m_ended = false; // the pending bytes overflowed: nothing more is written
    bool m_told = false;
    std::function<void(const QString &)> m_onFailure;
    bool m_hasKind = false;
    LinkRecording::Kind m_kind = LinkRecording::Kind::SerialBytes;
};

// A HID platform that hands every input report its reads deliver to a capture as well.
class CapturingHidPlatform : public HidPlatform {
public:
    CapturingHidPlatform(std::shared_ptr<HidPlatform> inner, std::shared_ptr<LinkCapture> capture)
        : m_inner(std::move(inner)), m_capture(std::move(capture))
    {
    }

    bool isAvailable() const override { return m_inner->isAvailable(); }
    std::vector<HidInterface> enumerate() override { return m_inner->enumerate(); }
    std::unique_ptr<HidHandle> open(const QString &path, HidAccess access) override
    {
        return m_inner->open(path, access);
    }
    bool attributes(HidHandle &handle, HidAttributes &out) override
    {
        return m_inner->attributes(handle, out);
    }
    bool capabilities(HidHandle &handle, HidCapabilities &out) override
    {
        return m_inner->capabilities(handle, out);
    }
    bool productString(HidHandle &handle, QString &out) override
    {
        return m_inner->productString(handle, out);
    }
    bool serialNumberString(HidHandle &handle, QString &out) override
    {
        return m_inner->serialNumberString(handle, out);
    }
    std::optional<QString> languageList(HidHandle &handle) override { return m_inner->languageList(handle); }
    bool sendFeature(HidHandle &handle, const quint8 *report, int length) override
    {
        return m_inner->sendFeature(handle, report, length);
    }
    HidReadResult read(HidHandle &handle, quint8 *buffer, int length, int timeout, int &bytesRead) override;
    quint32 lastError() const override { return m_inner->lastError(); }
    QString errorText(quint32 code) const override { return m_inner->errorText(code); }
    void watchDeviceChanges(std::function<void()> onChange) override
    {
        m_inner->watchDeviceChanges(std::move(onChange));
    }

private:
    std::shared_ptr<HidPlatform> m_inner;
    std::shared_ptr<LinkCapture> m_capture;
};
