// Faults of the web service and of the connection, one stage at a time, met from the real window:
// each ends with the right log lines and box, the window back in editing mode and the dump file
// untouched, and a second press against a healthy service then sends the report.

#include "app/kdumpreporterdlg.h"
#include "app/kreportqueue.h"
#include "app/translations.h"
#include "base/processvalues.h"
#include "http/knetworkreply.h"
#include "logging/logging.h"
#include "logging/loggingmanager.h"
#include "settings/ksettingsmanager.h"
#include "support/reportwindowdriver.h"
#include "support/scriptedapi.h"
#include "support/testenvironment.h"
#include "support/testhttpserver.h"
#include "support/testlogcapture.h"
#include "support/testsupport.h"
#include "webclient/kwebclient.h"

#include <QCryptographicHash>
#include <QMutex>
#include <QMutexLocker>
#include <QRegularExpression>
#include <QtTest>
#include <QtWidgets>

#include <memory>

namespace {

constexpr int Version = 0x010203;
// Injected silence time-out of every request: a minute becomes a second, which healthy answers
// from the loopback service beat by far even on a loaded machine.
constexpr int SilenceMs = 1000;

enum class Fault {
    None,
    CloseBeforeHeader, // part of the status line, then the connection closes
    InvalidHeader, // a header block without an HTTP status line
    Status500,
    ShortBody, // fewer body bytes than the Content-Length, then the connection closes
    Silence, // the request is read, then nothing comes back
    AuthLostReloginRefused, // auth 0, and the re-login that follows is refused
    ResultMinusOne,
    ResultZero,
};

// Where the API host points during the failing press.
// SilentTls takes the connection and never says a word of the TLS handshake.
enum class Host { Healthy, ClosedPort, Untrusted, SilentTls };

const QByteArray loginOkBody(
    "login=\"1\"\ndeleted=\"0\"\nnew_user=\"0\"\ndomain=\"acme.example\"\n");
const QByteArray loginRefusedBody("login=\"0\"\ndeleted=\"0\"\n");

// A loopback HTTPS stand-in for the web service, healthy unless a fault is set for one of its
// API methods ("login" or "upload_feedback2"): the scripted API on a test server whose
// connections are served one after another.
class FaultyService
{
public:
    explicit FaultyService(TestIdentity identity = TestIdentity::Server)
        : m_server(m_api.handler(), identity)
    {
        setFault(Fault::None, QString());
    }

    QString hostAndPort() const { return m_server.hostAndPort(); }
    int failedHandshakes() const { return m_server.failedHandshakes(); }

