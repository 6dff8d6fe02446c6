#include "devservice.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRandomGenerator>
#include <QSslCertificate>
#include <QSslConfiguration>
#include <QSslKey>
#include <QSslSocket>
#include <QUrl>
#include <QUrlQuery>

#include <cstdio>

namespace {

const QByteArray sessionCookieName = "VMSESSION";
constexpr qsizetype maxRequestSize = 512 * 1024 * 1024;

QByteArray quoted(const QByteArray &key, const QByteArray &value)
{
    return key + "=\"" + value + "\"\n";
}

QByteArray reasonPhrase(int status)
{
    switch (status) {
    case 200:
        return "OK";
    case 400:
        return "Bad Request";
    case 403:
        return "Forbidden";
    case 404:
        return "Not Found";
    case 500:
        return "Internal Server Error";
    case 503:
        return "Service Unavailable";
    default:
        return "Status";
    }
}

// Value of the header field (case-insensitive name), or a null array.
QList<QByteArray> headerValues(const QByteArray &header, const QByteArray &name)
{
    QList<QByteArray> values;
    const QList<QByteArray> lines = header.split('\n');
    for (QByteArray line : lines) {
        line = line.trimmed();
        const qsizetype colon = line.indexOf(':');
        if (colon > 0 && line.left(colon).trimmed().toLower() == name.toLower())
            values.append(line.mid(colon + 1).trimmed());
    }
    return values;
}

QHash<QString, QByteArray> decodeForm(const QByteArray &body)
{
    QHash<QString, QByteArray> parameters;
    const QList<QByteArray> pairs = body.split('&');
    for (const QByteArray &pair : pairs) {
        if (pair.isEmpty())
            continue;
        const qsizetype eq = pair.indexOf('=');
        const QByteArray key = eq < 0 ? pair : pair.left(eq);
        const QByteArray value = eq < 0 ? QByteArray() : pair.mid(eq + 1);
        parameters.insert(QString::fromLatin1(QByteArray::fromPercentEncoding(key)),
            QByteArray::fromPercentEncoding(value));
    }
    return parameters;
}

} // namespace

DevService::DevService(const Options &options, QObject *parent)
    : QObject(parent)
    , m_options(options)
{
    connect(&m_server, &QSslServer::pendingConnectionAvailable, this, &DevService::onConnection);
}

bool DevService::start()
{
    QFile certificateFile(m_options.certificate);
    QFile keyFile(m_options.privateKey);
    if (!certificateFile.open(QIODevice::ReadOnly) || !keyFile.open(QIODevice::ReadOnly)) {
        m_error = QStringLiteral("cannot read %1 or %2")
                      .arg(m_options.certificate, m_options.privateKey);
        return false;
    }
    const QList<QSslCertificate> chain = QSslCertificate::fromData(certificateFile.readAll());
    const QByteArray keyPem = keyFile.readAll();
    QSslKey key(keyPem, QSsl::Ec);
    if (key.isNull())
        key = QSslKey(keyPem, QSsl::Rsa);
    if (chain.isEmpty() || key.isNull()) {
        m_error = QStringLiteral("no usable certificate or key");
        return false;
    }
    QSslConfiguration configuration = QSslConfiguration::defaultConfiguration();
    configuration.setLocalCertificateChain(chain);
    configuration.setPrivateKey(key);
    configuration.setPeerVerifyMode(QSslSocket::VerifyNone);
    m_server.setSslConfiguration(configuration);
    if (!m_server.listen(QHostAddress::LocalHost, m_options.port)) {
        m_error = m_server.errorString();
        return false;
    }
    return true;
}

quint16 DevService::port() const
{
    return m_server.serverPort();
}

void DevService::onConnection()
{
    while (m_server.hasPendingConnections()) {
        auto *socket = qobject_cast<QSslSocket *>(m_server.nextPendingConnection());
        if (!socket)
            continue;
        m_pending.insert(socket, QByteArray());
        connect(socket, &QSslSocket::readyRead, this, [this, socket] { onReadyRead(socket); });
        connect(socket, &QSslSocket::disconnected, this, [this, socket] {
            m_pending.remove(socket);
            socket->deleteLater();
        });
        if (socket->bytesAvailable() > 0)
            onReadyRead(socket);
    }
}

