#include "app/displaycheck.h"

#include <QtGlobal>

bool displayIsAvailable(
    const std::function<QByteArray(const char *)> &environment, const QStringList &arguments)
{
#if defined(Q_OS_WIN) || defined(Q_OS_MACOS)
    Q_UNUSED(environment);
    Q_UNUSED(arguments);
    return true;
#else
    for (const char *name : { "QT_QPA_PLATFORM", "DISPLAY", "WAYLAND_DISPLAY" }) {
        if (!environment(name).trimmed().isEmpty())
            return true;
    }
    // The program's own path comes first; "-platform" (or "--platform") needs a name after it.
    for (qsizetype i = 1; i + 1 < arguments.size(); ++i) {
        if (arguments.at(i) == QLatin1String("-platform")
            || arguments.at(i) == QLatin1String("--platform"))
            return true;
    }
    return false;
#endif
}

bool displayIsAvailable(const QStringList &arguments)
{
    return displayIsAvailable([](const char *name) { return qgetenv(name); }, arguments);
}
