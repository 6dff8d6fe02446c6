// The answer parser and the form encoding of request parameters, whole and streamed.

#include "webclient/formencoding.h"
#include "webclient/kformbody.h"
#include "webclient/kvaluemap.h"

#include <QBuffer>
#include <QElapsedTimer>
#include <QRandomGenerator>
#include <QSemaphore>
#include <QTemporaryDir>
#include <QThread>
#include <QtTest>

#include <atomic>
#include <thread>
#include <vector>

namespace {
// An answer of 100,000 lines key0="0", key1="1", ... served a byte at a time. When the parser
// asks for the line numbered pauseAt, the device tells `reached` and waits for `resume`.
class LineSource : public QIODevice
{
public:
    explicit LineSource(int pauseAt)
        : m_pauseAt(pauseAt)
    {
        open(QIODevice::ReadOnly | QIODevice::Unbuffered);
    }
    bool isSequential() const override { return true; }
    int linesStarted() const { return m_line; }

    QSemaphore reached;
    QSemaphore resume;

protected:
    qint64 readData(char *data, qint64 maxSize) override
    {
        if (maxSize <= 0)
            return 0;
        if (m_at == m_current.size()) {
            if (m_line == LineCount)
                return -1;
            if (m_line == m_pauseAt) {
                reached.release();
                resume.tryAcquire(1, 10000);
            }
            m_current
                = "key" + QByteArray::number(m_line) + "=\"" + QByteArray::number(m_line) + "\"\n";
            m_at = 0;
            ++m_line;
        }
        data[0] = m_current.at(m_at++);
        return 1;
    }
    qint64 writeData(const char *, qint64) override { return -1; }

private:
    static constexpr int LineCount = 100000;
    const int m_pauseAt;
    int m_line = 0;
    QByteArray m_current;
    qsizetype m_at = 0;
};

KValueMap parse(const QByteArray &body)
{
    QBuffer buffer;
    buffer.setData(body);
    buffer.open(QIODevice::ReadOnly);
    return ::parseReply(&buffer);
}

bool writeFile(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate)
        && file.write(bytes) == bytes.size();
}

QByteArray randomBytes(qsizetype size, quint32 seed)
{
    QByteArray bytes(size, Qt::Uninitialized);
    QRandomGenerator generator(seed);
    for (char &c : bytes)
        c = char(generator.bounded(256));
    return bytes;
}

// Reads the body to its end in pieces of at most chunk bytes; a read that fails ends the bytes
// and sets failed.
QByteArray readAllOf(KRequestBody &body, qint64 chunk, bool *failed = nullptr)
{
    QByteArray all;
    QByteArray piece(chunk, Qt::Uninitialized);
    for (;;) {
        const qint64 n = body.read(piece.data(), chunk);
        if (failed)
            *failed = n < 0;
        if (n <= 0)
            return all;
        all.append(piece.constData(), n);
    }
}
} // namespace

class TestValueMap : public QObject
{
    Q_OBJECT

private slots:
    void parseReply_data();
    void parseReply();
    void parseReplyKeepsUtf8Bytes();
    void parseReplyReadsFromCurrentPosition();
    void parseReplySurvivesHostileBodies_data();
    void parseReplySurvivesHostileBodies();
    void parseReplyFromSeveralThreads();
    void parseReplyStopsWhenAborted();
    void answerNumber_data();
    void answerNumber();

    void encodeForm_data();
    void encodeForm();
    void encodeFormAllBytes();
    void encodeFormFields_data();
    void encodeFormFields();

    void formBodyGivesTheBytesOfEncodeFormFields_data();
    void formBodyGivesTheBytesOfEncodeFormFields();
    void formBodyFailsWhenTheFileChanged_data();
    void formBodyFailsWhenTheFileChanged();
    void formBodyOfAMissingFile();
    void formBodyFinalCheckBeforeTheLastChunk();
};

