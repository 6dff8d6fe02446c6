#include "webclient/formencoding.h"

#include <algorithm>

namespace {

constexpr char hexDigits[] = "0123456789ABCDEF";
constexpr char base64Alphabet[]
    = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

bool isUnreserved(unsigned char c)
{
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-'
        || c == '.' || c == '_' || c == '~';
}

} // namespace

namespace FormEncoding {

qsizetype percentEncodedSize(QByteArrayView value)
{
    qsizetype size = 0;
    for (char c : value)
        size += isUnreserved(static_cast<unsigned char>(c)) ? 1 : 3;
    return size;
}

namespace {

char *putPercentEncoded(char *out, char c)
{
    const auto byte = static_cast<unsigned char>(c);
    if (isUnreserved(byte)) {
        *out++ = c;
    } else {
        *out++ = '%';
        *out++ = hexDigits[byte >> 4];
        *out++ = hexDigits[byte & 0xF];
    }
    return out;
}

} // namespace

char *putPercentEncoded(char *out, QByteArrayView value)
{
    for (char c : value)
        out = putPercentEncoded(out, c);
    return out;
}

// Of the Base64 alphabet only "+" (62) and "/" (63) are outside the unreserved set, and so is the
// padding "=": each takes three bytes encoded.
qsizetype percentEncodedBase64Size(QByteArrayView value)
{
    const auto *data = reinterpret_cast<const unsigned char *>(value.data());
    const qsizetype whole = value.size() / 3;
    qsizetype escaped = 0;
    for (qsizetype i = 0; i < whole; ++i, data += 3) {
        const unsigned triple = (unsigned(data[0]) << 16) | (unsigned(data[1]) << 8) | data[2];
        escaped += ((triple >> 18) >= 62) + (((triple >> 12) & 63) >= 62)
            + (((triple >> 6) & 63) >= 62) + ((triple & 63) >= 62);
    }
    const qsizetype rest = value.size() - whole * 3;
    if (rest > 0) {
        const unsigned triple
            = (unsigned(data[0]) << 16) | (rest == 2 ? unsigned(data[1]) << 8 : 0);
        escaped += ((triple >> 18) >= 62) + (((triple >> 12) & 63) >= 62);
        if (rest == 2)
            escaped += ((triple >> 6) & 63) >= 62;
        escaped += 3 - rest; // the padding
    }
    return (whole + (rest > 0 ? 1 : 0)) * 4 + escaped * 2;
}

namespace {

// One Base64 character of the sextet, percent-encoded.
inline char *putBase64Sextet(char *out, unsigned sextet)
{
    if (sextet < 62) {
        *out++ = base64Alphabet[sextet];
    } else {
        *out++ = '%';
        *out++ = '2';
        *out++ = sextet == 62 ? 'B' : 'F';
    }
    return out;
}

char *putPadding(char *out)
{
    *out++ = '%';
    *out++ = '3';
    *out++ = 'D';
    return out;
}

} // namespace

char *putPercentEncodedBase64(char *out, QByteArrayView value)
{
    const auto *data = reinterpret_cast<const unsigned char *>(value.data());
    const qsizetype whole = value.size() / 3;
    for (qsizetype i = 0; i < whole; ++i, data += 3) {
        const unsigned triple = (unsigned(data[0]) << 16) | (unsigned(data[1]) << 8) | data[2];
        out = putBase64Sextet(out, triple >> 18);
        out = putBase64Sextet(out, (triple >> 12) & 63);
        out = putBase64Sextet(out, (triple >> 6) & 63);
        out = putBase64Sextet(out, triple & 63);
    }
    const qsizetype rest = value.size() - whole * 3;
    if (rest > 0) {
        const unsigned triple
            = (unsigned(data[0]) << 16) | (rest == 2 ? unsigned(data[1]) << 8 : 0);
        out = putBase64Sextet(out, triple >> 18);
        out = putBase64Sextet(out, (triple >> 12) & 63);
        out = rest == 2 ? putBase64Sextet(out, (triple >> 6) & 63) : putPadding(out);
        out = putPadding(out);
    }
    return out;
}

QList<qsizetype> fieldOrder(const QList<QString> &keys)
{
    // The order of encodeForm: that of a map holding the same keys inserted the same way. A key
    // given twice keeps its first place and its last value, as a map insertion does.
    KValueMap order;
    for (qsizetype i = 0; i < keys.size(); ++i)
        order.insert(keys.at(i), i);
    QList<qsizetype> sequence;
    for (auto it = order.cbegin(); it != order.cend(); ++it)
        sequence.append(it.value().toLongLong());
    return sequence;
}

} // namespace FormEncoding

using namespace FormEncoding;

QByteArray encodeForm(const KValueMap &parameters)
{
    QByteArray body;
    bool first = true;
    for (auto it = parameters.cbegin(); it != parameters.cend(); ++it) {
        if (!first)
            body += '&';
        first = false;
        body += it.key().toLatin1();
        body += '=';
        // toPercentEncoding leaves exactly the unreserved set alone and writes upper-case hex.
        body += it.value().toByteArray().toPercentEncoding();
    }
    return body;
}

QByteArray encodeFormFields(const QList<FormField> &fields)
{
    QList<QString> names;
    for (const FormField &field : fields)
        names.append(field.key);
    const QList<qsizetype> sequence = fieldOrder(names);

    QList<QByteArray> keys;
    qsizetype size = 0;
    for (const qsizetype index : sequence) {
        const FormField &field = fields.at(index);
        keys.append(field.key.toLatin1());
        size += (keys.size() > 1 ? 1 : 0) + keys.last().size() + 1
            + (field.base64 ? percentEncodedBase64Size(field.value)
                            : percentEncodedSize(field.value));
    }

    QByteArray body;
    body.resize(size);
    char *out = body.data();
    for (qsizetype n = 0; n < sequence.size(); ++n) {
        const FormField &field = fields.at(sequence.at(n));
        if (n > 0)
            *out++ = '&';
        out = std::copy(keys.at(n).cbegin(), keys.at(n).cend(), out);
        *out++ = '=';
        out = field.base64 ? putPercentEncodedBase64(out, field.value)
                           : putPercentEncoded(out, field.value);
    }
    Q_ASSERT(out == body.constData() + body.size());
    return body;
}