    void setFault(Fault fault, const QString &method)
    {
        using Answer = ScriptedApi::Answer;
        const QString login = QStringLiteral("login");
        const QString upload = QStringLiteral("upload_feedback2");
        m_api.clear();
        m_api.setMethodDefault(login, Answer(200, loginOkBody));
        m_api.setMethodDefault(upload, ScriptedApi::result("1"));
        const QByteArray healthy = method == login ? loginOkBody : QByteArray("result=\"1\"\n");
        const auto writing = [](const QByteArray &bytes) {
            return Answer::misbehaving(
                [bytes](TestConnection &connection) { connection.write(bytes); });
        };
        switch (fault) {
        case Fault::None:
            return;
        case Fault::CloseBeforeHeader: // part of the status line, then the end
            m_api.setMethodDefault(method, writing("HTTP/1.0 200 OK\r\nContent-Le"));
            return;
        case Fault::InvalidHeader:
            m_api.setMethodDefault(method, writing("220 ready\r\nServer: mail\r\n\r\n" + healthy));
            return;
        case Fault::Status500:
            m_api.setMethodDefault(method, Answer(500, healthy));
            return;
        case Fault::ShortBody:
            m_api.setMethodDefault(method,
                writing("HTTP/1.0 200 OK\r\nContent-Length: "
                    + QByteArray::number(healthy.size() + 10) + "\r\n\r\n" + healthy));
            return;
        case Fault::Silence: // until the client gives up and closes
            m_api.setMethodDefault(method, Answer::misbehaving([](TestConnection &connection) {
                connection.waitForClientClose(10000);
            }));
            return;
        case Fault::AuthLostReloginRefused: // and the sign-in after it is refused
            m_api.setMethodDefault(method, ScriptedApi::authLost());
            m_api.scriptMethod(login, { Answer(200, loginOkBody), Answer(200, loginRefusedBody) });
            return;
        case Fault::ResultMinusOne:
            m_api.setMethodDefault(method, ScriptedApi::result("-1"));
            return;
        case Fault::ResultZero:
            m_api.setMethodDefault(method, ScriptedApi::result("0"));
            return;
        }
    }
    QStringList methods() const { return m_api.methods(); }
    // The memory dump of the last upload, decoded from the form body.
    QByteArray lastMemoryDump() const
    {
        const QList<QByteArray> uploads = m_api.uploads();
        return uploads.isEmpty() ? QByteArray() : uploads.last();
    }
    void clear() { m_api.clearRequests(); }

private:
    ScriptedApi m_api;
    TestHttpServer m_server; // after the script: its thread serves as soon as it exists
};

QByteArray sha256(const QByteArray &bytes)
{
    return QCryptographicHash::hash(bytes, QCryptographicHash::Sha256);
}

// The failure box of a service that could not be reached, and of one that did not answer
// properly; the report is kept in both.
QString unreachableText(const QString &cause)
{
    return QStringLiteral("Report sending failed. Could not connect to the Velmora service: %1. "
                          "Please check your network connection; the report is kept and will be "
                          "sent later.")
        .arg(cause);
}

QString brokenText(const QString &cause)
{
    return QStringLiteral("Report sending failed. The Velmora service did not answer properly: "
                          "%1. The report is kept and will be sent later.")
        .arg(cause);
}

// A log line as "LEVEL message": the message is exact, or a prefix when it ends with "*".
struct ExpectedLine
{
    VM::LogLevel level;
    QString message;
    bool prefix;
};

ExpectedLine parseExpected(const QString &text)
{
    static const QHash<QString, VM::LogLevel> levels {
        { QStringLiteral("TRACE"), VM::LogLevel::Trace },
        { QStringLiteral("DEBUG"), VM::LogLevel::Debug },
        { QStringLiteral("INFO"), VM::LogLevel::Info },
        { QStringLiteral("WARN"), VM::LogLevel::Warn },
    };
    const qsizetype space = text.indexOf(QLatin1Char(' '));
    QString message = text.mid(space + 1);
    const bool prefix = message.endsWith(QLatin1Char('*'));
    if (prefix)
        message.chop(1);
    return { levels.value(text.left(space)), message, prefix };
}

} // namespace

class TestFaults : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void cleanupTestCase();

    void faultThenHealthyRetry_data();
    void faultThenHealthyRetry();
    void unansweredSignInAfterEarlierSignIn_data();
    void unansweredSignInAfterEarlierSignIn();

private:
    QString dumpPath() const { return m_files.filePath(QStringLiteral("crash.dmp")); }
    // "127.0.0.1:PORT" of the service a row names; empty when no closed port could be had.
    QString hostAndPort(Host host) const;

    std::unique_ptr<TestEnvironment> m_env;
    QTemporaryDir m_files;
    std::unique_ptr<FaultyService> m_service;
    std::unique_ptr<FaultyService> m_untrusted;
    std::unique_ptr<TestHttpServer> m_silentTls;
    KNetworkReply::Timeouts m_savedTimeouts;
};

QString TestFaults::hostAndPort(Host host) const
{
    switch (host) {
    case Host::ClosedPort: {
        const quint16 port = unusedLoopbackPort();
        return port == 0 ? QString() : QStringLiteral("127.0.0.1:%1").arg(port);
    }
    case Host::Untrusted:
        return m_untrusted->hostAndPort();
    case Host::SilentTls:
        return m_silentTls->hostAndPort();
    case Host::Healthy:
        break;
    }
    return m_service->hostAndPort();
}

void TestFaults::initTestCase()
{
    m_env = std::make_unique<TestEnvironment>();
    m_env->logToFile();
    setVersionNumber(Version);
    // The English texts as start-up shows them: "1 second", "1 earlier report".
    installTranslations(QLocale(QLocale::English, QLocale::UnitedStates));
    m_env->useSettings(Version, QStringLiteral("VelmoraTests"), QStringLiteral("Faults"))
        .trustTestCa();
    m_service = std::make_unique<FaultyService>();
    m_untrusted = std::make_unique<FaultyService>(TestIdentity::SelfSigned);
    m_silentTls = std::make_unique<TestHttpServer>(
        [](TestConnection &connection) { connection.waitForClientClose(10000); });

    // A minute of silence becomes a fraction of a second.
    m_savedTimeouts = KNetworkReply::defaultTimeouts();
    KNetworkReply::Timeouts timeouts = m_savedTimeouts;
    timeouts.silenceMs = SilenceMs;
    KNetworkReply::setDefaultTimeouts(timeouts);
}

