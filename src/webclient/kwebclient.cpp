#include "webclient/kwebclient.h"

#include "http/knetworkreply.h"
#include "http/krequestbody.h"
#include "logging/logging.h"
#include "settings/ksettingsmanager.h"
#include "webclient/formencoding.h"
#include "webclient/kformbody.h"

#include <QDateTime>
#include <QFileInfo>
#include <QMutexLocker>
#include <QNetworkCookieJar>
#include <QSslCertificate>

#include <exception>

namespace {

// Text of a one-line answer value: the server's UTF-8 bytes, kept one per character by the parser.
QString utf8Value(const QVariant &value)
{
    if (value.metaType().id() == QMetaType::QByteArray)
        return QString::fromUtf8(value.toByteArray());
    return QString::fromUtf8(value.toString().toLatin1());
}

bool isNullValue(const QVariant &value)
{
    if (!value.isValid() || value.isNull())
        return true;
    if (value.metaType().id() == QMetaType::QString)
        return value.toString().isNull();
    if (value.metaType().id() == QMetaType::QByteArray)
        return value.toByteArray().isNull();
    return false;
}

} // namespace

KWebClient::KWebClient(const QString &clientVersion)
    : clientVersion(clientVersion)
{
    cookieJar = new QNetworkCookieJar(this);
    setObjectName(QStringLiteral("web client"));
    // The cookie jar is a child, so it moves along.
    moveToThread(this);
    start(QThread::InheritPriority);
}

KWebClient::~KWebClient()
{
    quit();
    wait();
}

bool KWebClient::event(QEvent *event)
{
    if (QThread::currentThread() != this)
        return false;
    return QThread::event(event);
}

void KWebClient::run()
{
    try {
        exec();
    } catch (const ExConnectionError &) {
        LOG_FATAL(QStringLiteral("ExConnectionError; Thread terminated!"));
    } catch (const ExFunctionError &) {
        LOG_FATAL(QStringLiteral("ExFunctionError; Thread terminated!"));
    } catch (const ExServerError &) {
        LOG_FATAL(QStringLiteral("ExServerError; Thread terminated!"));
    } catch (const std::exception &e) {
        LOG_FATAL(
            QStringLiteral("STD: %1; Thread terminated!").arg(QString::fromLocal8Bit(e.what())));
    } catch (...) {
        LOG_FATAL(QStringLiteral("Unknown exception; Thread terminated!"));
    }
    if (cookieJar)
        cookieJar->deleteLater();
    LOG_INFO(QStringLiteral("KWebClient thread has been finished"));
}

void KWebClient::onSslErrors(const QList<QSslError> &error)
{
    LOG_TRACE(QStringLiteral("Found some SSL error"));
    const QDateTime now = QDateTime::currentDateTimeUtc();
    for (const QSslError &e : error) {
        LOG_TRACE(QStringLiteral("Error is: %1").arg(e.errorString()));
        const QSslCertificate certificate = e.certificate();
        if (certificate.isNull())
            LOG_TRACE(QStringLiteral("Certificate is NULL"));
        // Valid: in its validity period and not blacklisted.
        if (!certificate.isNull() && !certificate.isBlacklisted()
            && certificate.effectiveDate() <= now && now <= certificate.expiryDate())
            LOG_TRACE(QStringLiteral("Certificate is valid"));
    }
}

QString KWebClient::apiHost()
{
    const QString configured = qEnvironmentVariable("VELMORA_API_HOST").trimmed();
    if (!configured.isEmpty())
        return configured;
    return QStringLiteral(VELMORA_API_HOST_DEFAULT);
}

QUrl KWebClient::makeApiUrl(const QString &method) const
{
    return QUrl(QStringLiteral("https://") + apiHost()
        + QStringLiteral("/v2/api/execute.php?method=") + method
        + QStringLiteral("&ver=win%1").arg(clientVersion));
}

QString KWebClient::referrerText(const QUrl &url, const QString &login)
{
    if (!url.isValid())
        return login;
    QUrl copy(url);
    copy.setUserName(login);
    return copy.toString(QUrl::StripTrailingSlash);
}

