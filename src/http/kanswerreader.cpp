#include "http/kanswerreader.h"

#include "http/kaborttoken.h"
#include "http/khttpanswerparser.h"
#include "http/khttpconnection.h"

#include <QAbstractSocket>
#include <QMetaObject>

#include <algorithm>

struct KAnswerReader::AbortWake
{
    AbortWake(KAbortToken &token, KAnswerReader *reader)
        : wake(token, reader, [reader] {
            reader->finish({ KTransportFailure::Aborted, QString(), -1 });
        })
    { }
    KAbortToken::Wake wake;
};

KAnswerReader::KAnswerReader(
    KHttpConnection &connection, KAbortToken &abort, const Settings &settings)
    : m_connection(connection)
    , m_abort(abort)
    , m_settings(settings)
{
    m_silence.setSingleShot(true);
    connect(&m_silence, &QTimer::timeout, this, &KAnswerReader::onSilence);
}

KAnswerReader::~KAnswerReader() = default;

bool KAnswerReader::tooLarge(qint64 headerBytes, qint64 bodyBytes) const
{
    return headerBytes > m_settings.maxHeaderBytes || bodyBytes > m_settings.maxBodyBytes;
}

void KAnswerReader::readHeader()
{
    m_bytes.clear();
    m_end = -1;
    begin(Stage::Header);
}

void KAnswerReader::readBody(qint64 bodyBytes)
{
    m_bodyBytes = bodyBytes;
    begin(Stage::Body);
}

void KAnswerReader::begin(Stage stage)
{
    m_stage = stage;
    m_failure = KTransportFailure();
    m_wake = std::make_unique<AbortWake>(m_abort, this);
    connect(&m_connection, &KHttpConnection::readable, this, &KAnswerReader::onReadable,
        Qt::UniqueConnection);
    connect(&m_connection, &KHttpConnection::ended, this, &KAnswerReader::onEnded,
        Qt::UniqueConnection);
    m_sinceData.start();
    m_silence.start(std::max(0, m_settings.silenceMs));
    // What is already there (or a peer that has already ended) is taken from the loop, so that
    // finished() never comes before this call has returned.
    QMetaObject::invokeMethod(
        this,
        [this, stage] {
            if (m_stage != stage)
                return;
            if (m_abort.isAborted())
                finish({ KTransportFailure::Aborted, QString(), -1 });
            else if (stage == Stage::Body && tooLarge(0, m_bodyBytes))
                finish({ KTransportFailure::AnswerTooLarge,
                    QStringLiteral("body of more than %1 bytes").arg(m_settings.maxBodyBytes),
                    -1 });
            else if (m_connection.peerClosed())
                onEnded();
            else
                onReadable();
        },
        Qt::QueuedConnection);
}

bool KAnswerReader::take()
{
    QAbstractSocket *socket = m_connection.socket();
    if (!socket || socket->bytesAvailable() <= 0)
        return true;
    const QByteArray piece = socket->readAll();
    if (piece.isEmpty())
        return true;
    m_sinceData.restart();
    m_silence.start(std::max(0, m_settings.silenceMs));
    if (m_stage == Stage::Header) {
        m_bytes.append(piece);
        m_end = KHttpAnswerParser::headerEnd(m_bytes);
        if (tooLarge(m_end < 0 ? m_bytes.size() : m_end, 0)) {
            finish({ KTransportFailure::AnswerTooLarge,
                QStringLiteral("header of more than %1 bytes").arg(m_settings.maxHeaderBytes),
                -1 });
            return false;
        }
        if (m_end >= 0) {
            finish(KTransportFailure());
            return false;
        }
        return true;
    }
    m_bodyBytes += piece.size();
    if (tooLarge(0, m_bodyBytes)) {
        finish({ KTransportFailure::AnswerTooLarge,
            QStringLiteral("body of more than %1 bytes").arg(m_settings.maxBodyBytes), -1 });
        return false;
    }
    emit bodyChunk(piece);
    return m_stage == Stage::Body;
}

void KAnswerReader::onReadable()
{
    if (m_stage == Stage::Header || m_stage == Stage::Body)
        take();
}

void KAnswerReader::onEnded()
{
    if (m_stage != Stage::Header && m_stage != Stage::Body)
        return;
    // The last bytes may still wait on the socket.
    if (!take())
        return;
    if (m_stage == Stage::Header) {
        const QAbstractSocket *socket = m_connection.socket();
        finish({ KTransportFailure::ClosedBeforeHeader, socket ? socket->errorString() : QString(),
            socket ? int(socket->error()) : -1 });
        return;
    }
    finish(KTransportFailure());
}

void KAnswerReader::onSilence()
{
    if (m_stage != Stage::Header && m_stage != Stage::Body)
        return;
    const QAbstractSocket *socket = m_connection.socket();
    KTransportFailure failure;
    failure.kind = KTransportFailure::Silence;
    failure.socketError = socket ? int(socket->error()) : -1;
    failure.detail = QStringLiteral("timeout = %1, elapsed = %2, state = %3, error = %4")
                         .arg(m_settings.silenceMs)
                         .arg(m_sinceData.elapsed())
                         .arg(socket ? int(socket->state()) : 0)
                         .arg(socket ? socket->errorString() : QString());
    finish(failure);
}

void KAnswerReader::finish(KTransportFailure failure)
{
    if (m_stage != Stage::Header && m_stage != Stage::Body)
        return;
    m_stage = Stage::Done;
    m_silence.stop();
    m_wake.reset();
    disconnect(&m_connection, nullptr, this, nullptr);
    if (m_abort.isAborted())
        failure = { KTransportFailure::Aborted, QString(), -1 };
    m_failure = failure;
    emit finished();
}
