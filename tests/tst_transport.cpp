// The pieces of the HTTP transport on their own, each driven by this thread's event loop: the
// answer parser on tricky headers, the abort token, the connection and its typed failures, the
// paced writer and the answer reader.

#include "http/kaborttoken.h"
#include "http/kanswerreader.h"
#include "http/khttpanswerparser.h"
#include "http/khttpconnection.h"
#include "http/kpacedwriter.h"
#include "http/krequestbody.h"
#include "support/fullbackloglistener.h"
#include "support/testhttpserver.h"
#include "support/testproxyserver.h"
#include "support/testsupport.h"

#include <QAbstractSocket>
#include <QElapsedTimer>
#include <QScopeGuard>
#include <QSignalSpy>
#include <QTest>
#include <QThread>

#include <atomic>
#include <chrono>
#include <thread>

Q_DECLARE_METATYPE(KTransportFailure::Kind)

namespace {

using Kind = KTransportFailure::Kind;

QString kindText(Kind kind)
{
    return KTransportFailure::kindName(kind);
}

} // namespace

class TstTransport : public QObject
{
    Q_OBJECT

private slots:
    void init();

    void parseAnswer_data();
    void parseAnswer();

    void abortTokenWakesTheLoop();

    void connectionFailures_data();
    void connectionFailures();
    void connectionAbortEndsAHangingConnect();
    void stuckHandshakeEndsWithItsTimeouts_data();
    void stuckHandshakeEndsWithItsTimeouts();

    void writerSplitsHeadAndBodyIntoChunks();
    void writerStopsAtAnEarlyAnswer();
    void drainedCountsTheTunnelsOwnSocket();

    void readerEndsAtCloseAndKeepsTheLimits_data();
    void readerEndsAtCloseAndKeepsTheLimits();
};

void TstTransport::init()
{
    // Qt's complaints (a socket used from the wrong thread, a wait in the wrong state) are faults.
    QTest::failOnWarning(QRegularExpression(QStringLiteral(".+")));
}

// ---- the answer parser ------------------------------------------------------------------------