void KWebClient::beginOperation()
{
    aborted.store(shuttingDown.load());
    setLastFailure(KTransportFailure());
}

KTransportFailure KWebClient::lastFailure() const
{
    QMutexLocker lock(&failureMutex);
    return failure;
}

void KWebClient::setLastFailure(const KTransportFailure &value)
{
    QMutexLocker lock(&failureMutex);
    failure = value;
}

void KWebClient::shutDown()
{
    shuttingDown.store(true);
    abortRequest();
}

void KWebClient::throwIfAborted()
{
    if (aborted.load()) {
        setLastFailure({ KTransportFailure::Aborted, QString(), -1 });
        throw ExConnectionError();
    }
}

void KWebClient::abortRequest()
{
    aborted.store(true);
    QMutexLocker lock(&requestMutex);
    if (currentRequest)
        currentRequest->abort();
}

KValueMap KWebClient::sendRequest(const QString &method, const QByteArray &body, bool relogin)
{
    return sendRequest(method, std::make_shared<KByteArrayBody>(body), relogin);
}

KValueMap KWebClient::sendRequest(
    const QString &method, const std::shared_ptr<KRequestBody> &body, bool relogin)
{
    throwIfAborted();

    QString login;
    {
        QMutexLocker lock(&stateMutex);
        login = lastLogin;
    }
    const QUrl url = makeApiUrl(method);
    KNetworkReply reply(url, referrerText(url, login), body, cookieJar.data());
    connect(
        &reply, &KNetworkReply::sslErrors, this, &KWebClient::onSslErrors, Qt::QueuedConnection);
    connect(&reply, &KNetworkReply::uploadProgress, this, &KWebClient::uploadProgress,
        Qt::DirectConnection);
    connect(
        &reply, &KNetworkReply::connected, this, [this, method] { emit requestConnected(method); },
        Qt::DirectConnection);
    // The store is read for each request, so credentials Velmora saved meanwhile are used.
    reply.setProxyCredentials(
        { VM::KSettingsManager::proxyUser(), VM::KSettingsManager::proxyPassword() });
    {
        QMutexLocker lock(&requestMutex);
        currentRequest = &reply;
        if (aborted.load())
            reply.abort();
    }
    const bool received = reply.post(clientVersion, timeoutMs.load());
    {
        QMutexLocker lock(&requestMutex);
        currentRequest = nullptr;
    }

    // The transport logs its own failures but not an abort: that is told here, once.
    if (aborted.load()) {
        setLastFailure({ KTransportFailure::Aborted, QString(), -1 });
        LOG_INFO(QStringLiteral("Request aborted; url: %1").arg(reply.url().toString()));
        throw ExConnectionError();
    }
    setLastFailure(reply.failure());
    if (!received) {
        LOG_INFO(QStringLiteral("Server error: %1, reply: %2; url: %3")
                     .arg(reply.statusCode())
                     .arg(reply.reasonPhrase(), reply.url().toString()));
        throw ExConnectionError();
    }
    if (reply.statusCode() != 200) {
        setLastFailure({ KTransportFailure::HttpStatus,
            QStringLiteral("%1 %2").arg(reply.statusCode()).arg(reply.reasonPhrase()), -1 });
        throw ExServerError();
    }

    LOG_TRACE(QStringLiteral("Answer received; url: %1, %2 bytes")
                  .arg(reply.url().toString())
                  .arg(reply.size()));
    // An abort while the answer is parsed ends the parse and the operation at once.
    const KValueMap answer = parseReply(&reply, &aborted);
    if (aborted.load()) {
        setLastFailure({ KTransportFailure::Aborted, QString(), -1 });
        LOG_INFO(QStringLiteral("Request aborted; url: %1").arg(reply.url().toString()));
        throw ExConnectionError();
    }
    emit sigRequestSuccessed();

    if (!relogin || !answer.contains(QStringLiteral("auth")))
        return answer;

    QString savedLogin;
    QString savedPassword;
    QString savedDomain;
    {
        QMutexLocker lock(&stateMutex);
        savedLogin = lastLogin;
        savedPassword = lastPassword;
        savedDomain = lastDomain;
    }
    if (answerNumber(answer.value(QStringLiteral("auth"))) != 0)
        return answer;

    LOG_INFO(QStringLiteral("Server forgot us. We must try to re-login to the system."));
    if (savedLogin.isEmpty() || savedPassword.isEmpty() || !signedIn.load()) {
        LOG_DEBUG(QStringLiteral("We have either no login/password or we didn't login at all"));
        return answer;
    }

    LOG_TRACE(QStringLiteral("Use login/password from the last session"));
    bool newUser = false;
    const int code = loginImpl(savedLogin, savedPassword, savedDomain, newUser, nullptr);
    switch (code) {
    case LoginOk:
        LOG_DEBUG(QStringLiteral("Server forgot us. Login-ok. Re-send request."));
        return sendRequest(method, body, false);
    case LoginInvalid:
        LOG_WARN(QStringLiteral("Server forgot us. Failed of re-login. Invalid login (%1)")
                     .arg(savedLogin));
        emit sigRequireAuth();
        throw ExFunctionError();
    case LoginUserDeleted:
        LOG_WARN(QStringLiteral(
            "Server forgot us. Failed of re-login. User was deleted on the server (%1)")
                     .arg(savedLogin));
        emit sigUserWasDeleted();
        throw ExFunctionError();
    default:
        LOG_WARN(QStringLiteral("Server forgot us. Failed of re-login. Network error."));
        throw ExConnectionError();
    }
}

