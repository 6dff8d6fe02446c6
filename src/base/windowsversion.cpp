#include "base/windowsversion.h"

#include <QOperatingSystemVersion>

int windowsVersionCode()
{
#ifdef Q_OS_WIN
    // The real version, also where the program's manifest does not name the newest systems.
    const QOperatingSystemVersion current = QOperatingSystemVersion::current();
    return windowsVersionCode(
        current.majorVersion(), current.minorVersion(), current.microVersion());
#else
    return 0;
#endif
}

int windowsVersionCode(int major, int minor, int build)
{
    using namespace WindowsVersionCode;
    if (major >= 10)
        return build >= FirstWindows11Build ? Windows11 : Windows10;
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
        return Windows8;
    if (major == 6 && minor == 3)
        return Windows81;
    return 0x0010;
}
