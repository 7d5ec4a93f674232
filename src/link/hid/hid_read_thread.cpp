#include "link/hid/hid_read_thread.h"

#include "link/hid/hid_device.h"

#include <QMetaObject>

#include <algorithm>
#include <exception>

THidDeviceReadThread::THidDeviceReadThread(THidDevice *device, int reportLength)
    : Device(device), Report(static_cast<size_t>(std::max(reportLength, 0))), m_platform(device->m_platform),
      m_path(device->PlugInfo().InterfacePath), m_identity(device->PlugInfo().InstanceHandle),
      m_errorReport(device->m_errorReport)
{
}

THidDeviceReadThread::~THidDeviceReadThread()
{
    if (isRunning() && !m_orphaned)
        Stop();
    wait();
}

bool THidDeviceReadThread::Stop()
{
    requestInterruption();
    if (m_serving) {
        m_orphaned = true;
        return false;
    }
    if (!isRunning() && !isFinished())
        return true; // never started (or the system could not start it): nothing will ever end
    while (!m_ended) {
        m_wake.acquire();
        if (m_pending)
            Serve();
    }
    wait();
    return true;
}

void THidDeviceReadThread::run()
{
    while (!isInterruptionRequested()) {
        std::fill(Report.begin(), Report.end(), 0);
        if (BeginRead()) {
            int count = 0;
            const HidReadResult result = AwaitRead(count);
            if (result == HidReadResult::Pending || isInterruptionRequested())
                continue; // asked to end: a report that came in meanwhile is not handed over
            if (result == HidReadResult::Failed) {
                // The handle is dead (the device went away or was unplugged under us); the next
                // BeginRead tells by reopening whether the device is still there.
                m_readHandle.reset();
                count = 0;
            }
            BytesRead = static_cast<quint32>(count);
            if (BytesRead > 0)
                HandOver(HandOverKind::Data);
        } else {
            ErrorCode = m_foreign ? m_platform->deviceGoneError() : m_platform->lastError();
            HandOver(HandOverKind::Error);
        }
    }
    m_readHandle.reset();
    m_ended = true;
    m_wake.release();
}

bool THidDeviceReadThread::BeginRead()
{
    if (!Device->IsAccessible()) {
        m_readHandle.reset();
        return false;
    }
    m_foreign = false;
    if (!m_readHandle) {
        m_readHandle = m_platform->open(m_path, HidAccess::Read);
        // After an unplug another device may have taken over the same path: never read that one.
        const QString identity = m_readHandle ? m_platform->identityOfPath(m_path) : QString();
        if (!identity.isEmpty() && identity != m_identity) {
            m_readHandle.reset();
            m_foreign = true;
        }
    }
    return static_cast<bool>(m_readHandle);
}

HidReadResult THidDeviceReadThread::AwaitRead(int &bytesRead)
{
    for (;;) {
        const HidReadResult result = m_platform->read(
            *m_readHandle, Report.data(), static_cast<int>(Report.size()), Device->WaitSlice(), bytesRead);
        if (result != HidReadResult::Pending || isInterruptionRequested())
            return result;
        if (!Device->IsAccessible())
            return HidReadResult::Failed;
    }
}

void THidDeviceReadThread::HandOver(HandOverKind kind)
{
    m_kind = kind;
    m_pending = true;
    m_wake.release(); // before posting: a Stop() that wakes finds the hand-over pending
    QMetaObject::invokeMethod(
        this, [this] { ServeQueued(); }, Qt::QueuedConnection);
    m_done.acquire();
}

void THidDeviceReadThread::ServeQueued()
{
    if (!m_pending)
        return; // Stop() served it already
    m_wake.tryAcquire();
    Serve();
}

void THidDeviceReadThread::Serve()
{
    m_pending = false;
    m_serving = true;
    QString error;
    try {
        // Copies: the handler may replace itself or destroy the device.
        if (m_kind == HandOverKind::Data) {
            const THidDataEvent handler = Device->DataHandler();
            if (handler) {
                const quint8 *data = Report.data() + 1;
                handler(Device, Report[0], data, static_cast<quint16>(BytesRead - 1));
            }
        } else {
            const THidDataErrorEvent handler = Device->DataErrorHandler();
            if (handler)
                handler(Device, ErrorCode);
        }
    } catch (const EControllerError &e) {
        error = e.message();
    } catch (const std::exception &e) {
        error = QString::fromLocal8Bit(e.what());
    } catch (...) {
        error = QStringLiteral("Unknown error");
    }
    // Reported while the reader still waits: the report may run an event loop (a message box) in which the
    // reader is stopped and destroyed, and only a stop from inside a hand-over leaves this object alive.
    if (!error.isEmpty())
        (*m_errorReport)(error);
    m_serving = false;
    m_done.release();
    if (m_orphaned) {
        wait(); // ends at once: termination was asked for before the reader went on
        deleteLater();
    }
}