void KWebClient::ensureSignedIn() const
{
    if (!signedIn.load())
        throw ExConnectionError();
}

int KWebClient::callMethod(const QString &method, const KValueMap &parameters, KValueMap &answer)
{
    beginOperation();
    try {
        ensureSignedIn();
        answer = sendRequest(method, encodeForm(parameters), true);
        return resultCode(answer);
    } catch (...) {
        emit sigLostConnection();
        return CallFailed;
    }
}

int KWebClient::classifyLoginAnswer(const KValueMap &answer, bool *newUser)
{
    if (newUser)
        *newUser = false;
    const auto loginValue = answer.constFind(QStringLiteral("login"));
    if (loginValue == answer.cend())
        return LoginUnknownAnswer;
    const int verdict = answerNumber(*loginValue);
    const auto deletedValue = answer.constFind(QStringLiteral("deleted"));
    const bool hasDeleted = deletedValue != answer.cend();
    const int deleted = hasDeleted ? answerNumber(*deletedValue) : 0;

    if (verdict == 2 && hasDeleted && deleted == 0)
        return LoginPending;
    if (verdict == 1 && hasDeleted && deleted == 0) {
        if (newUser)
            *newUser = answerNumber(answer.value(QStringLiteral("new_user"))) > 0;
        return LoginOk;
    }
    if (verdict == -1)
        return LoginRefused;
    if (hasDeleted && deleted == 0)
        return LoginInvalid;
    if (hasDeleted && deleted == 1)
        return LoginUserDeleted;
    return LoginUnknownAnswer;
}

QList<CompanyEntry> KWebClient::storableCompanies(const QList<CompanyEntry> &companies)
{
    QList<CompanyEntry> storable;
    for (const CompanyEntry &entry : companies) {
        if (entry.first.size() > MaxStoredDomainLength) {
            LOG_WARN(QStringLiteral("The company domain is too long (%1 characters); it was "
                                    "not stored")
                         .arg(entry.first.size()));
            continue;
        }
        storable.append(entry);
    }
    return storable;
}

void KWebClient::processCompanies(QList<CompanyEntry> *companies, const KValueMap &answer)
{
    if (!companies)
        return;
    for (int i = 0;; ++i) {
        const auto domain = answer.constFind(QStringLiteral("company_domain[%1]").arg(i));
        const auto name = answer.constFind(QStringLiteral("company_name[%1]").arg(i));
        if (domain == answer.cend() || name == answer.cend() || isNullValue(*domain)
            || isNullValue(*name))
            break;
        companies->append(CompanyEntry(utf8Value(*domain), utf8Value(*name)));
    }
    LOG_FATAL(QStringLiteral("2140: Leaving the processCompanies() method in a correct manner."));
}