// Each row: the body and the whole expected map. Line values are QStrings, block values bytes.
void TestValueMap::parseReply_data()
{
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<KValueMap>("expected");

    QTest::newRow("empty body") << QByteArray() << KValueMap {};
    QTest::newRow("one entry") << QByteArray("result=\"1\"\n")
                               << KValueMap { { "result", QStringLiteral("1") } };
    QTest::newRow("last line without line feed")
        << QByteArray("result=\"1\"\nauth=\"0\"")
        << KValueMap { { "result", QStringLiteral("1") }, { "auth", QStringLiteral("0") } };
    QTest::newRow("quotes inside the value") << QByteArray(
        "domain=\"a \"b\" c\"\n") << KValueMap { { "domain", QStringLiteral("a \"b\" c") } };
    QTest::newRow("empty value") << QByteArray("domain=\"\"\n")
                                 << KValueMap { { "domain", QString() } };
    QTest::newRow("two entries on one line: the first key, value to the last quote") << QByteArray(
        "result=\"1\" auth=\"0\"\n") << KValueMap { { "result", QStringLiteral("1\" auth=\"0") } };
    QTest::newRow("blanks and text before the key")
        << QByteArray("  company_name[3]=\"Acme\"\nsome words x-y=\"2\"\r\n")
        << KValueMap { { "company_name[3]", QStringLiteral("Acme") },
               { "x-y", QStringLiteral("2") } };
    QTest::newRow("Latin-1 letters in a key")
        << QByteArray("na\xefve=\"1\"\n")
        << KValueMap { { QString::fromLatin1("na\xefve"), QStringLiteral("1") } };
    QTest::newRow("key not directly before =\" is not a key")
        << QByteArray("a =\"no\"\nb= \"no\"\n") << KValueMap {};
    QTest::newRow("lines that fit no form are skipped")
        << QByteArray("result=\"1\nplain=value\nfree text here\n=\"x\"\nok=\"y\"\n")
        << KValueMap { { "ok", QStringLiteral("y") } };
    QTest::newRow("the later line wins") << QByteArray("login=\"1\"\nlogin=\"2\"\n")
                                         << KValueMap { { "login", QStringLiteral("2") } };
    QTest::newRow("block with terminator")
        << QByteArray("!!trace\nline one\nline two\n!!\nafter=\"1\"\n")
        << KValueMap { { "trace", QByteArray("line one\nline two\n") },
               { "after", QStringLiteral("1") } };
    QTest::newRow("block header right after a block ends it and is consumed")
        << QByteArray("!!first\ndata one\n!!second\ndata two\n!!\n")
        << KValueMap { { "first", QByteArray("data one\n") }, { "", QByteArray() } };
    QTest::newRow("block ended by an empty line")
        << QByteArray("!!b\nxyz\n\nresult=\"1\"\n")
        << KValueMap { { "b", QByteArray("xyz\n") }, { "result", QStringLiteral("1") } };
    QTest::newRow("block running to the end of the data")
        << QByteArray("!!b\nabc\ndef") << KValueMap { { "b", QByteArray("abc\ndef") } };
    QTest::newRow("header with CR LF keeps the CR in its key")
        << QByteArray("!!key\r\nabc\r\n!!\r\n") << KValueMap { { "key\r", QByteArray("abc\r\n") } };
    QTest::newRow("two-byte data line ends the block and is dropped")
        << QByteArray("!!b\nabc\nx\nresult=\"1\"\n")
        << KValueMap { { "b", QByteArray("abc\n") }, { "result", QStringLiteral("1") } };
    QTest::newRow("zero byte cuts a one-line entry") << QByteArray(
        "a=\"1\"\0b=\"2\"\nc=\"x\0y\"\n", 20) << KValueMap { { "a", QStringLiteral("1") } };
    QTest::newRow("a block keeps its zero bytes") << QByteArray(
        "!!bin\nab\0cd\n!!\n", 15) << KValueMap { { "bin", QByteArray("ab\0cd\n", 6) } };
    QTest::newRow("header without line feed loses its last character")
        << QByteArray("!!key") << KValueMap { { "ke", QByteArray() } };
    QTest::newRow("Latin-1 bytes one per character") << QByteArray(
        "name=\"\xe9\xff\"\n") << KValueMap { { "name", QString::fromLatin1("\xe9\xff") } };
}

