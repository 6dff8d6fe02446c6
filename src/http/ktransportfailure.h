#pragma once

#include <QString>

// What went wrong in one HTTP exchange, as the transport saw it: a kind that a caller can act on
// or name to the user, and a detail text for people (the socket's or the body source's own words,
// or what the server sent). kind None means the exchange did not fail at the transport level;
// an answer with a status other than 200 is still a complete answer, so the transport reports
// None for it (the web client records it as HttpStatus, see KWebClient::lastFailure()).
struct KTransportFailure
{
    enum Kind {
        None,
        ConnectFailed, // refused, unreachable, host not found
        ConnectTimeout, // no TCP connection within the time-out
        TlsHandshakeFailed, // the TLS handshake broke off or took too long
        CertificateUntrusted, // the server's certificate did not pass verification
        ProxyAuthentication, // the proxy wanted credentials it did not get
        ProxyFailed, // the proxy could not be reached, or would not open the connection
        BodySourceFailed, // the request body could not be read, or gave other than its size
        WriteFailed, // a chunk of the request could not be written in time
        AnsweredEarly, // the server answered before the request was completely written
        Silence, // no data within the time-out while the answer was awaited
        ClosedBeforeHeader, // the server closed before the answer's header was complete
        InvalidHeader, // the answer's header has no status line
        BrokenStream, // the body does not match the Content-Length, or that cannot be read
        AnswerTooLarge, // header or body past its limit
        Aborted, // abort() ended the exchange
        HttpStatus, // set by the web client only: a complete answer with a status other than 200
    };

    Kind kind = None;
    QString detail;
    // The QAbstractSocket::SocketError behind the failure, -1 when it did not come from a socket.
    int socketError = -1;
    // ProxyAuthentication only: the proxy refused the stored proxy login (rather than asking for
    // one when none is stored).
    bool proxyLoginRefused = false;

    bool failed() const { return kind != None; }
    // A stable English name of the kind, for log lines and test messages ("silence", ...).
    static QString kindName(Kind kind);
};
