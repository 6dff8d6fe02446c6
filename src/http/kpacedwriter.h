#pragma once

#include "http/ktransportfailure.h"

#include <QByteArray>
#include <QElapsedTimer>
#include <QObject>
#include <QTimer>

#include <memory>
#include <vector>

class KAbortToken;
class KHttpConnection;
class KRequestBody;

// Writes a request (header bytes, then a body read from its source as the chunks go out) to an
// open connection at a paced rate: chunks of at most chunkSize bytes, each starting a period of
// periodMs; the next chunk starts when that period is over, counted from its actual start, and
// not before the chunk has left the process (KHttpConnection::drained(): written by the socket
// that carries it, through a proxy's tunnel too). So chunks never come closer than the period,
// and progress tells what really went out. The last chunk's period is waited out as well.
//
// Each chunk has chunkTimeoutMs, counted from the start of its period, to leave the process.
//
// While it writes it watches for an answer: a server may answer before the request is complete
// (a body larger than it takes) and then stop reading. As soon as bytes of an answer wait on the
// socket, writing stops with AnsweredEarly and the answer is left unread on the socket.
//
// Runs on the connection's thread's event loop, driven by a timer and the socket's signals;
// nothing waits. finished() follows start() exactly once, from the loop.
class KPacedWriter : public QObject
{
    Q_OBJECT

public:
    struct Settings
    {
        qint64 chunkSize = 819;
        int periodMs = 100;
        // Time allowed to get each chunk out, counted from the start of its period.
        int chunkTimeoutMs = 60000;
    };

    KPacedWriter(KHttpConnection &connection, KAbortToken &abort, const Settings &settings);
    ~KPacedWriter() override;

    // Writes head and then exactly body.size() bytes of body, read from where the source stands.
    // The body must outlive the writing.
    void start(const QByteArray &head, KRequestBody &body);

    // None when all went out; BodySourceFailed (detail: why) when the source fails, ends early or
    // has bytes beyond its size, before the chunk that would carry the fault goes out;
    // WriteFailed, AnsweredEarly or Aborted otherwise.
    KTransportFailure failure() const { return m_failure; }

signals:
    // After each chunk left the process: bytes of header and body written so far, and their
    // total.
    void progress(qint64 sent, qint64 total);
    void finished();

private:
    enum class Stage { Idle, Writing, Pausing, Done };

    void startChunk();
    void checkChunk();
    void onChunkTimeout();
    void onReadable();
    void onEnded();
    // Fills out with exactly size bytes of the body; with last, the body must end there.
    bool readBody(char *out, qint64 size, bool last, QString &failure);
    bool answerWaiting() const;
    bool requestComplete() const;
    void finish(KTransportFailure::Kind kind, const QString &detail = QString());

    KHttpConnection &m_connection;
    KAbortToken &m_abort;
    Settings m_settings;
    QByteArray m_head;
    KRequestBody *m_body = nullptr;
    qint64 m_total = 0;
    qint64 m_offset = 0;
    std::vector<char> m_chunk;
    Stage m_stage = Stage::Idle;
    KTransportFailure m_failure;
    QElapsedTimer m_clock;
    qint64 m_periodStartMs = 0;
    QTimer m_pause; // until the period's end
    QTimer m_chunkTimeout;
    struct AbortWake;
    std::unique_ptr<AbortWake> m_wake;
};
