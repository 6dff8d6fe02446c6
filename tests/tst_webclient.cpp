// The web client: its thread, sign-in and company records, uploads, the automatic re-login, abort,
// and one run against the devservice tool over a verified TLS connection.

#include "http/knetworkreply.h"
#include "logging/loggingmanager.h"
#include "settings/kcompanyrecords.h"
#include "settings/ksettingsmanager.h"
#include "support/apitestserver.h"
#include "support/testenvironment.h"
#include "support/testhttpserver.h"
#include "support/testlogcapture.h"
#include "support/testsupport.h"
#include "webclient/formencoding.h"
#include "webclient/kwebclient.h"

#include <QCryptographicHash>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QRandomGenerator>
#include <QSettings>
#include <QSignalSpy>
#include <QSslCertificate>
#include <QTemporaryDir>
#include <QtTest>

#include <atomic>
#include <memory>
#include <thread>

namespace {

// Exposes the event filter, which is protected.
class ProbeClient : public KWebClient
{
public:
    using KWebClient::event;
    using KWebClient::KWebClient;
};

QVariantList record(const QString &name, const QString &domain, const QByteArray &digest)
{
    return QVariantList { name, domain, digest };
}

QByteArray md5(const QString &password)
{
    return QCryptographicHash::hash(password.toLatin1(), QCryptographicHash::Md5);
}

// Sets an environment variable for the lifetime of the object.
class ScopedEnv
{
public:
    ScopedEnv(const char *name, const QByteArray &value)
        : m_name(name)
        , m_had(qEnvironmentVariableIsSet(name))
        , m_old(qgetenv(name))
    {
        if (value.isNull())
            qunsetenv(name);
        else
            qputenv(name, value);
    }
    ~ScopedEnv()
    {
        if (m_had)
            qputenv(m_name, m_old);
        else
            qunsetenv(m_name);
    }

private:
    const char *m_name;
    bool m_had;
    QByteArray m_old;
};

// One test lets exceptions leave the client thread's event loop on purpose. GLib's dispatcher is
// left with unbalanced state by that (it complains on stderr); Qt's own dispatcher is not.
void useQtEventDispatcher()
{
    qputenv("QT_NO_GLIB", "1");
}
Q_CONSTRUCTOR_FUNCTION(useQtEventDispatcher)

} // namespace

class TestWebClient : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanupTestCase();

    void threadStartsAndEnds();
    void threadBodyCatchesEscapingExceptions_data();
    void threadBodyCatchesEscapingExceptions();
    void endpointAndReferrer();
    void sslErrorsAreLogged();

    void untrustedServerIsRefusedAndLogged();
    void companyRecordsEdgeCases();

    void classifyLogin_data();
    void classifyLogin();
    void signInStoresOneRecordWithTheLaterDigest();
    void signInWithCompanyList();
    void refusedSignInForgetsRecords_data();
    void refusedSignInForgetsRecords();
    void signInWithoutAnswerChangesNothing();
    void signInNeverRelogs();
    void overlongDomainIsNotStored();

    void feedbackParameters();
    void feedbackBody_data();
    void feedbackBody();
    void uploadResult_data();
    void uploadResult();
    void callBeforeSignInSendsNothing();
    void status500GivesCode4WithoutLogLine();
    void noServerGivesCode4();

    void uploadOfADumpFile_data();
    void uploadOfADumpFile();
    void reloginThenResendOnce_data();
    void reloginThenResendOnce();
    void secondLostSessionIsReturnedUnchanged();
    void failedRelogin_data();
    void failedRelogin();

    void abortStopsTheUpload_data();
    void abortStopsTheUpload();
    void abortWhileParsingEndsTheUpload();
    void oversizedAnswerGivesCode4();
    void lastFailureNamesWhatWentWrong_data();
    void lastFailureNamesWhatWentWrong();
    void devserviceSwitches_data();
    void devserviceSwitches();
    void endToEndWithDevservice();

private:
    QStringList logLinesSince(qint64 offset) const;
    qint64 logSize() const;
    void signIn(KWebClient &client);

    std::unique_ptr<TestEnvironment> m_home;
    std::unique_ptr<ApiTestServer> m_server;
};

void TestWebClient::initTestCase()
{
    m_home = std::make_unique<TestEnvironment>();
    m_home->logToFile()
        .useSettings(0x010203, QStringLiteral("VelmoraTests"), QStringLiteral("WebClient"))
        .trustTestCa();
    m_server = std::make_unique<ApiTestServer>();
    QVERIFY(m_server->startListening());
    m_home->useApiHost(m_server->hostAndPort());
}

void TestWebClient::init()
{
    m_server->clear();
    m_server->setDefaultAnswer(ApiTestServer::result("1"));
}

void TestWebClient::cleanupTestCase()
{
    m_server.reset();
    m_home.reset();
}

qint64 TestWebClient::logSize() const
{
    return m_home->logFile().size();
}

QStringList TestWebClient::logLinesSince(qint64 offset) const
{
    return m_home->logFile().linesSince(offset);
}

void TestWebClient::signIn(KWebClient &client)
{
    QString company;
    bool newUser = false;
    QCOMPARE(client.login(QStringLiteral("ann"), QStringLiteral("secret"), company, newUser),
        int(KWebClient::LoginOk));
    QVERIFY(client.isSignedIn());
}

void TestWebClient::threadStartsAndEnds()
{
    const qint64 before = logSize();
    auto *client = new ProbeClient(QStringLiteral("1.2.3"));
    QVERIFY(client->isRunning());
    QCOMPARE(client->objectName(), QStringLiteral("web client"));
    QCOMPARE(client->thread(), static_cast<QThread *>(client));
    QCOMPARE(client->cookies()->thread(), static_cast<QThread *>(client));
    QVERIFY(!client->isSignedIn());
    QCOMPARE(client->clientVersionText(), QStringLiteral("1.2.3"));

    // Events from a thread other than the client's are refused.
    QEvent event(QEvent::User);
    QVERIFY(!client->event(&event));

    delete client;
    const QStringList lines = logLinesSince(before);
    QVERIFY(!lines.isEmpty());
    QVERIFY2(lines.last().contains(QStringLiteral("[web client] INFO")), qPrintable(lines.last()));
    QVERIFY2(lines.last().contains(QStringLiteral("KWebClient thread has been finished")),
        qPrintable(lines.last()));
    QVERIFY(lines.last().contains(QStringLiteral("[KWebClient::run]")));
}

void TestWebClient::threadBodyCatchesEscapingExceptions_data()
{
    QTest::addColumn<int>("kind");
    QTest::addColumn<QString>("message");
    QTest::newRow("connection") << 0 << "ExConnectionError; Thread terminated!";
    QTest::newRow("function") << 1 << "ExFunctionError; Thread terminated!";
    QTest::newRow("server") << 2 << "ExServerError; Thread terminated!";
    QTest::newRow("std") << 3 << "STD: broken pipe dream; Thread terminated!";
    QTest::newRow("other") << 4 << "Unknown exception; Thread terminated!";
}

