#include "app/windowsversion.h"

#include <QOperatingSystemVersion>

int windowsVersionCode()
{
#ifdef Q_OS_WIN
    const QOperatingSystemVersion current = QOperatingSystemVersion::current();
    const int major = current.majorVersion();
    const int minor = current.minorVersion();
    if (major == 5 && minor == 0)
        return 0x0020; // 2000
    if (major == 5 && minor == 1)
        return 0x0030; // XP
    if (major == 5 && minor == 2)
        return 0x0040; // Server 2003
    if (major == 6 && minor == 0)
        return 0x0080; // Vista
    if (major == 6 && minor == 1)
        return 0x0090; // 7
    if (major == 6 && minor == 2)
        return 0x00a0; // 8
    if (major == 6 && minor == 3)
        return 0x00b0; // 8.1
    if (major >= 10)
        return 0x00c0; // 10 and later
    return 0x0010;
#else
    return 0;
#endif
}