void TstTransport::parseAnswer_data()
{
    QTest::addColumn<QByteArray>("answer");
    QTest::addColumn<qsizetype>("headerEnd");
    QTest::addColumn<int>("status"); // -1: no status line
    QTest::addColumn<QString>("version");
    QTest::addColumn<QString>("reason");
    QTest::addColumn<QList<QByteArray>>("cookies");
    QTest::addColumn<QString>("lengthText");
    QTest::addColumn<qint64>("length");
    QTest::addColumn<bool>("overflow");
    QTest::addColumn<bool>("complete");

    using Cookies = QList<QByteArray>;
    // The answer is the header block, the blank line and the body; the header ends where the
    // block does.
    const auto row = [](const char *name, const QByteArray &block, const QByteArray &body,
                         int status, const QString &version, const QString &reason,
                         const Cookies &cookies, const QString &lengthText, qint64 length,
                         bool overflow, bool complete) {
        QTest::newRow(name) << block + "\r\n\r\n" + body << block.size() << status << version
                            << reason << cookies << lengthText << length << overflow << complete;
    };

    row("plain answer", "HTTP/1.1 200 OK\r\nContent-Length: 2", "hi", 200, "1.1", "OK", {}, "2", 2,
        false, true);
    QTest::newRow("no blank line yet")
        << QByteArray("HTTP/1.1 200 OK\r\nServer: x\r\n") << qsizetype(-1) << -1 << ""
        << "" << Cookies() << "" << qint64(-1) << false << false;
    row("blank line at the very start is passed over", "\r\n\r\nHTTP/1.0 201 Created\r\nA: b", "",
        201, "1.0", "Created", {}, "", -1, false, true);
    row("status line after junk, on a later line", "junk\r\nxHTTP/1.0 404 Not  Found \r\nA: b", "",
        404, "1.0", "Not  Found ", {}, "", -1, false, true);
    row("first HTTP/ does not fit, the second does", "HTTP/11 200 OK HTTP/2.0 302 Found\r\nA: b",
        "", 302, "2.0", "Found", {}, "", -1, false, true);
    row("status line that is the last line has no CR LF of its own", "HTTP/1.0 200 OK", "body", -1,
        "", "", {}, "", -1, false, false);
    row("code without digits reads as 0", "HTTP/1.1  Odd\r\nA: b", "", 0, "1.1", "Odd", {}, "", -1,
        false, true);
    row("code too long for an int reads as 0", "HTTP/1.1 99999999999 Big\r\nA: b", "", 0, "1.1",
        "Big", {}, "", -1, false, true);
    row("code glued to the reason is no status line", "HTTP/1.1 200OK\r\nA: b", "", -1, "", "", {},
        "", -1, false, false);
    row("empty reason; the first status line counts", "HTTP/1.0 200 \r\nHTTP/1.0 500 a\rb\r\nA: b",
        "", 200, "1.0", "", {}, "", -1, false, true);
    row("a CR alone does not end the reason", "HTTP/1.0 500 a\rb\r\nA: b", "", 500, "1.0", "a\rb",
        {}, "", -1, false, true);
    row("lower-case http is no status line", "http/1.1 200 OK\r\nA: b", "", -1, "", "", {}, "", -1,
        false, false);
    row("Set-Cookie lines: empty one, one whose CR LF begins the next, the last not",
        "HTTP/1.0 200 OK\r\nSet-Cookie:\r\nSet-Cookie: a=1\r\nset-cookie: b=2\r\n"
        "Set-Cookie:c=3\r\nSet-Cookie: last=1",
        "", 200, "1.0", "OK", { "", " a=1", "c=3" }, "", -1, false, true);
    row("Set-Cookie in the first line is none", "Set-Cookie: a=1\r\nHTTP/1.0 200 OK\r\nA: b", "",
        200, "1.0", "OK", {}, "", -1, false, true);
    row("Content-Length after blanks of every kind, a line break among them",
        "HTTP/1.0 200 OK\r\nContent-Length: \t\v\f\r\n 3 \r\nA: b", "abc", 200, "1.0", "OK", {},
        "3", 3, false, true);
    row("no-break space is not a blank before the digits",
        "HTTP/1.0 200 OK\r\nContent-Length:\xa0"
        "3\r\nA: b",
        "abc", 200, "1.0", "OK", {}, "", -1, false, true);
    row("the first Content-Length line counts, also without digits",
        "HTTP/1.0 200 OK\r\nContent-Length: x\r\nContent-Length: 3", "abc", 200, "1.0", "OK", {},
        "", -1, false, true);
    row("Content-Length in the first line is none", "Content-Length: 9\r\nHTTP/1.0 200 OK\r\nA: b",
        "abc", 200, "1.0", "OK", {}, "", -1, false, true);
    row("Content-Length digits up to the first other byte",
        "HTTP/1.0 200 OK\r\nContent-Length: 0012abc", "abcdefghijkl", 200, "1.0", "OK", {}, "0012",
        12, false, true);
    row("content-length in lower case is none", "HTTP/1.0 200 OK\r\ncontent-length: 9", "abc", 200,
        "1.0", "OK", {}, "", -1, false, true);
    row("largest Content-Length that fits, body shorter",
        "HTTP/1.0 200 OK\r\nContent-Length: 9223372036854775807", "abc", 200, "1.0", "OK", {},
        "9223372036854775807", 9223372036854775807LL, false, false);
    row("one more does not fit: broken, not merely without a length",
        "HTTP/1.0 200 OK\r\nContent-Length: 9223372036854775808", "abc", 200, "1.0", "OK", {},
        "9223372036854775808", -1, true, false);
    row("body longer than its Content-Length", "HTTP/1.0 200 OK\r\nContent-Length: 2", "abc", 200,
        "1.0", "OK", {}, "2", 2, false, false);
}

