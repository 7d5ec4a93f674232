#include "link/hid/hid_platform.h"

#include <cerrno>
#include <cstring>

QString HidPlatform::errorText(quint32 code) const
{
    char buffer[256] = {};
    // The GNU strerror_r may return a static text instead of filling the buffer.
    const char *text = strerror_r(static_cast<int>(code), buffer, sizeof buffer);
    const QString message = QString::fromLocal8Bit(text ? text : buffer);
    // The C library names codes it does not know "Unknown error N": the system has no text for them.
    if (message.startsWith(QLatin1String("Unknown error")))
        return QString();
    return message;
}

quint32 HidPlatform::deviceGoneError() const
{
    return ENODEV;
}

QString HidPlatform::identityOfPath(const QString & /*path*/)
{
    return QString();
}