void TestWebClient::threadBodyCatchesEscapingExceptions()
{
    QFETCH(int, kind);
    QFETCH(QString, message);
    const qint64 before = logSize();
    KWebClient client(QStringLiteral("1.2.3"));
    QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QStringLiteral("exception")));
    // A queued call runs in the client's event loop, so its exception leaves exec().
    QMetaObject::invokeMethod(
        &client,
        [kind] {
            switch (kind) {
            case 0:
                throw KWebClient::ExConnectionError();
            case 1:
                throw KWebClient::ExFunctionError();
            case 2:
                throw KWebClient::ExServerError();
            case 3:
                throw std::runtime_error("broken pipe dream");
            default:
                throw 42;
            }
        },
        Qt::QueuedConnection);
    QVERIFY(client.wait(10000));
    const QStringList lines = logLinesSince(before);
    QVERIFY(lines.size() >= 2);
    QVERIFY2(lines[lines.size() - 2].contains(QStringLiteral("[web client] FATAL"))
            && lines[lines.size() - 2].contains(message),
        qPrintable(lines[lines.size() - 2]));
    QVERIFY(lines.last().contains(QStringLiteral("KWebClient thread has been finished")));
    // The client stays usable for direct calls after its thread ended.
    KValueMap answer;
    QCOMPARE(client.callMethod(QStringLiteral("upload_feedback2"), {}, answer), 4);
}

void TestWebClient::endpointAndReferrer()
{
    KWebClient client(QStringLiteral("2.3.4"));
    {
        ScopedEnv env("VELMORA_API_HOST", QByteArray());
        QCOMPARE(client.makeApiUrl(QStringLiteral("login")).toString(),
            QStringLiteral("https://" VELMORA_API_HOST_DEFAULT
                           "/v2/api/execute.php?method=login&ver=win2.3.4"));
    }
    {
        ScopedEnv env("VELMORA_API_HOST", "staging.example:8443");
        const QUrl url = client.makeApiUrl(QStringLiteral("upload_feedback2"));
        QCOMPARE(url.toString(),
            QStringLiteral("https://staging.example:8443/v2/api/"
                           "execute.php?method=upload_feedback2&ver=win2.3.4"));
        QCOMPARE(KWebClient::referrerText(url, QStringLiteral("ann")),
            QStringLiteral("https://ann@staging.example:8443/v2/api/execute.php"
                           "?method=upload_feedback2&ver=win2.3.4"));
    }
    QCOMPARE(KWebClient::referrerText(QUrl(), QStringLiteral("ann")), QStringLiteral("ann"));
}

void TestWebClient::sslErrorsAreLogged()
{
    const QList<QSslCertificate> valid
        = QSslCertificate::fromPath(testCertificateFolder() + QStringLiteral("/server.pem"));
    QCOMPARE(valid.size(), 1);
    KWebClient client(QStringLiteral("1.2.3"));
    const qint64 before = logSize();
    client.onSslErrors({ QSslError(QSslError::UnableToGetLocalIssuerCertificate),
        QSslError(QSslError::HostNameMismatch, valid.first()) });
    QStringList messages;
    for (const QString &line : logLinesSince(before)) {
        if (line.contains(QStringLiteral("[KWebClient::onSslErrors]")))
            messages.append(line.section(QLatin1Char('\t'), 2, 2).trimmed());
    }
    QCOMPARE(messages,
        QStringList({ QStringLiteral("Found some SSL error"),
            QStringLiteral("Error is: ")
                + QSslError(QSslError::UnableToGetLocalIssuerCertificate).errorString(),
            QStringLiteral("Certificate is NULL"),
            QStringLiteral("Error is: ") + QSslError(QSslError::HostNameMismatch).errorString(),
            QStringLiteral("Certificate is valid") }));
}

void TestWebClient::untrustedServerIsRefusedAndLogged()
{
    ScopedEnv env("VELMORA_EXTRA_CA_CERTS", QByteArray());
    KWebClient client(QStringLiteral("1.2.3"));
    const qint64 before = logSize();
    QString company;
    bool newUser = false;
    QCOMPARE(client.login(QStringLiteral("ann"), QStringLiteral("pw"), company, newUser), 4);
    QVERIFY(m_server->requests().isEmpty());
    // The request's TLS errors reach the slot on the client's own thread.
    QTRY_VERIFY([&] {
        for (const QString &line : logLinesSince(before)) {
            if (line.contains(QStringLiteral("[web client] TRACE"))
                && line.contains(QStringLiteral("Found some SSL error")))
                return true;
        }
        return false;
    }());
}

void TestWebClient::companyRecordsEdgeCases()
{
    using VM::KCompanyRecords;
    const QString login = QStringLiteral("eve");
    // Damaged values read as no records, without asking for the memory a damaged count names.
    for (const QByteArray &damaged : { QByteArray("\xff\x01garbage"),
             QByteArray::fromHex("00000001 00000009 00 fffffff0 0000000a00"),
             QByteArray::fromHex("00000001 00000009 00 00000001 0000000a 00 7fffffff 0061"),
             QByteArray::fromHex("00000001 00000002 00 00000001"),
             // A text where a record belongs.
             QByteArray::fromHex("00000001 0000000a 00 00000000"),
             QByteArray::fromHex("00000003 0000000a 00 ffffffff 0000000a 00 00000004 006400e9"
                                 "0000000c 00 ffffffff 00000009 00 00000000 00") }) {
        VM::KSettingsManager::saveSetting(
            KCompanyRecords::settingName(login), damaged, VM::KSettingsManager::OfflineCacheScope);
        QVERIFY2(KCompanyRecords::loadCompanyRecords(login).isEmpty(), damaged.toHex().constData());
    }

    KCompanyRecords::saveCompanies(login, { { "a.example", "A" }, { "b.example", "B" } });
    QVERIFY(!KCompanyRecords::storePasswordDigest(login, QStringLiteral("c.example"), "pw"));
    QVERIFY(KCompanyRecords::storePasswordDigest(login, QStringLiteral("b.example"), "pw"));
    // A new list keeps the digest of a domain it still holds and drops the others.
    KCompanyRecords::saveCompanies(login, { { "b.example", "B2" }, { "c.example", "C" } });
    QCOMPARE(KCompanyRecords::loadCompanyRecords(login),
        QList<QVariant>({ record("B2", "b.example", md5("pw")), record("C", "c.example", {}) }));

    KCompanyRecords::forgetCompany(login, QStringLiteral("b.example"));
    KCompanyRecords::forgetCompany(login, QStringLiteral("unknown.example"));
    QCOMPARE(KCompanyRecords::loadCompanyRecords(login),
        QList<QVariant>({ record("C", "c.example", {}) }));
    KCompanyRecords::forgetCompany(login, QStringLiteral("c.example"));
    QVERIFY(!VM::KSettingsManager::readSetting(
        KCompanyRecords::settingName(login), QVariant(), VM::KSettingsManager::OfflineCacheScope)
                 .isValid());
}

