#include "cmdline/reporteroptions.h"

#include "cmdline/qtcommandline.h"

void addReporterOptions(QtCommandLine &commandLine, bool dumpRequired)
{
    commandLine.addOption(QStringLiteral("dump"), QMetaType::QString, dumpRequired,
        QLatin1Char('d'), QStringLiteral("Path to dump file"));
    commandLine.addOption(QStringLiteral("version"), QMetaType::Int, true, QLatin1Char('v'),
        QStringLiteral("Version of the software which sends a report"));
    commandLine.addOption(QStringLiteral("company"), QMetaType::QString, true, QLatin1Char('c'),
        QStringLiteral("Company ID"));
    commandLine.addOption(QStringLiteral("soft"), QMetaType::QString, true, QLatin1Char('s'),
        QStringLiteral("Software ID"));
    // Optional: the window offers to start Velmora again with this command line when it ends.
    commandLine.addOption(QStringLiteral("restart"), QMetaType::QString, false, QLatin1Char('r'),
        QStringLiteral("Command line that starts Velmora again when the reporter ends"));
}

QString reporterUsage()
{
    return QStringLiteral("dumpreporter <options>");
}
