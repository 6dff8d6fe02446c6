#pragma once

#include "http/ktransportfailure.h"
#include "settings/kcompanyrecords.h"
#include "webclient/formencoding.h"
#include "webclient/kvaluemap.h"

#include <QList>
#include <QMutex>
#include <QNetworkCookieJar>
#include <QPointer>
#include <QSslError>
#include <QString>
#include <QThread>
#include <QUrl>

#include <atomic>
#include <functional>
#include <memory>

class KFormBody;
class KNetworkReply;
class KRequestBody;

// The client of the web service. One object lives for the whole run of the program.
//
// Threads: the object is a QThread named "web client"; the constructor moves the object and its
// cookie jar into that thread and starts it. The thread's event loop serves the work that the
// window and the headless mode hand to it (they call the operations there), onSslErrors (queued
// from each request) and deferred deletions. The API operations (login, uploadFeedback) are plain
// member functions that run in the calling thread and block it until the answer is in or the
// request failed: each request runs as a state machine in a local event loop of that thread, so
// the thread's other events are served meanwhile (a caller must not start a second operation from
// such an event). Only one thread issues them. abortRequest() may be called from any thread and
// reaches the request at once. Destroy the object from the thread that created it: the destructor
// ends and joins the client thread.
//
// Failures travel inside the client as the three exception types below; login, callMethod and
// uploadFeedback catch everything and return codes.
class KWebClient : public QThread
{
    Q_OBJECT

public:
    class ExConnectionError
    {
    };
    class ExServerError
    {
    };
    class ExFunctionError
    {
    };

    // Codes of login.
    enum LoginCode {
        LoginOk = 1,
        LoginPending = 2, // login 2: not signed in, stored records left alone
        LoginInvalid = 3,
        LoginNoAnswer = 4,
        LoginUnknownAnswer = 5,
        LoginUserDeleted = 6,
        LoginRefused = 7, // login -1
    };

    // Codes of callMethod and uploadFeedback.
    enum CallCode {
        CallOk = 0,
        CallFailed = 4, // no answer, status other than 200, failed re-login, not signed in, aborted
        CallBadResult = 5,
        CallRefused = 9, // uploadFeedback only: result -1
    };

    static constexpr int DefaultRequestTimeoutMs = 60000;

    // The longest company domain kept in the settings store; a sign-in whose answer names a
    // longer one succeeds, but stores no company record and no digest for it.
    static constexpr int MaxStoredDomainLength = 255;

    explicit KWebClient(const QString &clientVersion);
    ~KWebClient() override;

    // Signs in with the method "login". company is sent when not empty and receives the answer's
    // domain on success; newUser receives whether the account is new; companies, when given,
    // receives the answer's company list. Code 1 caches the credentials for the automatic
    // re-login and stores the login's company records; codes 3, 5, 6, 7 forget the records of the
    // given company. Never throws.
    int login(const QString &login, const QString &password, QString &company, bool &newUser,
        QList<CompanyEntry> *companies = nullptr);

    // Sends a problem report with the method "upload_feedback2": 0 accepted, 4 failed (see
    // CallFailed), 5 no or another result, 9 refused (result -1). Never throws.
    int uploadFeedback(const QString &message, const QByteArray &screenshot,
        const QByteArray &localCache, const QByteArray &memoryDump, bool crash);
    // The same, for a caller that hands the dump over: the request body holds the only reference
    // to its bytes, and encodes them piece by piece as they are sent.
    int uploadFeedback(const QString &message, const QByteArray &screenshot,
        const QByteArray &localCache, QByteArray &&memoryDump, bool crash);
    // The same with the dump read from the file at dumpPath while it is sent, in small blocks,
    // so that neither the dump nor its encoded form is held in memory (see KFormBody); an
    // existing empty file sends no dump, as empty bytes do. A file that cannot be opened or read,
    // or that changes while it is sent, gives 4. The re-send after a re-login reads the file
    // again from its start.
    //
    // lastBytesCheck, when given, runs on the calling thread just before the last bytes of the
    // request go out (of the re-send too), with the SHA-256 of the dump file's bytes that the
    // request carries: a text from it stops the request before those bytes (code 4, and
    // lastFailure() BodySourceFailed with that text).
    using LastBytesCheck = std::function<QString(const QByteArray &dumpSha256)>;
    int uploadFeedbackFile(const QString &message, const QString &dumpPath, bool crash,
        const LastBytesCheck &lastBytesCheck = {});

    // Calls an API method that needs a signed-in client, with the automatic re-login: 0 when the
    // answer's result reads as 1, 5 for any other answer, 4 when the call failed. answer receives
    // the parsed answer whenever one arrived. Never throws.
    int callMethod(const QString &method, const KValueMap &parameters, KValueMap &answer);

    // Stops the request in flight, from any thread: the running operation ends with a failure
    // code (4) soon after, and no later step of that operation (re-login, re-send) starts. An
    // abort with no operation running has no effect on the next one.
    void abortRequest();

    // What ended the last operation (login, callMethod, uploadFeedback...) at the transport level,
    // so that the window can name it: the failure of the request that ended it (a re-login's or a
    // re-send's included), Aborted after an abort, HttpStatus (detail: code and reason) for a
    // complete answer with a status other than 200, BodySourceFailed when the report's file
    // cannot be read. None when the last request got its answer, also when the answer's result
    // or login code is a refusal (the operation's code tells those), and when the operation
    // sent nothing (not signed in). Reset when an operation starts; from any thread.
    KTransportFailure lastFailure() const;