void TstTransport::parseAnswer()
{
    QFETCH(QByteArray, answer);
    QFETCH(qsizetype, headerEnd);
    QFETCH(int, status);
    QFETCH(QString, version);
    QFETCH(QString, reason);
    QFETCH(QList<QByteArray>, cookies);
    QFETCH(QString, lengthText);
    QFETCH(qint64, length);
    QFETCH(bool, overflow);
    QFETCH(bool, complete);

    const KHttpAnswer parsed = KHttpAnswerParser::parse(answer);
    QCOMPARE(parsed.headerEnd, headerEnd);
    QCOMPARE(KHttpAnswerParser::headerEnd(answer), headerEnd);
    if (headerEnd < 0) {
        QVERIFY(!parsed.complete);
        return;
    }
    // The header's values are there whether or not its status line is.
    const KHttpAnswerHeader header = parsed.header;
    QCOMPARE(header.hasStatusLine, status >= 0);
    QCOMPARE(header.statusCode, status);
    QCOMPARE(header.httpVersion, version);
    QCOMPARE(header.reasonPhrase, reason);
    QCOMPARE(header.setCookies, cookies);
    QCOMPARE(header.contentLengthText, lengthText);
    QCOMPARE(header.contentLength, length);
    QCOMPARE(header.contentLengthOverflow, overflow);
    QCOMPARE(parsed.complete, complete);
    if (status >= 0)
        QCOMPARE(parsed.body, answer.mid(headerEnd + 4));
}

// ---- the abort token --------------------------------------------------------------------------

void TstTransport::abortTokenWakesTheLoop()
{
    // A piece that waits on another thread's loop hears of an abort from this thread at once.
    QThread loopThread;
    QObject receiver;
    receiver.moveToThread(&loopThread);
    loopThread.start();
    const auto stop = qScopeGuard([&loopThread] {
        loopThread.quit();
        loopThread.wait();
    });

    KAbortToken token;
    std::atomic<int> calls { 0 };
    std::atomic<bool> inLoopThread { false };
    {
        KAbortToken::Wake wake(token, &receiver, [&] {
            inLoopThread = QThread::currentThread() == &loopThread;
            ++calls;
        });
        QVERIFY(!token.isAborted());
        token.abort();
        token.abort(); // once is enough
        QVERIFY(token.isAborted());
        QTRY_COMPARE_WITH_TIMEOUT(calls.load(), 1, 5000);
        QVERIFY(inLoopThread.load());
    }
    // A wake made after the abort is not called: its owner looks at the flag.
    KAbortToken::Wake late(token, &receiver, [&] { ++calls; });
    token.abort();
    QTest::qWait(50);
    QCOMPARE(calls.load(), 1);
}

// ---- the connection ---------------------------------------------------------------------------

namespace {

// Opens the connection on this thread's loop; whether it opened.
bool openConnection(KHttpConnection &connection, const QUrl &url, int connectMs = 5000,
    int handshakeMs = 5000, int silenceMs = 5000)
{
    QSignalSpy opened(&connection, &KHttpConnection::opened);
    QSignalSpy failed(&connection, &KHttpConnection::failed);
    connection.open(url, connectMs, handshakeMs, silenceMs);
    // Neither comes before open() returned.
    if (opened.size() + failed.size() != 0)
        return false;
    if (!QTest::qWaitFor([&] { return opened.size() + failed.size() > 0; }, 30000))
        return false;
    // And only one of them, once.
    QTest::qWait(1);
    return opened.size() == 1 && failed.isEmpty();
}

} // namespace

void TstTransport::connectionFailures_data()
{
    QTest::addColumn<int>("target"); // 0: closed port, 1: TLS server with an untrusted identity
    QTest::addColumn<TestIdentity>("identity");
    QTest::addColumn<Kind>("kind");
    QTest::addColumn<int>("socketError");

    QTest::newRow("refused") << 0 << TestIdentity::Server << KTransportFailure::ConnectFailed
                             << int(QAbstractSocket::ConnectionRefusedError);
    QTest::newRow("self-signed") << 1 << TestIdentity::SelfSigned
                                 << KTransportFailure::CertificateUntrusted
                                 << int(QAbstractSocket::SslHandshakeFailedError);
    QTest::newRow("for another host")
        << 1 << TestIdentity::WrongHost << KTransportFailure::CertificateUntrusted
        << int(QAbstractSocket::SslHandshakeFailedError);
}

