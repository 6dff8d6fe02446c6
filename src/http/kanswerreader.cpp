#include "http/kanswerreader.h"

#include "http/kaborttoken.h"
#include "http/khttpanswerparser.h"
#include "http/khttpconnection.h"

#include <QAbstractSocket>

#include <algorithm>

KAnswerReader::KAnswerReader(
    KHttpConnection &connection, KAbortToken &abort, const Settings &settings)
    : m_connection(connection)
    , m_abort(abort)
    , m_settings(settings)
{
    m_silence.start();
}

bool KAnswerReader::tooLarge(qint64 headerBytes, qint64 bodyBytes) const
{
    return headerBytes > m_settings.maxHeaderBytes || bodyBytes > m_settings.maxBodyBytes;
}

int KAnswerReader::silenceLeft() const
{
    return int(std::max<qint64>(0, m_settings.silenceMs - m_silence.elapsed()));
}

KTransportFailure KAnswerReader::readHeader(QByteArray &bytes, qsizetype &end)
{
    KTransportFailure failure;
    m_silence.restart();
    end = -1;
    while (end < 0) {
        QByteArray chunk;
        if (!readChunk(chunk, silenceLeft(), failure))
            return failure;
        if (chunk.isEmpty()) {
            failure.kind = KTransportFailure::ClosedBeforeHeader;
            failure.detail = m_connection.socket()->errorString();
            return failure;
        }
        m_silence.restart();
        bytes.append(chunk);
        end = KHttpAnswerParser::headerEnd(bytes);
        if (tooLarge(end < 0 ? bytes.size() : end, 0)) {
            failure.kind = KTransportFailure::AnswerTooLarge;
            failure.detail
                = QStringLiteral("header of more than %1 bytes").arg(m_settings.maxHeaderBytes);
            return failure;
        }
    }
    return failure;
}

KTransportFailure KAnswerReader::readBody(qint64 bodyBytes, const Chunk &chunk)
{
    KTransportFailure failure;
    const auto tooLargeFailure = [this, &failure] {
        failure.kind = KTransportFailure::AnswerTooLarge;
        failure.detail = QStringLiteral("body of more than %1 bytes").arg(m_settings.maxBodyBytes);
        return failure;
    };
    if (tooLarge(0, bodyBytes))
        return tooLargeFailure();
    for (;;) {
        QByteArray piece;
        if (!readChunk(piece, silenceLeft(), failure))
            return failure;
        if (piece.isEmpty())
            return failure;
        bodyBytes += piece.size();
        if (tooLarge(0, bodyBytes))
            return tooLargeFailure();
        m_silence.restart();
        chunk(piece);
    }
}

bool KAnswerReader::readChunk(QByteArray &out, int timeoutMs, KTransportFailure &failure)
{
    QAbstractSocket *socket = m_connection.socket();
    const int readWaitMs = std::max(1, m_settings.readWaitMs);
    QElapsedTimer timer;
    timer.start();
    while (timer.elapsed() < timeoutMs) {
        if (socket->bytesAvailable() > 0)
            break;
        // A TLS record that carries no application data wakes the wait without any bytes.
        if (waitReadable(readWaitMs) && socket->bytesAvailable() > 0)
            break;
        if (m_abort.isAborted()) {
            failure.kind = KTransportFailure::Aborted;
            return false;
        }
        if (m_connection.peerClosed() && socket->bytesAvailable() == 0)
            return true;
    }
    const qint64 elapsed = timer.elapsed();
    // Data that came only after the time-out ran out counts as none, and so does a wait that
    // ended with nothing at all.
    if (elapsed > timeoutMs || socket->bytesAvailable() == 0) {
        failure.kind = KTransportFailure::Silence;
        failure.socketError = int(socket->error());
        failure.detail = QStringLiteral("timeout = %1, elapsed = %2, state = %3, error = %4")
                             .arg(timeoutMs)
                             .arg(elapsed)
                             .arg(int(socket->state()))
                             .arg(socket->errorString());
        return false;
    }
    out = socket->readAll();
    return true;
}

bool KAnswerReader::waitReadable(int ms)
{
    QAbstractSocket *socket = m_connection.socket();
    QElapsedTimer timer;
    timer.start();
    for (;;) {
        if (m_abort.isAborted())
            return false;
        const qint64 left = ms - timer.elapsed();
        if (left <= 0)
            return false;
        if (socket->waitForReadyRead(int(std::min<qint64>(left, KAbortToken::sliceMs))))
            return true;
        if (m_connection.peerClosed())
            return false;
    }
}
