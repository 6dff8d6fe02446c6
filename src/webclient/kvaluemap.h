#pragma once

#include <QHash>
#include <QString>
#include <QVariant>

#include <atomic>

class QIODevice;

// Request parameters and parsed answers of the web service. Request values hold bytes (UTF-8 or
// Base64 text). Parsed one-line values are QStrings holding the answer's bytes one byte per
// character (Latin-1), so toLatin1() gives back exactly what the server sent; block values are
// QByteArrays with their line ends.
using KValueMap = QHash<QString, QVariant>;

// Reads everything that remains on the device and parses it into a map; never fails.
//
// Answer format, one entry a line:
//   key="value"      key: word characters, digits, "-", "[" and "]", directly followed by ="
//                    (text before it is ignored);
//                    value: everything up to the last double quote of the line.
//   !!key            opens a block: the following lines, line ends included, up to a line that
//   ...              begins with "!!" or holds two bytes or fewer (an empty line, the end of the
//   !!               data). The terminator is consumed. Only the header's last byte is dropped.
// Other lines are skipped; a later entry replaces an earlier one with the same key; a one-line
// entry is matched only on the text before its first zero byte.
//
// Thread-safe: calls from several threads run one after another under one process-wide mutex.
//
// abort, when given, is looked at before every line: once it is true the parser stops and returns
// the entries read so far, so that a caller told to stop (from any thread) is not held up by a
// long answer.
KValueMap parseReply(QIODevice *device, const std::atomic<bool> *abort = nullptr);

// The number an answer value stands for (`result`, `auth`, `login`, `deleted`, `new_user`): the
// value's text read as a decimal integer that fits a signed 32-bit int. Anything else (text, an
// empty value, a number outside that range) is no number: 0, with ok false. Never wraps.
int answerNumber(const QVariant &value, bool *ok = nullptr);