void TestFaults::cleanupTestCase()
{
    KNetworkReply::setDefaultTimeouts(m_savedTimeouts);
    m_silentTls.reset();
    m_untrusted.reset();
    m_service.reset();
    m_env.reset();
}

void TestFaults::faultThenHealthyRetry_data()
{
    QTest::addColumn<int>("host");
    QTest::addColumn<int>("fault");
    QTest::addColumn<QString>("faultMethod");
    QTest::addColumn<int>("code");
    QTest::addColumn<QStringList>("methods"); // what the healthy service saw of the failing press
    QTest::addColumn<QStringList>("logLines"); // in order; "{url}" is the faulty request's URL
    QTest::addColumn<QString>("box"); // the failure box's text

    const QString login = QStringLiteral("login");
    const QString upload = QStringLiteral("upload_feedback2");
    const QStringList both { login, upload };
    const int connectionFailed = KWebClient::CallFailed;
    const QString signedIn = QStringLiteral("INFO User someone was succesfully authenticated. "
                                            "Will try sending the dump now.");
    const auto code = [](int value) {
        return QStringLiteral("WARN Dump sending failed with the following code: %1").arg(value);
    };
    const QString serverError = QStringLiteral("INFO Server error: -1, reply: ; url: {url}");

    // Faults at the sign-in: the service gave no answer, so the flow ends there as a failed upload
    // with the same code; nobody is said to be signed in and no upload is attempted.
    QTest::newRow("sign-in: connection refused")
        << int(Host::ClosedPort) << int(Fault::None) << login << connectionFailed << QStringList()
        << QStringList { QStringLiteral("TRACE Got errror from a socket (%1): *")
                             .arg(int(QAbstractSocket::ConnectionRefusedError)),
               serverError, code(4) }
        << unreachableText("the connection was refused");
    QTest::newRow("sign-in: untrusted certificate")
        << int(Host::Untrusted) << int(Fault::None) << login << connectionFailed << QStringList()
        << QStringList { QStringLiteral("TRACE Got errror from a socket (%1): *")
                             .arg(int(QAbstractSocket::SslHandshakeFailedError)),
               serverError, code(4) }
        << unreachableText("the server's certificate is not trusted");
    // The handshake, like an answer, may be silent for no longer than the silence time-out.
    QTest::newRow("sign-in: silent during the TLS handshake")
        << int(Host::SilentTls) << int(Fault::None) << login << connectionFailed << QStringList()
        << QStringList { QStringLiteral("TRACE Got errror from a socket (%1): The server sent "
                                        "nothing for %2 ms during the TLS handshake")
                             .arg(int(QAbstractSocket::SocketTimeoutError))
                             .arg(SilenceMs),
               serverError, code(4) }
        << unreachableText("the secure connection could not be set up");
    QTest::newRow("sign-in: invalid header")
        << int(Host::Healthy) << int(Fault::InvalidHeader) << login << connectionFailed
        << QStringList { login }
        << QStringList { "INFO Invalid headers in response; url = {url}", serverError, code(4) }
        << brokenText("the service sent an answer that could not be read");
    QTest::newRow("sign-in: status 500")
        << int(Host::Healthy) << int(Fault::Status500) << login << connectionFailed
        << QStringList { login } << QStringList { code(4) }
        << brokenText("the service answered with the error 500 Status");

    // Faults at the upload, after a good sign-in.
    QTest::newRow("upload: close before the header")
        << int(Host::Healthy) << int(Fault::CloseBeforeHeader) << upload << connectionFailed << both
        << QStringList { signedIn,
               "INFO Server returns empty data to request; url = {url} ; error = *", serverError,
               code(4) }
        << brokenText("the connection was closed before an answer came");
    QTest::newRow("upload: short body")
        << int(Host::Healthy) << int(Fault::ShortBody) << upload << connectionFailed << both
        << QStringList { signedIn, "INFO The server has broken the stream; url = {url}",
               "INFO Server error: 200, reply: OK; url: {url}", code(4) }
        << brokenText("the service's answer broke off");
    QTest::newRow("upload: silence past the time-out")
        << int(Host::Healthy) << int(Fault::Silence) << upload << connectionFailed << both
        << QStringList { signedIn,
               QStringLiteral("INFO Socket timeout exceded. No data was given; url = {url}, "
                              "timeout = *"),
               serverError, code(4) }
        << unreachableText("no answer within 1 second");
    QTest::newRow("upload: auth 0, re-login refused")
        << int(Host::Healthy) << int(Fault::AuthLostReloginRefused) << upload << connectionFailed
        << QStringList { login, upload, login }
        << QStringList { signedIn, "INFO Server forgot us. We must try to re-login to the system.",
               "TRACE Use login/password from the last session",
               "WARN Server forgot us. Failed of re-login. Invalid login (someone)", code(4) }
        << QStringLiteral("Report sending failed. The Velmora service did not accept the "
                          "sign-in. The report is kept and will be sent later.");
    QTest::newRow("upload: result -1")
        << int(Host::Healthy) << int(Fault::ResultMinusOne) << upload
        << int(KWebClient::CallRefused) << both << QStringList { signedIn, code(9) }
        << QStringLiteral("Report sending failed. The Velmora service did not accept the report.");
    QTest::newRow("upload: result 0")
        << int(Host::Healthy) << int(Fault::ResultZero) << upload << int(KWebClient::CallBadResult)
        << both << QStringList { signedIn, code(5) }
        << brokenText("its answer did not confirm the report");
}

