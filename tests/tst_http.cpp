#include "http/knetworkreply.h"
#include "http/krequestbody.h"
#include "logging/logging.h"
#include "settings/ksettingsmanager.h"
#include "support/fullbackloglistener.h"
#include "support/testenvironment.h"
#include "support/testhttpserver.h"
#include "support/testnginx.h"
#include "support/testsupport.h"
#include "webclient/formencoding.h"
#include "webclient/kformbody.h"

#include <QAuthenticator>
#include <QFile>
#include <QNetworkCookie>
#include <QNetworkCookieJar>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTest>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <openssl/pem.h>
#include <openssl/ssl.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <memory>
#include <thread>

namespace {

const QString ClientVersion = QStringLiteral("1.2.3");
const QString Referer = QStringLiteral("https://api.velmora.com/referrer");

// Short waits for the tests of time-outs; the pacing period stays the real one.
KNetworkReply::Timeouts quickTimeouts(int silenceMs = 5000)
{
    KNetworkReply::Timeouts timeouts;
    timeouts.silenceMs = silenceMs;
    timeouts.tlsHandshakeMs = 5000;
    return timeouts;
}

QByteArray okAnswer(const QByteArray &body)
{
    return "HTTP/1.0 200 OK\r\nContent-Length: " + QByteArray::number(body.size())
        + "\r\nContent-Type: text/plain\r\n\r\n" + body;
}

// Reads the request, writes the answer whole and closes.
TestHttpServer::Handler answering(const QByteArray &answer)
{
    return [answer](TestConnection &connection) {
        connection.readRequest();
        connection.write(answer);
        connection.close();
    };
}

// The header lines a request carries before its cookie lines.
QByteArray requestHead(const QByteArray &target, const QByteArray &body)
{
    QByteArray head = "POST " + target + " HTTP/1.0\r\nHost: 127.0.0.1\r\n";
    if (!body.isEmpty())
        head += "Content-Transfer-Encoding: 8bit\r\n"
                "Content-Type: application/x-www-form-urlencoded\r\n";
    head += "Content-Length: " + QByteArray::number(body.size()) + "\r\n";
    head += "User-Agent: Velmora client/1.2.3\r\nReferer: " + Referer.toLatin1()
        + "\r\nConnection: close\r\n";
    return head;
}

// A one-connection TLS server written with OpenSSL, for the ending that Qt's server socket does
// not produce: it answers, sends close_notify, and then keeps the TCP connection open until the
// client closes it (or 10 s pass), as servers that wait for the peer's close_notify do.
class CloseNotifyServer
{
public:
    explicit CloseNotifyServer(const QByteArray &answer)
    {
        m_listener = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in address {};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof(address);
        if (::bind(m_listener, reinterpret_cast<sockaddr *>(&address), length) != 0
            || ::listen(m_listener, 1) != 0
            || ::getsockname(m_listener, reinterpret_cast<sockaddr *>(&address), &length) != 0)
            qFatal("cannot set up the listener");
        m_port = ntohs(address.sin_port);
        m_thread = std::thread([this, answer] { serve(answer); });
    }
    ~CloseNotifyServer()
    {
        if (m_thread.joinable())
            m_thread.join();
        ::close(m_listener);
    }
    quint16 port() const { return m_port; }
    // Waits for the connection to end; true when the server had sent close_notify and still held
    // the TCP connection when the client closed it.
    bool clientClosedFirst()
    {
        if (m_thread.joinable())
            m_thread.join();
        return m_clientClosedFirst.load();
    }

private:
    static bool readable(int fd, int ms)
    {
        pollfd entry { fd, POLLIN, 0 };
        return ::poll(&entry, 1, ms) > 0;
    }

    static QByteArray resource(const QString &name)
    {
        QFile file(QStringLiteral(":/testcerts/") + name);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }

    void serve(const QByteArray &answer)
    {
        testCaPath(); // loads the certificate resources
        if (!readable(m_listener, 10000))
            return;
        const int fd = ::accept(m_listener, nullptr, nullptr);
        if (fd < 0)
            return;
        SSL_CTX *context = SSL_CTX_new(TLS_server_method());
        const QByteArray certificatePem = resource(QStringLiteral("server.pem"));
        const QByteArray keyPem = resource(QStringLiteral("server.key"));
        BIO *certificateBio
            = BIO_new_mem_buf(certificatePem.constData(), int(certificatePem.size()));
        BIO *keyBio = BIO_new_mem_buf(keyPem.constData(), int(keyPem.size()));
        X509 *certificate = PEM_read_bio_X509(certificateBio, nullptr, nullptr, nullptr);
        EVP_PKEY *key = PEM_read_bio_PrivateKey(keyBio, nullptr, nullptr, nullptr);
        SSL_CTX_use_certificate(context, certificate);
        SSL_CTX_use_PrivateKey(context, key);
        SSL *ssl = SSL_new(context);
        SSL_set_fd(ssl, fd);
        if (SSL_accept(ssl) == 1) {
            // The request: its header and the three body bytes every caller here sends.
            QByteArray request;
            char buffer[4096];
            while (
                !(request.contains("\r\n\r\n") && request.endsWith("a=1")) && readable(fd, 5000)) {
                const int n = SSL_read(ssl, buffer, sizeof(buffer));
                if (n <= 0)
                    break;
                request.append(buffer, n);
            }
            SSL_write(ssl, answer.constData(), int(answer.size()));
            // close_notify goes out; the TCP connection stays until the client ends it.
            SSL_shutdown(ssl);
            bool closed = false;
            while (!closed && readable(fd, 10000)) {
                const int n = SSL_read(ssl, buffer, sizeof(buffer));
                if (n <= 0)
                    closed = true;
            }
            m_clientClosedFirst.store(closed);
        }
        SSL_free(ssl);
        EVP_PKEY_free(key);
        X509_free(certificate);
        BIO_free(keyBio);
        BIO_free(certificateBio);
        SSL_CTX_free(context);
        ::close(fd);
    }