void TstTransport::connectionFailures()
{
    QFETCH(int, target);
    QFETCH(TestIdentity, identity);
    QFETCH(Kind, kind);
    QFETCH(int, socketError);
    qputenv("VELMORA_EXTRA_CA_CERTS", testCaPath().toLocal8Bit());

    std::unique_ptr<TestHttpServer> server;
    QUrl url(QStringLiteral("https://127.0.0.1:%1/").arg(unusedLoopbackPort()));
    if (target == 1) {
        server = std::make_unique<TestHttpServer>(
            [](TestConnection &connection) { connection.readRequest(); }, identity);
        url = server->url();
    }
    KAbortToken abort;
    KHttpConnection connection(abort);
    QVERIFY(!openConnection(connection, url));
    QVERIFY2(connection.failure().kind == kind, qPrintable(kindText(connection.failure().kind)));
    QCOMPARE(connection.failure().socketError, socketError);
    QVERIFY(!connection.failure().detail.isEmpty());
    QVERIFY(!connection.socket());
}

void TstTransport::connectionAbortEndsAHangingConnect()
{
    // A loopback listener whose queue is full never answers: the connect hangs until it times out.
    FullBacklogListener listener;
    const QUrl hanging(QStringLiteral("http://127.0.0.1:%1/").arg(listener.port()));
    KAbortToken abort;
    KHttpConnection connection(abort);
    std::thread aborter([&abort] {
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
        abort.abort();
    });
    QElapsedTimer clock;
    clock.start();
    QVERIFY(!openConnection(connection, hanging, 60000));
    aborter.join();
    QVERIFY2(clock.elapsed() < 10000, qPrintable(QString::number(clock.elapsed())));
    QVERIFY2(connection.failure().kind == KTransportFailure::Aborted,
        qPrintable(kindText(connection.failure().kind)));

    // The time-out of its own, without an abort.
    KAbortToken never;
    KHttpConnection slow(never);
    QVERIFY(!openConnection(slow, hanging, 100));
    QVERIFY2(slow.failure().kind == KTransportFailure::ConnectTimeout,
        qPrintable(kindText(slow.failure().kind)));
}

void TstTransport::stuckHandshakeEndsWithItsTimeouts_data()
{
    QTest::addColumn<int>("handshakeMs");
    QTest::addColumn<int>("silenceMs");
    QTest::addColumn<QString>("detail");

    QTest::newRow("silent server, silence first")
        << 60000 << 300 << "The server sent nothing for 300 ms during the TLS handshake";
    QTest::newRow("silent server, handshake time-out first")
        << 300 << 60000 << "The TLS handshake did not finish within 300 ms";
}

void TstTransport::stuckHandshakeEndsWithItsTimeouts()
{
    QFETCH(int, handshakeMs);
    QFETCH(int, silenceMs);
    QFETCH(QString, detail);
    // A plain server on the https port: it takes the connection and never says a word.
    TestHttpServer server([](TestConnection &connection) { connection.waitForClientClose(10000); });
    QUrl url = server.url();
    url.setScheme(QStringLiteral("https"));
    KAbortToken abort;
    KHttpConnection connection(abort);
    QVERIFY(!openConnection(connection, url, 5000, handshakeMs, silenceMs));
    QVERIFY2(connection.failure().kind == KTransportFailure::TlsHandshakeFailed,
        qPrintable(kindText(connection.failure().kind)));
    QCOMPARE(connection.failure().socketError, int(QAbstractSocket::SocketTimeoutError));
    QCOMPARE(connection.failure().detail, detail);
}

// ---- the paced writer -------------------------------------------------------------------------

