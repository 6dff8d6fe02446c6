#pragma once

#include <QBuffer>
#include <QByteArray>
#include <QList>
#include <QMutex>
#include <QNetworkProxy>
#include <QRegularExpression>
#include <QSslError>
#include <QString>
#include <QUrl>
#include <QVariant>

#include <atomic>
#include <condition_variable>
#include <memory>
#include <mutex>

class KRequestBody;
class QAbstractSocket;
class QAuthenticator;
class QElapsedTimer;
class QNetworkCookieJar;

// One HTTP/1.0 POST exchange with the web service, carried out over a raw TCP socket, or a TLS
// socket when the URL's scheme is "https" (any case). The object writes the request bytes itself
// and reads the answer until the server closes the connection.
//
// Use: create the object in the thread that will call post(), call post() once, then read
// statusCode(), reasonPhrase(), url() and header(ContentLength), and read the answer's body
// through the object's own QIODevice interface (it is a QBuffer, open for reading from the body's
// first byte once post() has returned true). An object serves exactly one post().
//
// post() runs the whole exchange in the calling thread with blocking waits; the calling thread
// needs no event loop (the TCP connection is made by a short-lived helper thread, named
// "connection helper", that post() waits for, so that abort() can end a hanging connection at
// once; a proxy's demand for credentials is answered on it). The request goes out in chunks
// of at most 819 bytes, one chunk every 100 ms. The time-out handed to post() (60,000 ms from the
// web client) is the wait for the TCP connection, the time allowed to get each chunk written, and
// the longest silence allowed while the answer is awaited: silence, not total time, so a slow
// answer that keeps coming never times out.
//
// The server's certificate is verified against the system's certificate authorities plus those
// in the PEM file named by the environment variable VELMORA_EXTRA_CA_CERTS, host name included;
// a certificate that does not pass stops the connection before any request byte is written.
//
// Threads and locks: the object's lock (the QMutex base) guards every field below; the
// accessors take it, so they may be called from any thread, also while post() runs. The
// process-wide cookieMutex guards every cookie jar handed to a request; whoever needs both takes
// cookieMutex first, then an object's lock, never the other way round. downloadProgress is
// emitted while the object's lock is held: a slot connected to it directly must not call the
// accessors. uploadProgress and readyRead are emitted without any lock held. abort() may be
// called from any thread.
class KNetworkReply : public QBuffer, public QMutex
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
        // Longest wait for the TLS handshake to finish.
        int tlsHandshakeMs = 300000;
        // Longest single wait for incoming data.
        int readWaitMs = 10000;
        // Length of one wait for outgoing bytes to be written.
        int writeWaitMs = 1000;
        // Pacing period: at most one chunk is started per period.
        int sendPeriodMs = 100;
    };

    // What to answer a proxy that asks for credentials; no user: the proxy is refused.
    struct ProxyCredentials
    {
        QString user;
        QString password;
    };

    // Selector of header(): the only one.
    enum HeaderSelector { ContentLengthHeader = 0 };

    // Process-wide send rate limit in bytes per second; the chunk size is a tenth of it.
    static constexpr int sendRateLimit = 8196;
    // The most bytes written in one pacing period (819).
    static constexpr int sendChunkSize = sendRateLimit * 100 / 1000;

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
    // with the reason in the log. A body that cannot be read, or that gives other than its size
    // in bytes, fails the exchange before its last bytes go out. The socket exists only while
    // post() runs.
    bool post(const QString &clientVersion, int timeoutMs);

    // The answer steps of post() on the bytes a server sent before it closed the connection, as
    // if they had come in one piece: splits the header from the body, accepts the header (cookies
    // go to the jar), reads the Content-Length and checks the body's size against it. Result and
    // accessors are those post() would give for that answer. For an object that has not posted.
    bool acceptAnswer(const QByteArray &answer);

    // Where the answer's header ends: the first CR LF CR LF that does not stand at the very
    // start; -1 while there is none.
    static qsizetype headerEnd(const QByteArray &answer);

    // Makes a running post() stop within about 200 ms and return false, also when called before
    // post(); from any thread. An aborted exchange leaves nothing in the raw traffic dump.
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
    void setTimeouts(const Timeouts &timeouts);
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
    // Emitted with the object's lock held.
    void downloadProgress(qint64 bytesReceived, qint64 bytesTotal);
    // After each chunk of the request was written; bytesTotal is the size of the request bytes
    // (header and body).
    void uploadProgress(qint64 bytesSent, qint64 bytesTotal);

public slots:
    // Answers a proxy's demand for credentials with those set by setProxyCredentials(); with no
    // user the authenticator stays untouched and the proxy refuses.
    void proxyAuthenticationRequired(const QNetworkProxy &proxy, QAuthenticator *authenticator);

private:
    bool exchange(const QString &clientVersion, int timeoutMs, qint64 &dumpMark);
    std::shared_ptr<QAbstractSocket> connectToHost(int timeoutMs);
    bool sendData(
        const QByteArray &head, KRequestBody &body, QAbstractSocket *socket, int timeoutMs);
    // Fills out with exactly size bytes of the body; false (logged) when the body fails or ends
    // early, or, with last, when it has bytes beyond its size.
    bool readBody(KRequestBody &body, char *out, qint64 size, bool last);
    bool sendChunk(const char *chunk, qint64 size, QAbstractSocket *socket, int remainingMs);
    bool downloadChunk(QByteArray &out, QAbstractSocket *socket, int timeoutMs);
    bool download(QAbstractSocket *socket, int timeoutMs);
    // Takes the header (answer up to end) and the body received with it (after the blank line).
    bool takeHeader(const QByteArray &answer, qsizetype end);
    bool acceptHeader();
    qint64 contentLengthFromHeader();
    bool bodyComplete();
    // Logs that the answer is too large when header or body passed its limit; true then.
    bool answerTooLarge(qint64 headerBytes, qint64 bodyBytes);
    // The peer ended the answer: it closed the TCP connection, or, over TLS, sent close_notify
    // (the TLS socket then reports the remote closed while the TCP connection stays up).
    bool peerClosed(const QAbstractSocket *socket) const;

    // Blocking waits in slices short enough to notice abort(); each returns false on abort.
    bool waitReadable(QAbstractSocket *socket, int ms);
    bool waitWritten(QAbstractSocket *socket, int ms);
    bool sleepUntil(const QElapsedTimer &clock, qint64 deadlineNs);
    // The object's lock from const accessors.
    QMutex *lockable() const { return const_cast<KNetworkReply *>(this); }

    QUrl m_url;
    // Set once by the constructor and read only by post(), so it needs no lock.
    std::shared_ptr<KRequestBody> m_requestBody;
    QNetworkCookieJar *m_cookieJar;
    QString m_referer;
    QByteArray m_responseHeader;
    int m_statusCode;
    QString m_reasonPhrase;
    QString m_httpVersion;
    qint64 m_contentLength;
    // The header gives a Content-Length whose digits do not fit a qint64.
    bool m_contentLengthOverflow;
    qint64 m_bytesReceived;
    QRegularExpression m_setCookieRx;
    QRegularExpression m_statusLineRx;
    QRegularExpression m_contentLengthRx;
    QAbstractSocket *m_socket;
    Timeouts m_timeouts;
    ProxyCredentials m_proxyCredentials;

    // The socket reported that the remote closed (a TLS socket reports close_notify so).
    std::atomic<bool> m_remoteClosed { false };

    // abort(): the flag, and a condition that wakes the pacing sleep at once.
    std::atomic<bool> m_aborted { false };
    std::mutex m_abortMutex;
    std::condition_variable m_abortCondition;
};