void TestWebClient::classifyLogin_data()
{
    QTest::addColumn<QString>("login"); // null: no key
    QTest::addColumn<QString>("deleted"); // null: no key
    QTest::addColumn<QString>("newUser");
    QTest::addColumn<int>("code");
    QTest::addColumn<bool>("isNew");

    const QString none;
    QTest::newRow("1/0 new user") << "1"
                                  << "0"
                                  << "1" << 1 << true;
    QTest::newRow("1/0 old user") << "1"
                                  << "0"
                                  << "0" << 1 << false;
    QTest::newRow("1/0 no new_user") << "1"
                                     << "0" << none << 1 << false;
    QTest::newRow("2/0") << "2"
                         << "0" << none << 2 << false;
    QTest::newRow("0/0") << "0"
                         << "0" << none << 3 << false;
    QTest::newRow("text/0") << "yes"
                            << "0" << none << 3 << false;
    QTest::newRow("-1/0") << "-1"
                          << "0" << none << 7 << false;
    QTest::newRow("-1/1") << "-1"
                          << "1" << none << 7 << false;
    QTest::newRow("-1/-") << "-1" << none << none << 7 << false;
    QTest::newRow("0/1") << "0"
                         << "1" << none << 6 << false;
    QTest::newRow("1/1") << "1"
                         << "1"
                         << "1" << 6 << false;
    QTest::newRow("2/1") << "2"
                         << "1" << none << 6 << false;
    QTest::newRow("no login") << none << "0" << none << 5 << false;
    QTest::newRow("1/-") << "1" << none << none << 5 << false;
    QTest::newRow("2/-") << "2" << none << none << 5 << false;
    QTest::newRow("0/2") << "0"
                         << "2" << none << 5 << false;
    // Numbers beyond 32 bits are no numbers: they never wrap into a verdict.
    QTest::newRow("2^32+1/0") << "4294967297"
                              << "0" << none << 3 << false;
    QTest::newRow("0/2^32+1") << "0"
                              << "4294967297" << none << 3 << false;
    QTest::newRow("1/0 new_user 2^32+1") << "1"
                                         << "0"
                                         << "4294967297" << 1 << false;
}

void TestWebClient::classifyLogin()
{
    QFETCH(QString, login);
    QFETCH(QString, deleted);
    QFETCH(QString, newUser);
    QFETCH(int, code);
    QFETCH(bool, isNew);
    KValueMap answer;
    if (!login.isNull())
        answer.insert(QStringLiteral("login"), login);
    if (!deleted.isNull())
        answer.insert(QStringLiteral("deleted"), deleted);
    if (!newUser.isNull())
        answer.insert(QStringLiteral("new_user"), newUser);
    bool flag = !isNew;
    QCOMPARE(KWebClient::classifyLoginAnswer(answer, &flag), code);
    QCOMPARE(flag, isNew);
}

void TestWebClient::signInStoresOneRecordWithTheLaterDigest()
{
    VM::KCompanyRecords::forgetCompany(QStringLiteral("ann"), QString());
    const QString domain = QStringLiteral("dømo.example");
    m_server->script(
        { ApiTestServer::Answer { 200,
              "login=\"1\"\ndeleted=\"0\"\nnew_user=\"1\"\ndomain=\"" + domain.toUtf8() + "\"\n",
              "SESSION=first; path=/" },
            ApiTestServer::loginOk(domain.toUtf8()) });

    KWebClient client(QStringLiteral("1.2.3"));
    QString company;
    bool newUser = false;
    QCOMPARE(client.login(QStringLiteral("ann"), QStringLiteral("pässword"), company, newUser), 1);
    QVERIFY(newUser);
    QCOMPARE(company, domain);
    QVERIFY(client.isSignedIn());
    QCOMPARE(VM::KCompanyRecords::loadCompanyRecords(QStringLiteral("ann")),
        QList<QVariant>({ record(domain, domain, md5(QStringLiteral("pässword"))) }));

    // The second sign-in sends the company it got, carries the session cookie, and keeps one
    // record whose digest is that of the later password.
    QCOMPARE(client.login(QStringLiteral("ann"), QStringLiteral("other"), company, newUser), 1);
    QVERIFY(!newUser);
    QCOMPARE(VM::KCompanyRecords::loadCompanyRecords(QStringLiteral("ann")),
        QList<QVariant>({ record(domain, domain, md5(QStringLiteral("other"))) }));

    const QList<ApiTestServer::Request> requests = m_server->requests();
    QCOMPARE(requests.size(), 2);
    QCOMPARE(requests[0].method, QStringLiteral("login"));
    QCOMPARE(requests[0].version, QStringLiteral("win1.2.3"));
    QCOMPARE(requests[0].parameters,
        (QHash<QString, QByteArray> { { "login", "ann" }, { "passwd", QByteArray("pässword") } }));
    QCOMPARE(requests[1].parameters.value("company"), domain.toUtf8());
    QCOMPARE(requests[1].cookies, QByteArray("SESSION=first"));
    QVERIFY(requests[1].header.contains("Referer: https://ann@127.0.0.1:"));
}

void TestWebClient::signInWithCompanyList()
{
    m_server->script({ ApiTestServer::loginOk("b.example",
        "company_name[0]=\"Acme \xc3\x9cnion\"\ncompany_domain[0]=\"a.example\"\n"
        "company_domain[1]=\"b.example\"\n") });
    KWebClient client(QStringLiteral("1.2.3"));
    QString company;
    bool newUser = false;
    QList<CompanyEntry> companies { { QStringLiteral("stale"), QStringLiteral("stale") } };
    QCOMPARE(
        client.login(QStringLiteral("bob"), QStringLiteral("pw"), company, newUser, &companies), 1);
    QCOMPARE(companies,
        QList<CompanyEntry>({ { QStringLiteral("a.example"), QStringLiteral("Acme Ünion") } }));
    // The returned domain has no record among the list's, so no digest is stored.
    QCOMPARE(VM::KCompanyRecords::loadCompanyRecords(QStringLiteral("bob")),
        QList<QVariant>({ record(QStringLiteral("Acme Ünion"), QStringLiteral("a.example"), {}) }));
}

void TestWebClient::refusedSignInForgetsRecords_data()
{
    QTest::addColumn<QString>("company");
    QTest::addColumn<QByteArray>("answer");
    QTest::addColumn<int>("code");
    QTest::addColumn<QStringList>("remaining"); // domains left

    QTest::newRow("invalid, no company: all gone")
        << QString() << QByteArray("login=\"0\"\ndeleted=\"0\"\n") << 3 << QStringList();
    QTest::newRow("invalid, one company of two")
        << "a.example" << QByteArray("login=\"0\"\ndeleted=\"0\"\n") << 3
        << QStringList { "b.example" };
    QTest::newRow("deleted user, unknown company")
        << "x.example" << QByteArray("login=\"0\"\ndeleted=\"1\"\n") << 6
        << QStringList { "a.example", "b.example" };
    QTest::newRow("no login key") << "b.example" << QByteArray("result=\"1\"\n") << 5
                                  << QStringList { "a.example" };
    QTest::newRow("login -1") << QString() << QByteArray("login=\"-1\"\n") << 7 << QStringList();
    QTest::newRow("login 2 leaves the records")
        << QString() << QByteArray("login=\"2\"\ndeleted=\"0\"\n") << 2
        << QStringList { "a.example", "b.example" };
}

