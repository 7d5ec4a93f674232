#include "link/hid/hid_platform_fake.h"

#include <QThread>

#include <algorithm>
#include <cstring>

namespace {

thread_local quint32 t_lastError = 0;

} // namespace

class FakeHidPlatform::Handle : public HidHandle {
public:
    Handle(FakeHidPlatform &platform, QString identity, quint64 generation, HidAccess access)
        : m_platform(platform), identity(std::move(identity)), generation(generation), access(access)
    {
        ++m_platform.m_openHandles;
    }
    ~Handle() override
    {
        if (access == HidAccess::Read)
            m_platform.readHandleClosed(identity);
        --m_platform.m_openHandles;
    }

private:
    FakeHidPlatform &m_platform;

public:
    const QString identity;
    const quint64 generation;
    const HidAccess access;
};

void FakeHidPlatform::plug(const FakeHidDevice &device)
{
    std::unique_lock<std::mutex> lock(m_mutex);
    Entry &entry = m_entries[device.identity];
    entry = Entry();
    entry.device = device;
    entry.generation = ++m_generation;
    m_order.erase(std::remove(m_order.begin(), m_order.end(), device.identity), m_order.end());
    m_order.push_back(device.identity);
}

void FakeHidPlatform::unplug(const QString &identity)
{
    std::unique_lock<std::mutex> lock(m_mutex);
    m_entries.erase(identity);
    m_order.erase(std::remove(m_order.begin(), m_order.end(), identity), m_order.end());
    m_inputArrived.notify_all(); // pending reads fail
}

void FakeHidPlatform::notifyChange()
{
    const std::function<void()> onChange = m_onChange;
    if (m_available && onChange)
        onChange();
}

void FakeHidPlatform::queueReport(const QString &identity, const QByteArray &report)
{
    queueInput(identity, {report, false, false});
}

void FakeHidPlatform::queueLateReport(const QString &identity, const QByteArray &report)
{
    queueInput(identity, {report, false, true});
}

void FakeHidPlatform::queueReadFailure(const QString &identity)
{
    queueInput(identity, {QByteArray(), true, false});
}

void FakeHidPlatform::queueInput(const QString &identity, const Input &input)
{
    std::unique_lock<std::mutex> lock(m_mutex);
    const auto found = m_entries.find(identity);
    if (found == m_entries.end())
        return;
    found->second.inputs.push_back(input);
    m_inputArrived.notify_all();
}

bool FakeHidPlatform::waitReportTaken(int timeout)
{
    return m_taken.tryAcquire(timeout);
}

QList<QByteArray> FakeHidPlatform::features(const QString &identity) const
{
    std::unique_lock<std::mutex> lock(m_mutex);
    const auto found = m_entries.find(identity);
    return found == m_entries.end() ? QList<QByteArray>() : found->second.features;
}

std::vector<HidInterface> FakeHidPlatform::enumerate()
{
    std::unique_lock<std::mutex> lock(m_mutex);
    ++m_enumerations;
    std::vector<HidInterface> result;
    if (!m_available)
        return result;
    for (const QString &identity : m_order)
        result.push_back({identity, m_entries.at(identity).device.path});
    return result;
}

std::unique_ptr<HidHandle> FakeHidPlatform::open(const QString &path, HidAccess access)
{
    std::unique_lock<std::mutex> lock(m_mutex);
    for (const auto &[identity, entry] : m_entries) {
        if (entry.device.path != path)
            continue;
        if (!entry.device.openable || (access != HidAccess::None && !entry.device.readWrite)) {
            t_lastError = AccessDenied;
            return nullptr;
        }
        if (access == HidAccess::Read)
            ++m_readHandles[identity];
        return std::make_unique<Handle>(*this, identity, entry.generation, access);
    }
    t_lastError = NotConnected;
    return nullptr;
}

void FakeHidPlatform::readHandleClosed(const QString &identity)
{
    std::unique_lock<std::mutex> lock(m_mutex);
    if (--m_readHandles[identity] <= 0)
        m_readHandles.erase(identity);
}

bool FakeHidPlatform::readerAttached(const QString &identity) const
{
    std::unique_lock<std::mutex> lock(m_mutex);
    return m_readHandles.count(identity) > 0;
}