    int m_listener;
    quint16 m_port;
    std::atomic<bool> m_clientClosedFirst { false };
    std::thread m_thread;
};

qint64 steadyMs()
{
    return std::chrono::duration_cast<std::chrono::milliseconds>(
        std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

QByteArray readFile(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
}

// Quick time-outs without pacing, for bodies of many chunks.
KNetworkReply::Timeouts unpacedTimeouts()
{
    KNetworkReply::Timeouts timeouts = quickTimeouts();
    timeouts.sendPeriodMs = 0;
    return timeouts;
}

// A body source that misbehaves as asked once at bytes have been read.
class FaultyBody : public KRequestBody
{
public:
    enum Fault { ReadFails, EndsEarly, GoesOnPastItsSize, CannotRewind };

    FaultyBody(const QByteArray &bytes, Fault fault, qint64 at)
        : m_bytes(bytes)
        , m_fault(fault)
        , m_at(at)
    { }

    qint64 size() const override { return m_bytes.size(); }
    qint64 read(char *out, qint64 max) override
    {
        if (m_fault == ReadFails && m_position >= m_at) {
            setErrorString(QStringLiteral("disk gone"));
            return -1;
        }
        const qint64 end = m_fault == GoesOnPastItsSize
            ? m_bytes.size() + 100
            : (m_fault == CannotRewind ? m_bytes.size() : m_at);
        const qint64 n = std::min(max, end - m_position);
        for (qint64 i = 0; i < n; ++i)
            out[i] = m_position + i < m_bytes.size() ? m_bytes.at(m_position + i) : 'z';
        m_position += n;
        return n;
    }
    bool rewind() override
    {
        if (m_fault == CannotRewind) {
            setErrorString(QStringLiteral("cannot go back"));
            return false;
        }
        m_position = 0;
        return true;
    }

private:
    QByteArray m_bytes;
    Fault m_fault;
    qint64 m_at;
    qint64 m_position = 0;
};

} // namespace

class TstHttp : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanupTestCase();

    void requestBytes_data();
    void requestBytes();
    void requestBytesFromABodySource_data();
    void requestBytesFromABodySource();
    void failingBodySourceStopsTheRequest_data();
    void failingBodySourceStopsTheRequest();
    void pacing();

    void answers_data();
    void answers();
    void setCookieLinesReachTheJar();
    void oversizedAnswerIsRefusedEarly_data();
    void oversizedAnswerIsRefusedEarly();

    void silence_data();
    void silence();
    void slowAnswerKeepsComing();

    void tlsTrusted();
    void tlsCloseNotifyEndsTheAnswer();
    void tlsRefused_data();
    void tlsRefused();

    void dumpWritesRequestAndAnswer();
    void dumpCutAtNul();
    void dumpOfALargeBodySource_data();
    void dumpOfALargeBodySource();
    void noDumpWithoutTheWord();
    void dumpIsForItsOwnerOnly_data();
    void dumpIsForItsOwnerOnly();

    void abort_data();
    void abort();

    void proxyCredentials();
    void postFromAnotherThread();

    void failureKinds_data();
    void failureKinds();
    void earlyAnswerStopsTheRequest_data();
    void earlyAnswerStopsTheRequest();

private:
    std::unique_ptr<TestEnvironment> m_env;
};

void TstHttp::initTestCase()
{
    m_env = std::make_unique<TestEnvironment>();
    m_env->captureLog()
        .useSettings(0x10100, QStringLiteral("VelmoraTests"), QStringLiteral("HttpTest"))
        .trustTestCa();
    KNetworkReply::resetRawDumpForTesting(false);
}

void TstHttp::init()
{
    m_env->log().clear();
    // Qt's complaints (a socket used from the wrong thread, a wait in the wrong state) are faults.
    QTest::failOnWarning(QRegularExpression(QStringLiteral(".+")));
}

void TstHttp::cleanupTestCase()
{
    m_env.reset();
}

// ---- the request ------------------------------------------------------------------------------

void TstHttp::requestBytes_data()
{
    QTest::addColumn<QString>("pathAndQuery");
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<QString>("referer");
    QTest::addColumn<QStringList>("cookies"); // "-": no jar at all
    QTest::addColumn<QByteArray>("expectedTarget");
    QTest::addColumn<QByteArray>("expectedCookieLines");

    QTest::newRow("api call, no jar")
        << "/v2/api/execute.php?method=login&ver=win1.2.3" << QByteArray("login=a&passwd=b%26")
        << Referer << QStringList { "-" }
        << QByteArray("/v2/api/execute.php?method=login&ver=win1.2.3") << QByteArray();
    QTest::newRow("empty query and empty body")
        << "/v2/a%20b" << QByteArray() << Referer << QStringList { "-" } << QByteArray("/v2/a%20b?")
        << QByteArray();
    QTest::newRow("empty jar") << "/p?q=1" << QByteArray("x=1") << Referer << QStringList()
                               << QByteArray("/p?q=1") << QByteArray();
    QTest::newRow("two cookies, two lines")
        << "/p?q=1" << QByteArray("x=1") << Referer << QStringList { "sid=abc", "lang=en" }
        << QByteArray("/p?q=1") << QByteArray("Cookie: sid=abc\r\nCookie: lang=en\r\n");
}

void TstHttp::requestBytes()
{
    QFETCH(QString, pathAndQuery);
    QFETCH(QByteArray, body);
    QFETCH(QString, referer);
    QFETCH(QStringList, cookies);
    QFETCH(QByteArray, expectedTarget);
    QFETCH(QByteArray, expectedCookieLines);

    TestHttpServer server(answering(okAnswer("fine")));
    const QUrl url = server.url(pathAndQuery);
    std::unique_ptr<QNetworkCookieJar> jar;
    if (cookies != QStringList { "-" }) {
        jar = std::make_unique<QNetworkCookieJar>();
        for (const QString &cookie : cookies) {
            QList<QNetworkCookie> parsed = QNetworkCookie::parseCookies(cookie.toLatin1());
            jar->setCookiesFromUrl(parsed, url);
        }
    }

    KNetworkReply reply(url, referer, body, jar.get(), quickTimeouts());
    QVERIFY(reply.post(ClientVersion, 60000));
    QVERIFY(server.waitForConnections(1));

    const QByteArray expected
        = requestHead(expectedTarget, body) + expectedCookieLines + "\r\n" + body;
    QCOMPARE(server.received(), expected);
    QCOMPARE(reply.readAll(), QByteArray("fine"));
}

void TstHttp::requestBytesFromABodySource_data()
{
    QTest::addColumn<QByteArray>("dump"); // null: the body is "login=a&passwd=b%26" in memory

    QByteArray dump(5000, Qt::Uninitialized);
    QRandomGenerator generator(11);
    for (char &c : dump)
        c = char(generator.bounded(256));
    QTest::newRow("bytes in memory") << QByteArray();
    QTest::newRow("form with a file of several chunks") << dump;
    QTest::newRow("form with a file of 0xFF bytes") << QByteArray(1001, '\xff');
    QTest::newRow("form with an empty file") << QByteArray("");
}

void TstHttp::requestBytesFromABodySource()
{
    QFETCH(QByteArray, dump);
    QTemporaryDir folder;
    std::shared_ptr<KRequestBody> source;
    QByteArray body;
    if (dump.isNull()) {
        body = "login=a&passwd=b%26";
        source = std::make_shared<KByteArrayBody>(body);
    } else {
        const QString path = folder.filePath(QStringLiteral("crash.dmp"));
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly) && file.write(dump) == dump.size());
        file.close();
        auto form = std::make_shared<KFormBody>();
        form->addValue(QStringLiteral("message"), "a b");
        form->addFile(QStringLiteral("memorydump"), path);
        QVERIFY(form->measure());
        body = encodeFormFields({ { "message", "a b", false }, { "memorydump", dump, true } });
        source = form;
    }

    TestHttpServer server(answering(okAnswer("fine")));
    const QUrl url = server.url(QStringLiteral("/v2/api/execute.php?method=upload_feedback2"));
    const QByteArray expected
        = requestHead("/v2/api/execute.php?method=upload_feedback2", body) + "\r\n" + body;
    // A second request with the same source (the re-send after a re-login) sends it whole again.
    for (int round = 1; round <= 2; ++round) {
        KNetworkReply reply(url, Referer, source, nullptr, unpacedTimeouts());
        QSignalSpy progress(&reply, &KNetworkReply::uploadProgress);
        QVERIFY(reply.post(ClientVersion, 60000));
        QVERIFY(server.waitForConnections(round));
        QCOMPARE(server.received(), expected.repeated(round));
        QCOMPARE(reply.readAll(), QByteArray("fine"));
        QCOMPARE(progress.last(),
            (QList<QVariant> { qint64(expected.size()), qint64(expected.size()) }));
    }
}

