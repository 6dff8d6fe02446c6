#pragma once

#include <QDateTime>
#include <QString>

// The sentence that heads every report: version, operating system and local time of sending,
// followed by a blank line.
QString reportHeader();
QString reportHeader(int version, const QString &systemName, const QDateTime &localTime);
// With the name of a Windows version code.
QString reportHeader(int version, int windowsCode, const QDateTime &localTime);

// The running system: on Windows the name of its version; elsewhere the system's own name and
// version as the toolkit reports it (for example "Debian GNU/Linux 12 (bookworm)").
QString operatingSystemName();
// The name of a Windows version code; "Windows (Unknown)" for a code without a name.
QString operatingSystemName(int windowsCode);
