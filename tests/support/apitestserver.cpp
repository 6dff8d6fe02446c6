#include "support/apitestserver.h"

ApiTestServer::ApiTestServer()
    : m_server(handler(), TestIdentity::Server, TestHttpServer::Connections::Concurrent)
{ }

ApiTestServer::~ApiTestServer()
{
    // Held answers go out (or are dropped) before the server stops.
    releaseAnswers();
}