void TstHttp::failingBodySourceStopsTheRequest_data()
{
    QTest::addColumn<int>("fault");
    QTest::addColumn<QString>("reason");

    QTest::newRow("read fails half-way") << int(FaultyBody::ReadFails) << "disk gone";
    QTest::newRow("ends before its size")
        << int(FaultyBody::EndsEarly) << "the body ended before its 5000 bytes";
    QTest::newRow("goes on past its size")
        << int(FaultyBody::GoesOnPastItsSize) << "the body is longer than its 5000 bytes";
    QTest::newRow("cannot start from its first byte")
        << int(FaultyBody::CannotRewind) << "cannot go back";
}

void TstHttp::failingBodySourceStopsTheRequest()
{
    QFETCH(int, fault);
    QFETCH(QString, reason);
    const QByteArray body(5000, 'q');
    auto source = std::make_shared<FaultyBody>(body, FaultyBody::Fault(fault), 2500);

    TestHttpServer server(answering(okAnswer("fine")));
    const QUrl url = server.url(QStringLiteral("/upload"));
    KNetworkReply reply(url, Referer, source, nullptr, unpacedTimeouts());
    QVERIFY(!reply.post(ClientVersion, 60000));
    QCOMPARE(m_env->log()
                 .matching(QStringLiteral("The request body cannot be read; url = %1 ; error = %2")
                               .arg(url.toString(), reason),
                     int(VM::LogLevel::Info))
                 .size(),
        1);
    // The request never arrives whole: the bytes after the failure, or the last chunk when the
    // body turns out longer, stay unsent.
    const qint64 whole = requestHead("/upload?", body).size() + 2 + body.size();
    if (fault != FaultyBody::CannotRewind)
        QVERIFY(server.waitForConnections(1));
    QVERIFY2(server.received().size() < whole,
        qPrintable(QStringLiteral("%1 of %2").arg(server.received().size()).arg(whole)));
    if (fault == FaultyBody::CannotRewind)
        QCOMPARE(server.received(), QByteArray());
}

void TstHttp::pacing()
{
    // Header and body together: exactly two chunks of 819 bytes.
    const QByteArray head = requestHead("/upload?", QByteArray(1000, 'b')) + "\r\n";
    const QByteArray body(1638 - head.size(), 'b');
    QCOMPARE(requestHead("/upload?", body).size() + 2 + body.size(), 1638);

    TestHttpServer server(answering(okAnswer("ok")));
    KNetworkReply reply(
        server.url(QStringLiteral("/upload")), Referer, body, nullptr, quickTimeouts());
    QSignalSpy progress(&reply, &KNetworkReply::uploadProgress);
    const qint64 started = steadyMs();
    QVERIFY(reply.post(ClientVersion, 60000));
    // Each chunk takes a whole period, the last one included.
    QVERIFY(steadyMs() - started >= 200);
    QVERIFY(server.waitForConnections(1));

    const QList<TestConnection::Arrival> arrivals = server.arrivals();
    QCOMPARE(server.received().size(), 1638);
    QVERIFY2(arrivals.size() == 2, qPrintable(QStringLiteral("%1 arrivals").arg(arrivals.size())));
    QCOMPARE(arrivals.at(0).size, 819);
    QCOMPARE(arrivals.at(1).size, 819);
    // Seen from the receiving thread; its wake-up delays can only shorten the gap a little.
    const qint64 gapMs = (arrivals.at(1).atNs - arrivals.at(0).atNs) / 1000000;
    QVERIFY2(gapMs >= 90, qPrintable(QStringLiteral("gap %1 ms").arg(gapMs)));

    QCOMPARE(progress.size(), 2);
    QCOMPARE(progress.at(0), (QList<QVariant> { qint64(819), qint64(1638) }));
    QCOMPARE(progress.at(1), (QList<QVariant> { qint64(1638), qint64(1638) }));
}

// ---- the answer -------------------------------------------------------------------------------

