#include "settings/ksettingsmanager.h"

#include <QMutex>
#include <QMutexLocker>
#include <QSettings>

#include <memory>

namespace VM {

namespace {
struct StoreNames
{
    QMutex mutex;
    QString organisation;
    QString application;
    int settingsVersion = 0;
};

StoreNames &names()
{
    static StoreNames value;
    return value;
}

std::unique_ptr<QSettings> openStore(KSettingsManager::SettingsScope scope)
{
    auto store = std::make_unique<QSettings>(QSettings::NativeFormat, QSettings::UserScope,
        KSettingsManager::organisation(), KSettingsManager::application());
    if (scope == KSettingsManager::OfflineCacheScope)
        store->beginGroup(QStringLiteral("offcache"));
    return store;
}

// clang-format off
struct KeyName
{
    KSettingsManager::Key key;
    const char *name;
};
constexpr KeyName keyNames[] = {
    { KSettingsManager::Key::SettingsVersion, "SettingsVersion" },
    { KSettingsManager::Key::AutoLogin,       "AutoLogin_vm" },
    { KSettingsManager::Key::Remember,        "Remember_vm" },
    { KSettingsManager::Key::Login,           "Login_vm" },
    { KSettingsManager::Key::Password,        "Passwd_vm" },
    { KSettingsManager::Key::ProxyUser,       "ProxyUser" },
    { KSettingsManager::Key::ProxyPassword,   "ProxyPass" },
};
// clang-format on

constexpr qsizetype markerLength = sizeof(KSettingsManager::ScrambledMarker) - 1;
} // namespace

QString KSettingsManager::keyName(Key key)
{
    for (const KeyName &entry : keyNames) {
        if (entry.key == key)
            return QString::fromLatin1(entry.name);
    }
    Q_UNREACHABLE();
    return QString();
}

void KSettingsManager::init(int version, const QString &organisation, const QString &application)
{
    const int settingsVersion = version & ~0xFF;
    {
        QMutexLocker lock(&names().mutex);
        names().settingsVersion = settingsVersion;
        names().organisation = organisation;
        names().application = application;
    }
    // One opening of the store for the whole stamp: every write costs a synced file on disk, and
    // the reporter's window waits for this step.
    const auto store = openStore(ApplicationScope);
    const QString versionKey = keyName(Key::SettingsVersion);
    const QVariant storedValue = store->value(versionKey);
    const int stored = storedValue.isValid() ? storedValue.toInt() : DefaultSettingsVersion;
    if (stored < settingsVersion) {
        store->setValue(keyName(Key::AutoLogin), true);
        store->setValue(keyName(Key::Remember), true);
    }
    // Always stamped, also downwards; an equal stamp already stands as it would be written.
    if (!storedValue.isValid() || stored != settingsVersion)
        store->setValue(versionKey, settingsVersion);
}

QVariant KSettingsManager::readSetting(
    const QString &key, const QVariant &defaultValue, SettingsScope scope)
{
    return openStore(scope)->value(key, defaultValue);
}

void KSettingsManager::saveSetting(const QString &key, const QVariant &value, SettingsScope scope)
{
    openStore(scope)->setValue(key, value);
}

void KSettingsManager::removeSetting(const QString &key, SettingsScope scope)
{
    const auto store = openStore(scope);
    if (store->contains(key))
        store->remove(key);
}

QVariant KSettingsManager::readSetting(Key key, const QVariant &defaultValue)
{
    return readSetting(keyName(key), defaultValue);
}

void KSettingsManager::saveSetting(Key key, const QVariant &value)
{
    saveSetting(keyName(key), value);
}

void KSettingsManager::removeSetting(Key key)
{
    removeSetting(keyName(key));
}

QString KSettingsManager::unscramble(const QByteArray &stored)
{
    if (!stored.startsWith(ScrambledMarker))
        return QString::fromLatin1(stored);
    QByteArray bytes = stored.mid(markerLength);
    for (char &c : bytes)
        c = char(static_cast<unsigned char>(c) ^ ScrambleKey);
    return QString::fromUtf8(bytes);
}

QByteArray KSettingsManager::scramble(const QString &text)
{
    QByteArray bytes = text.toUtf8();
    for (char &c : bytes)
        c = char(static_cast<unsigned char>(c) ^ ScrambleKey);
    return QByteArray(ScrambledMarker) + bytes;
}

QString KSettingsManager::organisation()
{
    QMutexLocker lock(&names().mutex);
    return names().organisation;
}

QString KSettingsManager::application()
{
    QMutexLocker lock(&names().mutex);
    return names().application;
}

int KSettingsManager::settingsVersion()
{
    QMutexLocker lock(&names().mutex);
    return names().settingsVersion;
}

QString KSettingsManager::login()
{
    return readSetting(Key::Login).toString();
}

QString KSettingsManager::password()
{
    const QVariant stored = readSetting(Key::Password);
    // A text value written as plain text comes back as it was written; only bytes, and a text
    // that carries the scramble marker, go through unscrambling.
    if (stored.typeId() == QMetaType::QString) {
        const QString text = stored.toString();
        if (!text.startsWith(QLatin1String(ScrambledMarker)))
            return text;
    }
    return unscramble(stored.toByteArray());
}

QString KSettingsManager::proxyUser()
{
    return readSetting(Key::ProxyUser, QString()).toString();
}

QString KSettingsManager::proxyPassword()
{
    return readSetting(Key::ProxyPassword, QString()).toString();
}

} // namespace VM
