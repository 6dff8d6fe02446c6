// The log file under load from several threads: whole lines only, rolling by size, a bounded
// number of backups; and where exactly the rolling file rolls, with files around it. A separate
// executable, since the logging set-up is process-wide.
#include "logging/logging.h"
#include "logging/loggingmanager.h"
#include "logging/rollingfilesink.h"
#include "support/testenvironment.h"

#include <spdlog/details/log_msg.h>

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

// Lines as the message alone, so that their lengths are known.
class MessageLines : public spdlog::formatter
{
public:
    void format(const spdlog::details::log_msg &msg, spdlog::memory_buf_t &dest) override
    {
        dest.append(msg.payload.begin(), msg.payload.end());
        dest.push_back('\n');
    }
    std::unique_ptr<spdlog::formatter> clone() const override
    {
        return std::make_unique<MessageLines>();
    }
};

// "name=100": a file of 100 bytes "E"; "name=text": a file of the text and a line end;
// "name/": a folder that is not empty.
void makeEntry(const QDir &dir, const QString &entry)
{
    if (entry.endsWith(QLatin1Char('/'))) {
        QVERIFY(dir.mkpath(entry + QStringLiteral("inside")));
        return;
    }
    const QString name = entry.section(QLatin1Char('='), 0, 0);
    const QString value = entry.section(QLatin1Char('='), 1);
    bool isSize = false;
    const int size = value.toInt(&isSize);
    QFile file(dir.filePath(name));
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(isSize ? QByteArray(size, 'E') : value.toUtf8() + '\n');
}

// Each entry of the folder: "name size start" (start: the first six bytes, line end dropped), or
// "name/" for a folder.
QStringList describe(const QDir &dir)
{
    QStringList entries;
    for (const QFileInfo &info :
        dir.entryInfoList(QDir::Files | QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name)) {
        if (info.isDir()) {
            entries << info.fileName() + QLatin1Char('/');
            continue;
        }
        QFile file(info.filePath());
        if (!file.open(QIODevice::ReadOnly))
            return { info.fileName() + QStringLiteral(" unreadable") };
        const QByteArray start = file.read(6).trimmed();
        entries << QStringLiteral("%1 %2 %3")
                       .arg(info.fileName())
                       .arg(info.size())
                       .arg(QString::fromLatin1(start));
    }
    return entries;
}

} // namespace

class TestLogLoad : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void twoWritersRollWholeLines();
    void rollingAroundTheLimit_data();
    void rollingAroundTheLimit();

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

void TestLogLoad::rollingAroundTheLimit_data()
{
    // A limit of 100 bytes and lines of 30 ("line N....\n"); t.log and its backups t.log.1 ...
    // t.log.5 beside other files.
    QTest::addColumn<QStringList>("before");
    QTest::addColumn<int>("lines");
    QTest::addColumn<QStringList>("after");
    QTest::newRow("rolled once past the limit, so each backup holds the limit or more")
        << QStringList() << 12
        << QStringList { "t.log 120 line 8", "t.log.1 120 line 4", "t.log.2 120 line 0" };
    QTest::newRow("a file at the limit rolls before the next line")
        << QStringList { "t.log=100" } << 1
        << QStringList { "t.log 30 line 0", "t.log.1 100 EEEEEE" };
    QTest::newRow("a file one byte short takes one more line")
        << QStringList { "t.log=99" } << 2
        << QStringList { "t.log 30 line 1", "t.log.1 129 EEEEEE" };
    QTest::newRow("five backups: the oldest goes")
        << QStringList { "t.log=100", "t.log.1=old1", "t.log.2=old2", "t.log.3=old3",
               "t.log.4=old4", "t.log.5=old5" }
        << 1
        << QStringList { "t.log 30 line 0", "t.log.1 100 EEEEEE", "t.log.2 5 old1",
               "t.log.3 5 old2", "t.log.4 5 old3", "t.log.5 5 old4" };
    QTest::newRow("backups move up to the first gap only")
        << QStringList { "t.log=100", "t.log.1=old1", "t.log.2=old2", "t.log.4=old4",
               "t.log.5=old5" }
        << 1
        << QStringList { "t.log 30 line 0", "t.log.1 100 EEEEEE", "t.log.2 5 old1",
               "t.log.3 5 old2", "t.log.4 5 old4", "t.log.5 5 old5" };
    QTest::newRow("no first backup: the others stay")
        << QStringList { "t.log=100", "t.log.2=old2", "t.log.3=old3", "t.log.6=old6" } << 1
        << QStringList { "t.log 30 line 0", "t.log.1 100 EEEEEE", "t.log.2 5 old2",
               "t.log.3 5 old3", "t.log.6 5 old6" };
    QTest::newRow("the oldest backup cannot go: nothing rolls, nothing is lost")
        << QStringList { "t.log=100", "t.log.1=old1", "t.log.2=old2", "t.log.3=old3",
               "t.log.4=old4", "t.log.5/" }
        << 3
        << QStringList { "t.log 190 EEEEEE", "t.log.1 5 old1", "t.log.2 5 old2", "t.log.3 5 old3",
               "t.log.4 5 old4", "t.log.5/" };
}

void TestLogLoad::rollingAroundTheLimit()
{
    QFETCH(QStringList, before);
    QFETCH(int, lines);
    QFETCH(QStringList, after);
    QTemporaryDir folder;
    QVERIFY(folder.isValid());
    const QDir dir(folder.path());
    for (const QString &entry : before) {
        makeEntry(dir, entry);
        if (QTest::currentTestFailed())
            return;
    }
    {
        VM::RollingFileSink sink(
            QFile::encodeName(dir.filePath(QStringLiteral("t.log"))).toStdString(), 100, 5,
            std::make_unique<MessageLines>());
        for (int i = 0; i < lines; ++i) {
            const std::string text
                = QStringLiteral("line %1").arg(i).leftJustified(29, '.').toStdString();
            sink.log(spdlog::details::log_msg("qx.velmora", spdlog::level::info, text));
        }
    }
    QCOMPARE(describe(dir), after);
}

QTEST_GUILESS_MAIN(TestLogLoad)
#include "tst_logload.moc"
