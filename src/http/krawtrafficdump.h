#pragma once

#include <QByteArray>
#include <QString>

class KRequestBody;

// The raw traffic dump: every request and answer of a run as it went over the wire, in
// "raw_network_data_alt.txt" in the cache folder. Switched on by the free word "+dumps" on the
// command line (start-up tells which words are free: setRequested()); without that, by the word
// among the application's arguments. Decided once per process, at the first request that
// connects. The
// file is emptied then, made readable and writable by its owner only (it holds the password and
// the session cookie), and stays open until the process ends; blocks of all requests follow each
// other in the order in which they were written. Lines end with a single LF. Byte data (headers,
// bodies) is written byte for byte up to its first NUL byte; texts are written as ISO 8859-1.
// Every block begins with an empty line. All functions may be called from any thread.
class KRawTrafficDump
{
public:
    // Whether dumping is on; the first call decides and opens (empties) the file. A file that
    // cannot be opened turns dumping off for the run, silently.
    static bool enabled();
    // Start-up's reading of the command line: whether "+dumps" stands there as a free word (not
    // as an option's value). Call it before the first request.
    static void setRequested(bool on);
    // Test seam: forget the decision and close the file; the next enabled() decides `on`.
    static void resetForTesting(bool on);

    // Position in the file before the blocks of one exchange, and dropping everything written
    // after it: an aborted exchange leaves no block behind.
    static qint64 mark();
    static void rollBack(qint64 mark);

    // "W--------------->", the request header (CRs removed) directly followed by the body,
    // "W--------------->". The body is read from its first byte in pieces, only as far as the
    // dump needs it, and rewound afterwards. False when the body could not be read or rewound
    // (its errorString() tells why); the block is closed all the same. True when dumping is off,
    // without touching the body.
    static bool writeRequest(const QByteArray &headerWithoutCr, KRequestBody &body);
    // The peer closed before the answer's header was complete.
    static void writeNoData(const QString &url, const QString &socketError);
    // The answer's header was not accepted; the header block as received, CRs kept.
    static void writeInvalidHeader(
        const QString &url, const QString &socketError, const QByteArray &header);
    // The whole answer: header block with CRs removed, an empty line, the body.
    static void writeAnswer(const QString &url, const QByteArray &header, const QByteArray &body);
};