void TstTransport::writerSplitsHeadAndBodyIntoChunks()
{
    TestHttpServer server([](TestConnection &connection) { connection.readRequest(); });
    KAbortToken abort;
    KHttpConnection connection(abort);
    QVERIFY(openConnection(connection, server.url()));

    // 7 bytes of head and 10 of body in chunks of 5: one chunk spans both.
    KByteArrayBody body("0123456789");
    KPacedWriter::Settings settings;
    settings.chunkSize = 5;
    settings.periodMs = 0;
    KPacedWriter writer(connection, abort, settings);
    QList<qint64> progress;
    connect(&writer, &KPacedWriter::progress, this, [&](qint64 sent, qint64 total) {
        QCOMPARE(total, qint64(17));
        // Counted once the chunk has left: nothing waits in the socket.
        QVERIFY(connection.drained());
        progress.append(sent);
    });
    QSignalSpy finished(&writer, &KPacedWriter::finished);
    writer.start("HEAD\r\n\r", body);
    QVERIFY(finished.wait(10000));
    QVERIFY2(!writer.failure().failed(), qPrintable(kindText(writer.failure().kind)));
    QCOMPARE(progress, (QList<qint64> { 5, 10, 15, 17 }));
    connection.close();
    QVERIFY(server.waitForConnections(1));
    QTRY_COMPARE(server.received(), QByteArray("HEAD\r\n\r0123456789"));
}

void TstTransport::writerStopsAtAnEarlyAnswer()
{
    // The server reads a little of the request, answers, and reads on without a word.
    TestHttpServer server([](TestConnection &connection) {
        connection.readRequest(300);
        connection.write("HTTP/1.1 413 Request Entity Too Large\r\nConnection: close\r\n\r\n");
        connection.waitForClientClose(10000);
    });
    KAbortToken abort;
    KHttpConnection connection(abort);
    QVERIFY(openConnection(connection, server.url()));

    // A minute of chunks if nothing stopped them.
    KByteArrayBody body(QByteArray(600 * 100, 'b'));
    KPacedWriter::Settings settings;
    settings.chunkSize = 100;
    settings.periodMs = 100;
    KPacedWriter writer(connection, abort, settings);
    qint64 sent = 0;
    connect(&writer, &KPacedWriter::progress, this, [&sent](qint64 done, qint64) { sent = done; });
    QSignalSpy finished(&writer, &KPacedWriter::finished);
    QElapsedTimer clock;
    clock.start();
    writer.start("POST / HTTP/1.0\r\n\r\n", body);
    QVERIFY(finished.wait(30000));
    QVERIFY2(writer.failure().kind == KTransportFailure::AnsweredEarly,
        qPrintable(kindText(writer.failure().kind)));
    QVERIFY2(clock.elapsed() < 30000, qPrintable(QString::number(clock.elapsed())));
    QVERIFY(sent < body.size());
    // The answer is left for the reader.
    QVERIFY(connection.socket()->readAll().startsWith("HTTP/1.1 413 "));
}

// Through an HTTP proxy, the bytes of the connection are carried by the proxy tunnel's own socket:
// a byte has left only once that socket wrote it.
void TstTransport::drainedCountsTheTunnelsOwnSocket()
{
    if (!TestProxyServer::installed(TestProxyServer::Kind::Tinyproxy))
        QSKIP("tinyproxy is not installed");
    // The server takes the connection and reads nothing, so the bytes pile up on the way.
    TestHttpServer server([](TestConnection &connection) { connection.sleep(3000); });
    const auto proxy
        = TestProxyServer::make(TestProxyServer::Kind::Tinyproxy, "", "", server.port());
    QVERIFY2(proxy->start(), qPrintable(proxy->errorText()));
    const QByteArray saved = qgetenv("http_proxy");
    qputenv("http_proxy", proxy->url());
    const auto restore = qScopeGuard([saved] { qputenv("http_proxy", saved); });

    KAbortToken abort;
    KHttpConnection connection(abort);
    QVERIFY(openConnection(connection, server.url()));
    QVERIFY(connection.drained());
    QAbstractSocket *socket = connection.socket();
    socket->write(QByteArray(32 * 1024 * 1024, 'x'));
    // The socket hands its bytes on to the tunnel's socket at once; they are still in the
    // process.
    QTRY_COMPARE_WITH_TIMEOUT(socket->bytesToWrite(), qint64(0), 10000);
    QVERIFY(!connection.drained());
    socket->abort();
}