void TestFaults::faultThenHealthyRetry()
{
    QFETCH(int, host);
    QFETCH(int, fault);
    QFETCH(QString, faultMethod);
    QFETCH(int, code);
    QFETCH(QStringList, methods);
    QFETCH(QStringList, logLines);
    QFETCH(QString, box);

    // Every byte value, and small enough for two paced chunks.
    QByteArray dump("MDMP");
    for (int i = 0; i < 256; ++i)
        dump.append(char(i));
    QVERIFY(writeTestFile(dumpPath(), dump));
    const QByteArray dumpHash = sha256(dump);

    const QString faultyHost = hostAndPort(Host(host));
    QVERIFY(!faultyHost.isEmpty());
    qputenv("VELMORA_API_HOST", faultyHost.toLatin1());
    m_service->clear();
    m_service->setFault(Fault(fault), faultMethod);
    const int handshakesBefore = m_untrusted->failedHandshakes();

    BoxCloser boxes;
    WindowSession session(dumpPath(), Version);
    session.type("lineEditLogin", QStringLiteral("someone"));
    session.type("lineEditPassword", QStringLiteral("secret"));
    session.typeComment(QStringLiteral("It crashed."));
    const QString faultyUrl = session.client->makeApiUrl(faultMethod).toString();

    auto log = std::make_unique<TestLogCapture>();
    QCOMPARE(session.pressSend(boxes), WindowSession::FlowEnded);

    QCOMPARE(boxes.seen.size(), 1);
    QCOMPARE(boxes.seen.at(0).title, QStringLiteral("Report sending failed"));
    QCOMPARE(boxes.seen.at(0).text, box);
    QCOMPARE(boxes.seen.at(0).icon, QMessageBox::Critical);
    // The box says the report is kept: it is, in the queue of unsent reports.
    QVERIFY(!box.contains(QStringLiteral("is kept"))
        || KReportQueue(KReportQueue::defaultFolder()).entry(dumpPath()).has_value());
    QCOMPARE(boxes.seen.at(0).parent, session.dialog.get());
    QVERIFY(session.inEditingMode());
    QCOMPARE(m_service->methods(), methods);
    if (Host(host) == Host::Untrusted)
        QVERIFY(m_untrusted->failedHandshakes() > handshakesBefore);

    // The key lines, in this order, each at its level; and nothing claims success.
    const QStringList lines = log->lines();
    qsizetype from = 0;
    for (const QString &text : logLines) {
        const ExpectedLine expected = parseExpected(QString(text).replace("{url}", faultyUrl));
        const QString needle = QStringLiteral("]: \t") + expected.message
            + (expected.prefix ? QString() : QStringLiteral("\t"));
        qsizetype at = from;
        while (at < lines.size() && !lines.at(at).contains(needle))
            ++at;
        QVERIFY2(at < lines.size(),
            qPrintable(QStringLiteral("missing, or out of order: %1\n%2")
                           .arg(text, lines.join(QLatin1Char('\n')))));
        QVERIFY2(log->matching(needle, int(expected.level)).contains(lines.at(at)),
            qPrintable(QStringLiteral("wrong level: ") + lines.at(at)));
        from = at + 1;
    }
    QVERIFY(log->matching(QStringLiteral("Dump sending succeeded.")).isEmpty());
    QCOMPARE(
        log->matching(QStringLiteral("Dump sending failed with the following code: %1\t").arg(code),
               int(VM::LogLevel::Warn))
            .size(),
        1);
    if (faultMethod == QLatin1String("login")) {
        QVERIFY(log->matching(QStringLiteral("succesfully authenticated")).isEmpty());
        QVERIFY(
            log->matching(session.client->makeApiUrl(QStringLiteral("upload_feedback2")).toString())
                .isEmpty());
    }

    // Nothing lost: the dump is byte for byte what it was.
    QCOMPARE(sha256(readTestFile(dumpPath())), dumpHash);

    // The service is healthy again, and the second press sends the report.
    qputenv("VELMORA_API_HOST", m_service->hostAndPort().toLatin1());
    m_service->setFault(Fault::None, QString());
    m_service->clear();
    log->clear();
    QCOMPARE(session.pressSend(boxes), 0);
    QCOMPARE(boxes.seen.size(), 1);
    QCOMPARE(m_service->methods(), QStringList({ "login", "upload_feedback2" }));
    QCOMPARE(m_service->lastMemoryDump(), dump);
    QVERIFY(!QFile::exists(dumpPath()));
    QCOMPARE(
        log->matching(QStringLiteral("]: \tDump sending succeeded.\t"), int(VM::LogLevel::Info))
            .size(),
        1);
}

