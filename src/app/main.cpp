#include "app/displaycheck.h"
#include "app/fatalerror.h"
#include "app/fontwarmup.h"
#include "app/kdumpreporterdlg.h"
#include "app/kpendingsender.h"
#include "app/translations.h"
#include "app/webclientinstance.h"
#include "base/processvalues.h"
#include "base/regexjit.h"
#include "cmdline/qtcommandline.h"
#include "cmdline/reporteroptions.h"
#include "http/krawtrafficdump.h"
#include "logging/loggingmanager.h"
#include "settings/ksettingsmanager.h"
#include "webclient/kwebclient.h"

#include <QApplication>
#include <QTimer>

#include <memory>

#ifdef Q_OS_WIN
#include <windows.h>

#include <shellapi.h>
#endif

namespace {
#ifdef Q_OS_WIN
// Windows hands main() its arguments in the 8-bit code page, which lacks most characters (a
// Cyrillic user name in the dump's path, C:\Users\...): the arguments come from the Unicode
// command line instead, split by the system's own rules, as the toolkit splits them.
QStringList windowsArguments()
{
    QStringList arguments;
    int count = 0;
    if (wchar_t **words = CommandLineToArgvW(GetCommandLineW(), &count)) {
        for (int i = 0; i < count; ++i)
            arguments.append(QString::fromWCharArray(words[i]));
        LocalFree(words);
    }
    return arguments;
}
#endif

// The process's arguments as the application object would list them: the program's path first,
// each argument decoded as the toolkit decodes them.
QStringList processArguments(int argc, char *argv[])
{
#ifdef Q_OS_WIN
    Q_UNUSED(argc);
    Q_UNUSED(argv);
    return windowsArguments();
#else
    QStringList arguments;
    arguments.reserve(argc);
    for (int i = 0; i < argc; ++i)
        arguments.append(QString::fromLocal8Bit(argv[i]));
    return arguments;
#endif
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
    // The requests run on the web client's thread, as the window's do; this thread waits in its
    // own loop until they are done.
    const KPendingSender sender(client.get(), KReportQueue(KReportQueue::defaultFolder()));
    int exitCode = 1;
    QMetaObject::invokeMethod(
        client.get(),
        [&sender, &exitCode, &app] {
            exitCode = sender.sendAll();
            // Queued, so that the exit reaches the loop also when it has not started yet.
            QMetaObject::invokeMethod(
                &app, [] { QCoreApplication::exit(0); }, Qt::QueuedConnection);
        },
        Qt::QueuedConnection);
    QCoreApplication::exec();
    client->shutDown();
    client.reset();
    LOG_INFO(QStringLiteral("Dump reporter is now exiting."));
    return exitCode;
}

int main(int argc, char *argv[])
{
#ifdef Q_OS_WIN
    // Before any thread starts and any pattern is compiled: with MinGW-w64, a thread that ran a
    // JIT-compiled match could crash the process as it ends (see regexjit.h).
    turnRegularExpressionJitOff();
#endif
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
    QtCommandLine words;
    addReporterOptions(words);
    const QStringList freeWords = words.freeWords(arguments.mid(1));
    const bool sendPending = freeWords.contains(QStringLiteral("+send-pending"));
    // "+dumps" likewise: the raw traffic dump is on only for the word of its own.
    KRawTrafficDump::setRequested(freeWords.contains(QStringLiteral("+dumps")));
    auto commandLine = std::make_unique<QtCommandLine>();
    addReporterOptions(*commandLine, !sendPending);

    const QString usage = reporterUsage();
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
        QtCommandLine::writeToStandardError(message + QLatin1Char('\n'));
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
