#include "app/fontwarmup.h"
#include "app/kdumpreporterdlg.h"
#include "app/processvalues.h"
#include "cmdline/qtcommandline.h"
#include "logging/loggingmanager.h"
#include "settings/ksettingsmanager.h"

#include <QApplication>
#include <QTimer>

#include <memory>

int main(int argc, char *argv[])
{
    FontWarmUp fontWarmUp;
    VM::LoggingManager::initializeLoggers(VM::LogLevel::Trace, "qx.dumpreporter.velmora.log");
    LOG_INFO(QStringLiteral("Dump reporter has been started."));

    auto app = std::make_unique<QApplication>(argc, argv);

    auto commandLine = std::make_unique<QtCommandLine>();
    commandLine->addOption(QStringLiteral("dump"), QMetaType::QString, true, QLatin1Char('d'),
        QStringLiteral("Path to dump file"));
    commandLine->addOption(QStringLiteral("version"), QMetaType::Int, true, QLatin1Char('v'),
        QStringLiteral("Version of the software which sends a report"));
    commandLine->addOption(QStringLiteral("company"), QMetaType::QString, true, QLatin1Char('c'),
        QStringLiteral("Company ID"));
    commandLine->addOption(QStringLiteral("soft"), QMetaType::QString, true, QLatin1Char('s'),
        QStringLiteral("Software ID"));

    const QString usage = QStringLiteral("dumpreporter <options>");
    if (!commandLine->parse(QCoreApplication::arguments())) {
        commandLine->printHelp(usage);
        app.reset();
        return -1;
    }

    const QString dumpPath = commandLine->value("dump").toString().trimmed();
    const int version = commandLine->value("version", -1).toInt();
    const QString company = commandLine->value("company").toString().trimmed();
    const QString soft = commandLine->value("soft").toString().trimmed();
    if (version < 0 || company.isEmpty() || soft.isEmpty() || dumpPath.isEmpty()) {
        commandLine->printHelp(usage);
        app.reset();
        return -1;
    }
    setVersionNumber(version);

    VM::KSettingsManager::init(version, company, soft);

    // The web client of the process is created here, once it exists.

    fontWarmUp.join();
    auto dialog = std::make_unique<KDumpReporterDlg>(dumpPath);
    dialog->show();
#ifdef VELMORA_STARTUP_PROBE
    // The start-up benchmark's build ends as soon as the window has been shown.
    QTimer::singleShot(0, dialog.get(), [] { QCoreApplication::exit(0); });
#endif
    const int exitCode = QApplication::exec();

    // The web client is destroyed here, first.
    commandLine.reset();
    LOG_INFO(QStringLiteral("Dump reporter is now exiting."));
    dialog.reset();
    app.reset();
    return exitCode;
}
