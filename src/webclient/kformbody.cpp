#include "webclient/kformbody.h"

#include "webclient/formencoding.h"

#include <algorithm>
#include <cstring>

namespace {

// Bytes of a value encoded at a time while the body is read: a multiple of 3, so that only the
// value's last block can carry Base64 padding. Encoded it takes at most three times as much.
constexpr qint64 SendBlock = 3 * 1024;
// Bytes of a file read at a time while it is measured; also a multiple of 3.
constexpr qint64 MeasureBlock = 3 * 64 * 1024;

constexpr QCryptographicHash::Algorithm DigestAlgorithm = QCryptographicHash::Sha256;

// Reads until max bytes are in or the file ends; -1 on a read error.
qint64 readFully(QFile &file, char *out, qint64 max)
{
    qint64 filled = 0;
    while (filled < max) {
        const qint64 n = file.read(out + filled, max - filled);
        if (n < 0)
            return -1;
        if (n == 0)
            break;
        filled += n;
    }
    return filled;
}

} // namespace

KFormBody::KFormBody()
    : m_hash(DigestAlgorithm)
{ }

KFormBody::~KFormBody() = default;

void KFormBody::addValue(const QString &key, const QByteArray &value, bool base64)
{
    if (m_measured)
        return;
    Field field;
    field.key = key;
    field.value = value;
    field.base64 = base64;
    m_fields.append(field);
}

void KFormBody::addFile(const QString &key, const QString &path)
{
    if (m_measured)
        return;
    Field field;
    field.key = key;
    field.path = path;
    field.base64 = true;
    m_fields.append(field);
}

qint64 KFormBody::encodedSize(const Field &field, QByteArrayView raw)
{
    return field.base64 ? FormEncoding::percentEncodedBase64Size(raw)
                        : FormEncoding::percentEncodedSize(raw);
}

char *KFormBody::encode(char *out, const Field &field, QByteArrayView raw)
{
    return field.base64 ? FormEncoding::putPercentEncodedBase64(out, raw)
                        : FormEncoding::putPercentEncoded(out, raw);
}

bool KFormBody::measure()
{
    if (m_measured)
        return !m_failed;
    QList<QString> keys;
    for (const Field &field : std::as_const(m_fields))
        keys.append(field.key);
    m_order = FormEncoding::fieldOrder(keys);

    qint64 size = 0;
    QByteArray block;
    for (qsizetype n = 0; n < m_order.size(); ++n) {
        Field &field = m_fields[m_order.at(n)];
        size += (n > 0 ? 1 : 0) + field.key.toLatin1().size() + 1;
        if (field.path.isEmpty()) {
            field.encodedSize = encodedSize(field, field.value);
            size += field.encodedSize;
            continue;
        }
        QFile file(field.path);
        if (!file.open(QIODevice::ReadOnly | QIODevice::Unbuffered))
            return fail(
                QStringLiteral("cannot open the file %1: %2").arg(field.path, file.errorString()));
        QCryptographicHash hash(DigestAlgorithm);
        block.resize(MeasureBlock);
        for (;;) {
            const qint64 n = readFully(file, block.data(), MeasureBlock);
            if (n < 0)
                return fail(QStringLiteral("cannot read the file %1: %2")
                                .arg(field.path, file.errorString()));
            const QByteArrayView raw(block.constData(), n);
            hash.addData(raw);
            field.fileSize += n;
            field.encodedSize += encodedSize(field, raw);
            if (n < MeasureBlock)
                break;
        }
        field.digest = hash.result();
        size += field.encodedSize;
    }
    m_size = size;
    m_measured = true;
    return rewind();
}

QByteArray KFormBody::fileDigest(const QString &key) const
{
    for (const Field &field : m_fields) {
        if (field.key == key && !field.path.isEmpty())
            return m_measured ? field.digest : QByteArray();
    }
    return QByteArray();
}

qint64 KFormBody::size() const
{
    return m_measured ? m_size : 0;
}

bool KFormBody::fail(const QString &text)
{
    m_failed = true;
    m_file.close();
    m_piece.clear();
    m_pieceAt = 0;
    setErrorString(text);
    return false;
}

bool KFormBody::rewind()
{
    if (!m_measured)
        return fail(QStringLiteral("the form body was not measured"));
    m_failed = false;
    m_file.close();
    m_next = 0;
    m_inValue = false;
    m_piece.clear();
    m_pieceAt = 0;
    m_handedOut = 0;
    return true;
}

