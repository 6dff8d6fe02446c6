#pragma once

#include "http/ktransportfailure.h"

#include <QBuffer>
#include <QByteArray>
#include <QList>
#include <QMutex>
#include <QNetworkProxy>
#include <QSslError>
#include <QString>
#include <QUrl>
#include <QVariant>

#include <memory>

class KNetworkReplyPrivate;
class KRequestBody;
class QAuthenticator;
class QNetworkCookieJar;

// One HTTP/1.0 POST exchange with the web service, carried out over a raw TCP socket, or a TLS
// socket when the URL's scheme is "https" (any case). The object writes the request bytes itself
// and reads the answer until the server closes the connection.
//
// Use: create the object, call post() once, then read statusCode(), reasonPhrase(), url() and
// header(ContentLength), and read the answer's body through the object's own QIODevice interface
// (it is a QBuffer, open for reading from the body's first byte once post() has returned true);
// after a false post(), failure() says what went wrong. An object serves exactly one post().
//
// The object is a facade over the pieces of the exchange, each in its own file: the abort token
// (KAbortToken), the connection with its TLS verification (KHttpConnection), the paced writer
// (KPacedWriter), the answer reader (KAnswerReader) and the pure answer parser
// (KHttpAnswerParser). It composes the request, accepts the answer's header, and writes the log
// line of a failure, all failures from one place.
//
// post() runs the whole exchange on the calling thread's event loop, as a state machine: the
// connection (and a proxy's tunnel), the TLS handshake, paced chunks driven by a timer, the answer
// read as it arrives, the end when the server closes (or sends close_notify). post() blocks its
// caller in a local event loop until the exchange is over; the thread needs no loop of its own
// running, but other events of the thread are served meanwhile. No socket wait ever blocks, and
// every time-out is a timer. abort() from any thread reaches that loop at once.
//
// The request goes out in chunks of at most 819 bytes, one chunk every 100 ms, each counted as
// written only once it has left the process (through a proxy's tunnel too). The time-out handed
// to post() (60,000 ms from the web client) is the wait for the TCP connection, the time allowed
// to get each chunk out, the longest silence during the TLS handshake, and the longest silence
// allowed while the answer is awaited: silence, not total time, so a slow answer that keeps coming
// never times out. A server that answers before the request is complete (it refuses a body that
// is too large) is noticed as soon as its answer arrives: writing stops, the answer's status line
// is logged, and post() returns false (AnsweredEarly), since the request never arrived whole.
//
// A proxy that asks for credentials is offered the stored ones once per exchange; when it asks
// again it has refused them, and the exchange fails at once (ProxyAuthentication) instead of
// asking again and again.
//
// The server's certificate is verified against the system's certificate authorities plus those
// in the PEM file named by the environment variable VELMORA_EXTRA_CA_CERTS, host name included;
// a certificate that does not pass stops the connection before any request byte is written.
//
// Threads and locks: a lock of the object's own guards its state; the accessors take it, so they
// may be called from any thread, also while post() runs. The process-wide cookieMutex guards
// every cookie jar handed to a request; whoever needs both takes cookieMutex first, then an
// object's lock, never the other way round. The signals are emitted without any lock held.
// abort() may be called from any thread.
class KNetworkReply : public QBuffer
{
    Q_OBJECT

public:
    // The waits of one exchange, in milliseconds. The defaults are the product's values; tests
    // inject small ones so that a rule about a minute of silence runs in milliseconds.
    struct Timeouts
    {
        // Wait for the TCP connection; -1: the time-out handed to post().
        int connectMs = -1;
        // Time allowed to get each sent chunk written; -1: the time-out handed to post().
        int writeMs = -1;
        // Longest silence while the answer is awaited; -1: the time-out handed to post().
        int silenceMs = -1;
        // Longest wait for the TLS handshake to finish (a handshake during which the server is
        // silent for silenceMs ends sooner).
        int tlsHandshakeMs = 300000;
        // Pacing period: at most one chunk is started per period.
        int sendPeriodMs = 100;
    };

    // Selector of header(): the only one.
    enum HeaderSelector { ContentLengthHeader = 0 };

    // Process-wide send rate limit in bytes per second; the chunk size is a tenth of it (819).
    static constexpr int sendRateLimit = 8196;
    static constexpr int sendChunkSize = sendRateLimit * 100 / 1000;

    // What to answer a proxy that asks for credentials; no user: the proxy is refused.
    struct ProxyCredentials
    {
        QString user;
        QString password;
    };

    // The largest answer taken in: the header (status line and header lines, up to the blank
    // line) and the body. An answer that grows past either is refused as soon as it does, so that
    // a server cannot make the client hold more than this in memory.
    static constexpr qint64 maxAnswerHeaderBytes = 64 * 1024;
    static constexpr qint64 maxAnswerBodyBytes = 16 * 1024 * 1024;

    // Guards every cookie jar handed to a request; taken before any object's own lock.
    static QMutex cookieMutex;

