#pragma once

#include <QString>
#include <QtGlobal>

#include <functional>
#include <memory>
#include <stdexcept>
#include <string>
#include <typeinfo>
#include <utility>

class QObject;
class THidDevice;
class THidDeviceController;

// Raised by the controller and its devices; the message is shown to the user as it is.
class EControllerError : public std::runtime_error {
public:
    explicit EControllerError(const QString &message) : std::runtime_error(message.toStdString()) {}
    QString message() const { return QString::fromStdString(what()); }
};

// A method reference: a function together with the object it runs on. Two references name the same handler
// when their functions are the same, whatever the object: the controller hands its defaults on by that rule.
template <typename Sig> class THidMethod;

template <typename R, typename... Args> class THidMethod<R(Args...)> {
public:
    THidMethod() = default;

    template <typename T>
    THidMethod(T *object, R (T::*function)(Args...))
        : m_call([object, function](Args... args) { return (object->*function)(args...); }),
          m_key(keyOf<T>(function))
    {
    }

    // A plain callable; each one counts as a function of its own.
    static THidMethod fromCallable(std::function<R(Args...)> call)
    {
        static quint64 next = 0;
        THidMethod method;
        method.m_call = std::move(call);
        method.m_key = "callable#" + std::to_string(++next);
        return method;
    }

    explicit operator bool() const { return static_cast<bool>(m_call); }
    R operator()(Args... args) const { return m_call(args...); }
    bool sameFunction(const THidMethod &other) const { return m_key == other.m_key; }

private:
    template <typename T, typename F> static std::string keyOf(F function)
    {
        std::string key(typeid(T).name());
        key.push_back('#');
        key.append(reinterpret_cast<const char *>(&function), sizeof function);
        return key;
    }

    std::function<R(Args...)> m_call;
    std::string m_key; // empty while unassigned
};

// Parameters: HidDev, Idx (position in the controller's list). True goes on with the next device.
using THidEnumerateEvent = THidMethod<bool(THidDevice *, int)>;
// Parameter: HidDev.
using THidPlugEvent = THidMethod<void(THidDevice *)>;
// Parameters: HidDev, ReportID (first byte of the report), Data (the bytes after it, valid during the call),
// Size (number of those bytes).
using THidDataEvent = THidMethod<void(THidDevice *, quint8, const quint8 *, quint16)>;
// Parameters: HidDev, Error (platform error code).
using THidDataErrorEvent = THidMethod<void(THidDevice *, quint32)>;
// Parameter: Sender (the controller).
using TNotifyEvent = THidMethod<void(QObject *)>;

// Where errors go that arise on the way from the event loop into a handler, where no caller could catch
// them. Shared, so that devices and readers that outlive their controller can still report.
struct THidErrorReport {
    std::function<void(const QString &)> report;
    void operator()(const QString &message) const;
};
using THidErrorReportPtr = std::shared_ptr<THidErrorReport>;
