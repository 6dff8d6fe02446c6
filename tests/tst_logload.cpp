// The log file under load from several threads: whole lines only, rolling by size, a bounded
// number of backups. A separate executable, since the logging library's set-up is process-wide.
#include "logging/logging.h"
#include "logging/loggingmanager.h"
#include "support/testenvironment.h"

#include <QtTest>

#include <sys/stat.h>

namespace {

const QString logName = QStringLiteral("qx.dumpreporter.velmora.log");
// Makes a line about 180 bytes long, so that 200,000 lines (about 36 MB) are more than the log
// and its five backups hold.
const QString padding = QString(40, QLatin1Char('x'));

void writeLines(const QString &writer, int count)
{
    for (int i = 0; i < count; ++i)
        LOG_INFO(QStringLiteral("load line %1 from %2 %3").arg(i).arg(writer, padding));
}

} // namespace

class TestLogLoad : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void twoWritersRollWholeLines();

private:
    std::unique_ptr<TestEnvironment> m_home;
};

void TestLogLoad::initTestCase()
{
    // No creation mask: the modes of the log files come from the logging set-up alone.
    ::umask(0);
    m_home = std::make_unique<TestEnvironment>();
    m_home->logToFile();
}

void TestLogLoad::twoWritersRollWholeLines()
{
    constexpr int linesPerWriter = 100000;
    QList<QThread *> threads;
    for (const QString &writer : { QStringLiteral("A"), QStringLiteral("B") }) {
        QThread *thread = QThread::create([writer] { writeLines(writer, linesPerWriter); });
        thread->setObjectName(QStringLiteral("writer ") + writer);
        threads.append(thread);
    }
    for (QThread *thread : threads)
        thread->start();
    for (QThread *thread : threads) {
        QVERIFY(thread->wait(120000));
        delete thread;
    }

    // The files from the oldest backup to the current file; nothing beyond the fifth backup.
    const QString base = m_home->cachePath() + logName;
    const QStringList others
        = QDir(m_home->cachePath()).entryList({ logName + QStringLiteral("*") }, QDir::Files);
    QStringList files;
    for (int i = 5; i >= 1; --i)
        files.append(base + QLatin1Char('.') + QString::number(i));
    files.append(base);
    for (const QString &file : files)
        QVERIFY2(QFileInfo::exists(file), qPrintable(file));
    QCOMPARE(others.size(), files.size());

    // Every line whole: the layout around a message of the test's own, or any other message.
    const QRegularExpression layout(QStringLiteral(
        "^U\\d{4}-\\d\\d-\\d\\d \\d\\d:\\d\\d:\\d\\d\\.\\d{3} \\[([^\\]]*)\\] [A-Z]+ +qx\\.velmora "
        " - "
        "\\t\\[([^\\]]*)\\]: \\t(.*)\\t\\t\\t\\{\\}\\t\\./tests/tst_logload\\.cpp, \\d+$|"
        "^U\\d{4}-\\d\\d-\\d\\d \\d\\d:\\d\\d:\\d\\d\\.\\d{3} \\[[^\\]]*\\] [A-Z]+ +qx\\.velmora  "
        "- "
        "\\t\\[[^\\]]*\\]: \\t[^\\t]*\\t\\t\\t\\{\\}\\t\\./src/[^ ]+, \\d+$"));
    const QRegularExpression ownMessage(
        QStringLiteral("^load line (\\d+) from ([AB]) ") + padding + QLatin1Char('$'));

    QHash<QString, int> first; // per writer: the number of its oldest line kept
    QHash<QString, int> next; // per writer: the number its next line must have
    qint64 longestLine = 0;
    for (const QString &path : files) {
        QFile file(path);
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QByteArray content = file.readAll();
        QVERIFY2(content.endsWith('\n'), qPrintable(path));
        const QList<QByteArray> lines = content.chopped(1).split('\n');
        for (const QByteArray &bytes : lines) {
            const QString line = QString::fromUtf8(bytes);
            longestLine = std::max<qint64>(longestLine, bytes.size() + 1);
            const QRegularExpressionMatch match = layout.match(line);
            QVERIFY2(match.hasMatch(), qPrintable(path + QStringLiteral(": ") + line.left(300)));
            if (match.captured(1).isEmpty()
                || !match.captured(1).startsWith(QLatin1String("writer")))
                continue;
            const QRegularExpressionMatch own = ownMessage.match(match.captured(3));
            QVERIFY2(own.hasMatch(), qPrintable(line.left(300)));
            QCOMPARE(match.captured(1), QStringLiteral("writer ") + own.captured(2));
            QVERIFY(match.captured(2).endsWith(QLatin1String("writeLines")));
            const QString writer = own.captured(2);
            const int number = own.captured(1).toInt();
            // The first line kept may be any; from there on none is missing or out of order.
            if (next.contains(writer))
                QCOMPARE(number, next.value(writer));
            else
                first[writer] = number;
            next[writer] = number + 1;
        }
    }
    // More was written than the log and five backups hold: the oldest lines are gone.
    QVERIFY(first.value(QStringLiteral("A")) > 0 || first.value(QStringLiteral("B")) > 0);
    QCOMPARE(next.value(QStringLiteral("A")), linesPerWriter);
    QCOMPARE(next.value(QStringLiteral("B")), linesPerWriter);

    // Each backup was rolled once it reached the limit, not before and not long after.
    for (int i = 0; i < 5; ++i) {
        const qint64 size = QFileInfo(files.at(i)).size();
        QVERIFY2(size >= VM::LoggingManager::MaxFileSize
                && size < VM::LoggingManager::MaxFileSize + longestLine,
            qPrintable(QStringLiteral("%1: %2 bytes").arg(files.at(i)).arg(size)));
    }
    QVERIFY(QFileInfo(base).size() < VM::LoggingManager::MaxFileSize + longestLine);

    // The log and every backup, the file started by each roll included, are the user's alone.
    for (const QString &file : files) {
        struct stat info;
        QVERIFY(::stat(QFile::encodeName(file).constData(), &info) == 0);
        QVERIFY2((info.st_mode & 07777) == 0600,
            qPrintable(QStringLiteral("%1: %2").arg(file).arg(info.st_mode & 07777, 0, 8)));
    }
}

QTEST_GUILESS_MAIN(TestLogLoad)
#include "tst_logload.moc"