void TestFaults::unansweredSignInAfterEarlierSignIn_data()
{
    QTest::addColumn<int>("host");
    QTest::addColumn<int>("fault"); // at the sign-in
    QTest::addColumn<QStringList>("methods"); // what the healthy service saw of the second press
    QTest::addColumn<QString>("box"); // the second failure box's text

    QTest::newRow("connection refused")
        << int(Host::ClosedPort) << int(Fault::None) << QStringList()
        << unreachableText("the connection was refused");
    QTest::newRow("untrusted certificate")
        << int(Host::Untrusted) << int(Fault::None) << QStringList()
        << unreachableText("the server's certificate is not trusted");
    QTest::newRow("status 500") << int(Host::Healthy) << int(Fault::Status500)
                                << QStringList { "login" }
                                << brokenText("the service answered with the error 500 Status");
    QTest::newRow("silence past the time-out")
        << int(Host::Healthy) << int(Fault::Silence) << QStringList { "login" }
        << unreachableText("no answer within 1 second");
}

void TestFaults::unansweredSignInAfterEarlierSignIn()
{
    QFETCH(int, host);
    QFETCH(int, fault);
    QFETCH(QStringList, methods);
    QFETCH(QString, box);

    const QByteArray dump("MDMP dump");
    QVERIFY(writeTestFile(dumpPath(), dump));

    // A first press signs in, and its upload is turned down: the client stays signed in.
    qputenv("VELMORA_API_HOST", m_service->hostAndPort().toLatin1());
    m_service->clear();
    m_service->setFault(Fault::ResultZero, QStringLiteral("upload_feedback2"));
    BoxCloser boxes;
    WindowSession session(dumpPath(), Version);
    session.type("lineEditLogin", QStringLiteral("someone"));
    session.type("lineEditPassword", QStringLiteral("secret"));
    QCOMPARE(session.pressSend(boxes), WindowSession::FlowEnded);
    QCOMPARE(m_service->methods(), QStringList({ "login", "upload_feedback2" }));

    // The second sign-in gets no answer: that is the end of this press, a failed upload with the
    // sign-in's code, and nothing goes out after it.
    const QString faultyHost = hostAndPort(Host(host));
    QVERIFY(!faultyHost.isEmpty());
    qputenv("VELMORA_API_HOST", faultyHost.toLatin1());
    m_service->clear();
    m_service->setFault(Fault(fault), QStringLiteral("login"));
    const QString uploadUrl
        = session.client->makeApiUrl(QStringLiteral("upload_feedback2")).toString();
    TestLogCapture log;
    QCOMPARE(session.pressSend(boxes), WindowSession::FlowEnded);

    QCOMPARE(boxes.seen.size(), 2);
    QCOMPARE(boxes.seen.at(1).title, QStringLiteral("Report sending failed"));
    QCOMPARE(boxes.seen.at(1).text, box);
    QVERIFY(session.inEditingMode());
    QCOMPARE(m_service->methods(), methods);
    QVERIFY2(log.matching(uploadUrl).isEmpty(), qPrintable(log.lines().join(QLatin1Char('\n'))));
    QVERIFY(log.matching(QStringLiteral("succesfully authenticated")).isEmpty());
    QCOMPARE(log.matching(QStringLiteral("]: \tDump sending failed with the following code: 4\t"),
                    int(VM::LogLevel::Warn))
                 .size(),
        1);
    QCOMPARE(readTestFile(dumpPath()), dump);
}

QTEST_MAIN(TestFaults)
#include "tst_faults.moc"
