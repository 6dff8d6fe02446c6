#include "support/testproxyserver.h"

#include "support/testsquid.h"
#include "support/testtinyproxy.h"

TestProxyServer::TestProxyServer(
    const QString &program, const QByteArray &user, const QByteArray &password, quint16 connectPort)
    : TestExternalServer(program)
    , m_user(user)
    , m_password(password)
    , m_connectPort(connectPort)
{ }

bool TestProxyServer::installed(Kind kind)
{
    return kind == Kind::Tinyproxy ? !TestTinyproxy::binary().isEmpty() : TestSquid::installed();
}

QString TestProxyServer::name(Kind kind)
{
    return kind == Kind::Tinyproxy ? QStringLiteral("tinyproxy") : QStringLiteral("squid");
}

std::unique_ptr<TestProxyServer> TestProxyServer::make(
    Kind kind, const QByteArray &user, const QByteArray &password, quint16 connectPort)
{
    if (kind == Kind::Tinyproxy)
        return std::make_unique<TestTinyproxy>(user, password, connectPort);
    return std::make_unique<TestSquid>(user, password, connectPort);
}

QByteArray TestProxyServer::url() const
{
    return "http://127.0.0.1:" + QByteArray::number(port());
}