qint64 KFormBody::read(char *out, qint64 max)
{
    if (!m_measured)
        fail(QStringLiteral("the form body was not measured"));
    if (m_failed)
        return -1;
    qint64 given = 0;
    while (given < max) {
        if (m_pieceAt == m_piece.size()) {
            if (!nextPiece())
                return -1;
            if (m_piece.isEmpty())
                break; // the end of the body
        }
        const qint64 n = std::min(max - given, qint64(m_piece.size() - m_pieceAt));
        if (m_finalCheck && m_handedOut + given + n == m_size) {
            // These bytes end the body: they go out only when the check lets them.
            const QString refusal = m_finalCheck();
            if (!refusal.isEmpty()) {
                fail(refusal);
                return -1;
            }
        }
        std::memcpy(out + given, m_piece.constData() + m_pieceAt, size_t(n));
        m_pieceAt += n;
        given += n;
    }
    m_handedOut += given;
    return given;
}

bool KFormBody::nextPiece()
{
    m_piece.resize(0);
    m_pieceAt = 0;
    while (m_piece.isEmpty()) {
        if (m_next >= m_order.size())
            return true;
        const Field &field = m_fields.at(m_order.at(m_next));
        if (!m_inValue) {
            if (m_next > 0)
                m_piece += '&';
            m_piece += field.key.toLatin1();
            m_piece += '=';
            m_inValue = true;
            m_valueDone = false;
            m_rawPosition = 0;
            m_encodedPosition = 0;
            if (!field.path.isEmpty()) {
                m_hash.reset();
                m_file.setFileName(field.path);
                if (!m_file.open(QIODevice::ReadOnly | QIODevice::Unbuffered))
                    return fail(QStringLiteral("cannot open the file %1: %2")
                                    .arg(field.path, m_file.errorString()));
            }
            return true;
        }
        if (m_valueDone) {
            m_file.close();
            m_inValue = false;
            ++m_next;
            continue;
        }
        if (!nextValueBlock(field))
            return false;
    }
    return true;
}

bool KFormBody::nextValueBlock(const Field &field)
{
    if (field.path.isEmpty()) {
        const qint64 n = std::min(SendBlock, qint64(field.value.size()) - m_rawPosition);
        const QByteArrayView raw = QByteArrayView(field.value).sliced(m_rawPosition, n);
        m_rawPosition += n;
        m_valueDone = m_rawPosition == field.value.size();
        m_piece.resize(encodedSize(field, raw));
        encode(m_piece.data(), field, raw);
        return true;
    }

    const qint64 want = std::min(SendBlock, field.fileSize - m_rawPosition);
    m_raw.resize(want);
    const qint64 got = want > 0 ? readFully(m_file, m_raw.data(), want) : 0;
    if (got < 0)
        return fail(
            QStringLiteral("cannot read the file %1: %2").arg(field.path, m_file.errorString()));
    if (got < want)
        return fail(QStringLiteral("the file %1 became shorter than the %2 bytes it had")
                        .arg(field.path)
                        .arg(field.fileSize));
    m_hash.addData(m_raw);
    m_rawPosition += got;
    const qint64 encoded = encodedSize(field, m_raw);
    const QString changed = QStringLiteral("the file %1 changed after it was measured");
    if (m_rawPosition == field.fileSize) {
        // The field's last bytes go out only when the whole file is still the one measured.
        char beyond;
        const qint64 more = m_file.read(&beyond, 1);
        if (more < 0)
            return fail(QStringLiteral("cannot read the file %1: %2")
                            .arg(field.path, m_file.errorString()));
        if (more > 0)
            return fail(QStringLiteral("the file %1 became longer than the %2 bytes it had")
                            .arg(field.path)
                            .arg(field.fileSize));
        if (m_hash.result() != field.digest || m_encodedPosition + encoded != field.encodedSize)
            return fail(changed.arg(field.path));
        m_valueDone = true;
    } else if (m_encodedPosition + encoded >= field.encodedSize) {
        // Other bytes that encode longer: they would run past the field's measured size.
        return fail(changed.arg(field.path));
    }
    m_piece.resize(encoded);
    encode(m_piece.data(), field, m_raw);
    m_encodedPosition += encoded;
    return true;
}