void TestWebClient::refusedSignInForgetsRecords()
{
    QFETCH(QString, company);
    QFETCH(QByteArray, answer);
    QFETCH(int, code);
    QFETCH(QStringList, remaining);

    const QString login = QStringLiteral("carl");
    VM::KCompanyRecords::saveCompanyRecords(
        login, { record("A", "a.example", md5("1")), record("B", "b.example", md5("2")) });
    m_server->script(
        { ApiTestServer::loginOk("a.example"), ApiTestServer::Answer { 200, answer, {} } });
    KWebClient client(QStringLiteral("1.2.3"));
    QString firstCompany;
    bool newUser = false;
    QCOMPARE(client.login(login, QStringLiteral("pw"), firstCompany, newUser), 1);
    VM::KCompanyRecords::saveCompanyRecords(
        login, { record("A", "a.example", md5("1")), record("B", "b.example", md5("2")) });

    QString given = company;
    QCOMPARE(client.login(login, QStringLiteral("pw"), given, newUser), code);
    QCOMPARE(given, company);
    QCOMPARE(client.isSignedIn(), false);
    QStringList domains;
    for (const QVariant &r : VM::KCompanyRecords::loadCompanyRecords(login))
        domains.append(r.toList().value(1).toString());
    QCOMPARE(domains, remaining);
    if (remaining.isEmpty()) {
        QVERIFY(!VM::KSettingsManager::readSetting(
            login + QStringLiteral("_arr"), QVariant(), VM::KSettingsManager::OfflineCacheScope)
                     .isValid());
    }
}

void TestWebClient::signInWithoutAnswerChangesNothing()
{
    VM::KCompanyRecords::saveCompanyRecords(
        QStringLiteral("dora"), { record("A", "a.example", {}) });
    m_server->script({ ApiTestServer::loginOk("a.example"), ApiTestServer::status(500),
        ApiTestServer::Answer { 200, "!!login\n" + QByteArray(5000, '\xff') + "\n", {} } });
    KWebClient client(QStringLiteral("1.2.3"));
    QSignalSpy lost(&client, &KWebClient::sigLostConnection);
    QString company;
    bool newUser = false;
    QCOMPARE(client.login(QStringLiteral("dora"), QStringLiteral("pw"), company, newUser), 1);
    const QList<QVariant> stored = VM::KCompanyRecords::loadCompanyRecords(QStringLiteral("dora"));

    company = QStringLiteral("a.example");
    QCOMPARE(client.login(QStringLiteral("dora"), QStringLiteral("pw"), company, newUser), 4);
    QCOMPARE(lost.size(), 1);
    QVERIFY(client.isSignedIn());
    QCOMPARE(company, QStringLiteral("a.example"));
    QCOMPARE(VM::KCompanyRecords::loadCompanyRecords(QStringLiteral("dora")), stored);

    // A hostile answer (a block of binary where a number should be) is an unknown verdict.
    QCOMPARE(client.login(QStringLiteral("dora"), QStringLiteral("pw"), company, newUser), 5);
    QVERIFY(!client.isSignedIn());
}

void TestWebClient::signInNeverRelogs()
{
    m_server->script({ ApiTestServer::loginOk("a.example"),
        ApiTestServer::Answer { 200, "auth=\"0\"\nlogin=\"1\"\ndeleted=\"0\"\n", {} } });
    KWebClient client(QStringLiteral("1.2.3"));
    signIn(client);
    QString company;
    bool newUser = false;
    QCOMPARE(client.login(QStringLiteral("ann"), QStringLiteral("secret"), company, newUser), 1);
    QCOMPARE(m_server->methods(), QStringList({ "login", "login" }));
}

// Velmora's settings store is shared: an answer must not be able to bloat it.
void TestWebClient::overlongDomainIsNotStored()
{
    VM::KCompanyRecords::forgetCompany(QStringLiteral("dan"), QString());
    const QString storePath = QSettings(QSettings::NativeFormat, QSettings::UserScope,
        VM::KSettingsManager::organisation(), VM::KSettingsManager::application())
                                  .fileName();
    const qint64 sizeBefore = QFileInfo(storePath).size();
    const QByteArray domain(10000, 'd');
    m_server->script({ ApiTestServer::loginOk(domain) });
    KWebClient client(QStringLiteral("1.2.3"));
    const qint64 before = logSize();
    QString company;
    bool newUser = false;
    QCOMPARE(client.login(QStringLiteral("dan"), QStringLiteral("pw"), company, newUser), 1);
    QVERIFY(client.isSignedIn());

    QVERIFY(VM::KCompanyRecords::loadCompanyRecords(QStringLiteral("dan")).isEmpty());
    QVERIFY2(QFileInfo(storePath).size() - sizeBefore < 4096,
        qPrintable(QString::number(QFileInfo(storePath).size() - sizeBefore)));
    bool warned = false;
    for (const QString &line : logLinesSince(before))
        warned = warned
            || (line.contains(QStringLiteral("The company domain is too long"))
                && line.contains(QStringLiteral(" WARN ")));
    QVERIFY(warned);
}

void TestWebClient::feedbackParameters()
{
    const KValueMap parameters = KWebClient::feedbackParameters(
        QStringLiteral("abc"), QByteArray(), QByteArray(), QByteArray("\x00\xff\x10", 3), true);
    QCOMPARE(parameters,
        (KValueMap { { "message", QByteArray("abc") }, { "memorydump", QByteArray("AP8Q") },
            { "crash", QByteArray("1") } }));

    const KValueMap all = KWebClient::feedbackParameters(QString(), QByteArray("\xfb\xff", 2),
        QByteArray("x"), QByteArray("\xfb\xef\xff", 3), false);
    QCOMPARE(all,
        (KValueMap { { "message", QByteArray("") }, { "screenshot", QByteArray("+/8=") },
            { "localcache", QByteArray("eA==") }, { "memorydump", QByteArray("++//") } }));
    const QByteArray body = encodeForm(all);
    QVERIFY(body.contains("screenshot=%2B%2F8%3D"));
    QVERIFY(body.contains("memorydump=%2B%2B%2F%2F"));
    QVERIFY(body.contains("localcache=eA%3D%3D"));
    QVERIFY(body.contains("message=&") || body.endsWith("message="));
}

void TestWebClient::feedbackBody_data()
{
    QTest::addColumn<QString>("message");
    QTest::addColumn<QByteArray>("screenshot");
    QTest::addColumn<QByteArray>("localCache");
    QTest::addColumn<QByteArray>("dump");
    QTest::addColumn<bool>("crash");

    QByteArray all;
    for (int i = 0; i < 256; ++i)
        all += char(i);
    QTest::newRow("nothing") << QString() << QByteArray() << QByteArray() << QByteArray() << false;
    QTest::newRow("flag only") << QString() << QByteArray() << QByteArray() << QByteArray() << true;
    QTest::newRow("UTF-8 message with form characters")
        << QStringLiteral("Привет & a+b/c=d %20 é") << QByteArray() << QByteArray() << QByteArray()
        << true;
    QTest::newRow("dump of every byte value")
        << QStringLiteral("m") << QByteArray() << QByteArray() << all << true;
    QTest::newRow("Base64 full of +, / and =")
        << QStringLiteral("m") << QByteArray("\xfb\xff", 2) << QByteArray("\xfb\xef\xff")
        << QByteArray(301, '\xff') << false;
    QTest::newRow("all attachments, each padding length")
        << QStringLiteral("report") << all.left(10) << all.right(11) << all.repeated(5).left(1279)
        << true;
}