void TstHttp::answers_data()
{
    QTest::addColumn<QByteArray>("answer");
    QTest::addColumn<bool>("byteByByte");
    QTest::addColumn<bool>("ok");
    QTest::addColumn<int>("status");
    QTest::addColumn<QString>("reason");
    QTest::addColumn<QString>("version");
    QTest::addColumn<QVariant>("contentLength");
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<QString>("logged"); // %1: the URL

    const QString noLog;
    QTest::newRow("status line, headers, body")
        << QByteArray("HTTP/1.1 200 OK\r\nContent-Length: 5\r\nServer: x\r\n\r\nhello") << false
        << true << 200 << "OK"
        << "1.1" << QVariant(QStringLiteral("5")) << QByteArray("hello") << noLog;
    QTest::newRow("the same, byte by byte")
        << QByteArray("HTTP/1.1 200 OK\r\nContent-Length: 5\r\nServer: x\r\n\r\nhello") << true
        << true << 200 << "OK"
        << "1.1" << QVariant(QStringLiteral("5")) << QByteArray("hello") << noLog;
    QTest::newRow("reason with blanks, no length")
        << QByteArray("HTTP/1.0 404 Not Found\r\nServer: x\r\n\r\nmissing") << false << true << 404
        << "Not Found"
        << "1.0" << QVariant() << QByteArray("missing") << noLog;
    QTest::newRow("only a status line")
        << QByteArray("HTTP/1.0 200 OK\r\n\r\nbody") << false << false << -1 << ""
        << "" << QVariant() << QByteArray() << "Invalid headers in response; url = %1";
    QTest::newRow("lower-case content-length is not one")
        << QByteArray("HTTP/1.0 200 OK\r\ncontent-length: 10\r\n\r\nabc") << false << true << 200
        << "OK"
        << "1.0" << QVariant() << QByteArray("abc") << noLog;
    QTest::newRow("short body") << QByteArray(
        "HTTP/1.0 200 OK\r\nContent-Length: 10\r\n\r\n12345678")
                                << false << false << 200 << "OK"
                                << "1.0" << QVariant(QStringLiteral("10")) << QByteArray("12345678")
                                << "The server has broken the stream; url = %1";
    QTest::newRow("long body") << QByteArray("HTTP/1.0 200 OK\r\nContent-Length: 2\r\n\r\nabc")
                               << false << false << 200 << "OK"
                               << "1.0" << QVariant(QStringLiteral("2")) << QByteArray("abc")
                               << "The server has broken the stream; url = %1";
    QTest::newRow("closed before the blank line")
        << QByteArray("HTTP/1.0 200 OK\r\nServer: x\r\n") << false << false << -1 << ""
        << "" << QVariant() << QByteArray()
        << "Server returns empty data to request; url = %1 ; error = ";
    QTest::newRow("closed without a byte")
        << QByteArray() << false << false << -1 << ""
        << "" << QVariant() << QByteArray()
        << "Server returns empty data to request; url = %1 ; error = ";
    QTest::newRow("blank line at the very start is passed over")
        << QByteArray("\r\n\r\nHTTP/1.0 201 Created\r\nServer: x\r\n\r\nnew") << false << true
        << 201 << "Created"
        << "1.0" << QVariant() << QByteArray("new") << noLog;
    QTest::newRow("Content-Length beyond 64 bits")
        << QByteArray("HTTP/1.0 200 OK\r\nContent-Length: 100000000000000000000000\r\n\r\nabc")
        << false << false << 200 << "OK"
        << "1.0" << QVariant(QStringLiteral("100000000000000000000000")) << QByteArray()
        << "The server has broken the stream; url = %1";
    QTest::newRow("Content-Length of 2^64 + 3")
        << QByteArray("HTTP/1.0 200 OK\r\nContent-Length: 18446744073709551619\r\n\r\nabc") << false
        << false << 200 << "OK"
        << "1.0" << QVariant(QStringLiteral("18446744073709551619")) << QByteArray()
        << "The server has broken the stream; url = %1";
    QTest::newRow("header beyond its limit")
        << "HTTP/1.0 200 OK\r\nX-Pad: " + QByteArray(int(KNetworkReply::maxAnswerHeaderBytes), 'p')
            + "\r\n\r\nabc"
        << false << false << -1 << ""
        << "" << QVariant() << QByteArray() << "The answer is too large; url = %1";
}

void TstHttp::answers()
{
    QFETCH(QByteArray, answer);
    QFETCH(bool, byteByByte);
    QFETCH(bool, ok);
    QFETCH(int, status);
    QFETCH(QString, reason);
    QFETCH(QString, version);
    QFETCH(QVariant, contentLength);
    QFETCH(QByteArray, body);
    QFETCH(QString, logged);

    TestHttpServer server([answer, byteByByte](TestConnection &connection) {
        connection.readRequest();
        if (byteByByte)
            connection.writeByteByByte(answer, 2);
        else
            connection.write(answer);
        connection.close();
    });
    const QUrl url = server.url(QStringLiteral("/v2/api/execute.php?method=login"));
    KNetworkReply reply(url, Referer, "a=1", nullptr, quickTimeouts());
    QCOMPARE(reply.post(ClientVersion, 60000), ok);
    QCOMPARE(reply.statusCode(), status);
    QCOMPARE(reply.reasonPhrase(), reason);
    QCOMPARE(reply.httpVersion(), version);
    QCOMPARE(reply.header(KNetworkReply::ContentLengthHeader), contentLength);
    if (ok)
        QCOMPARE(reply.readAll(), body);
    if (!logged.isEmpty())
        QCOMPARE(
            m_env->log().matching(logged.arg(url.toString()), int(VM::LogLevel::Info)).size(), 1);

    // The same bytes handed over in one piece give the same verdict and the same header values.
    KNetworkReply direct(url, Referer, "a=1", nullptr, quickTimeouts());
    QCOMPARE(direct.acceptAnswer(answer), ok);
    QCOMPARE(direct.statusCode(), status);
    QCOMPARE(direct.reasonPhrase(), reason);
    QCOMPARE(direct.header(KNetworkReply::ContentLengthHeader), contentLength);
    if (ok)
        QCOMPARE(direct.readAll(), body);
}

void TstHttp::setCookieLinesReachTheJar()
{
    TestHttpServer server(answering("HTTP/1.0 200 OK\r\nSet-Cookie: sid=abc; path=/\r\n"
                                    "Set-Cookie: lang=en\r\nSet-Cookie: last=1\r\n\r\n"));
    const QUrl url = server.url(QStringLiteral("/v2/api/execute.php?method=login"));
    QNetworkCookieJar jar;
    KNetworkReply reply(url, Referer, "a=1", &jar, quickTimeouts());
    QVERIFY(reply.post(ClientVersion, 60000));

    QStringList names;
    for (const QNetworkCookie &cookie : jar.cookiesForUrl(url))
        names << QString::fromLatin1(cookie.toRawForm(QNetworkCookie::NameAndValueOnly));
    names.sort();
    // The last header line has no CR LF of its own, so its cookie is not taken.
    QCOMPARE(names, (QStringList { "lang=en", "sid=abc" }));
}

// A server that streams junk as fast as the client takes it: the client gives up at the limit and
// stops reading, long before the server is through.
void TstHttp::oversizedAnswerIsRefusedEarly_data()
{
    QTest::addColumn<QByteArray>("head");
    QTest::newRow("header that never ends") << QByteArray("HTTP/1.0 200 OK\r\nX-Junk: ");
    QTest::newRow("body beyond its limit") << QByteArray("HTTP/1.0 200 OK\r\nServer: x\r\n\r\n");
}

void TstHttp::oversizedAnswerIsRefusedEarly()
{
    QFETCH(QByteArray, head);
    constexpr qint64 streamed = 256LL * 1024 * 1024;
    std::atomic<qint64> sent { 0 };
    TestHttpServer server([head, &sent](TestConnection &connection) {
        connection.readRequest();
        const QByteArray junk(64 * 1024, 'j');
        if (!connection.write(head))
            return;
        while (sent.load() < streamed && connection.write(junk))
            sent.fetch_add(junk.size());
    });
    const QUrl url = server.url(QStringLiteral("/v2/api/execute.php?method=login"));
    KNetworkReply reply(url, Referer, "a=1", nullptr, quickTimeouts());
    QVERIFY(!reply.post(ClientVersion, 60000));
    QVERIFY(server.waitForConnections(1, 60000));

    QCOMPARE(m_env->log()
                 .matching(QStringLiteral("The answer is too large; url = %1").arg(url.toString()),
                     int(VM::LogLevel::Info))
                 .size(),
        1);
    QVERIFY(reply.bytesReceived() <= KNetworkReply::maxAnswerBodyBytes);
    // The server could not get rid of its stream: the client had stopped reading.
    QVERIFY2(sent.load() < streamed / 4, qPrintable(QString::number(sent.load())));
}

