#pragma once

#include "http/ktransportfailure.h"

#include <QByteArray>
#include <QElapsedTimer>
#include <QObject>
#include <QTimer>

#include <memory>

class KAbortToken;
class KHttpConnection;

// Reads an answer from an open connection until the server ends it (closes the connection, or
// over TLS sends close_notify), in two steps: the header up to its blank line, then the body. The
// time-out is one of silence, not of total time: a timer that starts again with every piece that
// arrives, so a slow answer that keeps coming never times out. An answer whose header or body
// grows past its limit is refused as soon as it does, and reading stops there.
//
// Runs on the connection's thread's event loop, on the socket's signals; nothing waits. Each step
// ends with finished(), exactly once and from the loop; the header step with failure() None when
// the header is complete.
class KAnswerReader : public QObject
{
    Q_OBJECT

public:
    struct Settings
    {
        int silenceMs = 60000; // longest silence while the answer is awaited
        qint64 maxHeaderBytes = 64 * 1024;
        qint64 maxBodyBytes = 16 * 1024 * 1024;
    };

    KAnswerReader(KHttpConnection &connection, KAbortToken &abort, const Settings &settings);
    ~KAnswerReader() override;

    // Reads until bytes() holds a complete header: headerEnd() tells where it ends (see
    // KHttpAnswerParser::headerEnd), bytes() the header and the start of the body. Failures:
    // Silence, ClosedBeforeHeader (detail: the socket's error text), AnswerTooLarge, Aborted.
    void readHeader();
    // Reads the rest of the body until the server ends the answer, handing each piece to
    // bodyChunk(); bodyBytes is what arrived with the header (already too many fails at once).
    // Failures: Silence, AnswerTooLarge, Aborted.
    void readBody(qint64 bodyBytes);

    KTransportFailure failure() const { return m_failure; }
    const QByteArray &bytes() const { return m_bytes; }
    qsizetype headerEnd() const { return m_end; }

    // Whether bytes of header or body are past their limits.
    bool tooLarge(qint64 headerBytes, qint64 bodyBytes) const;

signals:
    void bodyChunk(const QByteArray &chunk);
    void finished();

private:
    enum class Stage { Idle, Header, Body, Done };

    void begin(Stage stage);
    void onReadable();
    void onEnded();
    void onSilence();
    // Takes what waits on the socket; false when reading has ended.
    bool take();
    void finish(KTransportFailure failure);

    KHttpConnection &m_connection;
    KAbortToken &m_abort;
    Settings m_settings;
    Stage m_stage = Stage::Idle;
    QByteArray m_bytes; // the header step's bytes
    qsizetype m_end = -1;
    qint64 m_bodyBytes = 0;
    KTransportFailure m_failure;
    QTimer m_silence;
    QElapsedTimer m_sinceData;
    struct AbortWake;
    std::unique_ptr<AbortWake> m_wake;
};