int KWebClient::login(const QString &login, const QString &password, QString &company,
    bool &newUser, QList<CompanyEntry> *companies)
{
    beginOperation();
    return loginImpl(login, password, company, newUser, companies);
}

int KWebClient::loginImpl(const QString &login, const QString &password, QString &company,
    bool &newUser, QList<CompanyEntry> *companies)
{
    newUser = false;
    if (companies)
        companies->clear();
    KValueMap parameters;
    parameters.insert(QStringLiteral("login"), login.toUtf8());
    parameters.insert(QStringLiteral("passwd"), password.toUtf8());
    if (!company.isEmpty())
        parameters.insert(QStringLiteral("company"), company.toUtf8());
    const QString companyAsGiven = company;

    try {
        const KValueMap answer
            = sendRequest(QStringLiteral("login"), encodeForm(parameters), false);
        bool isNewUser = false;
        const int code = classifyLoginAnswer(answer, &isNewUser);
        if (code == LoginOk) {
            newUser = isNewUser;
            processCompanies(companies, answer);
            const QString domain = utf8Value(answer.value(QStringLiteral("domain")));
            {
                // The re-login copies these under the same lock.
                QMutexLocker lock(&stateMutex);
                lastLogin = login;
                lastPassword = password;
                lastDomain = domain;
            }
            signedIn.store(true);
            company = domain;
            // The settings store is shared with Velmora: a domain no company can have stays out
            // of it, so an answer cannot make the store grow without bound.
            if (domain.size() > MaxStoredDomainLength) {
                LOG_WARN(QStringLiteral("The company domain is too long (%1 characters); it was "
                                        "not stored")
                             .arg(domain.size()));
                return LoginOk;
            }
            if (companies && !companies->isEmpty())
                VM::KCompanyRecords::saveCompanies(login, storableCompanies(*companies));
            else
                VM::KCompanyRecords::saveCompanies(login, { CompanyEntry(domain, domain) });
            VM::KCompanyRecords::storePasswordDigest(login, domain, password);
            return LoginOk;
        }
        if (code != LoginPending)
            VM::KCompanyRecords::forgetCompany(login, companyAsGiven);
        signedIn.store(false);
        return code;
    } catch (...) {
        emit sigLostConnection();
        return LoginNoAnswer;
    }
}

QList<FormField> KWebClient::feedbackFields(const QByteArray &message, const QByteArray &screenshot,
    const QByteArray &localCache, const QByteArray &memoryDump, bool crash)
{
    QList<FormField> fields;
    fields.append({ QStringLiteral("message"), message, false });
    if (!screenshot.isEmpty())
        fields.append({ QStringLiteral("screenshot"), screenshot, true });
    if (!localCache.isEmpty())
        fields.append({ QStringLiteral("localcache"), localCache, true });
    if (!memoryDump.isEmpty())
        fields.append({ QStringLiteral("memorydump"), memoryDump, true });
    if (crash)
        fields.append({ QStringLiteral("crash"), QByteArrayView("1"), false });
    return fields;
}

KValueMap KWebClient::feedbackParameters(const QString &message, const QByteArray &screenshot,
    const QByteArray &localCache, const QByteArray &memoryDump, bool crash)
{
    const QByteArray text = message.toUtf8();
    KValueMap parameters;
    for (const FormField &field : feedbackFields(text, screenshot, localCache, memoryDump, crash)) {
        parameters.insert(field.key,
            field.base64
                ? QByteArray::fromRawData(field.value.data(), field.value.size()).toBase64()
                : field.value.toByteArray());
    }
    return parameters;
}

