// Sends a report from the real window to an in-process HTTPS service, offscreen, and measures:
//  - the longest gap between two ticks of a 5 ms timer in the GUI thread while the paced upload of
//    a 200 KB dump runs (a window that never freezes keeps this small);
//  - the time from the press of "Exit" during an upload until the event loop has returned and the
//    web client has been shut down and destroyed, as start-up does before the process ends.
#include "app/kdumpreporterdlg.h"
#include "app/webclientinstance.h"
#include "base/processvalues.h"
#include "logging/loggingmanager.h"
#include "settings/ksettingsmanager.h"
#include "support/apitestserver.h"
#include "support/testsupport.h"
#include "webclient/kwebclient.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTextStream>
#include <QTimer>

#include <cstdio>
#include <memory>

namespace {
struct Window
{
    std::unique_ptr<KWebClient> client;
    std::unique_ptr<KDumpReporterDlg> dialog;

    explicit Window(const QString &dump)
    {
        client = std::make_unique<KWebClient>(versionText(0x010203));
        setWebClient(client.get());
        dialog = std::make_unique<KDumpReporterDlg>(dump);
        dialog->findChild<QLineEdit *>(QStringLiteral("lineEditLogin"))->setText("bench");
        dialog->findChild<QLineEdit *>(QStringLiteral("lineEditPassword"))->setText("secret");
        dialog->show();
    }
    // Start-up's order after the event loop: shut the client down, destroy it, then the window.
    void tearDown()
    {
        setWebClient(nullptr);
        client->shutDown();
        client.reset();
        dialog.reset();
    }
    void press(const char *button)
    {
        dialog->findChild<QPushButton *>(QString::fromLatin1(button))->click();
    }
};

void writeDump(const QString &path, qsizetype size)
{
    QByteArray bytes(size, Qt::Uninitialized);
    for (char &c : bytes)
        c = char(QRandomGenerator::global()->bounded(256));
    QFile file(path);
    file.open(QIODevice::WriteOnly);
    file.write(bytes);
}
} // namespace

int main(int argc, char *argv[])
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    TemporaryHome home;
    QApplication app(argc, argv);
    VM::LoggingManager::initializeLoggers(VM::LogLevel::Trace, "qx.dumpreporter.velmora.log");
    setVersionNumber(0x010203);
    VM::KSettingsManager::init(0x010203, QStringLiteral("VelmoraBench"), QStringLiteral("Gui"));

    qputenv("VELMORA_EXTRA_CA_CERTS", testCaPath().toLocal8Bit());
    ApiTestServer server;
    if (!server.startListening())
        qFatal("cannot start the test service");
    qputenv("VELMORA_API_HOST", server.hostAndPort().toLatin1());
    server.setDefaultAnswer(ApiTestServer::result("1"));
    server.script({ ApiTestServer::loginOk() });

    const QString dump = home.path() + QStringLiteral("/crash.dmp");
    const qsizetype dumpSize = argc > 1 ? QString::fromLocal8Bit(argv[1]).toLongLong() : 200 * 1024;
    QTextStream out(stdout);

    // 1. The longest stall of the GUI thread during a whole send.
    writeDump(dump, dumpSize);
    double longestStallMs = 0;
    QElapsedTimer sendTime;
    {
        Window window(dump);
        QElapsedTimer sinceTick;
        QTimer ticker;
        ticker.setInterval(5);
        QObject::connect(&ticker, &QTimer::timeout, [&] {
            longestStallMs = qMax(longestStallMs, double(sinceTick.nsecsElapsed()) / 1e6);
            sinceTick.restart();
        });
        QTimer::singleShot(0, [&] {
            window.press("buttonSend");
            sendTime.start();
            sinceTick.start();
            ticker.start();
        });
        QTimer::singleShot(600000, [] { QCoreApplication::exit(99); });
        const int code = QApplication::exec();
        ticker.stop();
        window.tearDown();
        if (code != 0 || QFile::exists(dump))
            qFatal("the report was not sent (exit code %d)", code);
    }
    out << "gui.upload_bytes " << dumpSize << '\n'
        << "gui.send_seconds " << QString::number(double(sendTime.elapsed()) / 1000.0, 'f', 1)
        << '\n'
        << "gui.longest_stall_ms " << QString::number(longestStallMs, 'f', 1) << '\n';
    out.flush();

    // 2. Exit while sending: from the press to the end of teardown, a few times.
    QList<double> exits;
    for (int i = 0; i < 5; ++i) {
        server.clear();
        server.setDefaultAnswer(ApiTestServer::result("1"));
        server.script({ ApiTestServer::loginOk() });
        writeDump(dump, 64 * 1024);
        Window window(dump);
        QElapsedTimer sinceExit;
        auto *bar = window.dialog->findChild<QProgressBar *>(QStringLiteral("progressUpload"));
        QMetaObject::Connection started;
        started = QObject::connect(bar, &QProgressBar::valueChanged, [&](int value) {
            // A few chunks into the upload.
            if (value > 50 && !sinceExit.isValid()) {
                QObject::disconnect(started);
                sinceExit.start();
                window.press("buttonExit");
            }
        });
        QTimer::singleShot(0, [&] { window.press("buttonSend"); });
        QTimer::singleShot(600000, [] { QCoreApplication::exit(99); });
        const int code = QApplication::exec();
        window.tearDown();
        exits << double(sinceExit.nsecsElapsed()) / 1e6;
        if (code != 0 || !QFile::exists(dump))
            qFatal("Exit while sending did not end with 0 and the dump kept (exit code %d)", code);
    }
    std::sort(exits.begin(), exits.end());
    out << "gui.exit_while_sending_ms_median "
        << QString::number(exits.at(exits.size() / 2), 'f', 1) << '\n'
        << "gui.exit_while_sending_ms_max " << QString::number(exits.last(), 'f', 1) << '\n';
    return 0;
}