// ---- the answer reader ------------------------------------------------------------------------

void TstTransport::readerEndsAtCloseAndKeepsTheLimits_data()
{
    QTest::addColumn<QByteArray>("answer");
    QTest::addColumn<bool>("close"); // false: the server keeps the connection open
    QTest::addColumn<Kind>("headerFailure");
    QTest::addColumn<Kind>("bodyFailure");
    QTest::addColumn<QByteArray>("body");

    const Kind none = KTransportFailure::None;
    QTest::newRow("whole answer, then close")
        << QByteArray("HTTP/1.0 200 OK\r\n\r\nabc") << true << none << none << QByteArray("abc");
    QTest::newRow("close before the blank line")
        << QByteArray("HTTP/1.0 200 OK\r\n") << true << KTransportFailure::ClosedBeforeHeader
        << none << QByteArray();
    QTest::newRow("silence before the header")
        << QByteArray("HTTP/1.0 2") << false << KTransportFailure::Silence << none << QByteArray();
    QTest::newRow("silence after the body") << QByteArray("HTTP/1.0 200 OK\r\n\r\nabc") << false
                                            << none << KTransportFailure::Silence << QByteArray();
    QTest::newRow("header past its limit")
        << QByteArray("HTTP/1.0 200 OK\r\nX: " + QByteArray(300, 'x') + "\r\n\r\n") << true
        << KTransportFailure::AnswerTooLarge << none << QByteArray();
    QTest::newRow("body past its limit")
        << QByteArray("HTTP/1.0 200 OK\r\n\r\n") + QByteArray(2000, 'y') << true << none
        << KTransportFailure::AnswerTooLarge << QByteArray();
}

void TstTransport::readerEndsAtCloseAndKeepsTheLimits()
{
    QFETCH(QByteArray, answer);
    QFETCH(bool, close);
    QFETCH(Kind, headerFailure);
    QFETCH(Kind, bodyFailure);
    QFETCH(QByteArray, body);

    TestHttpServer server([answer, close](TestConnection &connection) {
        connection.readRequest(0);
        connection.write(answer);
        if (close)
            connection.close();
        else
            connection.waitForClientClose(5000);
    });
    KAbortToken abort;
    KHttpConnection connection(abort);
    QVERIFY(openConnection(connection, server.url()));
    KAnswerReader::Settings settings;
    settings.silenceMs = 300;
    settings.maxHeaderBytes = 256;
    settings.maxBodyBytes = 1024;
    KAnswerReader reader(connection, abort, settings);
    QSignalSpy finished(&reader, &KAnswerReader::finished);

    reader.readHeader();
    QVERIFY(finished.wait(10000));
    QVERIFY2(reader.failure().kind == headerFailure, qPrintable(kindText(reader.failure().kind)));
    if (reader.failure().failed())
        return;
    const qsizetype end = reader.headerEnd();
    QCOMPARE(end, answer.indexOf("\r\n\r\n"));
    QByteArray received = reader.bytes().mid(end + 4);
    connect(&reader, &KAnswerReader::bodyChunk, this,
        [&received](const QByteArray &chunk) { received += chunk; });
    reader.readBody(received.size());
    QVERIFY(finished.wait(10000));
    QVERIFY2(reader.failure().kind == bodyFailure, qPrintable(kindText(reader.failure().kind)));
    if (!reader.failure().failed())
        QCOMPARE(received, body);
}

QTEST_GUILESS_MAIN(TstTransport)
#include "tst_transport.moc"