void TestValueMap::parseReply()
{
    QFETCH(QByteArray, body);
    QFETCH(KValueMap, expected);
    const KValueMap actual = parse(body);
    QCOMPARE(actual.size(), expected.size());
    for (auto it = expected.cbegin(); it != expected.cend(); ++it) {
        QVERIFY2(actual.contains(it.key()), qPrintable(it.key()));
        const QVariant value = actual.value(it.key());
        QCOMPARE(value.metaType(), it.value().metaType());
        QCOMPARE(value, it.value());
    }
}

void TestValueMap::parseReplyKeepsUtf8Bytes()
{
    const QString company = QStringLiteral("Sørensen & Søn – Ünïcode 日本");
    const KValueMap map = parse("company_name[0]=\"" + company.toUtf8() + "\"\n");
    QCOMPARE(QString::fromUtf8(map.value("company_name[0]").toString().toLatin1()), company);
}

void TestValueMap::parseReplyReadsFromCurrentPosition()
{
    QBuffer buffer;
    buffer.setData("skipped=\"1\"\nkept=\"2\"\n");
    buffer.open(QIODevice::ReadOnly);
    buffer.seek(12);
    const KValueMap map = ::parseReply(&buffer);
    QCOMPARE(map.keys(), QStringList { "kept" });
    QVERIFY(buffer.atEnd());
    QVERIFY(::parseReply(nullptr).isEmpty());
}

