#pragma once

#include "link/hid/hid_platform.h"
#include "link/hid/hid_semaphore.h"

#include <QByteArray>
#include <QList>

#include <atomic>
#include <condition_variable>
#include <deque>
#include <map>
#include <mutex>

// One scripted device of FakeHidPlatform.
struct FakeHidDevice {
    QString identity;
    QString path;
    HidAttributes attributes;
    QString product;
    QString serial;
    std::optional<QString> languageList; // nullopt: the platform cannot read it
    int inputReportLength = 9;           // counting the report ID byte
    bool openable = true;                // can be opened at all (for queries)
    bool readWrite = true;               // can be opened for reading and writing
    bool identifiable = true;            // its attributes can be read
    bool acceptsFeatures = true;
};

// A HID layer for tests: scripted devices, input reports, read failures and plug events. The reads block
// like real ones, up to their time slice, so the reader threads run as they do on a system.
class FakeHidPlatform : public HidPlatform {
public:
    static constexpr quint32 NotConnected =
        1167; // the error code of reads and opens of a device that is gone
    static constexpr quint32 AccessDenied = 5;

    // Scripting, main thread. plug() and unplug() change what the next enumeration lists; the change
    // notification is separate, as on a real system.
    void setAvailable(bool available) { m_available = available; }
    void plug(const FakeHidDevice &device);
    void unplug(const QString &identity);
    void notifyChange();
    bool watching() const { return static_cast<bool>(m_onChange); }
    // An input report as the reader receives it: report ID byte first. An empty report completes a read
    // with 0 bytes.
    void queueReport(const QString &identity, const QByteArray &report);
    // A report whose read completes only once the reader was asked to end, as one that comes in during a
    // stop.
    void queueLateReport(const QString &identity, const QByteArray &report);
    // A read that completes with a failure.
    void queueReadFailure(const QString &identity);
    // Waits until a reader has taken a queued report or failure; false after timeout milliseconds.
    bool waitReportTaken(int timeout);
    QList<QByteArray> features(const QString &identity) const;
    int openHandles() const { return m_openHandles; }
    // A handle for reading input reports is open on the device: a reader is reading it.
    bool readerAttached(const QString &identity) const;
    // Reports and failures queued for the device that no reader took yet.
    int pendingInputs(const QString &identity) const;
    int enumerations() const { return m_enumerations; }

    bool isAvailable() const override { return m_available; }
    std::vector<HidInterface> enumerate() override;
    std::unique_ptr<HidHandle> open(const QString &path, HidAccess access) override;
    bool attributes(HidHandle &handle, HidAttributes &out) override;
    bool capabilities(HidHandle &handle, HidCapabilities &out) override;
    bool productString(HidHandle &handle, QString &out) override;
    bool serialNumberString(HidHandle &handle, QString &out) override;
    std::optional<QString> languageList(HidHandle &handle) override;
    bool sendFeature(HidHandle &handle, const quint8 *report, int length) override;
    HidReadResult read(HidHandle &handle, quint8 *buffer, int length, int timeout, int &bytesRead) override;
    quint32 lastError() const override;
    quint32 deviceGoneError() const override { return NotConnected; }
    QString identityOfPath(const QString &path) override;
    void watchDeviceChanges(std::function<void()> onChange) override { m_onChange = std::move(onChange); }

private:
    struct Input {
        QByteArray report;
        bool failure = false;
        bool late = false;
    };
    void queueInput(const QString &identity, const Input &input);
    struct Entry {
        FakeHidDevice device;
        quint64 generation = 0;
        QList<QByteArray> features;
        std::deque<Input> inputs;
    };
    class Handle;
    void readHandleClosed(const QString &identity);

    // The entry a handle was opened on, or null once that device was unplugged. Called with m_mutex held.
    Entry *entryOf(HidHandle &handle);
    bool deviceString(HidHandle &handle, QString FakeHidDevice::*field, QString &out);

    mutable std::mutex m_mutex;
    std::condition_variable m_inputArrived;
    HidSemaphore m_taken;
    std::map<QString, Entry> m_entries; // by identity
    std::vector<QString> m_order;       // identities in enumeration order
    quint64 m_generation = 0;
    bool m_available = true;
    std::function<void()> m_onChange;
    std::atomic<int> m_openHandles{0};
    std::map<QString, int> m_readHandles; // by identity
    int m_enumerations = 0;
};
