#pragma once

#include "http/ktransportfailure.h"

#include <QByteArray>

#include <functional>

class KAbortToken;
class KHttpConnection;
class KRequestBody;

// Writes a request (header bytes, then a body read from its source as the chunks go out) to a
// connection at a paced rate: chunks of at most chunkSize bytes, each starting a period of
// periodMs; the next chunk starts when that period is over, counted from its actual start, so
// chunks never come closer than the period and sleeping adds no drift. The last chunk's period is
// waited out as well.
//
// While it writes it watches for an answer: a server may answer before the request is complete
// (a body larger than it takes) and then stop reading. As soon as bytes are waiting to be read
// between two chunks, or a chunk cannot be written while bytes are waiting, writing stops with
// AnsweredEarly and the answer is left unread on the socket.
//
// Runs in the connection's thread; blocking waits in slices that look at the abort token.
class KPacedWriter
{
public:
    struct Settings
    {
        qint64 chunkSize = 819;
        int periodMs = 100;
        // Time allowed to get each chunk written, counted from the start of its period.
        int chunkTimeoutMs = 60000;
        // Length of one wait for outgoing bytes to be written.
        int writeWaitMs = 1000;
    };
    // After each written chunk: bytes of header and body written so far, and their total.
    using Progress = std::function<void(qint64 sent, qint64 total)>;

    KPacedWriter(KHttpConnection &connection, KAbortToken &abort, const Settings &settings);

    // Writes head and then exactly body.size() bytes of body, read from where the source stands.
    // None when all went out; BodySourceFailed (detail: why) when the source fails, ends early or
    // has bytes beyond its size, before the chunk that would carry the fault goes out;
    // WriteFailed, AnsweredEarly or Aborted otherwise.
    KTransportFailure write(const QByteArray &head, KRequestBody &body, const Progress &progress);

private:
    // Fills out with exactly size bytes of the body; with last, the body must end there.
    bool readBody(KRequestBody &body, char *out, qint64 size, bool last, QString &failure);
    bool writeChunk(const char *chunk, qint64 size, int remainingMs);
    bool waitWritten(int ms);
    // Bytes of an answer are waiting (the socket is polled without blocking).
    bool answerWaiting();

    KHttpConnection &m_connection;
    KAbortToken &m_abort;
    Settings m_settings;
};
