#include "http/kproxychoice.h"

#include "logging/logging.h"

#include <QHostAddress>
#include <QNetworkProxyFactory>
#include <QRegularExpression>
#include <QUrl>

namespace {

QString variable(const char *lower, const char *upper = nullptr)
{
    const QString value = qEnvironmentVariable(lower).trimmed();
    if (!value.isEmpty() || !upper)
        return value;
    return qEnvironmentVariable(upper).trimmed();
}

// A proxy value as a socket's proxy; nothing when it cannot be used (logged).
std::optional<QNetworkProxy> parseProxy(const QString &value)
{
    const QString text
        = value.contains(QStringLiteral("://")) ? value : QStringLiteral("http://") + value;
    const QUrl url(text, QUrl::StrictMode);
    const QString scheme = url.scheme().toLower();
    QNetworkProxy proxy;
    if (scheme == QLatin1String("http")) {
        proxy.setType(QNetworkProxy::HttpProxy);
    } else if (scheme == QLatin1String("socks5") || scheme == QLatin1String("socks5h")) {
        proxy.setType(QNetworkProxy::Socks5Proxy);
        QNetworkProxy::Capabilities capabilities = proxy.capabilities();
        capabilities.setFlag(
            QNetworkProxy::HostNameLookupCapability, scheme == QLatin1String("socks5h"));
        proxy.setCapabilities(capabilities);
    } else {
        LOG_WARN(QStringLiteral("The proxy of the environment is of a kind that cannot be used "
                                "(%1); connecting directly")
                     .arg(scheme));
        return std::nullopt;
    }
    if (!url.isValid() || url.host().isEmpty()) {
        LOG_WARN(QStringLiteral("The proxy of the environment names no host; connecting "
                                "directly"));
        return std::nullopt;
    }
    proxy.setHostName(url.host());
    proxy.setPort(quint16(url.port(1080)));
    proxy.setUser(url.userName(QUrl::FullyDecoded));
    proxy.setPassword(url.password(QUrl::FullyDecoded));
    return proxy;
}

// The host part and the port (-1: any) of one no_proxy entry.
void splitEntry(const QString &entry, QString &host, int &port)
{
    port = -1;
    host = entry;
    if (entry.startsWith(QLatin1Char('['))) {
        const qsizetype close = entry.indexOf(QLatin1Char(']'));
        if (close < 0)
            return;
        host = entry.mid(1, close - 1);
        if (entry.mid(close + 1).startsWith(QLatin1Char(':')))
            port = entry.mid(close + 2).toInt();
        return;
    }
    // One colon separates a port; more are an IPv6 address without one.
    if (entry.count(QLatin1Char(':')) == 1) {
        const qsizetype colon = entry.indexOf(QLatin1Char(':'));
        bool ok = false;
        const int value = entry.mid(colon + 1).toInt(&ok);
        host = entry.left(colon);
        port = ok ? value : 0; // a port that is not a number matches none
    }
}

QString normalisedName(QString name)
{
    name = name.toLower();
    while (name.endsWith(QLatin1Char('.')))
        name.chop(1);
    return name;
}

} // namespace

KProxyChoice::Environment KProxyChoice::processEnvironment()
{
    Environment env;
    env.httpsProxy = variable("https_proxy", "HTTPS_PROXY");
    env.allProxy = variable("all_proxy", "ALL_PROXY");
    env.httpProxy = variable("http_proxy");
    env.noProxy = variable("no_proxy", "NO_PROXY");
    return env;
}

