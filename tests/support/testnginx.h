#pragma once

#include "support/testexternalserver.h"

// nginx from the system, plain HTTP and as a single process, its temporary files in its own
// folder too. Every location answers 200 "ok"; requests whose body is larger than the configured
// client_max_body_size get nginx's own 413 at once.
class TestNginx : public TestExternalServer
{
public:
    // Path of the nginx binary; empty when it is not installed.
    static QString binary() { return findBinary(QStringLiteral("nginx")); }

    explicit TestNginx(const QByteArray &maxBodySize = "1k");

    // Starts nginx and waits until it accepts connections; false (errorText() tells why) when it
    // cannot.
    bool start();

private:
    QByteArray m_maxBodySize;
};