// ---- time-outs --------------------------------------------------------------------------------

void TstHttp::silence_data()
{
    QTest::addColumn<QByteArray>("before");
    QTest::newRow("connection kept open after the whole body") << okAnswer("complete");
    QTest::newRow("no answer at all") << QByteArray();
}

void TstHttp::silence()
{
    QFETCH(QByteArray, before);
    TestHttpServer server([before](TestConnection &connection) {
        connection.readRequest();
        connection.write(before);
        connection.waitForClientClose();
    });
    const QUrl url = server.url(QStringLiteral("/slow?"));
    KNetworkReply reply(url, Referer, "a=1", nullptr, quickTimeouts(300));
    const qint64 started = steadyMs();
    QVERIFY(!reply.post(ClientVersion, 60000));
    QVERIFY(steadyMs() - started >= 300);
    QCOMPARE(m_env->log()
                 .matching(QStringLiteral("Socket timeout exceded. No data was given; url = %1, "
                                          "timeout = 300, elapsed = ")
                               .arg(url.toString()),
                     int(VM::LogLevel::Info))
                 .size(),
        1);
}

void TstHttp::slowAnswerKeepsComing()
{
    // Eleven pieces 100 ms apart: over a second in all, never 300 ms of silence.
    const QByteArray answer = okAnswer("0123456789");
    TestHttpServer server([answer](TestConnection &connection) {
        connection.readRequest();
        const qsizetype piece = answer.size() / 10 + 1;
        for (qsizetype at = 0; at < answer.size(); at += piece) {
            connection.write(answer.mid(at, piece));
            connection.sleep(100);
        }
        connection.close();
    });
    KNetworkReply reply(
        server.url(QStringLiteral("/slow")), Referer, "a=1", nullptr, quickTimeouts(300));
    QVERIFY(reply.post(ClientVersion, 60000));
    QCOMPARE(reply.readAll(), QByteArray("0123456789"));
}

// ---- TLS --------------------------------------------------------------------------------------

void TstHttp::tlsTrusted()
{
    TestHttpServer server(answering(okAnswer("secret")), TestIdentity::Server);
    QUrl url = server.url(QStringLiteral("/v2/api/execute.php?method=login"));
    url.setScheme(QStringLiteral("HtTpS"));
    KNetworkReply reply(url, Referer, "login=a&passwd=b", nullptr, quickTimeouts());
    QVERIFY(reply.post(ClientVersion, 60000));
    QCOMPARE(reply.readAll(), QByteArray("secret"));
    QVERIFY(server.waitForConnections(1));
    // The server speaks only TLS: the request got through it.
    QVERIFY(server.received().endsWith("login=a&passwd=b"));
}

void TstHttp::tlsCloseNotifyEndsTheAnswer()
{
    // The silence rule would fail the exchange after 2 s, long before the server gives up.
    CloseNotifyServer server(okAnswer("complete"));
    const QUrl url(
        QStringLiteral("https://127.0.0.1:%1/v2/api/execute.php?method=login").arg(server.port()));
    KNetworkReply reply(url, Referer, "a=1", nullptr, quickTimeouts(2000));
    QVERIFY2(reply.post(ClientVersion, 60000), qPrintable(m_env->log().lines().join("\n")));
    QCOMPARE(reply.statusCode(), 200);
    QCOMPARE(reply.readAll(), QByteArray("complete"));
    QVERIFY(m_env->log().matching(QStringLiteral("Socket timeout exceded")).isEmpty());
    QVERIFY(server.clientClosedFirst());
}

void TstHttp::tlsRefused_data()
{
    QTest::addColumn<TestIdentity>("identity");
    QTest::addColumn<bool>("trustTestCa");
    QTest::newRow("expired") << TestIdentity::Expired << true;
    QTest::newRow("for another host") << TestIdentity::WrongHost << true;
    QTest::newRow("self-signed") << TestIdentity::SelfSigned << true;
    QTest::newRow("authority not trusted") << TestIdentity::Server << false;
}

void TstHttp::tlsRefused()
{
    QFETCH(TestIdentity, identity);
    QFETCH(bool, trustTestCa);
    if (!trustTestCa)
        qunsetenv("VELMORA_EXTRA_CA_CERTS");
    const auto restore
        = qScopeGuard([] { qputenv("VELMORA_EXTRA_CA_CERTS", testCaPath().toLocal8Bit()); });

    TestHttpServer server(answering(okAnswer("secret")), identity);
    KNetworkReply reply(server.url(QStringLiteral("/v2/api/execute.php?method=login")), Referer,
        "login=a&passwd=b", nullptr, quickTimeouts());
    QSignalSpy sslErrors(&reply, &KNetworkReply::sslErrors);
    QVERIFY(!reply.post(ClientVersion, 60000));
    QVERIFY(server.waitForConnections(1));

    QCOMPARE(server.failedHandshakes(), 1);
    QCOMPARE(server.received(), QByteArray());
    QVERIFY(!sslErrors.isEmpty());
    QCOMPARE(m_env->log()
                 .matching(QStringLiteral("Got errror from a socket (%1): ")
                               .arg(int(QAbstractSocket::SslHandshakeFailedError)),
                     int(VM::LogLevel::Trace))
                 .size(),
        1);
}

// ---- raw traffic dump -------------------------------------------------------------------------

void TstHttp::dumpWritesRequestAndAnswer()
{
    const QString dumpPath = m_env->cachePath() + QStringLiteral("raw_network_data_alt.txt");
    QVERIFY(QDir().mkpath(m_env->cachePath()));
    {
        QFile old(dumpPath);
        QVERIFY(old.open(QIODevice::WriteOnly));
        old.write("left over from an earlier run\n");
    }
    KNetworkReply::resetRawDumpForTesting(true);
    const auto off = qScopeGuard([] { KNetworkReply::resetRawDumpForTesting(false); });

    const QByteArray answer = "HTTP/1.0 200 OK\r\nContent-Length: 4\r\n\r\nbody";
    TestHttpServer server(answering(answer));
    const QUrl url = server.url(QStringLiteral("/v2/api/execute.php?method=login"));
    KNetworkReply reply(url, Referer, "a=1", nullptr, quickTimeouts());
    QVERIFY(reply.post(ClientVersion, 60000));

    QByteArray request = requestHead("/v2/api/execute.php?method=login", "a=1") + "\r\n";
    request.replace('\r', QByteArray());
    const QByteArray expected = "\nW--------------->\n" + request + "a=1\nW--------------->\n"
        + "\nR--------------->\nR - Url:" + url.toString().toUtf8()
        + "\nR--------------->\nHTTP/1.0 200 OK\nContent-Length: 4\n\nbody\nR--------------->\n";
    QCOMPARE(readFile(dumpPath), expected);
}

