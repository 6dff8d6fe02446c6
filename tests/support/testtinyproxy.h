#pragma once

#include "support/testproxyserver.h"

// tinyproxy from the system, run by the test as the current user, in the foreground, with its
// configuration, pid file and log in a folder of its own.
class TestTinyproxy : public TestProxyServer
{
public:
    // Path of the tinyproxy binary; empty when it is not installed.
    static QString binary() { return findBinary(QStringLiteral("tinyproxy")); }

    TestTinyproxy(const QByteArray &user, const QByteArray &password, quint16 connectPort);

    bool start() override;
    QString log() const override;
    int connections() const override;
    int tunnelRequests() const override;
    int tunnels() const override;
};
