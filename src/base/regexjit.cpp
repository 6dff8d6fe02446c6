#include "base/regexjit.h"

#include <QByteArray>
#include <QRegularExpression>
#include <QString>
#include <QtGlobal>

void turnRegularExpressionJitOff()
{
    static const char variable[] = "QT_ENABLE_REGEXP_JIT";
    const bool wasSet = qEnvironmentVariableIsSet(variable);
    const QByteArray previous = qgetenv(variable);
    qputenv(variable, QByteArrayLiteral("0"));
    // Compiling a pattern makes the toolkit read the setting, once for the process.
    QRegularExpression(QStringLiteral("jit")).optimize();
    if (wasSet)
        qputenv(variable, previous);
    else
        qunsetenv(variable);
}