bool KProxyChoice::exempt(const QString &host, int port, const QString &noProxy)
{
    static const QRegularExpression separators(QStringLiteral("[,\\s]+"));
    const QString name = normalisedName(host);
    QHostAddress address;
    const bool isAddress = address.setAddress(name);
    const QStringList entries = noProxy.split(separators, Qt::SkipEmptyParts);
    for (const QString &entry : entries) {
        if (entry == QLatin1String("*"))
            return true;
        QString entryHost;
        int entryPort = -1;
        splitEntry(entry, entryHost, entryPort);
        if (entryPort >= 0 && entryPort != port)
            continue;
        if (entryHost.contains(QLatin1Char('/'))) {
            const QPair<QHostAddress, int> subnet = QHostAddress::parseSubnet(entryHost);
            if (isAddress && !subnet.first.isNull() && address.isInSubnet(subnet))
                return true;
            continue;
        }
        QHostAddress entryAddress;
        if (entryAddress.setAddress(entryHost)) {
            if (isAddress && entryAddress.isEqual(address))
                return true;
            continue;
        }
        QString suffix = normalisedName(entryHost);
        if (suffix.startsWith(QLatin1String("*.")))
            suffix.remove(0, 2);
        while (suffix.startsWith(QLatin1Char('.')))
            suffix.remove(0, 1);
        if (suffix.isEmpty() || isAddress)
            continue;
        if (name == suffix || name.endsWith(QLatin1Char('.') + suffix))
            return true;
    }
    return false;
}

std::optional<QNetworkProxy> KProxyChoice::fromEnvironment(const QUrl &url, const Environment &env)
{
    if (!env.anySet())
        return std::nullopt;
    const bool https = url.scheme().compare(QStringLiteral("https"), Qt::CaseInsensitive) == 0;
    const int port = url.port(https ? 443 : 80);
    if (exempt(url.host(), port, env.noProxy))
        return QNetworkProxy(QNetworkProxy::NoProxy);
    // https: https_proxy, all_proxy, http_proxy; http: http_proxy, all_proxy.
    QString value = https ? env.httpsProxy : env.httpProxy;
    if (value.isEmpty())
        value = env.allProxy;
    if (value.isEmpty() && https)
        value = env.httpProxy;
    if (value.isEmpty())
        return QNetworkProxy(QNetworkProxy::NoProxy);
    return parseProxy(value).value_or(QNetworkProxy(QNetworkProxy::NoProxy));
}

QNetworkProxy KProxyChoice::forUrl(const QUrl &url)
{
    const bool https = url.scheme().compare(QStringLiteral("https"), Qt::CaseInsensitive) == 0;
    const QNetworkProxyQuery socketQuery(url.host(), url.port(https ? 443 : 80),
        url.scheme().toLower(), QNetworkProxyQuery::TcpSocket);
    // Qt's global setting uses the system's proxies until the application sets a proxy or a
    // factory of its own; a socket's DefaultProxy then resolves to the application's choice.
    if (!QNetworkProxyFactory::usesSystemConfiguration()) {
        const QList<QNetworkProxy> application = QNetworkProxyFactory::proxyForQuery(socketQuery);
        if (!application.isEmpty() && application.constFirst().type() != QNetworkProxy::NoProxy
            && application.constFirst().type() != QNetworkProxy::DefaultProxy)
            return QNetworkProxy(QNetworkProxy::DefaultProxy);
    }

    if (const std::optional<QNetworkProxy> chosen = fromEnvironment(url, processEnvironment()))
        return *chosen;

    // The system's settings may list several, ending with a direct connection; the first that
    // a socket can use is taken.
    const QList<QNetworkProxy> system
        = QNetworkProxyFactory::systemProxyForQuery(QNetworkProxyQuery(url));
    for (const QNetworkProxy &proxy : system) {
        switch (proxy.type()) {
        case QNetworkProxy::NoProxy:
        case QNetworkProxy::DefaultProxy:
            return QNetworkProxy(QNetworkProxy::NoProxy);
        case QNetworkProxy::HttpProxy:
        case QNetworkProxy::Socks5Proxy:
            return proxy;
        case QNetworkProxy::HttpCachingProxy:
        case QNetworkProxy::FtpCachingProxy:
            break; // for whole requests of Qt's own, not for a socket
        }
    }
    return QNetworkProxy(QNetworkProxy::NoProxy);
}

QString KProxyChoice::describe(const QNetworkProxy &proxy)
{
    return QStringLiteral("%1:%2").arg(proxy.hostName()).arg(proxy.port());
}
