// Median wall time of the answer parser on ordinary and hostile answers, and of building the form
// body of an upload from a dump (through the parameter map, and directly as uploads do), with the
// sizes that exist at once while it is built.
#include "webclient/formencoding.h"
#include "webclient/kvaluemap.h"
#include "webclient/kwebclient.h"

#include <QBuffer>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QRandomGenerator>
#include <QTextStream>

#include <algorithm>
#include <functional>

namespace {

double medianMs(int runs, const std::function<void()> &work)
{
    QList<double> times;
    for (int i = 0; i < runs; ++i) {
        QElapsedTimer timer;
        timer.start();
        work();
        times.append(double(timer.nsecsElapsed()) / 1e6);
    }
    std::sort(times.begin(), times.end());
    return times.at(times.size() / 2);
}

qsizetype parse(const QByteArray &body)
{
    QBuffer buffer;
    buffer.setData(body);
    buffer.open(QIODevice::ReadOnly);
    return parseReply(&buffer).size();
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const int runs = argc > 1 ? QString::fromLocal8Bit(argv[1]).toInt() : 11;
    QTextStream out(stdout);

    QByteArray entries;
    for (int i = 0; i < 20000; ++i)
        entries += "company_name[" + QByteArray::number(i) + "]=\"Company number "
            + QByteArray::number(i) + "\"\n";
    const QByteArray block = "!!blob\n" + QByteArray(64, 'b').append('\n').repeated(65536) + "!!\n";
    const QByteArray keyRun = QByteArray(4 << 20, 'a') + "\"\n";
    const QByteArray manyRuns = QByteArray("a ").repeated(2 << 20) + "k=\"1\"\n";

    const struct
    {
        const char *name;
        const QByteArray &body;
    } answers[] = {
        { "20000 one-line entries", entries },
        { "4 MiB block", block },
        { "4 MiB line of key characters, no =\"", keyRun },
        { "4 MiB of short key runs, then an entry", manyRuns },
    };
    for (const auto &answer : answers) {
        qsizetype keys = 0;
        const double ms = medianMs(runs, [&] { keys = parse(answer.body); });
        out << QStringLiteral("parseReply %1 (%2 bytes, %3 keys): %4 ms\n")
                   .arg(QString::fromLatin1(answer.name))
                   .arg(answer.body.size())
                   .arg(keys)
                   .arg(ms, 0, 'f', 2);
    }

    // A 10 MB answer: half one-line entries, half one block.
    QByteArray tenMb;
    for (int i = 0; tenMb.size() < 5 * 1000 * 1000; ++i)
        tenMb += "key_" + QByteArray::number(i) + "=\"value number " + QByteArray::number(i) + "\"\n";
    tenMb += "!!blob\n";
    while (tenMb.size() < 10 * 1000 * 1000 - 3)
        tenMb += QByteArray(79, 'x') + '\n';
    tenMb += "!!\n";
    const double tenMbMs = medianMs(runs, [&] { parse(tenMb); });
    out << QStringLiteral("parseReply.10mb_ms %1\nparseReply.10mb_mb_per_s %2\n")
               .arg(tenMbMs, 0, 'f', 1)
               .arg(double(tenMb.size()) / 1e6 / (tenMbMs / 1000.0), 0, 'f', 1);

    QByteArray dump(5 << 20, '\0');
    QRandomGenerator generator(1);
    for (char &c : dump)
        c = char(generator.bounded(256));
    qsizetype base64 = 0;
    qsizetype body = 0;
    const double ms = medianMs(runs, [&] {
        const KValueMap parameters
            = KWebClient::feedbackParameters(QStringLiteral("report"), {}, {}, dump, true);
        base64 = parameters.value(QStringLiteral("memorydump")).toByteArray().size();
        body = encodeForm(parameters).size();
    });
    out << QStringLiteral("upload body of a %1-byte dump: %2 ms; Base64 %3 bytes, form body %4 "
                          "bytes (%5 bytes held at once)\n")
               .arg(dump.size())
               .arg(ms, 0, 'f', 2)
               .arg(base64)
               .arg(body)
               .arg(dump.size() + base64 + body);

    // The way uploads build it: Base64 straight into the body, allocated once.
    qsizetype direct = 0;
    const double directMs = medianMs(runs, [&] {
        direct = KWebClient::feedbackBody(QStringLiteral("report"), {}, {}, dump, true).size();
    });
    out << QStringLiteral("upload body built directly from a %1-byte dump: %2 ms; form body %3 "
                          "bytes (%4 bytes held at once)\n")
               .arg(dump.size())
               .arg(directMs, 0, 'f', 2)
               .arg(direct)
               .arg(dump.size() + direct);
    return 0;
}