    // Abandons the request in flight and makes every later operation fail at once (code 4), so
    // that the client's thread is free to end. Start-up calls it before destroying the client.
    void shutDown();

    // The endpoint of an API method on the configured API host.
    QUrl makeApiUrl(const QString &method) const;

    // The API host: VELMORA_API_HOST from the environment ("host" or "host:port") when set,
    // otherwise the compiled-in default.
    static QString apiHost();

    // The URL with the login as its user name, or the login itself when the URL is not valid.
    static QString referrerText(const QUrl &url, const QString &login);

    // The verdict of a "login" answer as a login code (1, 2, 3, 5, 6 or 7); newUser receives
    // whether code 1 comes with new_user greater than 0.
    static int classifyLoginAnswer(const KValueMap &answer, bool *newUser);

    // Appends the answer's company_domain[i] / company_name[i] pairs, from index 0 up to the first
    // missing one; a null list does nothing.
    static void processCompanies(QList<CompanyEntry> *companies, const KValueMap &answer);

    // The parameters of "upload_feedback2": message always (UTF-8), screenshot, localcache and
    // memorydump as Base64 only when not empty, crash "1" only with the flag.
    static KValueMap feedbackParameters(const QString &message, const QByteArray &screenshot,
        const QByteArray &localCache, const QByteArray &memoryDump, bool crash);

    // The form body of "upload_feedback2": the same bytes as encodeForm(feedbackParameters(...)),
    // built without the Base64 copies or the map (see encodeFormFields).
    static QByteArray feedbackBody(const QString &message, const QByteArray &screenshot,
        const QByteArray &localCache, const QByteArray &memoryDump, bool crash);

    bool isSignedIn() const { return signedIn.load(); }
    QString clientVersionText() const { return clientVersion; }
    QNetworkCookieJar *cookies() const { return cookieJar.data(); }

    // Time-out of every request (silence while waiting, connection, each written chunk).
    int requestTimeout() const { return timeoutMs.load(); }
    void setRequestTimeout(int ms) { timeoutMs.store(ms); }

signals:
    void sigLostConnection();
    void sigRequestSuccessed();
    void sigRequireAuth();
    void sigUserWasDeleted();
    // Progress of the running request's upload: bytes of the request written so far, of all.
    void uploadProgress(qint64 bytesSent, qint64 bytesTotal);
    // A request of the API method has its connection to the service (TLS included) and is about
    // to be written; emitted in the thread that runs the operation.
    void requestConnected(const QString &method);

public slots:
    void onSslErrors(const QList<QSslError> &error);

protected:
    // Events reach the object only on its own thread; from any other thread they are refused.
    bool event(QEvent *event) override;
    void run() override;

private:
    // Sends one API request and parses its answer; with relogin, an answer with auth 0 leads to
    // one sign-in with the cached credentials and one re-send of the same body from its first
    // byte. Throws the exception types above. body is the encoded form; the request shares it.
    KValueMap sendRequest(
        const QString &method, const std::shared_ptr<KRequestBody> &body, bool relogin);
    KValueMap sendRequest(const QString &method, const QByteArray &body, bool relogin);
    // The streaming form of "upload_feedback2", fields as in feedbackFields; the dump is the file
    // at dumpPath when that is not empty (an existing empty file is left out).
    static std::shared_ptr<KFormBody> feedbackForm(const QString &message,
        const QByteArray &screenshot, const QByteArray &localCache, const QByteArray &memoryDump,
        const QString &dumpPath, bool crash);
    // uploadFeedback: measures the body, then sends it.
    int sendFeedback(const std::shared_ptr<KFormBody> &body);
    // The fields of "upload_feedback2" in the order they are inserted into the parameters;
    // message is the UTF-8 text. The fields view the arguments.
    static QList<FormField> feedbackFields(const QByteArray &message, const QByteArray &screenshot,
        const QByteArray &localCache, const QByteArray &memoryDump, bool crash);
    // The entries whose domain may be stored; each left out is logged.
    static QList<CompanyEntry> storableCompanies(const QList<CompanyEntry> &companies);
    // CallOk when the answer's result reads as 1, CallBadResult otherwise.
    static int resultCode(const KValueMap &answer);
    int loginImpl(const QString &login, const QString &password, QString &company, bool &newUser,
        QList<CompanyEntry> *companies);
    void ensureSignedIn() const;
    void throwIfAborted();
    // Starts an operation called from outside: an earlier abort does not reach into it, and its
    // last failure is forgotten.
    void beginOperation();
    void setLastFailure(const KTransportFailure &failure);

    std::atomic<bool> signedIn { false };
    QMutex stateMutex; // guards lastLogin, lastPassword and lastDomain while they are copied
    QPointer<QNetworkCookieJar> cookieJar; // child of this object; deleted when the thread ends
    QString lastLogin;
    QString lastPassword;
    QString lastDomain;
    const QString clientVersion;

    std::atomic<int> timeoutMs { DefaultRequestTimeoutMs };
    QMutex requestMutex; // guards currentRequest
    KNetworkReply *currentRequest = nullptr; // the request in flight, owned by sendRequest
    mutable QMutex failureMutex; // guards failure
    KTransportFailure failure;
    std::atomic<bool> aborted { false };
    std::atomic<bool> shuttingDown { false };
};