int FakeHidPlatform::pendingInputs(const QString &identity) const
{
    std::unique_lock<std::mutex> lock(m_mutex);
    const auto found = m_entries.find(identity);
    return found == m_entries.end() ? 0 : static_cast<int>(found->second.inputs.size());
}

FakeHidPlatform::Entry *FakeHidPlatform::entryOf(HidHandle &handle)
{
    const auto &h = static_cast<Handle &>(handle);
    const auto found = m_entries.find(h.identity);
    if (found == m_entries.end() || found->second.generation != h.generation) {
        t_lastError = NotConnected;
        return nullptr;
    }
    return &found->second;
}

bool FakeHidPlatform::attributes(HidHandle &handle, HidAttributes &out)
{
    std::unique_lock<std::mutex> lock(m_mutex);
    Entry *entry = entryOf(handle);
    if (!entry || !entry->device.identifiable)
        return false;
    out = entry->device.attributes;
    return true;
}

bool FakeHidPlatform::capabilities(HidHandle &handle, HidCapabilities &out)
{
    std::unique_lock<std::mutex> lock(m_mutex);
    Entry *entry = entryOf(handle);
    if (!entry)
        return false;
    out.InputReportByteLength = entry->device.inputReportLength;
    return true;
}

bool FakeHidPlatform::productString(HidHandle &handle, QString &out)
{
    return deviceString(handle, &FakeHidDevice::product, out);
}

bool FakeHidPlatform::serialNumberString(HidHandle &handle, QString &out)
{
    return deviceString(handle, &FakeHidDevice::serial, out);
}

bool FakeHidPlatform::deviceString(HidHandle &handle, QString FakeHidDevice::*field, QString &out)
{
    std::unique_lock<std::mutex> lock(m_mutex);
    Entry *entry = entryOf(handle);
    if (!entry || (entry->device.*field).isEmpty())
        return false;
    out = entry->device.*field;
    return true;
}

std::optional<QString> FakeHidPlatform::languageList(HidHandle &handle)
{
    std::unique_lock<std::mutex> lock(m_mutex);
    Entry *entry = entryOf(handle);
    if (!entry)
        return QString();
    return entry->device.languageList;
}

bool FakeHidPlatform::sendFeature(HidHandle &handle, const quint8 *report, int length)
{
    std::unique_lock<std::mutex> lock(m_mutex);
    Entry *entry = entryOf(handle);
    if (!entry || static_cast<Handle &>(handle).access != HidAccess::ReadWrite ||
        !entry->device.acceptsFeatures)
        return false;
    entry->features.append(QByteArray(reinterpret_cast<const char *>(report), length));
    return true;
}

HidReadResult FakeHidPlatform::read(HidHandle &handle, quint8 *buffer, int length, int timeout,
                                    int &bytesRead)
{
    bytesRead = 0;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout);
    std::unique_lock<std::mutex> lock(m_mutex);
    for (;;) {
        Entry *entry = entryOf(handle);
        if (!entry)
            return HidReadResult::Failed;
        if (!entry->inputs.empty()) {
            const Input input = entry->inputs.front();
            entry->inputs.pop_front();
            m_taken.release();
            if (input.failure) {
                t_lastError = NotConnected;
                return HidReadResult::Failed;
            }
            bytesRead = std::min<int>(length, input.report.size());
            std::memcpy(buffer, input.report.constData(), static_cast<size_t>(bytesRead));
            if (input.late) {
                lock.unlock();
                while (!QThread::currentThread()->isInterruptionRequested())
                    QThread::yieldCurrentThread();
            }
            return HidReadResult::Completed;
        }
        if (m_inputArrived.wait_until(lock, deadline) == std::cv_status::timeout)
            return HidReadResult::Pending;
    }
}

quint32 FakeHidPlatform::lastError() const
{
    return t_lastError;
}

QString FakeHidPlatform::identityOfPath(const QString &path)
{
    std::unique_lock<std::mutex> lock(m_mutex);
    for (const auto &[identity, entry] : m_entries)
        if (entry.device.path == path)
            return identity;
    return QString();
}
