#pragma once

#include <QHostAddress>
#include <QTcpSocket>
#include <QtGlobal>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <memory>

// A loopback listener that never accepts and whose queue is full: a further connection attempt
// hangs until it times out.
class FullBacklogListener
{
public:
    FullBacklogListener()
    {
        m_fd = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in address {};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof(address);
        if (::bind(m_fd, reinterpret_cast<sockaddr *>(&address), length) != 0
            || ::listen(m_fd, 0) != 0
            || ::getsockname(m_fd, reinterpret_cast<sockaddr *>(&address), &length) != 0)
            qFatal("cannot set up the listener");
        m_port = ntohs(address.sin_port);
        for (auto &filler : m_fillers) {
            filler = std::make_unique<QTcpSocket>();
            filler->connectToHost(QHostAddress::LocalHost, m_port);
            filler->waitForConnected(200);
        }
    }
    ~FullBacklogListener() { ::close(m_fd); }
    quint16 port() const { return m_port; }

private:
    int m_fd;
    quint16 m_port;
    std::unique_ptr<QTcpSocket> m_fillers[3];
};
