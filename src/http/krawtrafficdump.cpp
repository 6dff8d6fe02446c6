#include "http/krawtrafficdump.h"

#include "base/processvalues.h"
#include "http/krequestbody.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QMutex>
#include <QMutexLocker>

#include <cstring>

namespace {

const char RequestRule[] = "W--------------->";
const char AnswerRule[] = "R--------------->";

struct DumpState
{
    QMutex mutex;
    bool decided = false;
    bool on = false;
    bool forced = false;
    bool forcedValue = false;
    QFile file;
};

DumpState &state()
{
    static DumpState s;
    return s;
}

// Bytes up to the first NUL, as a C string would be written.
QByteArrayView untilNul(const QByteArray &bytes)
{
    const qsizetype end = bytes.indexOf('\0');
    return QByteArrayView(bytes).first(end < 0 ? bytes.size() : end);
}

void writeLine(QFile &file, QByteArrayView bytes)
{
    file.write(bytes.data(), bytes.size());
    file.write("\n", 1);
}

QByteArray withoutCr(const QByteArray &bytes)
{
    QByteArray result = bytes;
    result.replace('\r', QByteArray());
    return result;
}

bool decideLocked(DumpState &s)
{
    if (s.decided)
        return s.on;
    s.decided = true;
    if (s.forced) {
        s.on = s.forcedValue;
    } else {
        const QStringList arguments = QCoreApplication::arguments();
        s.on = arguments.contains(QStringLiteral("+dumps"), Qt::CaseSensitive);
    }
    if (s.on) {
        s.file.setFileName(QFileInfo(cacheFolder() + QStringLiteral("raw_network_data_alt.txt"))
                               .absoluteFilePath());
        // The dump holds the password and the session cookie: its owner alone may read it. A new
        // file is created so; one left from an earlier run loses any wider permissions before
        // anything is written to it.
        const QFileDevice::Permissions ownerOnly = QFileDevice::ReadOwner | QFileDevice::WriteOwner;
        if (!s.file.open(QIODevice::WriteOnly | QIODevice::Truncate, ownerOnly)
            || !s.file.setPermissions(ownerOnly)) {
            s.file.close();
            s.on = false;
        }
    }
    return s.on;
}

} // namespace

bool KRawTrafficDump::enabled()
{
    DumpState &s = state();
    QMutexLocker locker(&s.mutex);
    return decideLocked(s);
}

void KRawTrafficDump::setRequested(bool on)
{
    DumpState &s = state();
    QMutexLocker locker(&s.mutex);
    s.forced = true;
    s.forcedValue = on;
}

void KRawTrafficDump::resetForTesting(bool on)
{
    DumpState &s = state();
    QMutexLocker locker(&s.mutex);
    if (s.file.isOpen())
        s.file.close();
    s.decided = false;
    s.on = false;
    s.forced = true;
    s.forcedValue = on;
}

qint64 KRawTrafficDump::mark()
{
    DumpState &s = state();
    QMutexLocker locker(&s.mutex);
    return s.on ? s.file.pos() : -1;
}

void KRawTrafficDump::rollBack(qint64 mark)
{
    DumpState &s = state();
    QMutexLocker locker(&s.mutex);
    if (!s.on || mark < 0 || s.file.pos() <= mark)
        return;
    s.file.resize(mark);
    s.file.seek(mark);
}

bool KRawTrafficDump::writeRequest(const QByteArray &headerWithoutCr, KRequestBody &body)
{
    DumpState &s = state();
    QMutexLocker locker(&s.mutex);
    if (!s.on)
        return true;
    writeLine(s.file, "");
    writeLine(s.file, RequestRule);
    // Header and body form one item: the item ends at the first NUL of either part.
    const QByteArrayView head = untilNul(headerWithoutCr);
    s.file.write(head.data(), head.size());
    bool ok = body.rewind();
    if (ok && head.size() == headerWithoutCr.size()) {
        char piece[16384];
        for (;;) {
            const qint64 n = body.read(piece, sizeof piece);
            if (n < 0)
                ok = false;
            if (n <= 0)
                break;
            const void *nul = std::memchr(piece, '\0', size_t(n));
            const qint64 keep = nul ? static_cast<const char *>(nul) - piece : n;
            s.file.write(piece, keep);
            if (nul)
                break;
        }
    }
    s.file.write("\n", 1);
    writeLine(s.file, RequestRule);
    s.file.flush();
    return body.rewind() && ok;
}

namespace {
// The opening of a failed answer's block: its title, the URL and the socket's error.
void writeFailureHead(
    QFile &file, const char *title, const QString &url, const QString &socketError)
{
    writeLine(file, "");
    writeLine(file, AnswerRule);
    writeLine(file, title);
    writeLine(file, untilNul("R - Url:" + url.toUtf8()));
    writeLine(file, "R - Socket error:" + socketError.toLatin1());
    writeLine(file, AnswerRule);
}
} // namespace

void KRawTrafficDump::writeNoData(const QString &url, const QString &socketError)
{
    DumpState &s = state();
    QMutexLocker locker(&s.mutex);
    if (!s.on)
        return;
    writeFailureHead(s.file, "R - no data in response", url, socketError);
    s.file.flush();
}

void KRawTrafficDump::writeInvalidHeader(
    const QString &url, const QString &socketError, const QByteArray &header)
{
    DumpState &s = state();
    QMutexLocker locker(&s.mutex);
    if (!s.on)
        return;
    writeFailureHead(s.file, "R - invalid response header", url, socketError);
    writeLine(s.file, untilNul(header));
    writeLine(s.file, AnswerRule);
    s.file.flush();
}

void KRawTrafficDump::writeAnswer(
    const QString &url, const QByteArray &header, const QByteArray &body)
{
    DumpState &s = state();
    QMutexLocker locker(&s.mutex);
    if (!s.on)
        return;
    writeLine(s.file, "");
    writeLine(s.file, AnswerRule);
    writeLine(s.file, untilNul("R - Url:" + url.toUtf8()));
    writeLine(s.file, AnswerRule);
    writeLine(s.file, untilNul(withoutCr(header)));
    writeLine(s.file, "");
    writeLine(s.file, untilNul(body));
    writeLine(s.file, AnswerRule);
    s.file.flush();
}
