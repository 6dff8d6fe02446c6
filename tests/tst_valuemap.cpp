// The answer parser and the form encoding of request parameters.

#include "webclient/formencoding.h"
#include "webclient/kvaluemap.h"

#include <QBuffer>
#include <QElapsedTimer>
#include <QThread>
#include <QtTest>

#include <atomic>
#include <vector>

namespace {
KValueMap parse(const QByteArray &body)
{
    QBuffer buffer;
    buffer.setData(body);
    buffer.open(QIODevice::ReadOnly);
    return ::parseReply(&buffer);
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

    void encodeForm_data();
    void encodeForm();
    void encodeFormAllBytes();
    void encodeFormFields_data();
    void encodeFormFields();
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