void DevService::onReadyRead(QSslSocket *socket)
{
    auto it = m_pending.find(socket);
    if (it == m_pending.end())
        return;
    it->append(socket->readAll());
    const qsizetype headerEnd = it->indexOf("\r\n\r\n");
    if (headerEnd < 0) {
        if (it->size() > 1024 * 1024)
            socket->abort();
        return;
    }
    const QByteArray header = it->left(headerEnd);
    const QList<QByteArray> lengths = headerValues(header, "Content-Length");
    const qint64 length = lengths.isEmpty() ? 0 : lengths.first().toLongLong();
    if (length < 0 || length > maxRequestSize) {
        socket->abort();
        return;
    }
    if (it->size() - headerEnd - 4 < length)
        return;
    const QByteArray body = it->mid(headerEnd + 4, length);
    m_pending.remove(socket);

    const Answer answer = handle(header, body);
    QByteArray bytes = "HTTP/1.0 " + QByteArray::number(answer.status) + " "
        + reasonPhrase(answer.status) + "\r\n";
    // Set-Cookie goes first: the client only takes Set-Cookie lines that another line follows.
    if (!answer.cookie.isEmpty())
        bytes += "Set-Cookie: " + answer.cookie + "\r\n";
    bytes += "Content-Type: text/plain; charset=utf-8\r\n";
    bytes += "Content-Length: " + QByteArray::number(answer.body.size()) + "\r\n";
    bytes += "Connection: close\r\n\r\n";
    bytes += answer.body;
    socket->write(bytes);
    socket->disconnectFromHost();
}

DevService::Answer DevService::handle(const QByteArray &header, const QByteArray &body)
{
    const QByteArray requestLine = header.left(header.indexOf("\r\n"));
    const QList<QByteArray> parts = requestLine.split(' ');
    const QUrl target(QStringLiteral("https://service") + QString::fromLatin1(parts.value(1)));
    const QUrlQuery query(target);
    const QString method = query.queryItemValue(QStringLiteral("method"));
    const QString version = query.queryItemValue(QStringLiteral("ver"));
    std::fprintf(stderr, "request %s %s\n", parts.value(0).constData(), parts.value(1).constData());

    if (m_options.forcedStatus > 0)
        return Answer { m_options.forcedStatus, "error=\"forced status\"\n", {} };
    if (parts.value(0) != "POST" || target.path() != QStringLiteral("/v2/api/execute.php"))
        return Answer { 404, "error=\"no such path\"\n", {} };

    const QHash<QString, QByteArray> parameters = decodeForm(body);
    if (method == QStringLiteral("login"))
        return login(parameters);
    if (method == QStringLiteral("upload_feedback2")) {
        QByteArray cookies;
        for (const QByteArray &value : headerValues(header, "Cookie"))
            cookies += value + "; ";
        return upload(parameters, cookies, version);
    }
    return Answer { 200, quoted("result", "0") + quoted("error", "unknown method"), {} };
}

DevService::Answer DevService::login(const QHash<QString, QByteArray> &parameters)
{
    const QString loginName = QString::fromUtf8(parameters.value(QStringLiteral("login")));
    const QString password = QString::fromUtf8(parameters.value(QStringLiteral("passwd")));
    const QString company = QString::fromUtf8(parameters.value(QStringLiteral("company")));
    for (const Account &account : std::as_const(m_options.accounts)) {
        if (account.login != loginName || account.password != password)
            continue;
        QString domain = account.domain;
        for (const auto &entry : account.companies) {
            if (!company.isEmpty() && entry.second == company)
                domain = entry.second;
        }
        QByteArray body = quoted("login", "1") + quoted("deleted", "0") + quoted("new_user", "0")
            + quoted("domain", domain.toUtf8());
        const auto companies = account.companies.isEmpty()
            ? QList<QPair<QString, QString>> { { account.domain, account.domain } }
            : account.companies;
        for (qsizetype i = 0; i < companies.size(); ++i) {
            body += quoted(
                "company_name[" + QByteArray::number(i) + "]", companies[i].first.toUtf8());
            body += quoted(
                "company_domain[" + QByteArray::number(i) + "]", companies[i].second.toUtf8());
        }
        const QByteArray id = QByteArray::number(QRandomGenerator::system()->generate64(), 16)
            + QByteArray::number(QRandomGenerator::system()->generate64(), 16);
        m_sessions.insert(id, Session { account.login, 0 });
        std::fprintf(stderr, "signed in %s\n", account.login.toUtf8().constData());
        return Answer { 200, body, sessionCookieName + "=" + id + "; path=/" };
    }
    std::fprintf(stderr, "refused sign-in of %s\n", loginName.toUtf8().constData());
    return Answer { 200, quoted("login", "0") + quoted("deleted", "0"), {} };
}