void TstHttp::dumpCutAtNul()
{
    const QString dumpPath = m_env->cachePath() + QStringLiteral("raw_network_data_alt.txt");
    KNetworkReply::resetRawDumpForTesting(true);
    const auto off = qScopeGuard([] { KNetworkReply::resetRawDumpForTesting(false); });

    TestHttpServer server(answering(QByteArray("HTTP/1.0 200 OK\r\nServer: x\r\n\r\nxy\0z", 34)));
    KNetworkReply reply(server.url(QStringLiteral("/nul")), Referer, QByteArray("a=1\0b=2", 7),
        nullptr, quickTimeouts());
    QVERIFY(reply.post(ClientVersion, 60000));
    QCOMPARE(reply.readAll(), QByteArray("xy\0z", 4));
    // The sent request keeps its NUL; only the dump stops there.
    QVERIFY(server.received().endsWith(QByteArray("a=1\0b=2", 7)));

    const QByteArray dump = readFile(dumpPath);
    QVERIFY2(dump.contains("\na=1\nW--------------->\n"), dump.constData());
    QVERIFY2(dump.contains("\n\nxy\nR--------------->\n"), dump.constData());
    QVERIFY(!dump.contains("b=2"));
}

void TstHttp::dumpOfALargeBodySource_data()
{
    QTest::addColumn<int>("nulAt"); // -1: none

    QTest::newRow("no NUL: the whole body, read in several pieces") << -1;
    QTest::newRow("NUL after the first pieces") << 40000;
    QTest::newRow("NUL as the first byte") << 0;
}

void TstHttp::dumpOfALargeBodySource()
{
    QFETCH(int, nulAt);
    const QString dumpPath = m_env->cachePath() + QStringLiteral("raw_network_data_alt.txt");
    KNetworkReply::resetRawDumpForTesting(true);
    const auto off = qScopeGuard([] { KNetworkReply::resetRawDumpForTesting(false); });

    QByteArray body(70000, Qt::Uninitialized);
    for (qsizetype i = 0; i < body.size(); ++i)
        body[i] = char('a' + i % 26);
    if (nulAt >= 0)
        body[nulAt] = '\0';
    const QByteArray answer = "HTTP/1.0 200 OK\r\nContent-Length: 2\r\n\r\nok";
    TestHttpServer server(answering(answer));
    const QUrl url = server.url(QStringLiteral("/big"));
    KNetworkReply reply(
        url, Referer, std::make_shared<KByteArrayBody>(body), nullptr, unpacedTimeouts());
    QVERIFY(reply.post(ClientVersion, 60000));

    // The dump read the body first; the request still carries all of it.
    QVERIFY(server.waitForConnections(1));
    QByteArray head = requestHead("/big?", body);
    QCOMPARE(server.received(), head + "\r\n" + body);

    head += "\r\n";
    head.replace('\r', QByteArray());
    const QByteArray expected = "\nW--------------->\n" + head
        + (nulAt < 0 ? body : body.left(nulAt)) + "\nW--------------->\n"
        + "\nR--------------->\nR - Url:" + url.toString().toUtf8()
        + "\nR--------------->\nHTTP/1.0 200 OK\nContent-Length: 2\n\nok\nR--------------->\n";
    QCOMPARE(readFile(dumpPath), expected);
}

void TstHttp::noDumpWithoutTheWord()
{
    const QString dumpPath = m_env->cachePath() + QStringLiteral("raw_network_data_alt.txt");
    QFile::remove(dumpPath);
    KNetworkReply::resetRawDumpForTesting(false);
    TestHttpServer server(answering(okAnswer("x")));
    KNetworkReply reply(server.url(QStringLiteral("/p")), Referer, "a=1", nullptr, quickTimeouts());
    QVERIFY(reply.post(ClientVersion, 60000));
    QVERIFY(!KNetworkReply::rawDumpEnabled());
    QVERIFY(!QFile::exists(dumpPath));
}

// The dump holds the password and the session cookie.
void TstHttp::dumpIsForItsOwnerOnly_data()
{
    QTest::addColumn<int>("leftOverMode"); // -1: no file yet
    QTest::newRow("new file") << -1;
    QTest::newRow("left over, readable by all") << 0644;
    QTest::newRow("left over, writable by all") << 0666;
}

void TstHttp::dumpIsForItsOwnerOnly()
{
    QFETCH(int, leftOverMode);
    const QString dumpPath = m_env->cachePath() + QStringLiteral("raw_network_data_alt.txt");
    QVERIFY(QDir().mkpath(m_env->cachePath()));
    QFile::remove(dumpPath);
    if (leftOverMode >= 0) {
        QFile old(dumpPath);
        QVERIFY(old.open(QIODevice::WriteOnly));
        old.write("left over\n");
        old.close();
        QCOMPARE(::chmod(QFile::encodeName(dumpPath).constData(), mode_t(leftOverMode)), 0);
    }
    KNetworkReply::resetRawDumpForTesting(true);
    const auto off = qScopeGuard([] { KNetworkReply::resetRawDumpForTesting(false); });

    TestHttpServer server(answering(okAnswer("x")));
    KNetworkReply reply(
        server.url(QStringLiteral("/p")), Referer, "passwd=secret", nullptr, quickTimeouts());
    QVERIFY(reply.post(ClientVersion, 60000));

    struct stat status
    {
    };
    QCOMPARE(::stat(QFile::encodeName(dumpPath).constData(), &status), 0);
    QCOMPARE(int(status.st_mode & 0777), 0600);
    const QByteArray dump = readFile(dumpPath);
    QVERIFY(dump.contains("passwd=secret\nW--------------->\n"));
    QVERIFY(!dump.contains("left over"));
}

// ---- abort ------------------------------------------------------------------------------------

void TstHttp::abort_data()
{
    QTest::addColumn<int>("bodySize"); // 0: the connection itself never comes
    QTest::addColumn<bool>("answer");
    QTest::addColumn<int>("abortAfterMs"); // -1: before post
    QTest::newRow("while connecting") << 0 << false << 300;
    QTest::newRow("during a long upload") << 100000 << true << 300;
    QTest::newRow("while the answer is awaited") << 10 << false << 300;
    QTest::newRow("before post") << 10 << true << -1;
}

