#include "app/displaycheck.h"
#include "app/fatalerror.h"
#include "app/fontwarmup.h"
#include "app/kdumpreporterdlg.h"
#include "app/kpendingsender.h"
#include "app/translations.h"
#include "app/webclientinstance.h"
#include "base/processvalues.h"
#include "cmdline/qtcommandline.h"
#include "logging/loggingmanager.h"
#include "settings/ksettingsmanager.h"
#include "webclient/kwebclient.h"

#include <QApplication>
#include <QTimer>

#include <cstdio>
#include <memory>

namespace {
// The process's arguments as the application object would list them: the program's path first,
// each argument decoded as the toolkit decodes them.
QStringList processArguments(int argc, char *argv[])
{
    QStringList arguments;
    arguments.reserve(argc);
    for (int i = 0; i < argc; ++i)
        arguments.append(QString::fromLocal8Bit(argv[i]));
    return arguments;
}

// The options of the command line; the dump is required unless the queued reports are sent.
std::unique_ptr<QtCommandLine> makeCommandLine(bool dumpRequired)
{
    auto commandLine = std::make_unique<QtCommandLine>();
    commandLine->addOption(QStringLiteral("dump"), QMetaType::QString, dumpRequired,
        QLatin1Char('d'), QStringLiteral("Path to dump file"));
    commandLine->addOption(QStringLiteral("version"), QMetaType::Int, true, QLatin1Char('v'),
        QStringLiteral("Version of the software which sends a report"));
    commandLine->addOption(QStringLiteral("company"), QMetaType::QString, true, QLatin1Char('c'),
        QStringLiteral("Company ID"));
    commandLine->addOption(QStringLiteral("soft"), QMetaType::QString, true, QLatin1Char('s'),
        QStringLiteral("Software ID"));
    // Optional: the window offers to start Velmora again with this command line when it ends.
    commandLine->addOption(QStringLiteral("restart"), QMetaType::QString, false, QLatin1Char('r'),
        QStringLiteral("Command line that starts Velmora again when the reporter ends"));
    return commandLine;
}
} // namespace

// "+send-pending": sends the queued reports without a window, so without a display too; 0 when
// the queue is empty at the end, 1 when reports remain.
static int sendPendingReports(
    int &argc, char *argv[], int version, const QString &company, const QString &soft)
{
    QCoreApplication app(argc, argv);
    setVersionNumber(version);
    VM::KSettingsManager::init(version, company, soft);
    auto client = std::make_unique<KWebClient>(versionText(version));
    const int exitCode
        = KPendingSender(client.get(), KReportQueue(KReportQueue::defaultFolder())).sendAll();
    client->shutDown();
    client.reset();
    LOG_INFO(QStringLiteral("Dump reporter is now exiting."));
    return exitCode;
}

int main(int argc, char *argv[])
{
    FontWarmUp fontWarmUp;
    // A cache folder that cannot be made, once the window can be shown, shows the fatal-error box.
    installFatalErrorBox();
    VM::LoggingManager::initializeLoggers(VM::LogLevel::Trace, "qx.dumpreporter.velmora.log");
    LOG_INFO(QStringLiteral("Dump reporter has been started."));

    // The command line is read before the application object exists, so that a bad one gets its
    // help text whether or not a window could be shown.
    const QStringList arguments = processArguments(argc, argv);
    // The free word "+send-pending" sends the queued reports instead; no dump is needed then. A
    // word that is an option's value ("-d +send-pending", "-r +send-pending") is that value.
    const bool sendPending = makeCommandLine(true)
                                 ->freeWords(arguments.mid(1))
                                 .contains(QStringLiteral("+send-pending"));
    auto commandLine = makeCommandLine(!sendPending);

    const QString usage = QStringLiteral("dumpreporter <options>");
    if (!commandLine->parse(arguments)) {
        commandLine->printHelp(usage);
        return -1;
    }

    const QString dumpPath = commandLine->value("dump").toString().trimmed();
    const int version = commandLine->value("version", -1).toInt();
    const QString company = commandLine->value("company").toString().trimmed();
    const QString soft = commandLine->value("soft").toString().trimmed();
    if (version < 0 || company.isEmpty() || soft.isEmpty()
        || (dumpPath.isEmpty() && !sendPending)) {
        commandLine->printHelp(usage);
        return -1;
    }
    // A dump named with +send-pending would not be sent: the line says so rather than ignore it.
    if (sendPending && commandLine->value("dump").isValid()) {
        QtCommandLine::writeToStandardError(
            QStringLiteral("--dump does not go with +send-pending: +send-pending sends only the "
                           "queued reports.\n"));
        commandLine->printHelp(usage);
        return -1;
    }
    // At every start the queue's folder is made the user's alone; one of another user is not
    // used (an ERROR line), and the window still sends its own report.
    KReportQueue(KReportQueue::defaultFolder()).secureFolder();
    // Sending the queued reports shows no window and restarts nothing.
    if (sendPending)
        return sendPendingReports(argc, argv, version, company, soft);

    // Without a display the toolkit would abort the process while creating the application object.
    if (!displayIsAvailable(arguments)) {
        const QString message
            = QStringLiteral("No display is available: the report window cannot be shown.");
        LOG_ERROR(message);
        const QByteArray text = message.toUtf8() + '\n';
        std::fwrite(text.constData(), 1, size_t(text.size()), stderr);
        std::fflush(stderr);
        return 1;
    }

    auto app = std::make_unique<QApplication>(argc, argv);
    // The system's language, before any text of the window or of a message box is built.
    installTranslations(QLocale::system());
    setVersionNumber(version);

    VM::KSettingsManager::init(version, company, soft);

    auto client = std::make_unique<KWebClient>(versionText(version));
    setWebClient(client.get());

    fontWarmUp.join();
    auto dialog = std::make_unique<KDumpReporterDlg>(dumpPath);
    const QVariant restart = commandLine->value("restart");
    if (restart.isValid())
        dialog->setRestartCommand(restart.toString());
    dialog->show();
#ifdef VELMORA_STARTUP_PROBE
    // The start-up benchmark's build ends as soon as the window has been shown.
    QTimer::singleShot(0, dialog.get(), [] { QCoreApplication::exit(0); });
#endif
    const int exitCode = QApplication::exec();

    // A request still in flight (the window was closed while sending) is abandoned, so that the
    // client's thread ends at once; the dump file stays.
    setWebClient(nullptr);
    client->shutDown();
    client.reset();
    commandLine.reset();
    LOG_INFO(QStringLiteral("Dump reporter is now exiting."));
    dialog.reset();
    app.reset();
    return exitCode;
}