// Bodies a broken or hostile server might send: the parser must finish, not crash, and keep the
// entries that do fit.
void TestValueMap::parseReplySurvivesHostileBodies_data()
{
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<QStringList>("keys");

    const QByteArray longKeyRun = QByteArray(2'000'000, 'a');
    QTest::newRow("huge line of key characters ending in a quote") << longKeyRun + "\"\nok=\"1\"\n"
                                                                   << QStringList { "ok" };
    QTest::newRow("huge line of =\" pairs") << QByteArray(1'000'000, '=') + "=\"" + "\n"
                                            << QStringList {};
    QTest::newRow("huge value") << "big=\"" + QByteArray(3'000'000, 'v') + "\"\n"
                                << QStringList { "big" };
    QTest::newRow("many key runs before a late =\"") << QByteArray("a ").repeated(500'000)
            + "k=\"1\"\n" << QStringList { "k" };
    QByteArray binary(256 * 1024, '\0');
    for (int i = 0; i < binary.size(); ++i)
        binary[i] = char((i * 7919) & 0xFF);
    QTest::newRow("binary") << binary << QStringList();
    QTest::newRow("unterminated block")
        << "!!blob\n" + QByteArray(100'000, 'x') << QStringList { "blob" };
    QTest::newRow("only block openers")
        << QByteArray("!!\n").repeated(100'000) << QStringList { "" };
    QTest::newRow("only line feeds") << QByteArray(100'000, '\n') << QStringList {};
}

void TestValueMap::parseReplySurvivesHostileBodies()
{
    QFETCH(QByteArray, body);
    QFETCH(QStringList, keys);
    const KValueMap map = parse(body);
    if (!keys.isEmpty() || QByteArray(QTest::currentDataTag()) != "binary") {
        QStringList actual = map.keys();
        actual.sort();
        keys.sort();
        QCOMPARE(actual, keys);
    }
}

void TestValueMap::parseReplyFromSeveralThreads()
{
    QByteArray body;
    for (int i = 0; i < 200; ++i)
        body += QStringLiteral("company_name[%1]=\"name %1\"\n").arg(i).toLatin1();
    std::atomic<int> failures { 0 };
    std::vector<QThread *> threads;
    for (int t = 0; t < 4; ++t) {
        threads.push_back(QThread::create([&] {
            for (int round = 0; round < 20; ++round) {
                const KValueMap map = parse(body);
                if (map.size() != 200 || map.value("company_name[57]").toString() != "name 57")
                    ++failures;
            }
        }));
        threads.back()->start();
    }
    for (QThread *thread : threads) {
        QVERIFY(thread->wait(60000));
        delete thread;
    }
    QCOMPARE(failures.load(), 0);
}

// The abort, set from another thread while the parser waits for line 1000, ends the parse there.
void TestValueMap::parseReplyStopsWhenAborted()
{
    LineSource source(1000);
    std::atomic<bool> abort { false };
    std::thread aborter([&] {
        if (source.reached.tryAcquire(1, 10000))
            abort.store(true);
        source.resume.release();
    });
    const KValueMap answer = ::parseReply(&source, &abort);
    aborter.join();
    QVERIFY(abort.load());
    QCOMPARE(answer.value(QStringLiteral("key0")), QVariant(QStringLiteral("0")));
    QCOMPARE(answer.value(QStringLiteral("key999")), QVariant(QStringLiteral("999")));
    // At most the line under way when the abort came is read to its end.
    QVERIFY2(source.linesStarted() <= 1001, qPrintable(QString::number(source.linesStarted())));
    QVERIFY(!answer.contains(QStringLiteral("key1001")));
}

// The numbers of answer values (result, auth, login, deleted, new_user).
void TestValueMap::answerNumber_data()
{
    QTest::addColumn<QVariant>("value");
    QTest::addColumn<int>("number");
    QTest::addColumn<bool>("ok");

    QTest::newRow("one") << QVariant(QStringLiteral("1")) << 1 << true;
    QTest::newRow("minus one") << QVariant(QStringLiteral("-1")) << -1 << true;
    QTest::newRow("largest int") << QVariant(QStringLiteral("2147483647")) << 2147483647 << true;
    QTest::newRow("smallest int") << QVariant(QStringLiteral("-2147483648")) << int(-2147483648LL)
                                  << true;
    QTest::newRow("2^32 + 1 does not wrap to 1")
        << QVariant(QStringLiteral("4294967297")) << 0 << false;
    QTest::newRow("2^32 does not wrap to 0")
        << QVariant(QStringLiteral("4294967296")) << 0 << false;
    QTest::newRow("one past the largest int")
        << QVariant(QStringLiteral("2147483648")) << 0 << false;
    QTest::newRow("one below the smallest int")
        << QVariant(QStringLiteral("-2147483649")) << 0 << false;
    QTest::newRow("2^64 + 1") << QVariant(QStringLiteral("18446744073709551617")) << 0 << false;
    QTest::newRow("text") << QVariant(QStringLiteral("ok")) << 0 << false;
    QTest::newRow("empty") << QVariant(QString()) << 0 << false;
    QTest::newRow("fraction") << QVariant(QStringLiteral("1.0")) << 0 << false;
    QTest::newRow("hexadecimal") << QVariant(QStringLiteral("0x1")) << 0 << false;
    QTest::newRow("block value") << QVariant(QByteArray("1\n")) << 1 << true;
    QTest::newRow("block value beyond int") << QVariant(QByteArray("4294967297\n")) << 0 << false;
    QTest::newRow("missing") << QVariant() << 0 << false;
}

void TestValueMap::answerNumber()
{
    QFETCH(QVariant, value);
    QFETCH(int, number);
    QFETCH(bool, ok);
    bool valid = !ok;
    QCOMPARE(::answerNumber(value, &valid), number);
    QCOMPARE(valid, ok);
    QCOMPARE(::answerNumber(value), number);
}

void TestValueMap::encodeForm_data()
{
    QTest::addColumn<QByteArray>("value");
    QTest::addColumn<QByteArray>("encoded");

    QTest::newRow("blank") << QByteArray("a b") << QByteArray("a%20b");
    QTest::newRow("ampersand") << QByteArray("x&y") << QByteArray("x%26y");
    QTest::newRow("unreserved set stays") << QByteArray("AZaz09-._~") << QByteArray("AZaz09-._~");
    QTest::newRow("Base64 characters") << QByteArray("a+b/c==") << QByteArray("a%2Bb%2Fc%3D%3D");
    QTest::newRow("UTF-8, upper-case hex") << QStringLiteral("é").toUtf8() << QByteArray("%C3%A9");
    QTest::newRow("empty") << QByteArray() << QByteArray();
}

void TestValueMap::encodeForm()
{
    QFETCH(QByteArray, value);
    QFETCH(QByteArray, encoded);
    QCOMPARE(::encodeForm(KValueMap { { "message", value } }), "message=" + encoded);
}

void TestValueMap::encodeFormAllBytes()
{
    QCOMPARE(::encodeForm({}), QByteArray());

    const KValueMap parameters { { "login", QByteArray("a b") }, { "message", QByteArray("x&y") } };
    QByteArray expected;
    for (auto it = parameters.cbegin(); it != parameters.cend(); ++it)
        expected += (expected.isEmpty() ? "" : "&") + it.key().toLatin1() + "="
            + (it.key() == "login" ? "a%20b" : "x%26y");
    QCOMPARE(::encodeForm(parameters), expected);

    // Every byte value survives the round trip through percent decoding.
    QByteArray all;
    for (int i = 0; i < 256; ++i)
        all += char(i);
    const QByteArray body = ::encodeForm(KValueMap { { "k", all } });
    QVERIFY(body.startsWith("k="));
    for (char c : body.mid(2))
        QVERIFY2(QByteArray("%ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789-._~")
                     .contains(c),
            body.constData());
    QCOMPARE(QByteArray::fromPercentEncoding(body.mid(2)), all);
}

void TestValueMap::formBodyGivesTheBytesOfEncodeFormFields_data()
{
    QTest::addColumn<QByteArray>("dump");
    QTest::addColumn<qint64>("chunk");

    QByteArray all;
    for (int i = 0; i < 256; ++i)
        all += char(i);
    QList<QPair<QByteArray, QByteArray>> dumps;
    for (int size = 0; size <= 7; ++size)
        dumps.append({ "size " + QByteArray::number(size), randomBytes(size, 10 + size) });
    dumps.append({ "all byte values", all });
    dumps.append({ "all 0xFF", QByteArray(10001, '\xff') });
    dumps.append({ "all zero", QByteArray(10002, '\0') });
    // Around the block size of the streamed encoding, and a few blocks with each padding length.
    dumps.append({ "3072 random", randomBytes(3072, 1) });
    dumps.append({ "3073 random", randomBytes(3073, 2) });
    dumps.append({ "100000 random", randomBytes(100000, 3) });
    dumps.append({ "100001 random", randomBytes(100001, 4) });
    for (const auto &[name, dump] : std::as_const(dumps)) {
        for (const qint64 chunk : { 1, 7, 819, 4096 }) {
            QTest::addRow("%s, chunks of %lld", name.constData(), chunk) << dump << chunk;
        }
    }
}

void TestValueMap::formBodyGivesTheBytesOfEncodeFormFields()
{
    QFETCH(QByteArray, dump);
    QFETCH(qint64, chunk);
    QTemporaryDir folder;
    const QString path = folder.filePath(QStringLiteral("crash.dmp"));
    QVERIFY(writeFile(path, dump));

    // In-memory values around the file: plain text with form characters, and Base64 larger than
    // one block of the streamed encoding.
    const QByteArray message = QStringLiteral("Ошибка: a+b/c=d & é\n").toUtf8();
    const QByteArray screenshot = randomBytes(7000, 5) + QByteArray(500, '\xff');
    const QList<FormField> fields { { "message", message, false },
        { "screenshot", screenshot, true }, { "memorydump", dump, true }, { "crash", "1", false } };
    const QByteArray expected = ::encodeFormFields(fields);

    KFormBody body;
    body.addValue(QStringLiteral("message"), message);
    body.addValue(QStringLiteral("screenshot"), screenshot, true);
    body.addFile(QStringLiteral("memorydump"), path);
    body.addValue(QStringLiteral("crash"), "1");
    QVERIFY2(body.measure(), qPrintable(body.errorString()));
    QCOMPARE(body.size(), qint64(expected.size()));

    bool failed = true;
    QCOMPARE(readAllOf(body, chunk, &failed), expected);
    QVERIFY(!failed);
    // At the end it stays at the end.
    char byte;
    QCOMPARE(body.read(&byte, 1), qint64(0));

    // Once more from the first byte, in other pieces.
    QVERIFY(body.rewind());
    QCOMPARE(readAllOf(body, chunk == 1 ? 819 : 1, &failed), expected);
    QVERIFY(!failed);
}

void TestValueMap::formBodyFailsWhenTheFileChanged_data()
{
    QTest::addColumn<QByteArray>("measured");
    QTest::addColumn<QByteArray>("sent"); // null: the file is gone

    const QByteArray dump = randomBytes(20000, 6);
    QByteArray lastByte = dump;
    lastByte[lastByte.size() - 1] = char(lastByte.back() ^ 1);
    QByteArray firstByte = dump;
    firstByte[0] = char(firstByte.front() ^ 0x40);
    QTest::newRow("same size, last byte other") << dump << lastByte;
    QTest::newRow("same size, first byte other") << dump << firstByte;
    QTest::newRow("shorter by one byte") << dump << dump.chopped(1);
    QTest::newRow("shorter by half") << dump << dump.left(10000);
    QTest::newRow("longer by one byte") << dump << dump + 'x';
    QTest::newRow("emptied") << dump << QByteArray("");
    QTest::newRow("removed") << dump << QByteArray();
    // Zeros encode as "A", 0xFF as "%2F": the changed file's encoding would fill the measured
    // size long before the file's end is reached.
    QTest::newRow("same size, bytes that encode three times as long")
        << QByteArray(20000, '\0') << QByteArray(20000, '\xff');
    QTest::newRow("was empty, now has bytes") << QByteArray("") << QByteArray("abc");
}

void TestValueMap::formBodyFailsWhenTheFileChanged()
{
    QFETCH(QByteArray, measured);
    QFETCH(QByteArray, sent);
    QTemporaryDir folder;
    const QString path = folder.filePath(QStringLiteral("crash.dmp"));
    QVERIFY(writeFile(path, measured));

    KFormBody body;
    body.addValue(QStringLiteral("message"), "m");
    body.addFile(QStringLiteral("memorydump"), path);
    body.addValue(QStringLiteral("crash"), "1");
    QVERIFY(body.measure());
    const QByteArray expected = ::encodeFormFields(
        { { "message", "m", false }, { "memorydump", measured, true }, { "crash", "1", false } });
    QCOMPARE(body.size(), qint64(expected.size()));

    if (sent.isNull())
        QVERIFY(QFile::remove(path));
    else
        QVERIFY(writeFile(path, sent));
    bool failed = false;
    const QByteArray given = readAllOf(body, 819, &failed);
    QVERIFY(failed);
    // The failure comes before the body is complete, whatever the new bytes encode to.
    QVERIFY2(given.size() < body.size(),
        qPrintable(QStringLiteral("%1 of %2").arg(given.size()).arg(body.size())));
    QVERIFY(body.errorString().contains(path));
    // It keeps failing until rewound.
    char byte;
    QCOMPARE(body.read(&byte, 1), qint64(-1));

    // With the measured content back, the body is whole again.
    QVERIFY(writeFile(path, measured));
    QVERIFY(body.rewind());
    QCOMPARE(readAllOf(body, 819, &failed), expected);
    QVERIFY(!failed);
}

void TestValueMap::formBodyOfAMissingFile()
{
    QTemporaryDir folder;
    const QString path = folder.filePath(QStringLiteral("missing.dmp"));
    KFormBody body;
    body.addValue(QStringLiteral("message"), "m");
    body.addFile(QStringLiteral("memorydump"), path);
    QVERIFY(!body.measure());
    QVERIFY(body.errorString().contains(path));
    char byte;
    QCOMPARE(body.read(&byte, 1), qint64(-1));
    QVERIFY(!body.rewind());
}

// The final check runs once a pass, just before the chunk that carries the body's last bytes; a
// text from it fails that read, so everything but the last chunk has gone.
void TestValueMap::formBodyFinalCheckBeforeTheLastChunk()
{
    QTemporaryDir folder;
    const QString path = folder.filePath(QStringLiteral("crash.dmp"));
    const QByteArray dump = randomBytes(10000, 7);
    QVERIFY(writeFile(path, dump));
    KFormBody body;
    body.addValue(QStringLiteral("message"), "m");
    body.addFile(QStringLiteral("memorydump"), path);
    body.addValue(QStringLiteral("crash"), "1");
    QVERIFY(body.measure());
    QCOMPARE(body.fileDigest(QStringLiteral("memorydump")),
        QCryptographicHash::hash(dump, QCryptographicHash::Sha256));
    QVERIFY(body.fileDigest(QStringLiteral("message")).isEmpty());
    const QByteArray expected = ::encodeFormFields(
        { { "message", "m", false }, { "memorydump", dump, true }, { "crash", "1", false } });
    constexpr qint64 chunk = 819;
    const qint64 lastChunk = expected.size() % chunk == 0 ? chunk : expected.size() % chunk;

    QString refusal = QStringLiteral("the lock is gone");
    int checks = 0;
    body.setFinalCheck([&] {
        ++checks;
        return refusal;
    });
    bool failed = false;
    QCOMPARE(readAllOf(body, chunk, &failed), expected.left(expected.size() - lastChunk));
    QVERIFY(failed);
    QCOMPARE(checks, 1);
    QCOMPARE(body.errorString(), refusal);

    // Each pass checks again; a check that lets the bytes go gives the whole body.
    refusal.clear();
    QVERIFY(body.rewind());
    QCOMPARE(readAllOf(body, chunk, &failed), expected);
    QVERIFY(!failed);
    QCOMPARE(checks, 2);
}

QTEST_GUILESS_MAIN(TestValueMap)
#include "tst_valuemap.moc"

void TestValueMap::encodeFormFields_data()
{
    // keys[i] with values[i]; kinds[i] is 'b' for a Base64 field, anything else for plain bytes.
    QTest::addColumn<QStringList>("keys");
    QTest::addColumn<QByteArrayList>("values");
    QTest::addColumn<QByteArray>("kinds");

    QByteArray all;
    for (int i = 0; i < 256; ++i)
        all += char(i);
    const QByteArray message = QStringLiteral("Ошибка: a+b/c=d & é\n").toUtf8();

    QTest::newRow("no fields") << QStringList() << QByteArrayList() << QByteArray();
    QTest::newRow("empty values") << QStringList { "message", "memorydump" }
                                  << QByteArrayList { {}, {} } << QByteArray("pb");
    QTest::newRow("all byte values, plain and Base64")
        << QStringList { "plain", "encoded" } << QByteArrayList { all, all } << QByteArray("pb");
    QTest::newRow("Base64 +, / and = padding")
        << QStringList { "a", "b", "c", "d" }
        << QByteArrayList { "\xfb\xff", "\xfb\xef\xff", "x", "\xff\xff\xff\xfe" }
        << QByteArray("bbbb");
    QTest::newRow("lengths 1 to 5")
        << QStringList { "l1", "l2", "l3", "l4", "l5" }
        << QByteArrayList { all.left(1), all.right(2), all.mid(60, 3), all.right(4), all.left(5) }
        << QByteArray("bbbbb");
    QTest::newRow("message, attachments, flag")
        << QStringList { "message", "screenshot", "localcache", "memorydump", "crash" }
        << QByteArrayList { message, all.repeated(3), "cache", all.right(7), "1" }
        << QByteArray("pbbbp");
    QTest::newRow("key given twice keeps its first place, last value") << QStringList { "k",
        "other", "k" } << QByteArrayList { "first", "o", "last+" } << QByteArray("ppb");
    QStringList manyKeys;
    QByteArrayList manyValues;
    for (int i = 0; i < 40; ++i) {
        manyKeys.append(QStringLiteral("key%1").arg(i));
        manyValues.append(all.mid(i * 5, i % 7));
    }
    QTest::newRow("forty keys") << manyKeys << manyValues << QByteArray(40, 'b');
}

void TestValueMap::encodeFormFields()
{
    QFETCH(QStringList, keys);
    QFETCH(QByteArrayList, values);
    QFETCH(QByteArray, kinds);

    // The straightforward way: every value (as Base64 where asked) into a map, then encodeForm.
    KValueMap parameters;
    QList<FormField> fields;
    for (qsizetype i = 0; i < keys.size(); ++i) {
        const bool base64 = kinds.at(i) == 'b';
        parameters.insert(keys.at(i), base64 ? values.at(i).toBase64() : values.at(i));
        fields.append({ keys.at(i), values.at(i), base64 });
    }
    QCOMPARE(::encodeFormFields(fields), ::encodeForm(parameters));
}