void TestWebClient::feedbackBody()
{
    QFETCH(QString, message);
    QFETCH(QByteArray, screenshot);
    QFETCH(QByteArray, localCache);
    QFETCH(QByteArray, dump);
    QFETCH(bool, crash);
    QCOMPARE(KWebClient::feedbackBody(message, screenshot, localCache, dump, crash),
        encodeForm(KWebClient::feedbackParameters(message, screenshot, localCache, dump, crash)));
}

void TestWebClient::uploadResult_data()
{
    QTest::addColumn<int>("status");
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<int>("code");

    QTest::newRow("result 1") << 200 << QByteArray("result=\"1\"\n") << 0;
    QTest::newRow("result -1") << 200 << QByteArray("result=\"-1\"\n") << 9;
    QTest::newRow("result 0") << 200 << QByteArray("result=\"0\"\n") << 5;
    QTest::newRow("empty result") << 200 << QByteArray("result=\"\"\n") << 5;
    QTest::newRow("text result") << 200 << QByteArray("result=\"ok\"\n") << 5;
    QTest::newRow("result 2^32+1 is no 1") << 200 << QByteArray("result=\"4294967297\"\n") << 5;
    QTest::newRow("result 2^33-1 is no -1") << 200 << QByteArray("result=\"8589934591\"\n") << 5;
    QTest::newRow("no result") << 200 << QByteArray("message=\"thanks\"\n") << 5;
    QTest::newRow("empty body") << 200 << QByteArray() << 5;
    QTest::newRow("status 403") << 403 << QByteArray("result=\"1\"\n") << 4;
    QTest::newRow("huge line") << 200 << "result=\"1" + QByteArray(1 << 20, '"') + "\n" << 5;
    QTest::newRow("unterminated block")
        << 200 << "!!result\n" + QByteArray(100000, 'x') + "\nresult=\"1\"\n"
        << 5;
    QTest::newRow("binary body") << 200 << QByteArray("\0\xff\n!!\n\x01result=\"1\x00\"", 17) << 5;
}

void TestWebClient::uploadResult()
{
    QFETCH(int, status);
    QFETCH(QByteArray, body);
    QFETCH(int, code);
    m_server->script({ ApiTestServer::loginOk(), ApiTestServer::Answer { status, body, {} } });
    KWebClient client(QStringLiteral("1.2.3"));
    signIn(client);
    QSignalSpy lost(&client, &KWebClient::sigLostConnection);
    QCOMPARE(client.uploadFeedback(
                 QStringLiteral("Hello — ünïcode"), {}, {}, QByteArray("\x00\xff\x10", 3), true),
        code);
    QCOMPARE(lost.size(), code == 4 ? 1 : 0);
    const QList<ApiTestServer::Request> requests = m_server->requests();
    QCOMPARE(requests.size(), 2);
    QCOMPARE(requests[1].method, QStringLiteral("upload_feedback2"));
    QCOMPARE(requests[1].parameters,
        (QHash<QString, QByteArray> { { "message", QStringLiteral("Hello — ünïcode").toUtf8() },
            { "memorydump", "AP8Q" }, { "crash", "1" } }));
}

void TestWebClient::callBeforeSignInSendsNothing()
{
    KWebClient client(QStringLiteral("1.2.3"));
    QSignalSpy lost(&client, &KWebClient::sigLostConnection);
    KValueMap answer;
    QCOMPARE(client.callMethod(QStringLiteral("upload_feedback2"), {}, answer), 4);
    QCOMPARE(client.uploadFeedback(QStringLiteral("x"), {}, {}, {}, false), 4);
    QCOMPARE(lost.size(), 2);
    QVERIFY(answer.isEmpty());
    QVERIFY(m_server->requests().isEmpty());
}

void TestWebClient::status500GivesCode4WithoutLogLine()
{
    m_server->script({ ApiTestServer::loginOk(), ApiTestServer::status(500) });
    KWebClient client(QStringLiteral("1.2.3"));
    signIn(client);
    QSignalSpy successed(&client, &KWebClient::sigRequestSuccessed);
    const qint64 before = logSize();
    QCOMPARE(client.uploadFeedback(QStringLiteral("x"), {}, {}, {}, false), 4);
    QCOMPARE(successed.size(), 0);
    for (const QString &line : logLinesSince(before))
        QVERIFY2(!line.contains(QStringLiteral("KWebClient::")), qPrintable(line));
}

void TestWebClient::noServerGivesCode4()
{
    const quint16 closedPort = unusedLoopbackPort();
    QVERIFY(closedPort != 0);
    const QByteArray host = "127.0.0.1:" + QByteArray::number(closedPort);
    ScopedEnv env("VELMORA_API_HOST", host);
    KWebClient client(QStringLiteral("1.2.3"));
    QSignalSpy lost(&client, &KWebClient::sigLostConnection);
    const qint64 before = logSize();
    QString company;
    bool newUser = false;
    QCOMPARE(client.login(QStringLiteral("ann"), QStringLiteral("pw"), company, newUser), 4);
    QCOMPARE(lost.size(), 1);
    const QString expected = QStringLiteral("Server error: -1, reply: ; url: https://%1/v2/api/"
                                            "execute.php?method=login&ver=win1.2.3")
                                 .arg(QString::fromLatin1(host));
    bool found = false;
    for (const QString &line : logLinesSince(before))
        found = found || (line.contains(expected) && line.contains(QStringLiteral(" INFO ")));
    QVERIFY(found);
}

void TestWebClient::uploadOfADumpFile_data()
{
    QTest::addColumn<QByteArray>("dump"); // null: no file
    QTest::addColumn<int>("code");
    QTest::addColumn<QStringList>("methods");

    QByteArray dump(3000, Qt::Uninitialized);
    QRandomGenerator generator(3);
    for (char &c : dump)
        c = char(generator.bounded(256));
    QTest::newRow("dump of several chunks")
        << dump << 0 << QStringList { "login", "upload_feedback2" };
    QTest::newRow("empty file: no dump, as with empty bytes")
        << QByteArray("") << 0 << QStringList { "login", "upload_feedback2" };
    QTest::newRow("missing file: nothing is sent") << QByteArray() << 4 << QStringList { "login" };
}

void TestWebClient::uploadOfADumpFile()
{
    QFETCH(QByteArray, dump);
    QFETCH(int, code);
    QFETCH(QStringList, methods);
    QTemporaryDir folder;
    const QString path = folder.filePath(QStringLiteral("crash.dmp"));
    if (!dump.isNull()) {
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly) && file.write(dump) == dump.size());
    }

    m_server->script({ ApiTestServer::loginOk() });
    KWebClient client(QStringLiteral("1.2.3"));
    signIn(client);
    QSignalSpy lost(&client, &KWebClient::sigLostConnection);
    const qint64 before = logSize();
    QCOMPARE(client.uploadFeedbackFile(QStringLiteral("Hello — ünïcode"), path, true), code);
    QCOMPARE(m_server->methods(), methods);
    QCOMPARE(lost.size(), code == 4 ? 1 : 0);
    if (code == 4) {
        const QString log = logLinesSince(before).join(QLatin1Char('\n'));
        QVERIFY2(
            log.contains(QStringLiteral("The report cannot be sent: cannot open the file ") + path),
            qPrintable(log));
        return;
    }
    // The same parameters as the upload of the dump's bytes.
    QHash<QString, QByteArray> expected { { "message", QStringLiteral("Hello — ünïcode").toUtf8() },
        { "crash", "1" } };
    if (!dump.isEmpty())
        expected.insert(QStringLiteral("memorydump"), dump.toBase64());
    QCOMPARE(m_server->requests().at(1).parameters, expected);
}