void TstHttp::abort()
{
    QFETCH(int, bodySize);
    QFETCH(bool, answer);
    QFETCH(int, abortAfterMs);

    const QString dumpPath = m_env->cachePath() + QStringLiteral("raw_network_data_alt.txt");
    KNetworkReply::resetRawDumpForTesting(true);
    const auto off = qScopeGuard([] { KNetworkReply::resetRawDumpForTesting(false); });
    QVERIFY(KNetworkReply::rawDumpEnabled());

    TestHttpServer server([answer](TestConnection &connection) {
        connection.readRequest(answer ? 5000 : 0);
        if (answer)
            connection.write(okAnswer("x"));
        connection.waitForClientClose();
    });
    // The product's waits: only abort() can end this early.
    std::unique_ptr<FullBacklogListener> listener;
    QUrl url = server.url(QStringLiteral("/p"));
    if (bodySize == 0) {
        listener = std::make_unique<FullBacklogListener>();
        url.setPort(listener->port());
    }
    KNetworkReply reply(url, Referer, QByteArray(bodySize, 'a'), nullptr);
    std::atomic<qint64> abortedAt { 0 };
    std::thread aborter;
    if (abortAfterMs < 0) {
        abortedAt = steadyMs();
        reply.abort();
    } else {
        aborter = std::thread([&] {
            std::this_thread::sleep_for(std::chrono::milliseconds(abortAfterMs));
            abortedAt = steadyMs();
            reply.abort();
        });
    }
    const qint64 started = steadyMs();
    const bool ok = reply.post(ClientVersion, 60000);
    const qint64 returnedAt = steadyMs();
    if (aborter.joinable())
        aborter.join();

    QVERIFY(!ok);
    QVERIFY(reply.isAborted());
    // It was abort() that ended the exchange, not a failure of its own.
    if (abortAfterMs > 0)
        QVERIFY(returnedAt - started >= abortAfterMs - 50);
    QVERIFY2(returnedAt - abortedAt.load() < 1000,
        qPrintable(QStringLiteral("%1 ms").arg(returnedAt - abortedAt.load())));
    // Nothing of the aborted exchange stays in the dump.
    QCOMPARE(readFile(dumpPath), QByteArray());
}

// ---- proxy ------------------------------------------------------------------------------------

void TstHttp::proxyCredentials()
{
    KNetworkReply reply(QUrl(QStringLiteral("http://127.0.0.1/")), Referer, "", nullptr);
    QAuthenticator untouched;
    untouched.setUser(QStringLiteral("before"));
    reply.proxyAuthenticationRequired(QNetworkProxy(), &untouched);
    QCOMPARE(untouched.user(), QStringLiteral("before"));
    QCOMPARE(m_env->log()
                 .matching(QStringLiteral("KNetworkReply: proxy authentication required"),
                     int(VM::LogLevel::Error))
                 .size(),
        1);

    reply.setProxyCredentials({ QStringLiteral("proxyman"), QStringLiteral("pa55") });
    QAuthenticator filled;
    reply.proxyAuthenticationRequired(QNetworkProxy(), &filled);
    QCOMPARE(filled.user(), QStringLiteral("proxyman"));
    QCOMPARE(filled.password(), QStringLiteral("pa55"));
}

// The web client may run a request on its own worker thread while others read the reply.
void TstHttp::postFromAnotherThread()
{
    const QByteArray body(3000, 'z');
    TestHttpServer server([body](TestConnection &connection) {
        connection.readRequest();
        connection.writeByteByByte(okAnswer(body).left(60), 1);
        connection.write(okAnswer(body).mid(60));
        connection.close();
    });
    KNetworkReply reply(server.url(QStringLiteral("/p")), Referer, "a=1", nullptr, quickTimeouts());
    std::atomic<bool> ok { false };
    std::unique_ptr<QThread> worker(
        QThread::create([&] { ok = reply.post(ClientVersion, 60000); }));
    worker->start();
    qint64 lastSeen = 0;
    while (!worker->wait(1)) {
        const qint64 seen = reply.bytesReceived();
        QVERIFY(seen >= lastSeen);
        lastSeen = seen;
        reply.statusCode();
        reply.header(KNetworkReply::ContentLengthHeader);
    }
    QVERIFY(ok.load());
    QCOMPARE(reply.statusCode(), 200);
    QCOMPARE(reply.bytesReceived(), qint64(body.size()));
    QCOMPARE(reply.readAll(), body);
}

// ---- typed failures ---------------------------------------------------------------------------

void TstHttp::failureKinds_data()
{
    QTest::addColumn<QString>("cause");
    QTest::addColumn<int>("kind");
    QTest::addColumn<bool>("ok");

    QTest::newRow("complete answer") << "answer 200" << int(KTransportFailure::None) << true;
    QTest::newRow("status 500 is a complete answer")
        << "answer 500" << int(KTransportFailure::None) << true;
    QTest::newRow("refused port") << "closed port" << int(KTransportFailure::ConnectFailed)
                                  << false;
    QTest::newRow("connection that never comes")
        << "full backlog" << int(KTransportFailure::ConnectTimeout) << false;
    QTest::newRow("proxy that wants credentials")
        << "proxy 407" << int(KTransportFailure::ProxyAuthentication) << false;
    QTest::newRow("untrusted certificate")
        << "self-signed" << int(KTransportFailure::CertificateUntrusted) << false;
    QTest::newRow("server that speaks no TLS")
        << "plain server for https" << int(KTransportFailure::TlsHandshakeFailed) << false;
    QTest::newRow("body source fails")
        << "faulty body" << int(KTransportFailure::BodySourceFailed) << false;
    QTest::newRow("silent server") << "silence" << int(KTransportFailure::Silence) << false;
    QTest::newRow("early close") << "close before the header"
                                 << int(KTransportFailure::ClosedBeforeHeader) << false;
    QTest::newRow("invalid header")
        << "no status line" << int(KTransportFailure::InvalidHeader) << false;
    QTest::newRow("broken stream") << "short body" << int(KTransportFailure::BrokenStream) << false;
    QTest::newRow("too large") << "huge header" << int(KTransportFailure::AnswerTooLarge) << false;
    QTest::newRow("abort") << "abort" << int(KTransportFailure::Aborted) << false;
}

