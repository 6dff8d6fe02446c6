#include "settings/ksettingsmanager.h"
#include "support/testenvironment.h"

#include <QtTest>

using VM::KSettingsManager;

Q_DECLARE_METATYPE(KSettingsManager::Key)

class TestSettings : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void versionStamp_data();
    void versionStamp();
    void scopes();
    void unscramble_data();
    void unscramble();
    void readers();
    void keyNames_data();
    void keyNames();
    void plainPassword_data();
    void plainPassword();
};

void TestSettings::versionStamp_data()
{
    QTest::addColumn<QVariant>("stored"); // invalid: a fresh store
    QTest::addColumn<int>("version");
    QTest::addColumn<int>("stamp");
    QTest::addColumn<bool>("flagsSet");
    QTest::newRow("fresh store, newer version") << QVariant() << 0x10203 << 0x10200 << true;
    QTest::newRow("fresh store, default version") << QVariant() << 0x101ff << 0x10100 << false;
    QTest::newRow("same stamp") << QVariant(0x10200) << 0x102ff << 0x10200 << false;
    QTest::newRow("older stamp") << QVariant(0x10100) << 0x20005 << 0x20000 << true;
    QTest::newRow("newer stamp goes down") << QVariant(0x20000) << 0x10200 << 0x10200 << false;
}

void TestSettings::versionStamp()
{
    QFETCH(QVariant, stored);
    QFETCH(int, version);
    QFETCH(int, stamp);
    QFETCH(bool, flagsSet);
    TestEnvironment home;
    {
        QSettings store(QSettings::NativeFormat, QSettings::UserScope, "Co", "Soft");
        if (stored.isValid())
            store.setValue("SettingsVersion", stored);
    }
    home.useSettings(version, "Co", "Soft");
    QSettings store(QSettings::NativeFormat, QSettings::UserScope, "Co", "Soft");
    QCOMPARE(store.value("SettingsVersion").toInt(), stamp);
    QCOMPARE(store.contains("AutoLogin_vm"), flagsSet);
    QCOMPARE(store.contains("Remember_vm"), flagsSet);
    if (flagsSet) {
        QCOMPARE(store.value("AutoLogin_vm").toBool(), true);
        QCOMPARE(store.value("Remember_vm").toBool(), true);
    }
    // The store lies where Velmora on this system keeps it.
    QVERIFY(QFile::exists(home.path() + "/.config/Co/Soft.conf"));
}

void TestSettings::scopes()
{
    TestEnvironment home;
    home.useSettings(0x10000, "Co", "Soft");
    KSettingsManager::saveSetting("key", "top");
    KSettingsManager::saveSetting("key", "cached", KSettingsManager::OfflineCacheScope);
    QCOMPARE(KSettingsManager::readSetting("key").toString(), QStringLiteral("top"));
    QCOMPARE(
        KSettingsManager::readSetting("key", {}, KSettingsManager::OfflineCacheScope).toString(),
        QStringLiteral("cached"));
    QCOMPARE(KSettingsManager::readSetting("missing", 42).toInt(), 42);
    KSettingsManager::removeSetting("missing");
    KSettingsManager::removeSetting("key", KSettingsManager::OfflineCacheScope);
    QVERIFY(
        !KSettingsManager::readSetting("key", {}, KSettingsManager::OfflineCacheScope).isValid());
    QCOMPARE(KSettingsManager::readSetting("key").toString(), QStringLiteral("top"));
    QSettings store(QSettings::NativeFormat, QSettings::UserScope, "Co", "Soft");
    QVERIFY(store.childGroups().isEmpty() || !store.contains("offcache/key"));
}

void TestSettings::unscramble_data()
{
    QTest::addColumn<QByteArray>("stored");
    QTest::addColumn<QString>("text");
    QTest::newRow("plain bytes as Latin-1")
        << QByteArray("secr\xe9t") << QString::fromUtf8("secrét");
    QTest::newRow("marker alone") << QByteArray("~%~::?") << QString();
    QTest::newRow("empty") << QByteArray() << QString();
    QByteArray scrambled("~%~::?");
    for (char c : QByteArray("p\xc3\xa4ss"))
        scrambled += char(uchar(c) ^ KSettingsManager::ScrambleKey);
    QTest::newRow("scrambled UTF-8") << scrambled << QString::fromUtf8("päss");
}

