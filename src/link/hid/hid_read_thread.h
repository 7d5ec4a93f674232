#pragma once

#include "link/hid/hid_platform.h"
#include "link/hid/hid_semaphore.h"
#include "link/hid/hid_types.h"

#include <QThread>

#include <atomic>
#include <memory>
#include <vector>

class THidDevice;

// Fetches the input reports of one claimed device, one at a time, and hands each report and each read
// error to the main thread, waiting there until the handler has returned. The object itself lives on the
// main thread.
class THidDeviceReadThread : public QThread {
public:
    THidDeviceReadThread(THidDevice *device, int reportLength);
    ~THidDeviceReadThread() override;

    // Main thread: asks the reader to end and waits for it, serving its pending hand-over meanwhile.
    // Returns false when called from inside this reader's own hand-over: the reader then ends as soon as
    // that hand-over returns and deletes itself.
    bool Stop();
    // A report or read error waits for the main thread to take it.
    bool HandOverPending() const { return m_pending; }

    quint32 ErrorCode = 0;
    THidDevice *const Device; // not owned
    quint32 BytesRead = 0;
    std::vector<quint8> Report;

protected:
    void run() override;

private:
    enum class HandOverKind { Data, Error };

    bool BeginRead();
    HidReadResult AwaitRead(int &bytesRead);
    void HandOver(HandOverKind kind);
    void ServeQueued();
    void Serve();

    const std::shared_ptr<HidPlatform> m_platform;
    const QString m_path;
    const QString m_identity;
    const THidErrorReportPtr m_errorReport;
    std::unique_ptr<HidHandle> m_readHandle; // touched by the reader thread only
    bool m_foreign = false;                  // reader thread: the path now opens another device

    // Hand-over: the reader publishes m_kind and m_pending, wakes a waiting Stop() through m_wake, posts the
    // serving to the main thread and waits on m_done. Either path serves it, whichever comes first.
    HandOverKind m_kind = HandOverKind::Data;
    std::atomic<bool> m_pending{false};
    std::atomic<bool> m_ended{false};
    HidSemaphore m_wake;
    HidSemaphore m_done;
    bool m_serving = false;  // main thread: inside a handler of this reader
    bool m_orphaned = false; // main thread: stopped from inside its own hand-over
};
