#include "http/kpacedwriter.h"

#include "http/kaborttoken.h"
#include "http/khttpconnection.h"
#include "http/krequestbody.h"

#include <QAbstractSocket>
#include <QDeadlineTimer>
#include <QElapsedTimer>

#include <algorithm>
#include <cstring>
#include <vector>

KPacedWriter::KPacedWriter(
    KHttpConnection &connection, KAbortToken &abort, const Settings &settings)
    : m_connection(connection)
    , m_abort(abort)
    , m_settings(settings)
{ }

KTransportFailure KPacedWriter::write(
    const QByteArray &head, KRequestBody &body, const Progress &progress)
{
    const qint64 total = head.size() + body.size();
    const qint64 chunkSize = std::max<qint64>(1, m_settings.chunkSize);
    std::vector<char> chunk(size_t(std::min(chunkSize, std::max<qint64>(1, total))));
    const auto failure = [this](KTransportFailure::Kind kind, const QString &detail = QString()) {
        KTransportFailure result;
        result.kind = m_abort.isAborted() ? KTransportFailure::Aborted : kind;
        result.detail = result.kind == kind ? detail : QString();
        return result;
    };

    QElapsedTimer clock;
    clock.start();
    qint64 offset = 0;
    while (offset < total) {
        const qint64 periodStartMs = clock.elapsed();
        const QDeadlineTimer periodEnd(qint64(m_settings.periodMs), Qt::PreciseTimer);
        if (answerWaiting())
            return failure(KTransportFailure::AnsweredEarly);

        // The chunk may span the end of the header and the start of the body.
        const qint64 size = std::min(chunkSize, total - offset);
        const qint64 fromHead = std::clamp<qint64>(head.size() - offset, 0, size);
        if (fromHead > 0)
            std::memcpy(chunk.data(), head.constData() + offset, size_t(fromHead));
        QString bodyFailure;
        if (fromHead < size
            && !readBody(body, chunk.data() + fromHead, size - fromHead, offset + size == total,
                bodyFailure))
            return failure(KTransportFailure::BodySourceFailed, bodyFailure);
        offset += size;

        const int remainingMs = int(
            std::max<qint64>(0, m_settings.chunkTimeoutMs - (clock.elapsed() - periodStartMs)));
        if (!writeChunk(chunk.data(), size, remainingMs)) {
            if (answerWaiting())
                return failure(KTransportFailure::AnsweredEarly);
            return failure(KTransportFailure::WriteFailed, m_connection.socket()->errorString());
        }
        if (progress)
            progress(offset, total);

        if (!m_abort.sleepUntil(periodEnd))
            return failure(KTransportFailure::Aborted);
    }
    return KTransportFailure();
}

bool KPacedWriter::readBody(KRequestBody &body, char *out, qint64 size, bool last, QString &failure)
{
    for (qint64 filled = 0; filled < size && failure.isEmpty();) {
        const qint64 n = body.read(out + filled, size - filled);
        if (n < 0)
            failure = body.errorString();
        else if (n == 0)
            failure = QStringLiteral("the body ended before its %1 bytes").arg(body.size());
        filled += std::max<qint64>(0, n);
    }
    // The last chunk goes out only when the body really ends with it.
    char beyond;
    if (failure.isEmpty() && last) {
        const qint64 n = body.read(&beyond, 1);
        if (n < 0)
            failure = body.errorString();
        else if (n > 0)
            failure = QStringLiteral("the body is longer than its %1 bytes").arg(body.size());
    }
    return failure.isEmpty();
}

bool KPacedWriter::writeChunk(const char *chunk, qint64 size, int remainingMs)
{
    QAbstractSocket *socket = m_connection.socket();
    if (socket->write(chunk, size) < size)
        return false;
    if (remainingMs < 1)
        return false;
    const int writeWaitMs = std::max(1, m_settings.writeWaitMs);
    while (remainingMs > 0) {
        if (waitWritten(std::min(writeWaitMs, remainingMs)))
            break;
        if (m_abort.isAborted() || socket->state() != QAbstractSocket::ConnectedState)
            return false;
        remainingMs -= writeWaitMs;
    }
    return remainingMs > 0;
}

bool KPacedWriter::waitWritten(int ms)
{
    QAbstractSocket *socket = m_connection.socket();
    QElapsedTimer timer;
    timer.start();
    for (;;) {
        if (socket->bytesToWrite() == 0)
            return true;
        if (m_abort.isAborted() || socket->state() != QAbstractSocket::ConnectedState)
            return false;
        const qint64 left = ms - timer.elapsed();
        if (left <= 0)
            return false;
        if (socket->waitForBytesWritten(int(std::min<qint64>(left, KAbortToken::sliceMs)))
            && socket->bytesToWrite() == 0)
            return true;
    }
}

bool KPacedWriter::answerWaiting()
{
    QAbstractSocket *socket = m_connection.socket();
    if (socket->bytesAvailable() > 0)
        return true;
    // A wait of 0 ms closes a socket that runs through an HTTP proxy's tunnel (Qt's proxy
    // socket engine), so the shortest wait is 1 ms.
    if (socket->state() == QAbstractSocket::ConnectedState)
        socket->waitForReadyRead(1);
    return socket->bytesAvailable() > 0;
}
