// The stress run of proxied reports (scripts/stress-proxy): through each real proxy, with Basic
// credentials stored, the built program signs in and uploads a queued report of 20 KB with
// "+send-pending", again and again; every run that does not end with the report accepted, the dump
// deleted and exit code 0 is a failure. It prints a line a proxy: failures of runs.
//
//   stress_proxy [runs]    (default 50; DUMPREPORTER_BIN names the program)
//
// scripts/stress-proxy runs it pinned to one processor beside a busy loop on the same processor.

#include "app/kreportqueue.h"
#include "support/apitestserver.h"
#include "support/reportwindowdriver.h"
#include "support/testenvironment.h"
#include "support/testproxyserver.h"
#include "support/testsupport.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QSettings>

#include <algorithm>
#include <cstdio>

namespace {

constexpr int Version = 0x010203;

struct Outcome
{
    bool ok = false;
    QString why;
};

Outcome sendOnce(TestEnvironment &home, ApiTestServer &server, const TestProxyServer &proxy,
    const QString &program, int run)
{
    const QByteArray dump = "MDMP" + QByteArray::number(run).rightJustified(6, '0')
        + QByteArray(20 * 1024 - 10, char('a' + run % 26));
    KPendingReport report;
    report.dumpPath = home.path() + QStringLiteral("/stress-%1.dmp").arg(run);
    report.comment = QStringLiteral("Stress run %1").arg(run);
    report.reportTime = QDateTime::currentDateTimeUtc();
    report.version = Version;
    if (!writeTestFile(report.dumpPath, dump)
        || !KReportQueue(home.cachePath() + QStringLiteral("pending/")).add(report))
        return { false, QStringLiteral("the report could not be queued") };

    server.clear();
    server.script({ ApiTestServer::loginOk() });
    server.setDefaultAnswer(ApiTestServer::result("1"));

    QProcessEnvironment env = home.programEnvironment();
    env.insert(QStringLiteral("XDG_RUNTIME_DIR"), home.path());
    for (const char *name : { "QT_QPA_PLATFORM", "DISPLAY", "WAYLAND_DISPLAY", "no_proxy",
             "NO_PROXY", "all_proxy", "ALL_PROXY", "http_proxy", "HTTPS_PROXY" })
        env.remove(QString::fromLatin1(name));
    env.insert(QStringLiteral("https_proxy"), QString::fromLatin1(proxy.url()));
    QProcess process;
    process.setProcessEnvironment(env);
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.start(program,
        { QStringLiteral("+send-pending"), QStringLiteral("-v"), QString::number(Version),
            QStringLiteral("-c"), QStringLiteral("co"), QStringLiteral("-s"),
            QStringLiteral("so") });
    if (!process.waitForFinished(180000)) {
        process.kill();
        process.waitForFinished();
        return { false, QStringLiteral("the program did not end") };
    }
    if (process.exitStatus() != QProcess::NormalExit || process.exitCode() != 0)
        return { false, QStringLiteral("exit code %1").arg(process.exitCode()) };
    if (server.uploads() != QList<QByteArray> { dump })
        return { false, QStringLiteral("the service did not get the dump once") };
    if (QFile::exists(report.dumpPath))
        return { false, QStringLiteral("the dump is still there") };
    return { true, QString() };
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const int runs = argc > 1 ? QString::fromLocal8Bit(argv[1]).toInt() : 50;
    const QString program = qEnvironmentVariable("DUMPREPORTER_BIN");
    if (runs <= 0 || !QFile::exists(program)) {
        std::fprintf(stderr, "usage: DUMPREPORTER_BIN=<dumpreporter> stress_proxy [runs]\n");
        return 2;
    }

    TestEnvironment home;
    home.logToFile().useSettings(Version, QStringLiteral("co"), QStringLiteral("so")).trustTestCa();
    TestLogFile log = home.logFile();
    ApiTestServer server;
    home.useApiHost(server.hostAndPort());
    {
        QSettings store(home.path() + QStringLiteral("/.config/co/so.conf"), QSettings::IniFormat);
        store.setValue(QStringLiteral("Login_vm"), QStringLiteral("someone"));
        store.setValue(QStringLiteral("Passwd_vm"), QStringLiteral("secret"));
        store.setValue(QStringLiteral("ProxyUser"), QStringLiteral("agent"));
        store.setValue(QStringLiteral("ProxyPass"), QStringLiteral("s3cret"));
    }

    int totalFailures = 0;
    for (const auto kind : { TestProxyServer::Kind::Tinyproxy, TestProxyServer::Kind::Squid }) {
        const QString name = TestProxyServer::name(kind);
        if (!TestProxyServer::installed(kind)) {
            std::printf("%s: not installed\n", qPrintable(name));
            ++totalFailures;
            continue;
        }
        const auto proxy = TestProxyServer::make(kind, "agent", "s3cret", server.port());
        if (!proxy->start()) {
            std::printf(
                "%s: does not start: %s\n", qPrintable(name), qPrintable(proxy->errorText()));
            ++totalFailures;
            continue;
        }
        int failures = 0;
        QElapsedTimer clock;
        clock.start();
        std::printf("%s: ", qPrintable(name));
        std::fflush(stdout);
        for (int run = 0; run < runs; ++run) {
            log.newBytes();
            const Outcome outcome = sendOnce(home, server, *proxy, program, run);
            if (!outcome.ok) {
                ++failures;
                // The run's last log lines say where it stopped.
                const QList<QByteArray> lines = log.newBytes().trimmed().split('\n');
                std::printf("\n  run %d failed: %s\n", run + 1, qPrintable(outcome.why));
                for (qsizetype i = std::max<qsizetype>(0, lines.size() - 8); i < lines.size(); ++i)
                    std::printf("    %s\n", lines.at(i).constData());
                std::printf("  ");
            } else {
                std::printf(".");
            }
            std::fflush(stdout);
        }
        std::printf("\n%s: %d failures in %d runs (%.0f s)\n", qPrintable(name), failures, runs,
            clock.elapsed() / 1000.0);
        totalFailures += failures;
    }
    return totalFailures == 0 ? 0 : 1;
}
