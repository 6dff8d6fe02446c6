#pragma once

#include "support/scriptedapi.h"
#include "support/testhttpserver.h"

// The web service's API on a loopback HTTPS test server: the scripted API (see ScriptedApi)
// served by a TestHttpServer with the test server certificate (trusted through testCaPath()), each
// connection on a thread of its own, so that several clients can wait on held answers at once.
// It listens from construction on.
class ApiTestServer : public ScriptedApi
{
public:
    ApiTestServer();
    ~ApiTestServer();

    // True when it listens (it does from construction on).
    bool startListening() const { return m_server.port() != 0; }
    quint16 port() const { return m_server.port(); }
    // "127.0.0.1:PORT", the value for VELMORA_API_HOST.
    QString hostAndPort() const { return m_server.hostAndPort(); }
    TestHttpServer &server() { return m_server; }

private:
    TestHttpServer m_server; // after the script: its threads serve as soon as it exists
};