void TestWebClient::reloginThenResendOnce_data()
{
    QTest::addColumn<QByteArray>("dump");
    QTest::addColumn<bool>("fromFile");

    QByteArray large(2500, Qt::Uninitialized);
    QRandomGenerator generator(5);
    for (char &c : large)
        c = char(generator.bounded(256));
    QTest::newRow("dump bytes") << QByteArray("dump") << false;
    // The re-send reads the file again from its first byte.
    QTest::newRow("dump file of several chunks") << large << true;
}

void TestWebClient::reloginThenResendOnce()
{
    QFETCH(QByteArray, dump);
    QFETCH(bool, fromFile);
    QTemporaryDir folder;
    const QString path = folder.filePath(QStringLiteral("crash.dmp"));
    {
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly) && file.write(dump) == dump.size());
    }
    m_server->script({ ApiTestServer::loginOk("a.example"), ApiTestServer::authLost(),
        ApiTestServer::loginOk("a.example"), ApiTestServer::result("1") });
    KWebClient client(QStringLiteral("1.2.3"));
    signIn(client);
    QSignalSpy successed(&client, &KWebClient::sigRequestSuccessed);
    QSignalSpy lost(&client, &KWebClient::sigLostConnection);
    const qint64 before = logSize();
    QCOMPARE(fromFile ? client.uploadFeedbackFile(QStringLiteral("report"), path, true)
                      : client.uploadFeedback(QStringLiteral("report"), {}, {}, dump, true),
        0);

    const QList<ApiTestServer::Request> requests = m_server->requests();
    QCOMPARE(m_server->methods(),
        QStringList({ "login", "upload_feedback2", "login", "upload_feedback2" }));
    QCOMPARE(requests[2].parameters,
        (QHash<QString, QByteArray> {
            { "login", "ann" }, { "passwd", "secret" }, { "company", "a.example" } }));
    QCOMPARE(requests[1].parameters.value("memorydump"), dump.toBase64());
    QCOMPARE(requests[3].parameters, requests[1].parameters);
    QVERIFY(requests[3].cookies != requests[1].cookies);
    QCOMPARE(successed.size(), 3);
    QCOMPARE(lost.size(), 0);
    const QString log = logLinesSince(before).join(QLatin1Char('\n'));
    QVERIFY(
        log.contains(QStringLiteral("Server forgot us. We must try to re-login to the system.")));
    QVERIFY(log.contains(QStringLiteral("Use login/password from the last session")));
    QVERIFY(log.contains(QStringLiteral("Server forgot us. Login-ok. Re-send request.")));
}

void TestWebClient::secondLostSessionIsReturnedUnchanged()
{
    m_server->script({ ApiTestServer::loginOk(), ApiTestServer::authLost(),
        ApiTestServer::loginOk(), ApiTestServer::authLost() });
    KWebClient client(QStringLiteral("1.2.3"));
    signIn(client);
    KValueMap answer;
    QCOMPARE(client.callMethod(
                 QStringLiteral("upload_feedback2"), { { "message", QByteArray("m") } }, answer),
        5);
    QCOMPARE(answer.value("auth").toString(), QStringLiteral("0"));
    QCOMPARE(m_server->requests().size(), 4);
    QVERIFY(client.isSignedIn());
}

void TestWebClient::failedRelogin_data()
{
    QTest::addColumn<QByteArray>("reloginAnswer");
    QTest::addColumn<int>("reloginStatus");
    QTest::addColumn<QString>("logLine");
    QTest::addColumn<int>("requireAuth");
    QTest::addColumn<int>("userDeleted");
    QTest::addColumn<bool>("signedInAfter");

    QTest::newRow("invalid login")
        << QByteArray("login=\"0\"\ndeleted=\"0\"\n") << 200
        << "Server forgot us. Failed of re-login. Invalid login (ann)" << 1 << 0 << false;
    QTest::newRow("user deleted")
        << QByteArray("login=\"0\"\ndeleted=\"1\"\n") << 200
        << "Server forgot us. Failed of re-login. User was deleted on the server (ann)" << 0 << 1
        << false;
    QTest::newRow("no answer") << QByteArray() << 502
                               << "Server forgot us. Failed of re-login. Network error." << 0 << 0
                               << true;
    QTest::newRow("unknown verdict")
        << QByteArray("result=\"1\"\n") << 200
        << "Server forgot us. Failed of re-login. Network error." << 0 << 0 << false;
}

void TestWebClient::failedRelogin()
{
    QFETCH(QByteArray, reloginAnswer);
    QFETCH(int, reloginStatus);
    QFETCH(QString, logLine);
    QFETCH(int, requireAuth);
    QFETCH(int, userDeleted);
    QFETCH(bool, signedInAfter);

    m_server->script({ ApiTestServer::loginOk(), ApiTestServer::authLost(),
        ApiTestServer::Answer { reloginStatus, reloginAnswer, {} } });
    KWebClient client(QStringLiteral("1.2.3"));
    signIn(client);
    QSignalSpy requireSpy(&client, &KWebClient::sigRequireAuth);
    QSignalSpy deletedSpy(&client, &KWebClient::sigUserWasDeleted);
    QSignalSpy lost(&client, &KWebClient::sigLostConnection);
    const qint64 before = logSize();
    QCOMPARE(client.uploadFeedback(QStringLiteral("x"), {}, {}, {}, false), 4);
    QCOMPARE(requireSpy.size(), requireAuth);
    QCOMPARE(deletedSpy.size(), userDeleted);
    QVERIFY(lost.size() >= 1);
    QCOMPARE(client.isSignedIn(), signedInAfter);
    QCOMPARE(m_server->requests().size(), 3);
    bool found = false;
    for (const QString &line : logLinesSince(before))
        found = found || (line.contains(logLine) && line.contains(QStringLiteral(" WARN ")));
    QVERIFY2(found, qPrintable(logLine));
}

void TestWebClient::abortStopsTheUpload_data()
{
    QTest::addColumn<bool>("fromProgressSlot");
    QTest::newRow("from another thread") << false;
    QTest::newRow("from a progress slot on the calling thread") << true;
}

