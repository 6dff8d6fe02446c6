#include "webclient/kvaluemap.h"

#include <QIODevice>
#include <QMutex>
#include <QMutexLocker>
#include <QRegularExpression>

namespace {

struct ReplyParser
{
    QMutex mutex;
    // Greedy value: everything after =" up to the last double quote of the line. Word characters
    // are those of the Latin-1 text, letters such as U+00E9 included.
    const QRegularExpression entryRx { QStringLiteral(R"rx(([\w\]\[\-0-9]+)="(.*)")rx"),
        QRegularExpression::DotMatchesEverythingOption
            | QRegularExpression::UseUnicodePropertiesOption };
};

ReplyParser &parser()
{
    static ReplyParser instance;
    return instance;
}

} // namespace

KValueMap parseReply(QIODevice *device, const std::atomic<bool> *abort)
{
    const auto stopped = [abort] { return abort && abort->load(std::memory_order_relaxed); };
    ReplyParser &p = parser();
    QMutexLocker lock(&p.mutex);
    KValueMap answer;
    if (!device || !device->isReadable())
        return answer;

    for (;;) {
        if (stopped())
            break;
        const QByteArray line = device->readLine();
        if (line.isEmpty())
            break;
        const qsizetype zero = line.indexOf('\0');
        const QString text = QString::fromLatin1(line.constData(), zero < 0 ? line.size() : zero);

        if (text.startsWith(QLatin1String("!!"))) {
            const QString key = text.mid(2, qMax<qsizetype>(0, text.size() - 3));
            QByteArray value;
            for (;;) {
                if (stopped())
                    return answer;
                const QByteArray data = device->readLine();
                if (data.size() <= 2 || data.startsWith("!!"))
                    break;
                value += data;
            }
            answer.insert(key, value);
            continue;
        }

        const QRegularExpressionMatch match = p.entryRx.match(text);
        if (match.hasMatch())
            answer.insert(match.captured(1), match.captured(2));
    }
    return answer;
}

int answerNumber(const QVariant &value, bool *ok)
{
    bool valid = false;
    int number = 0;
    // A 32-bit reading of the text itself: a wider conversion cut down to int would wrap.
    if (value.metaType().id() == QMetaType::QByteArray)
        number = value.toByteArray().toInt(&valid, 10);
    else if (value.metaType().id() == QMetaType::QString)
        number = value.toString().toInt(&valid, 10);
    if (ok)
        *ok = valid;
    return valid ? number : 0;
}
