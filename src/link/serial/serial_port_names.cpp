#include "serial_port_names.h"

#include <QFileInfo>

bool deviceExists(const QString &device)
{
    return QFileInfo::exists(device);
}

QStringList serialDeviceCandidates()
{
    QStringList names;
    for (int i = 0; i <= 9; ++i)
        names << QStringLiteral("/dev/ttyUSB%1").arg(i);
    for (int i = 0; i <= 9; ++i)
        names << QStringLiteral("/dev/ttyACM%1").arg(i);
    for (int i = 0; i <= 31; ++i)
        names << QStringLiteral("/dev/ttyS%1").arg(i);
    return names;
}

QString comPortDeviceName(int comIndex, const DeviceExists &exists)
{
#ifdef Q_OS_WIN
    Q_UNUSED(exists);
    return QStringLiteral("COM%1").arg(comIndex + 1);
#else
    if (comIndex < 0)
        return {};
    int found = 0;
    for (const QString &name : serialDeviceCandidates()) {
        if (exists(name) && found++ == comIndex)
            return name;
    }
    return {};
#endif
}