void TestWebClient::abortStopsTheUpload()
{
    QFETCH(bool, fromProgressSlot);
    m_server->script({ ApiTestServer::loginOk() });
    KWebClient client(QStringLiteral("1.2.3"));
    // An abort while nothing runs does not reach the next operation.
    client.abortRequest();
    signIn(client);

    // About 270 KB of form body: half a minute of paced writing if nothing stopped it.
    QByteArray dump(200 * 1024, '\0');
    QRandomGenerator generator(7);
    for (char &c : dump)
        c = char(generator.bounded(256));
    std::atomic<bool> progressSeen { false };
    QSignalSpy progress(&client, &KWebClient::uploadProgress);
    connect(
        &client, &KWebClient::uploadProgress, this,
        [&](qint64 sent, qint64 total) {
            if (sent > 0 && sent < total) {
                progressSeen.store(true);
                if (fromProgressSlot)
                    client.abortRequest();
            }
        },
        Qt::DirectConnection);
    std::thread aborter([&] {
        if (fromProgressSlot)
            return;
        while (!progressSeen.load())
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        client.abortRequest();
    });
    QSignalSpy lost(&client, &KWebClient::sigLostConnection);
    QElapsedTimer clock;
    clock.start();
    const int code = client.uploadFeedback(QStringLiteral("x"), {}, {}, dump, true);
    const qint64 elapsed = clock.elapsed();
    aborter.join();
    QCOMPARE(code, 4);
    QCOMPARE(lost.size(), 1);
    QVERIFY(progressSeen.load());
    QVERIFY2(elapsed < 15000, qPrintable(QString::number(elapsed)));
    QVERIFY(progress.size() >= 1);
    QCOMPARE(m_server->methods(), QStringList({ "login" }));

    // The client stays usable.
    QCOMPARE(client.uploadFeedback(QStringLiteral("again"), {}, {}, {}, false), 0);
}

