#pragma once

#include <QByteArray>
#include <QString>
#include <QVariant>

namespace VM {

// Access to the settings store shared with Velmora: the native store of the current user for the
// organisation (company id) and application (software id) given on the command line. Every
// operation opens the store afresh and closes it, so values written by Velmora meanwhile are seen.
// All operations are static and may be called from any thread after init().
class KSettingsManager
{
public:
    enum SettingsScope {
        ApplicationScope, // the top level of the store
        OfflineCacheScope, // the group "offcache"
    };

    // The values of the store this program reads or writes; keyName() gives each one's name in
    // the store, shared with Velmora and never to be changed.
    enum class Key {
        SettingsVersion, // "SettingsVersion": the settings version that last stamped the store
        AutoLogin, // "AutoLogin_vm"
        Remember, // "Remember_vm"
        Login, // "Login_vm"
        Password, // "Passwd_vm": scrambled, or plain text
        ProxyUser, // "ProxyUser"
        ProxyPassword, // "ProxyPass": plain text
    };
    static QString keyName(Key key);

    // Prefix of a scrambled text value; the bytes after it are UTF-8 XORed with ScrambleKey.
    static constexpr char ScrambledMarker[] = "~%~::?";
    // Shared with every program that reads or writes the store's scrambled values.
    static constexpr unsigned char ScrambleKey = 0x5A;
    static constexpr int DefaultSettingsVersion = 0x10100;

    // Remembers the store's names and stamps it with the settings version (version without its
    // lowest byte); an older stamp also switches automatic sign-in and "remember me" on.
    static void init(int version, const QString &organisation, const QString &application);

    static QVariant readSetting(const QString &key, const QVariant &defaultValue = QVariant(),
        SettingsScope scope = ApplicationScope);
    static void saveSetting(
        const QString &key, const QVariant &value, SettingsScope scope = ApplicationScope);
    static void removeSetting(const QString &key, SettingsScope scope = ApplicationScope);
    // The same for the values of the table, at the top level of the store.
    static QVariant readSetting(Key key, const QVariant &defaultValue = QVariant());
    static void saveSetting(Key key, const QVariant &value);
    static void removeSetting(Key key);

    static QString unscramble(const QByteArray &stored);
    static QByteArray scramble(const QString &text);

    static QString organisation();
    static QString application();
    static int settingsVersion();

    // Readers of the values this program uses.
    static QString login();
    static QString password(); // unscrambled, or a plain text value as it stands
    static QString proxyUser();
    static QString proxyPassword();
};

} // namespace VM
