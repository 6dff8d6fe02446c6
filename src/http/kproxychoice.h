#pragma once

#include <QNetworkProxy>
#include <QString>

#include <optional>

class QUrl;

// Which proxy a connection to the web service goes through.
//
// The order, first match wins:
// 1. A proxy the application chose itself (QNetworkProxy::setApplicationProxy or an application
//    proxy factory): the socket keeps DefaultProxy, which follows it. An application proxy of
//    type NoProxy counts as none chosen.
// 2. The environment, when any of its proxy variables is set: for "https" URLs https_proxy (or
//    HTTPS_PROXY), then all_proxy (or ALL_PROXY), then http_proxy; for other URLs http_proxy,
//    then all_proxy. http_proxy is read in lower case only: a CGI environment may carry a
//    HTTP_PROXY that a client sent. no_proxy (or NO_PROXY) exempts
//    hosts: a comma or space separated list of "*" (every host), host names (the name itself
//    and every name under it: "example.com" exempts "api.example.com" but not
//    "badexample.com"; a leading "." or "*." is the same), IP addresses, subnets ("10.0.0.0/8")
//    and any of these with ":port", which exempts that port only. Loopback hosts are not exempt
//    unless no_proxy names them.
// 3. The system's own settings through Qt's system proxy factory: Windows' settings, macOS'
//    settings, and elsewhere the desktop's settings where Qt reads them (libproxy).
//
// A proxy value is a URL "http://[user:password@]host[:port]" (port 1080 when none is given; no
// scheme means http) or "socks5://..." / "socks5h://..." (the proxy resolves the host name). An
// HTTP proxy carries the connection, TLS included, through a CONNECT tunnel. A value of another
// kind ("https://...") or without a host cannot be used: it is logged and the connection is made
// directly.
class KProxyChoice
{
public:
    // The proxy variables of an environment; empty when unset.
    struct Environment
    {
        QString httpsProxy;
        QString allProxy;
        QString httpProxy;
        QString noProxy;

        bool anySet() const
        {
            return !httpsProxy.isEmpty() || !allProxy.isEmpty() || !httpProxy.isEmpty()
                || !noProxy.isEmpty();
        }
    };

    // The process environment's variables; the lower-case name first where both exist.
    static Environment processEnvironment();

    // The environment's choice for url: a proxy, or NoProxy when no_proxy exempts the host or no
    // variable applies to the URL's scheme; nothing when no variable is set at all.
    static std::optional<QNetworkProxy> fromEnvironment(const QUrl &url, const Environment &env);

    // Whether a no_proxy list exempts a connection to host (a name or an address) on port.
    static bool exempt(const QString &host, int port, const QString &noProxy);

    // The proxy for a connection to url, in the order above: DefaultProxy when the application
    // chose one, NoProxy for a direct connection, otherwise an HttpProxy or Socks5Proxy to set on
    // the socket.
    static QNetworkProxy forUrl(const QUrl &url);

    // "host:port" of a proxy, for log lines; never its credentials.
    static QString describe(const QNetworkProxy &proxy);
};