    // Stores copies of the arguments; sends nothing. cookieJar is not owned and may be null (no
    // cookie is then sent or stored); it must outlive the object. The QBuffer has no parent.
    KNetworkReply(const QUrl &url, const QString &referer, const QByteArray &body,
        QNetworkCookieJar *cookieJar, const Timeouts &timeouts = defaultTimeouts());
    // The same with a body source that is read as the request goes out; the object shares it, so
    // a re-send can hand the same source to a new object (post() starts it from its first byte).
    // A null body is an empty one.
    KNetworkReply(const QUrl &url, const QString &referer, std::shared_ptr<KRequestBody> body,
        QNetworkCookieJar *cookieJar, const Timeouts &timeouts = defaultTimeouts());
    ~KNetworkReply() override;

    // Runs the exchange in the calling thread: rewinds the body, connects, sends the request,
    // reads the answer until the server closes. True when a complete answer arrived and its
    // header was accepted (whatever its status code); false on any failure, time-out or abort,
    // with the reason in failure() and in the log (an abort is not logged here: who aborts knows).
    // A body that cannot be read, or that gives other than its size in bytes, fails the exchange
    // before its last bytes go out. The socket exists only while post() runs.
    bool post(const QString &clientVersion, int timeoutMs);

    // The answer steps of post() on the bytes a server sent before it closed the connection, as
    // if they had come in one piece: splits the header from the body, accepts the header (cookies
    // go to the jar), reads the Content-Length and checks the body's size against it. Result and
    // accessors are those post() would give for that answer (failure() included; of the log
    // lines only those for a too large answer and a broken stream are written). For an object that
    // has not posted.
    bool acceptAnswer(const QByteArray &answer);

    // What went wrong in post() or acceptAnswer(); kind None before and after a success.
    KTransportFailure failure() const;

    // Where the answer's header ends: the first CR LF CR LF that does not stand at the very
    // start; -1 while there is none.
    static qsizetype headerEnd(const QByteArray &answer);

    // Makes a running post() stop at once (as soon as its thread's loop hears of it) and return
    // false, also when called before post(); from any thread. An aborted exchange leaves nothing in
    // the raw traffic dump.
    void abort();
    bool isAborted() const;

    // HTTP status code of the answer; -1 until a status line was accepted.
    int statusCode() const;
    // Reason text of the status line; empty until a status line was accepted.
    QString reasonPhrase() const;
    // Version of the status line, for example "1.1"; empty until a status line was accepted.
    QString httpVersion() const;
    QUrl url() const;
    // ContentLengthHeader: the Content-Length's digits as text when the answer's header has a
    // "Content-Length:" line with at least one digit; an invalid QVariant otherwise.
    QVariant header(int selector) const;
    // The answer's header block, from the status line up to the blank line, without it.
    QByteArray responseHeader() const;
    // The answer's Content-Length, -1 when it gives none or one too large to read; body bytes
    // received so far.
    qint64 contentLength() const;
    qint64 bytesReceived() const;

    Timeouts timeouts() const;
    // The credentials for a proxy that asks for them; set before post(). None by default.
    ProxyCredentials proxyCredentials() const;
    void setProxyCredentials(const ProxyCredentials &credentials);
    // The time-outs that new objects get when none are given (test seam; the product never
    // changes them).
    static Timeouts defaultTimeouts();
    static void setDefaultTimeouts(const Timeouts &timeouts);

    // Whether the raw traffic dump ("raw_network_data_alt.txt" in the cache folder) is on:
    // decided once per process, at the first call, from the word "+dumps" among the
    // application's arguments; the file is emptied then and stays open until the process ends.
    static bool rawDumpEnabled();
    // Test seam: forgets the decision and closes the dump file; the next request decides anew
    // with the given answer instead of the arguments, opening the file in the cache folder of
    // that moment.
    static void resetRawDumpForTesting(bool enabled);

signals:
    // The TLS socket's own errors, forwarded as they come (during the handshake).
    void sslErrors(const QList<QSslError> &errors);
    // After each piece of the body; bytesTotal is the Content-Length, -1 when none was given.
    void downloadProgress(qint64 bytesReceived, qint64 bytesTotal);
    // After each chunk of the request was written; bytesTotal is the size of the request bytes
    // (header and body).
    void uploadProgress(qint64 bytesSent, qint64 bytesTotal);
    // The connection is made (for https: the handshake is done); the request goes out next.
    // Emitted in the thread that runs post().
    void connected();

public slots:
    // Answers a proxy's demand for credentials with the stored "ProxyUser" and "ProxyPass", once
    // an exchange: a proxy that asks again has refused them. With no stored user, or when asked
    // again, the authenticator stays untouched and the connection fails.
    void proxyAuthenticationRequired(const QNetworkProxy &proxy, QAuthenticator *authenticator);

private:
    friend class KNetworkReplyPrivate;
    std::unique_ptr<KNetworkReplyPrivate> d;
};
