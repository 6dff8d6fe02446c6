#pragma once

#include "http/ktransportfailure.h"

#include <QByteArray>
#include <QElapsedTimer>

#include <functional>

class KAbortToken;
class KHttpConnection;

// Reads an answer from a connection until the server ends it (closes the connection, or over TLS
// sends close_notify), in two steps: the header up to its blank line, then the body. The
// time-out is one of silence, not of total time: it starts again with every piece that arrives,
// so a slow answer that keeps coming never times out. An answer whose header or body grows past
// its limit is refused as soon as it does, and reading stops there.
//
// Runs in the connection's thread; blocking waits in slices that look at the abort token.
class KAnswerReader
{
public:
    struct Settings
    {
        int silenceMs = 60000; // longest silence while the answer is awaited
        int readWaitMs = 10000; // longest single wait for incoming data
        qint64 maxHeaderBytes = 64 * 1024;
        qint64 maxBodyBytes = 16 * 1024 * 1024;
    };
    using Chunk = std::function<void(const QByteArray &chunk)>;

    KAnswerReader(KHttpConnection &connection, KAbortToken &abort, const Settings &settings);

    // Reads until bytes holds a complete header: end receives where it ends (see
    // KHttpAnswerParser::headerEnd), bytes the header and the start of the body. Failures:
    // Silence, ClosedBeforeHeader (detail: the socket's error text), AnswerTooLarge, Aborted.
    KTransportFailure readHeader(QByteArray &bytes, qsizetype &end);
    // Reads the rest of the body until the server ends the answer, handing each piece to chunk;
    // bodyBytes is what arrived with the header (already too many fails at once). Failures:
    // Silence, AnswerTooLarge, Aborted.
    KTransportFailure readBody(qint64 bodyBytes, const Chunk &chunk);

    // Whether bytes of header or body are past their limits.
    bool tooLarge(qint64 headerBytes, qint64 bodyBytes) const;

private:
    // The next piece; empty when the peer ended the answer. False on silence (failure set) or
    // abort.
    bool readChunk(QByteArray &out, int timeoutMs, KTransportFailure &failure);
    bool waitReadable(int ms);
    int silenceLeft() const;

    KHttpConnection &m_connection;
    KAbortToken &m_abort;
    Settings m_settings;
    QElapsedTimer m_silence;
};
