#pragma once

#include "support/testproxyserver.h"

// squid from the system, run by the test in the foreground (as the "proxy" user when the test
// runs as root, as squid will not run as root), with its configuration, logs and Basic password
// file (made by htpasswd) in a folder of its own. Nothing is cached.
class TestSquid : public TestProxyServer
{
public:
    // squid, its Basic credentials helper and htpasswd are installed.
    static bool installed();

    TestSquid(const QByteArray &user, const QByteArray &password, quint16 connectPort);

    bool start() override;
    // The access log, a line a finished request.
    QString log() const override;
    int connections() const override;
    int tunnelRequests() const override;
    int tunnels() const override;

private:
    static QString credentialsHelper();
};
