#pragma once

#include "support/testexternalserver.h"

#include <QByteArray>
#include <QMetaType>
#include <QString>

#include <memory>

// A real HTTP proxy from the system (tinyproxy or squid), run by a test on 127.0.0.1 (a free
// port) with its configuration and logs in a folder of its own. It asks for Basic credentials
// when a user is given, and opens CONNECT tunnels only to the one allowed port (the test
// service's). The proxy ends with the object.
class TestProxyServer : public TestExternalServer
{
public:
    enum class Kind { Tinyproxy, Squid };

    // The proxy's program is installed.
    static bool installed(Kind kind);
    // A proxy of that kind; start() it.
    static std::unique_ptr<TestProxyServer> make(
        Kind kind, const QByteArray &user, const QByteArray &password, quint16 connectPort);
    static QString name(Kind kind);

    // Starts the proxy and waits until it accepts connections; false (errorText() tells why) when
    // it cannot.
    virtual bool start() = 0;
    // "http://127.0.0.1:PORT", the value for https_proxy and its kin.
    QByteArray url() const;

    // What the proxy logged so far.
    virtual QString log() const = 0;
    // Connections accepted from clients so far (with squid: requests, as it logs those); the
    // CONNECT requests among them to 127.0.0.1 on the allowed port, answered or not; the tunnels
    // opened.
    virtual int connections() const = 0;
    virtual int tunnelRequests() const = 0;
    virtual int tunnels() const = 0;

protected:
    TestProxyServer(const QString &program, const QByteArray &user, const QByteArray &password,
        quint16 connectPort);

    QByteArray m_user;
    QByteArray m_password;
    quint16 m_connectPort;
};

Q_DECLARE_METATYPE(TestProxyServer::Kind)
