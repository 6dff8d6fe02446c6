#pragma once

#include "support/testexternalserver.h"

// tinyproxy from the system, run by the test as the current user on 127.0.0.1 (a free port), in
// the foreground, with its configuration, pid file and log in a folder of its own. It asks for
// Basic credentials when a user is given, and opens CONNECT tunnels to the one allowed port.
class TestTinyproxy : public TestExternalServer
{
public:
    // Path of the tinyproxy binary; empty when it is not installed.
    static QString binary() { return findBinary(QStringLiteral("tinyproxy")); }

    TestTinyproxy(const QByteArray &user, const QByteArray &password, quint16 connectPort);

    // Starts tinyproxy and waits until it accepts connections; false (errorText() tells why) when
    // it cannot.
    bool start();
    // "http://127.0.0.1:PORT", the value for https_proxy and its kin.
    QByteArray url() const;

    // What tinyproxy logged so far.
    QString log() const;
    // Connections accepted from clients so far; the CONNECT requests among them to 127.0.0.1
    // on the allowed port, answered or not; the tunnels opened.
    int connections() const;
    int tunnelRequests() const;
    int tunnels() const;

private:
    QByteArray m_user;
    QByteArray m_password;
    quint16 m_connectPort;
};