// The answer is in and being parsed when the abort comes: the upload ends with code 4 and no
// later step, without parsing the rest.
void TestWebClient::abortWhileParsingEndsTheUpload()
{
    QByteArray body;
    for (int i = 0; i < 600000; ++i)
        body += "filler=\"" + QByteArray::number(i) + "\"\n";
    body += "result=\"1\"\n";
    m_server->script({ ApiTestServer::loginOk(), ApiTestServer::Answer { 200, body, {} } });
    KWebClient client(QStringLiteral("1.2.3"));
    signIn(client);

    TestLogCapture log;
    std::atomic<bool> stop { false };
    std::atomic<bool> abortedAfterAnswer { false };
    std::thread aborter([&] {
        while (!stop.load()) {
            if (!log.matching(QStringLiteral("Answer received; url: ")).isEmpty()) {
                client.abortRequest();
                abortedAfterAnswer.store(true);
                return;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
    });
    QSignalSpy successed(&client, &KWebClient::sigRequestSuccessed);
    QSignalSpy lost(&client, &KWebClient::sigLostConnection);
    const int code = client.uploadFeedback(QStringLiteral("x"), {}, {}, QByteArray("dump"), true);
    stop.store(true);
    aborter.join();
    QVERIFY(abortedAfterAnswer.load());
    QCOMPARE(code, 4);
    QCOMPARE(successed.size(), 0);
    QCOMPARE(lost.size(), 1);
    QCOMPARE(m_server->methods(), QStringList({ "login", "upload_feedback2" }));
}

// An answer header past its limit fails the request like any broken answer.
void TestWebClient::oversizedAnswerGivesCode4()
{
    m_server->script({ ApiTestServer::loginOk(),
        ApiTestServer::Answer { 200, "result=\"1\"\n", "big=" + QByteArray(70000, 'c') } });
    KWebClient client(QStringLiteral("1.2.3"));
    signIn(client);
    const qint64 before = logSize();
    QCOMPARE(client.uploadFeedback(QStringLiteral("x"), {}, {}, QByteArray("dump"), true), 4);
    bool logged = false;
    for (const QString &line : logLinesSince(before))
        logged = logged
            || (line.contains(QStringLiteral("The answer is too large; url = "))
                && line.contains(QStringLiteral(" INFO ")));
    QVERIFY(logged);
}

void TestWebClient::lastFailureNamesWhatWentWrong_data()
{
    QTest::addColumn<QString>("cause");
    QTest::addColumn<int>("kind");
    QTest::addColumn<QString>("detail"); // empty: any

    QTest::newRow("answer") << "answer" << int(KTransportFailure::None) << "";
    QTest::newRow("status 500") << "status 500" << int(KTransportFailure::HttpStatus) << "500 Oops";
    QTest::newRow("refused port") << "closed port" << int(KTransportFailure::ConnectFailed) << "";
    QTest::newRow("untrusted certificate")
        << "self-signed" << int(KTransportFailure::CertificateUntrusted) << "";
    QTest::newRow("silent server") << "silence" << int(KTransportFailure::Silence) << "";
    QTest::newRow("early close") << "close before the header"
                                 << int(KTransportFailure::ClosedBeforeHeader) << "";
    QTest::newRow("invalid header")
        << "no status line" << int(KTransportFailure::InvalidHeader) << "";
    QTest::newRow("broken stream") << "short body" << int(KTransportFailure::BrokenStream) << "";
    QTest::newRow("too large") << "huge header" << int(KTransportFailure::AnswerTooLarge) << "";
    QTest::newRow("early answer") << "early 413" << int(KTransportFailure::AnsweredEarly)
                                  << "413 Too Large";
    QTest::newRow("abort") << "abort" << int(KTransportFailure::Aborted) << "";
}

// Each cause, met for real on a sign-in, leaves its kind behind; the next operation starts clean.
void TestWebClient::lastFailureNamesWhatWentWrong()
{
    QFETCH(QString, cause);
    QFETCH(int, kind);
    QFETCH(QString, detail);

    const QByteArray loginOk = "login=\"1\"\ndeleted=\"0\"\ndomain=\"acme.example\"\n";
    QByteArray answer = "HTTP/1.0 200 OK\r\nContent-Length: " + QByteArray::number(loginOk.size())
        + "\r\n\r\n" + loginOk;
    if (cause == QLatin1String("status 500"))
        answer = "HTTP/1.0 500 Oops\r\nContent-Length: 0\r\n\r\n";
    else if (cause == QLatin1String("close before the header"))
        answer = "HTTP/1.0 200 OK\r\nContent-Le";
    else if (cause == QLatin1String("no status line"))
        answer = "220 ready\r\nServer: mail\r\n\r\n";
    else if (cause == QLatin1String("short body"))
        answer = "HTTP/1.0 200 OK\r\nContent-Length: 90\r\n\r\n" + loginOk;
    else if (cause == QLatin1String("huge header"))
        answer = "HTTP/1.0 200 OK\r\nX-Pad: "
            + QByteArray(int(KNetworkReply::maxAnswerHeaderBytes), 'p') + "\r\n\r\n";
    const bool early = cause == QLatin1String("early 413");
    const bool silent = cause == QLatin1String("silence") || cause == QLatin1String("abort");
    std::atomic<bool> requestRead { false };
    TestHttpServer server(
        [&](TestConnection &connection) {
            connection.readRequest(early ? 300 : 5000);
            requestRead.store(true);
            if (early)
                answer = "HTTP/1.0 413 Too Large\r\n\r\n";
            if (silent) {
                connection.waitForClientClose(10000);
                return;
            }
            connection.write(answer);
            if (early)
                connection.waitForClientClose(10000);
            connection.close();
        },
        cause == QLatin1String("self-signed") ? TestIdentity::SelfSigned : TestIdentity::Server);
    QByteArray host = "127.0.0.1:" + QByteArray::number(server.port());
    if (cause == QLatin1String("closed port")) {
        const quint16 closedPort = unusedLoopbackPort();
        QVERIFY(closedPort != 0);
        host = "127.0.0.1:" + QByteArray::number(closedPort);
    }
    ScopedEnv apiHost("VELMORA_API_HOST", host);
    ScopedEnv authority("VELMORA_EXTRA_CA_CERTS", testCaPath().toLocal8Bit());
    const KNetworkReply::Timeouts saved = KNetworkReply::defaultTimeouts();
    KNetworkReply::Timeouts timeouts = saved;
    timeouts.silenceMs = 300;
    KNetworkReply::setDefaultTimeouts(timeouts);
    const auto restore = qScopeGuard([saved] { KNetworkReply::setDefaultTimeouts(saved); });

    KWebClient client(QStringLiteral("1.2.3"));
    std::thread aborter([&] {
        if (cause != QLatin1String("abort"))
            return;
        QDeadlineTimer deadline(10000);
        while (!requestRead.load() && !deadline.hasExpired())
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        client.abortRequest();
    });
    TestLogCapture log;
    QString company;
    bool newUser = false;
    // Long enough for the early answer to come while the request is still going out.
    const QString password = early ? QString(3000, QLatin1Char('p')) : QStringLiteral("secret");
    const int code = client.login(QStringLiteral("ann"), password, company, newUser);
    aborter.join();
    QCOMPARE(code,
        kind == KTransportFailure::None ? int(KWebClient::LoginOk)
                                        : int(KWebClient::LoginNoAnswer));
    const KTransportFailure failure = client.lastFailure();
    QVERIFY2(int(failure.kind) == kind,
        qPrintable(
            KTransportFailure::kindName(failure.kind) + QStringLiteral(": ") + failure.detail));
    if (!detail.isEmpty())
        QCOMPARE(failure.detail, detail);
    // An abort is told once, by the client.
    if (kind == KTransportFailure::Aborted)
        QCOMPARE(log.matching(QStringLiteral("Request aborted")).size(), 1);

    // The next operation forgets it (not signed in, it sends nothing).
    if (kind != KTransportFailure::None) {
        KValueMap ignored;
        QCOMPARE(
            client.callMethod(QStringLiteral("echo"), {}, ignored), int(KWebClient::CallFailed));
        QCOMPARE(client.lastFailure().kind, KTransportFailure::None);
    }
}

// Starts devservice with the test certificates and the account erin:s3cret:erin.example plus the
// given switches; host receives "127.0.0.1:PORT" from its first line.
static bool startDevservice(QProcess &service, const QString &certificates, const QString &store,
    const QStringList &switches, QByteArray *host)
{
    service.start(devserviceBinary(),
        QStringList { QStringLiteral("--certs"), certificates, QStringLiteral("--port"),
            QStringLiteral("0"), QStringLiteral("--store"), store, QStringLiteral("--account"),
            QStringLiteral("erin:s3cret:erin.example") }
            + switches);
    if (!service.waitForStarted(10000))
        return false;
    QByteArray line;
    QDeadlineTimer deadline(10000);
    while (!line.endsWith('\n') && !deadline.hasExpired()) {
        if (!service.canReadLine())
            service.waitForReadyRead(100);
        line += service.readLine();
    }
    if (!line.startsWith("listening on 127.0.0.1:"))
        return false;
    *host = line.mid(13).trimmed();
    return true;
}

void TestWebClient::devserviceSwitches_data()
{
    QTest::addColumn<QStringList>("switches");
    QTest::addColumn<QString>("password");
    QTest::addColumn<int>("loginCode");
    QTest::addColumn<int>("uploadCode");

    QTest::newRow("refused uploads") << QStringList { "--refuse-uploads" } << "s3cret" << 1 << 9;
    QTest::newRow("forced status") << QStringList { "--status", "503" } << "s3cret" << 4 << 4;
    QTest::newRow("wrong password") << QStringList() << "wrong" << 3 << 4;
    QTest::newRow("session gone at once")
        << QStringList { "--expire-after", "0" } << "s3cret" << 1 << 5;
}

void TestWebClient::devserviceSwitches()
{
    QFETCH(QStringList, switches);
    QFETCH(QString, password);
    QFETCH(int, loginCode);
    QFETCH(int, uploadCode);
    QTemporaryDir store;
    QProcess service;
    auto cleanup = qScopeGuard([&service] {
        service.kill();
        service.waitForFinished(5000);
    });
    QByteArray host;
    QVERIFY(startDevservice(service, testCertificateFolder(), store.path(), switches, &host));
    ScopedEnv env("VELMORA_API_HOST", host);
    KWebClient client(QStringLiteral("1.2.3"));
    QString company;
    bool newUser = false;
    QCOMPARE(client.login(QStringLiteral("erin"), password, company, newUser), loginCode);
    QCOMPARE(client.uploadFeedback(QStringLiteral("m"), {}, {}, QByteArray("d"), true), uploadCode);
    QCOMPARE(QDir(store.path()).entryList(QDir::Dirs | QDir::NoDotAndDotDot), QStringList());
}

void TestWebClient::endToEndWithDevservice()
{
    QTemporaryDir store;
    QProcess service;
    auto cleanup = qScopeGuard([&service] {
        service.kill();
        service.waitForFinished(5000);
    });
    QByteArray host;
    QVERIFY(startDevservice(service, testCertificateFolder(), store.path(),
        { QStringLiteral("--expire-after"), QStringLiteral("1") }, &host));
    ScopedEnv env("VELMORA_API_HOST", host);

    KWebClient client(QStringLiteral("1.2.3"));
    QString company;
    bool newUser = false;
    QCOMPARE(client.login(QStringLiteral("erin"), QStringLiteral("s3cret"), company, newUser), 1);
    QCOMPARE(company, QStringLiteral("erin.example"));

    QByteArray dump(50 * 1024, '\0');
    QRandomGenerator generator(42);
    for (char &c : dump)
        c = char(generator.bounded(256));
    const QString message = QStringLiteral("Windows (Unknown)\nThe comment — ünïcode ✓");
    QCOMPARE(client.uploadFeedback(message, {}, {}, dump, true), 0);

    // The service prints the line once the report is on disk.
    auto storedFolder = [&service] {
        QByteArray text;
        QDeadlineTimer deadline(10000);
        while (!text.endsWith('\n') && !deadline.hasExpired()) {
            if (!service.canReadLine())
                service.waitForReadyRead(100);
            text += service.readLine();
        }
        return text.startsWith("stored report ") ? QString::fromLocal8Bit(text.mid(14).trimmed())
                                                 : QString();
    };
    const QString folder = storedFolder();
    QVERIFY(!folder.isEmpty());
    QFile storedDump(folder + QStringLiteral("/memorydump.bin"));
    QVERIFY(storedDump.open(QIODevice::ReadOnly));
    QVERIFY(storedDump.readAll() == dump);
    QFile storedMessage(folder + QStringLiteral("/message.txt"));
    QVERIFY(storedMessage.open(QIODevice::ReadOnly));
    QCOMPARE(QString::fromUtf8(storedMessage.readAll()), message);

    // The service forgets the session after one upload: the next one signs in again by itself.
    QCOMPARE(client.uploadFeedback(QStringLiteral("second"), {}, {}, QByteArray("d"), false), 0);
    const QString second = storedFolder();
    QVERIFY(!second.isEmpty() && second != folder);
}

QTEST_MAIN(TestWebClient)
#include "tst_webclient.moc"