void TestSettings::unscramble()
{
    QFETCH(QByteArray, stored);
    QFETCH(QString, text);
    QCOMPARE(KSettingsManager::unscramble(stored), text);
    if (stored.startsWith("~%~::?"))
        QCOMPARE(KSettingsManager::scramble(text), stored);
}

void TestSettings::readers()
{
    TestEnvironment home;
    home.useSettings(0x10000, "Co", "Soft");
    QCOMPARE(KSettingsManager::login(), QString());
    QCOMPARE(KSettingsManager::password(), QString());
    KSettingsManager::saveSetting("Login_vm", " someone ");
    KSettingsManager::saveSetting("Passwd_vm", KSettingsManager::scramble("pa ss=word"));
    KSettingsManager::saveSetting("ProxyUser", "proxy");
    KSettingsManager::saveSetting("ProxyPass", "~%~::?plain");
    QCOMPARE(KSettingsManager::login(), QStringLiteral(" someone "));
    QCOMPARE(KSettingsManager::password(), QStringLiteral("pa ss=word"));
    QCOMPARE(KSettingsManager::proxyUser(), QStringLiteral("proxy"));
    QCOMPARE(KSettingsManager::proxyPassword(), QStringLiteral("~%~::?plain"));
}

void TestSettings::keyNames_data()
{
    QTest::addColumn<KSettingsManager::Key>("key");
    QTest::addColumn<QString>("name");
    // The names Velmora reads and writes: they never change.
    QTest::newRow("settings version")
        << KSettingsManager::Key::SettingsVersion << "SettingsVersion";
    QTest::newRow("automatic sign-in") << KSettingsManager::Key::AutoLogin << "AutoLogin_vm";
    QTest::newRow("remember me") << KSettingsManager::Key::Remember << "Remember_vm";
    QTest::newRow("login") << KSettingsManager::Key::Login << "Login_vm";
    QTest::newRow("password") << KSettingsManager::Key::Password << "Passwd_vm";
    QTest::newRow("proxy user") << KSettingsManager::Key::ProxyUser << "ProxyUser";
    QTest::newRow("proxy password") << KSettingsManager::Key::ProxyPassword << "ProxyPass";
}

void TestSettings::keyNames()
{
    QFETCH(KSettingsManager::Key, key);
    QFETCH(QString, name);
    TestEnvironment home;
    home.useSettings(0x10000, "Co", "Soft");
    QCOMPARE(KSettingsManager::keyName(key), name);

    // A value of the table lands at the top level of the store under that name, and goes again.
    KSettingsManager::saveSetting(key, QStringLiteral("value"));
    QSettings store(QSettings::NativeFormat, QSettings::UserScope, "Co", "Soft");
    QCOMPARE(store.value(name).toString(), QStringLiteral("value"));
    QCOMPARE(KSettingsManager::readSetting(key).toString(), QStringLiteral("value"));
    KSettingsManager::removeSetting(key);
    store.sync();
    QVERIFY(!store.contains(name));
}

void TestSettings::plainPassword_data()
{
    QTest::addColumn<QVariant>("stored");
    QTest::addColumn<QString>("password");
    QTest::newRow("text with a Latin-1 letter")
        << QVariant(QString::fromUtf8("päss")) << QString::fromUtf8("päss");
    QTest::newRow("text with Cyrillic letters")
        << QVariant(QString::fromUtf8("пароль")) << QString::fromUtf8("пароль");
    QTest::newRow("ASCII text") << QVariant(QStringLiteral("pa ss")) << QStringLiteral("pa ss");
    QTest::newRow("scrambled bytes")
        << QVariant(KSettingsManager::scramble(QString::fromUtf8("päss")))
        << QString::fromUtf8("päss");
}

void TestSettings::plainPassword()
{
    QFETCH(QVariant, stored);
    QFETCH(QString, password);
    TestEnvironment home;
    home.useSettings(0x10000, "Co", "Soft");
    {
        // Written as Velmora writes a remembered password that it keeps as plain text.
        QSettings store(QSettings::NativeFormat, QSettings::UserScope, "Co", "Soft");
        store.setValue("Passwd_vm", stored);
    }
    QCOMPARE(KSettingsManager::password(), password);
}

QTEST_GUILESS_MAIN(TestSettings)
#include "tst_settings.moc"
