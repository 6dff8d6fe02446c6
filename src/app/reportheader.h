#pragma once

#include <QDateTime>
#include <QString>

// The sentence that heads every report: version, operating system and local time of sending,
// followed by a blank line.
QString reportHeader();
QString reportHeader(int version, int windowsCode, const QDateTime &localTime);

// The name of the running Windows version; "Windows (Unknown)" for a code without a name.
QString operatingSystemName();
QString operatingSystemName(int windowsCode);
