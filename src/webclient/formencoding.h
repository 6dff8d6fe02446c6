#pragma once

#include "webclient/kvaluemap.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QList>
#include <QString>

// The body of an API request: key=value pairs joined by "&", in the map's iteration order. Keys go
// out unchanged (Latin-1); every value byte outside A-Z a-z 0-9 - . _ ~ becomes %XX with upper-case
// hex digits, so a space is %20 and "+", "/" and "=" are %2B, %2F and %3D. An empty map gives an
// empty body.
QByteArray encodeForm(const KValueMap &parameters);

// One field of a form built by encodeFormFields: value's bytes themselves, or with base64 their
// Base64 text (standard alphabet, with padding, as QByteArray::toBase64() gives it).
struct FormField
{
    QString key;
    QByteArrayView value;
    bool base64 = false;
};

// The same bytes as encodeForm() of a map into which the fields are inserted in the list's order
// (Base64 fields as their Base64 text), without making that map or any Base64 text: each value is
// encoded straight into the body, which is allocated once at its exact size. The only large
// allocation is the body itself. The viewed values must stay valid during the call.
QByteArray encodeFormFields(const QList<FormField> &fields);

// The pieces of encodeFormFields, for bodies that are encoded part by part.
namespace FormEncoding {

// The order in which the fields with these keys go into the body, as indexes into keys: that of
// encodeForm for a map into which the keys are inserted in the list's order. A key given twice
// appears once, at the index of its last occurrence.
QList<qsizetype> fieldOrder(const QList<QString> &keys);

// Encoded size of the value, and writing it to out (which must have room); each returns the end.
qsizetype percentEncodedSize(QByteArrayView value);
char *putPercentEncoded(char *out, QByteArrayView value);

// The same for the value's Base64 text, percent-encoded. A long value may be encoded in parts
// whose sizes are multiples of 3 (only the last one may be padded): the parts' encodings joined
// are the whole value's.
qsizetype percentEncodedBase64Size(QByteArrayView value);
char *putPercentEncodedBase64(char *out, QByteArrayView value);

} // namespace FormEncoding