DevService::Answer DevService::upload(const QHash<QString, QByteArray> &parameters,
    const QByteArray &cookieHeader, const QString &version)
{
    QByteArray sessionId;
    for (QByteArray cookie : cookieHeader.split(';')) {
        cookie = cookie.trimmed();
        if (cookie.startsWith(sessionCookieName + "="))
            sessionId = cookie.mid(sessionCookieName.size() + 1);
    }
    auto session = m_sessions.find(sessionId);
    if (session == m_sessions.end())
        return Answer { 200, quoted("auth", "0") + quoted("result", "0"), {} };
    if (m_options.expireAfter >= 0 && session->uploads >= m_options.expireAfter) {
        std::fprintf(stderr, "session of %s expired\n", session->login.toUtf8().constData());
        m_sessions.erase(session);
        return Answer { 200, quoted("auth", "0") + quoted("result", "0"), {} };
    }
    ++session->uploads;
    if (m_options.refuseUploads)
        return Answer { 200, quoted("result", "-1"), {} };
    const QString folder = storeReport(session->login, version, parameters);
    if (folder.isEmpty())
        return Answer { 200, quoted("result", "0") + quoted("error", "cannot store"), {} };
    std::printf("stored report %s\n", qPrintable(folder));
    std::fflush(stdout);
    emit reportStored(folder);
    return Answer { 200, quoted("result", "1"), {} };
}

QString DevService::storeReport(
    const QString &login, const QString &version, const QHash<QString, QByteArray> &parameters)
{
    QDir store(m_options.storeFolder);
    QString name;
    do {
        name = QStringLiteral("report-%1-%2")
                   .arg(QDateTime::currentDateTimeUtc().toString(QStringLiteral("yyyyMMdd-hhmmss")))
                   .arg(++m_reportCount, 4, 10, QLatin1Char('0'));
    } while (store.exists(name));
    if (!store.mkpath(name))
        return {};
    const QDir dir(store.filePath(name));

    QJsonObject sizes;
    QJsonArray undecodable;
    auto writeFile = [&dir](const QString &fileName, const QByteArray &bytes) {
        QFile file(dir.filePath(fileName));
        return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
    };
    bool written
        = writeFile(QStringLiteral("message.txt"), parameters.value(QStringLiteral("message")));
    sizes.insert(QStringLiteral("message"), parameters.value(QStringLiteral("message")).size());
    for (const QString &key : { QStringLiteral("memorydump"), QStringLiteral("screenshot"),
             QStringLiteral("localcache") }) {
        if (!parameters.contains(key))
            continue;
        const auto decoded = QByteArray::fromBase64Encoding(
            parameters.value(key), QByteArray::AbortOnBase64DecodingErrors);
        if (!decoded) {
            undecodable.append(key);
            continue;
        }
        written = writeFile(key + QStringLiteral(".bin"), decoded.decoded) && written;
        sizes.insert(key, decoded.decoded.size());
    }
    QStringList keys = parameters.keys();
    keys.sort();
    QJsonObject summary;
    summary.insert(QStringLiteral("login"), login);
    summary.insert(QStringLiteral("version"), version);
    summary.insert(QStringLiteral("crash"), parameters.value(QStringLiteral("crash")) == "1");
    summary.insert(QStringLiteral("parameters"), QJsonArray::fromStringList(keys));
    summary.insert(QStringLiteral("sizes"), sizes);
    summary.insert(QStringLiteral("undecodable"), undecodable);
    summary.insert(
        QStringLiteral("received"), QDateTime::currentDateTimeUtc().toString(Qt::ISODateWithMs));
    written = writeFile(QStringLiteral("report.json"), QJsonDocument(summary).toJson()) && written;
    return written ? QDir::cleanPath(dir.absolutePath()) : QString();
}
