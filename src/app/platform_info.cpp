#include "platform_info.h"

#include <QFont>
#include <QSysInfo>

bool isNative64BitSystem()
{
    // The kernel's architecture, not the build's: a 32-bit build on a
    // 64-bit system still reports 64 bits.
    const QString arch = QSysInfo::currentCpuArchitecture();
    return arch.contains(QLatin1String("64")) || arch == QLatin1String("s390x");
}

QString captionSuffix(bool native64)
{
    return native64 ? QStringLiteral("(x64)") : QStringLiteral("(x86)");
}

void installFontSubstitutes()
{
    QFont::insertSubstitution(QStringLiteral("Arial"), QStringLiteral("Liberation Sans"));
    QFont::insertSubstitution(QStringLiteral("Calibri"), QStringLiteral("Carlito"));
    QFont::insertSubstitution(QStringLiteral("MS Sans Serif"), QStringLiteral("Liberation Sans"));
}