QByteArray KWebClient::feedbackBody(const QString &message, const QByteArray &screenshot,
    const QByteArray &localCache, const QByteArray &memoryDump, bool crash)
{
    const QByteArray text = message.toUtf8();
    return encodeFormFields(feedbackFields(text, screenshot, localCache, memoryDump, crash));
}

int KWebClient::resultCode(const KValueMap &answer)
{
    const auto result = answer.constFind(QStringLiteral("result"));
    return result != answer.cend() && answerNumber(*result) == 1 ? CallOk : CallBadResult;
}

std::shared_ptr<KFormBody> KWebClient::feedbackForm(const QString &message,
    const QByteArray &screenshot, const QByteArray &localCache, const QByteArray &memoryDump,
    const QString &dumpPath, bool crash)
{
    auto body = std::make_shared<KFormBody>();
    body->addValue(QStringLiteral("message"), message.toUtf8());
    if (!screenshot.isEmpty())
        body->addValue(QStringLiteral("screenshot"), screenshot, true);
    if (!localCache.isEmpty())
        body->addValue(QStringLiteral("localcache"), localCache, true);
    if (!dumpPath.isEmpty()) {
        const QFileInfo dumpFile(dumpPath);
        if (!dumpFile.exists() || dumpFile.size() > 0)
            body->addFile(QStringLiteral("memorydump"), dumpPath);
    } else if (!memoryDump.isEmpty()) {
        body->addValue(QStringLiteral("memorydump"), memoryDump, true);
    }
    if (crash)
        body->addValue(QStringLiteral("crash"), QByteArray("1"));
    return body;
}

int KWebClient::uploadFeedback(const QString &message, const QByteArray &screenshot,
    const QByteArray &localCache, const QByteArray &memoryDump, bool crash)
{
    return sendFeedback(
        feedbackForm(message, screenshot, localCache, memoryDump, QString(), crash));
}

int KWebClient::uploadFeedback(const QString &message, const QByteArray &screenshot,
    const QByteArray &localCache, QByteArray &&memoryDump, bool crash)
{
    QByteArray taken = std::move(memoryDump);
    const std::shared_ptr<KFormBody> body
        = feedbackForm(message, screenshot, localCache, taken, QString(), crash);
    taken = QByteArray(); // the body holds the only reference now
    return sendFeedback(body);
}

int KWebClient::uploadFeedbackFile(const QString &message, const QString &dumpPath, bool crash,
    const LastBytesCheck &lastBytesCheck)
{
    const std::shared_ptr<KFormBody> body
        = feedbackForm(message, QByteArray(), QByteArray(), QByteArray(), dumpPath, crash);
    if (lastBytesCheck) {
        // The body owns its check: a raw pointer back to it, never a shared one.
        KFormBody *form = body.get();
        const QString key = QStringLiteral("memorydump");
        body->setFinalCheck([form, key, lastBytesCheck] {
            const QString refusal = lastBytesCheck(form->fileDigest(key));
            if (!refusal.isEmpty())
                LOG_INFO(
                    QStringLiteral("The report is stopped before its last bytes: %1").arg(refusal));
            return refusal;
        });
    }
    return sendFeedback(body);
}

int KWebClient::sendFeedback(const std::shared_ptr<KFormBody> &body)
{
    beginOperation();
    KValueMap answer;
    int code = CallFailed;
    try {
        ensureSignedIn();
        // One pass over the dump file fixes the body's exact size; the body is encoded again,
        // piece by piece, as it is sent (and once more for a re-send after a re-login).
        if (!body->measure()) {
            setLastFailure({ KTransportFailure::BodySourceFailed, body->errorString(), -1 });
            LOG_INFO(QStringLiteral("The report cannot be sent: %1").arg(body->errorString()));
            throw ExConnectionError();
        }
        answer = sendRequest(QStringLiteral("upload_feedback2"), body, true);
        code = resultCode(answer);
    } catch (...) {
        // Includes a lack of memory.
        emit sigLostConnection();
        return CallFailed;
    }
    const auto result = answer.constFind(QStringLiteral("result"));
    if (result != answer.cend() && answerNumber(*result) == -1)
        code = CallRefused;
    return code;
}