void TstHttp::failureKinds()
{
    QFETCH(QString, cause);
    QFETCH(int, kind);
    QFETCH(bool, ok);

    QByteArray answer = okAnswer("fine");
    if (cause == QLatin1String("answer 500"))
        answer = "HTTP/1.0 500 Oops\r\nContent-Length: 0\r\n\r\n";
    else if (cause == QLatin1String("close before the header"))
        answer = "HTTP/1.0 200 OK\r\nContent-Le";
    else if (cause == QLatin1String("no status line"))
        answer = "220 ready\r\nServer: mail\r\n\r\nfine";
    else if (cause == QLatin1String("short body"))
        answer = "HTTP/1.0 200 OK\r\nContent-Length: 10\r\n\r\nfine";
    else if (cause == QLatin1String("huge header"))
        answer = "HTTP/1.0 200 OK\r\nX-Pad: "
            + QByteArray(int(KNetworkReply::maxAnswerHeaderBytes), 'p') + "\r\n\r\n";
    else if (cause == QLatin1String("proxy 407"))
        answer = "HTTP/1.1 407 Proxy Authentication Required\r\nProxy-Authenticate: Basic "
                 "realm=\"p\"\r\nContent-Length: 0\r\n\r\n";
    const bool silent = cause == QLatin1String("silence");
    const TestIdentity identity
        = cause == QLatin1String("self-signed") ? TestIdentity::SelfSigned : TestIdentity::Server;
    const bool tls = cause == QLatin1String("self-signed");

    const TestHttpServer::Handler handler = [answer, silent](TestConnection &connection) {
        connection.readRequest(1000);
        if (silent) {
            connection.waitForClientClose();
            return;
        }
        connection.write(answer);
        connection.close();
    };
    std::unique_ptr<TestHttpServer> server = tls
        ? std::make_unique<TestHttpServer>(handler, identity)
        : std::make_unique<TestHttpServer>(handler);
    QUrl url = server->url(QStringLiteral("/v2/api/execute.php?method=login"));
    std::unique_ptr<FullBacklogListener> listener;
    if (cause == QLatin1String("closed port")) {
        const quint16 closedPort = unusedLoopbackPort();
        QVERIFY(closedPort != 0);
        url.setPort(closedPort);
    } else if (cause == QLatin1String("full backlog")) {
        listener = std::make_unique<FullBacklogListener>();
        url.setPort(listener->port());
    } else if (cause == QLatin1String("plain server for https")) {
        url.setScheme(QStringLiteral("https"));
    }
    // The proxy is the test server: it answers the tunnel request with 407.
    const bool proxied = cause == QLatin1String("proxy 407");
    if (proxied) {
        QNetworkProxy::setApplicationProxy(
            QNetworkProxy(QNetworkProxy::HttpProxy, QStringLiteral("127.0.0.1"), server->port()));
        // The proxy is asked for the tunnel by name; nothing resolves or reaches this host.
        url = QUrl(QStringLiteral("http://api.velmora.test/v2/api/execute.php?method=login"));
    }
    const auto noProxy = qScopeGuard(
        [] { QNetworkProxy::setApplicationProxy(QNetworkProxy(QNetworkProxy::NoProxy)); });

    KNetworkReply::Timeouts timeouts = quickTimeouts(300);
    timeouts.connectMs = 300;
    std::shared_ptr<KRequestBody> body = std::make_shared<KByteArrayBody>("a=1");
    if (cause == QLatin1String("faulty body"))
        body = std::make_shared<FaultyBody>(QByteArray(100, 'q'), FaultyBody::ReadFails, 50);
    KNetworkReply reply(url, Referer, body, nullptr, timeouts);
    if (cause == QLatin1String("abort"))
        reply.abort();
    QCOMPARE(reply.failure().kind, KTransportFailure::None);

    const bool posted = reply.post(ClientVersion, 60000);
    QVERIFY2(posted == ok, qPrintable(m_env->log().lines().join('\n')));
    QVERIFY2(int(reply.failure().kind) == kind,
        qPrintable(KTransportFailure::kindName(reply.failure().kind) + QStringLiteral(": ")
            + reply.failure().detail));
    QCOMPARE(reply.failure().failed(), !ok);
    if (!ok && kind != KTransportFailure::Aborted)
        QVERIFY(!reply.failure().detail.isEmpty());
}

// A server may answer before the body is complete (a body larger than it takes) and then read on
// without a word, as nginx does with its 413 until its lingering time is over.
void TstHttp::earlyAnswerStopsTheRequest_data()
{
    QTest::addColumn<bool>("nginx");
    QTest::newRow("in-process server") << false;
    QTest::newRow("nginx") << true;
}

void TstHttp::earlyAnswerStopsTheRequest()
{
    QFETCH(bool, nginx);
    std::unique_ptr<TestHttpServer> server;
    std::unique_ptr<TestNginx> proxy;
    QUrl url;
    QString status;
    if (nginx) {
        if (TestNginx::binary().isEmpty())
            QSKIP("nginx is not installed");
        proxy = std::make_unique<TestNginx>("1k");
        QVERIFY2(proxy->start(), qPrintable(proxy->errorText()));
        url = QUrl(QStringLiteral("http://127.0.0.1:%1/v2/api/execute.php?method=upload_feedback2")
                       .arg(proxy->port()));
        status = QStringLiteral("413 Request Entity Too Large");
    } else {
        server = std::make_unique<TestHttpServer>([](TestConnection &connection) {
            connection.readRequest(300);
            connection.write("HTTP/1.1 413 Payload Too Large\r\nConnection: close\r\n\r\n");
            connection.waitForClientClose(30000);
        });
        url = server->url(QStringLiteral("/v2/api/execute.php?method=upload_feedback2"));
        status = QStringLiteral("413 Payload Too Large");
    }

    // About 5 s of paced writing if nothing stopped it.
    QNetworkCookieJar jar;
    KNetworkReply reply(url, Referer, QByteArray(40000, 'd'), &jar, quickTimeouts(2000));
    QSignalSpy progress(&reply, &KNetworkReply::uploadProgress);
    QVERIFY(!reply.post(ClientVersion, 60000));

    QCOMPARE(reply.failure().kind, KTransportFailure::AnsweredEarly);
    QCOMPARE(reply.failure().detail, status);
    QCOMPARE(m_env->log()
                 .matching(QStringLiteral("The server answered before the request was complete; "
                                          "url = %1, status = %2")
                               .arg(url.toString(), status),
                     int(VM::LogLevel::Info))
                 .size(),
        1);
    // Writing stopped at the answer: the request never went out whole.
    QVERIFY(!progress.isEmpty());
    const qint64 total = progress.last().at(1).toLongLong();
    QVERIFY2(progress.last().at(0).toLongLong() < total,
        qPrintable(QStringLiteral("%1 of %2").arg(progress.last().at(0).toLongLong()).arg(total)));
    // Nothing of the refusal is taken as the answer.
    QCOMPARE(reply.statusCode(), -1);
    QVERIFY(jar.cookiesForUrl(url).isEmpty());
}

QTEST_GUILESS_MAIN(TstHttp)
#include "tst_http.moc"
