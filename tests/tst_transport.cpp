// The pieces of the HTTP transport on their own: the answer parser on tricky headers, the abort
// token, the connection and its typed failures, the paced writer and the answer reader.

#include "http/kaborttoken.h"
#include "http/kanswerreader.h"
#include "http/khttpanswerparser.h"
#include "http/khttpconnection.h"
#include "http/kpacedwriter.h"
#include "http/krequestbody.h"
#include "support/fullbackloglistener.h"
#include "support/testhttpserver.h"
#include "support/testsupport.h"

#include <QAbstractSocket>
#include <QElapsedTimer>
#include <QTest>

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

    void abortTokenSleeps();

    void connectionFailures_data();
    void connectionFailures();
    void connectionAbortEndsAHangingConnect();

    void writerSplitsHeadAndBodyIntoChunks();
    void writerStopsAtAnEarlyAnswer();

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

void TstTransport::abortTokenSleeps()
{
    KAbortToken token;
    QElapsedTimer clock;
    clock.start();
    // Without an abort the sleep lasts to its deadline.
    QVERIFY(token.sleepUntil(QDeadlineTimer(50)));
    QVERIFY(clock.elapsed() >= 50);
    QVERIFY(!token.isAborted());

    // An abort from another thread ends a long sleep, and one that never ends, at once.
    for (const QDeadlineTimer &deadline :
        { QDeadlineTimer(60000), QDeadlineTimer(QDeadlineTimer::Forever) }) {
        KAbortToken sleeper;
        std::thread aborter([&sleeper] {
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
            sleeper.abort();
        });
        clock.restart();
        QVERIFY(!sleeper.sleepUntil(deadline));
        aborter.join();
        QVERIFY2(clock.elapsed() < 10000, qPrintable(QString::number(clock.elapsed())));
        QVERIFY(sleeper.isAborted());
        // Once aborted, a sleep does not even start, also with its deadline passed.
        QVERIFY(!sleeper.sleepUntil(QDeadlineTimer(60000)));
        QVERIFY(!sleeper.sleepUntil(QDeadlineTimer(0)));
    }
}

// ---- the connection ---------------------------------------------------------------------------

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
    QVERIFY(!connection.open(url, 5000, 5000));
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
    QVERIFY(!connection.open(hanging, 60000, 5000));
    aborter.join();
    QVERIFY2(clock.elapsed() < 10000, qPrintable(QString::number(clock.elapsed())));
    QVERIFY2(connection.failure().kind == KTransportFailure::Aborted,
        qPrintable(kindText(connection.failure().kind)));

    // The time-out of its own, without an abort.
    KAbortToken never;
    KHttpConnection slow(never);
    QVERIFY(!slow.open(hanging, 100, 5000));
    QVERIFY2(slow.failure().kind == KTransportFailure::ConnectTimeout,
        qPrintable(kindText(slow.failure().kind)));
}

// ---- the paced writer -------------------------------------------------------------------------

void TstTransport::writerSplitsHeadAndBodyIntoChunks()
{
    TestHttpServer server([](TestConnection &connection) { connection.readRequest(); });
    KAbortToken abort;
    KHttpConnection connection(abort);
    QVERIFY(connection.open(server.url(), 5000, 5000));

    // 7 bytes of head and 10 of body in chunks of 5: one chunk spans both.
    KByteArrayBody body("0123456789");
    KPacedWriter::Settings settings;
    settings.chunkSize = 5;
    settings.periodMs = 0;
    settings.writeWaitMs = 50;
    QList<qint64> progress;
    const KTransportFailure failure
        = KPacedWriter(connection, abort, settings)
              .write("HEAD\r\n\r", body, [&](qint64 sent, qint64 total) {
                  QCOMPARE(total, qint64(17));
                  progress.append(sent);
              });
    QVERIFY2(!failure.failed(), qPrintable(kindText(failure.kind)));
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
    QVERIFY(connection.open(server.url(), 5000, 5000));

    // A minute of chunks if nothing stopped them.
    KByteArrayBody body(QByteArray(600 * 100, 'b'));
    KPacedWriter::Settings settings;
    settings.chunkSize = 100;
    settings.periodMs = 100;
    settings.writeWaitMs = 50;
    qint64 sent = 0;
    QElapsedTimer clock;
    clock.start();
    const KTransportFailure failure = KPacedWriter(connection, abort, settings)
                                          .write("POST / HTTP/1.0\r\n\r\n", body,
                                              [&sent](qint64 done, qint64) { sent = done; });
    QVERIFY2(failure.kind == KTransportFailure::AnsweredEarly, qPrintable(kindText(failure.kind)));
    QVERIFY2(clock.elapsed() < 30000, qPrintable(QString::number(clock.elapsed())));
    QVERIFY(sent < body.size());
    // The answer is left for the reader.
    QVERIFY(connection.socket()->readAll().startsWith("HTTP/1.1 413 "));
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
    QVERIFY(connection.open(server.url(), 5000, 5000));
    KAnswerReader::Settings settings;
    settings.silenceMs = 300;
    settings.readWaitMs = 50;
    settings.maxHeaderBytes = 256;
    settings.maxBodyBytes = 1024;
    KAnswerReader reader(connection, abort, settings);

    QByteArray bytes;
    qsizetype end = -1;
    const KTransportFailure head = reader.readHeader(bytes, end);
    QVERIFY2(head.kind == headerFailure, qPrintable(kindText(head.kind)));
    if (head.failed())
        return;
    QCOMPARE(end, answer.indexOf("\r\n\r\n"));
    QByteArray received = bytes.mid(end + 4);
    const KTransportFailure rest = reader.readBody(
        received.size(), [&received](const QByteArray &chunk) { received += chunk; });
    QVERIFY2(rest.kind == bodyFailure, qPrintable(kindText(rest.kind)));
    if (!rest.failed())
        QCOMPARE(received, body);
}

QTEST_GUILESS_MAIN(TstTransport)
#include "tst_transport.moc"
