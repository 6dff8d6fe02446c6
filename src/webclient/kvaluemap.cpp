#include "webclient/kvaluemap.h"

#include <QIODevice>
#include <QMutex>
#include <QMutexLocker>
#include <QRegularExpression>

namespace {

struct ReplyParser
{
    QMutex mutex;
    // Greedy value: everything after =" up to the last double quote of the line.
    const QRegularExpression entryRx { QStringLiteral(R"rx(([\w\]\[\-0-9]+)="(.*)")rx"),
        QRegularExpression::DotMatchesEverythingOption };
};

ReplyParser &parser()
{
    static ReplyParser instance;
    return instance;
}

bool isKeyChar(QChar c)
{
    const char16_t u = c.unicode();
    return (u >= 'a' && u <= 'z') || (u >= 'A' && u <= 'Z') || (u >= '0' && u <= '9') || u == '_'
        || u == '[' || u == ']' || u == '-';
}

// Where the leftmost match of the entry pattern must begin, or -1 when the line cannot match.
// The key run cannot hold '=', so a match starts at the beginning of the first run of key
// characters that is directly followed by =" with another double quote later in the line. Finding
// that start first keeps the search linear on long lines.
qsizetype entryStart(const QString &text)
{
    const qsizetype assign = [&text] {
        for (qsizetype from = 0;;) {
            const qsizetype at = text.indexOf(QLatin1String("=\""), from);
            if (at < 0)
                return at;
            if (at > 0 && isKeyChar(text.at(at - 1)))
                return at;
            from = at + 1;
        }
    }();
    if (assign < 0 || text.indexOf(QLatin1Char('"'), assign + 2) < 0)
        return -1;
    qsizetype start = assign - 1;
    while (start > 0 && isKeyChar(text.at(start - 1)))
        --start;
    return start;
}

} // namespace

KValueMap parseReply(QIODevice *device)
{
    ReplyParser &p = parser();
    QMutexLocker lock(&p.mutex);
    KValueMap answer;
    if (!device || !device->isReadable())
        return answer;

    for (;;) {
        const QByteArray line = device->readLine();
        if (line.isEmpty())
            break;
        const qsizetype zero = line.indexOf('\0');
        const QString text = QString::fromLatin1(line.constData(), zero < 0 ? line.size() : zero);

        if (text.startsWith(QLatin1String("!!"))) {
            const QString key = text.mid(2, qMax<qsizetype>(0, text.size() - 3));
            QByteArray value;
            for (;;) {
                const QByteArray data = device->readLine();
                if (data.size() <= 2 || data.startsWith("!!"))
                    break;
                value += data;
            }
            answer.insert(key, value);
            continue;
        }

        const qsizetype start = entryStart(text);
        if (start < 0)
            continue;
        const QRegularExpressionMatch match = p.entryRx.match(text, start,
            QRegularExpression::NormalMatch, QRegularExpression::AnchorAtOffsetMatchOption);
        if (match.hasMatch())
            answer.insert(match.captured(1), match.captured(2));
    }
    return answer;
}
