#include "http/kpacedwriter.h"

#include "http/kaborttoken.h"
#include "http/khttpconnection.h"
#include "http/krequestbody.h"

#include <QAbstractSocket>
#include <QMetaObject>

#include <algorithm>
#include <cstring>

struct KPacedWriter::AbortWake
{
    AbortWake(KAbortToken &token, KPacedWriter *writer)
        : wake(token, writer, [writer] { writer->finish(KTransportFailure::Aborted); })
    { }
    KAbortToken::Wake wake;
};

KPacedWriter::KPacedWriter(
    KHttpConnection &connection, KAbortToken &abort, const Settings &settings)
    : m_connection(connection)
    , m_abort(abort)
    , m_settings(settings)
{
    m_pause.setSingleShot(true);
    m_pause.setTimerType(Qt::PreciseTimer);
    m_chunkTimeout.setSingleShot(true);
    connect(&m_pause, &QTimer::timeout, this, [this] {
        if (m_offset < m_total)
            startChunk();
        else
            finish(KTransportFailure::None);
    });
    connect(&m_chunkTimeout, &QTimer::timeout, this, &KPacedWriter::onChunkTimeout);
}

KPacedWriter::~KPacedWriter() = default;

void KPacedWriter::start(const QByteArray &head, KRequestBody &body)
{
    m_head = head;
    m_body = &body;
    m_total = head.size() + body.size();
    m_offset = 0;
    const qint64 chunkSize = std::max<qint64>(1, m_settings.chunkSize);
    m_chunk.assign(size_t(std::min(chunkSize, std::max<qint64>(1, m_total))), 0);
    m_stage = Stage::Writing;
    m_wake = std::make_unique<AbortWake>(m_abort, this);
    connect(&m_connection, &KHttpConnection::wrote, this, &KPacedWriter::checkChunk);
    connect(&m_connection, &KHttpConnection::readable, this, &KPacedWriter::onReadable);
    connect(&m_connection, &KHttpConnection::ended, this, &KPacedWriter::onEnded);
    m_clock.start();
    // From the loop, so that finished() never comes before start() has returned.
    QMetaObject::invokeMethod(
        this,
        [this] {
            if (m_stage != Stage::Writing)
                return;
            if (m_total == 0)
                finish(KTransportFailure::None);
            else
                startChunk();
        },
        Qt::QueuedConnection);
}

bool KPacedWriter::answerWaiting() const
{
    const QAbstractSocket *socket = m_connection.socket();
    return socket && socket->bytesAvailable() > 0;
}

void KPacedWriter::startChunk()
{
    if (m_abort.isAborted()) {
        finish(KTransportFailure::Aborted);
        return;
    }
    if (answerWaiting()) {
        finish(KTransportFailure::AnsweredEarly);
        return;
    }
    m_stage = Stage::Writing;
    m_periodStartMs = m_clock.elapsed();

    // The chunk may span the end of the header and the start of the body.
    const qint64 size = std::min(qint64(m_chunk.size()), m_total - m_offset);
    const qint64 fromHead = std::clamp<qint64>(m_head.size() - m_offset, 0, size);
    if (fromHead > 0)
        std::memcpy(m_chunk.data(), m_head.constData() + m_offset, size_t(fromHead));
    QString bodyFailure;
    if (fromHead < size
        && !readBody(
            m_chunk.data() + fromHead, size - fromHead, m_offset + size == m_total, bodyFailure)) {
        finish(KTransportFailure::BodySourceFailed, bodyFailure);
        return;
    }
    m_offset += size;

    QAbstractSocket *socket = m_connection.socket();
    const int remainingMs = int(
        std::max<qint64>(0, m_settings.chunkTimeoutMs - (m_clock.elapsed() - m_periodStartMs)));
    // Started before the write: a socket may hand the bytes on within write() already.
    m_chunkTimeout.start(std::max(1, remainingMs));
    if (remainingMs < 1 || socket->write(m_chunk.data(), size) < size) {
        finish(answerWaiting() ? KTransportFailure::AnsweredEarly : KTransportFailure::WriteFailed,
            socket->errorString());
        return;
    }
    // Written bytes go out from the loop; wrote() tells when they have.
}

void KPacedWriter::checkChunk()
{
    if (m_stage != Stage::Writing || !m_connection.drained())
        return;
    m_chunkTimeout.stop();
    m_stage = Stage::Pausing;
    emit progress(m_offset, m_total);
    if (m_stage != Stage::Pausing) // a listener aborted
        return;
    const qint64 leftMs = m_settings.periodMs - (m_clock.elapsed() - m_periodStartMs);
    m_pause.start(int(std::max<qint64>(0, leftMs)));
}

void KPacedWriter::onChunkTimeout()
{
    if (m_stage != Stage::Writing)
        return;
    finish(answerWaiting() ? KTransportFailure::AnsweredEarly : KTransportFailure::WriteFailed,
        QStringLiteral("A chunk of the request did not go out within %1 ms")
            .arg(m_settings.chunkTimeoutMs));
}

bool KPacedWriter::requestComplete() const
{
    // The last chunk has left: an answer now is no early one, it waits for the reader.
    return m_stage == Stage::Pausing && m_offset == m_total;
}

void KPacedWriter::onReadable()
{
    if ((m_stage == Stage::Writing || m_stage == Stage::Pausing) && !requestComplete()
        && answerWaiting())
        finish(KTransportFailure::AnsweredEarly);
}

void KPacedWriter::onEnded()
{
    if ((m_stage != Stage::Writing && m_stage != Stage::Pausing) || requestComplete())
        return;
    finish(answerWaiting() ? KTransportFailure::AnsweredEarly : KTransportFailure::WriteFailed,
        m_connection.socket()->errorString());
}

bool KPacedWriter::readBody(char *out, qint64 size, bool last, QString &failure)
{
    for (qint64 filled = 0; filled < size && failure.isEmpty();) {
        const qint64 n = m_body->read(out + filled, size - filled);
        if (n < 0)
            failure = m_body->errorString();
        else if (n == 0)
            failure = QStringLiteral("the body ended before its %1 bytes").arg(m_body->size());
        filled += std::max<qint64>(0, n);
    }
    // The last chunk goes out only when the body really ends with it.
    char beyond;
    if (failure.isEmpty() && last) {
        const qint64 n = m_body->read(&beyond, 1);
        if (n < 0)
            failure = m_body->errorString();
        else if (n > 0)
            failure = QStringLiteral("the body is longer than its %1 bytes").arg(m_body->size());
    }
    return failure.isEmpty();
}

void KPacedWriter::finish(KTransportFailure::Kind kind, const QString &detail)
{
    if (m_stage == Stage::Done || m_stage == Stage::Idle)
        return;
    m_stage = Stage::Done;
    m_pause.stop();
    m_chunkTimeout.stop();
    m_wake.reset();
    disconnect(&m_connection, nullptr, this, nullptr);
    if (m_abort.isAborted())
        m_failure = { KTransportFailure::Aborted, QString(), -1 };
    else
        m_failure = { kind, kind == KTransportFailure::None ? QString() : detail, -1 };
    emit finished();
}
