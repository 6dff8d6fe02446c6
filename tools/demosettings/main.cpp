// Stores a remembered login and password in the settings store, as Velmora does when the user
// ticks "remember me", so that the reporter opens with them filled in. Used by the demo.
//   demosettings COMPANY SOFTWARE LOGIN PASSWORD

#include "settings/ksettingsmanager.h"

#include <QCoreApplication>
#include <QSettings>
#include <QTextStream>

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const QStringList arguments = QCoreApplication::arguments();
    if (arguments.size() != 5) {
        QTextStream(stderr) << "usage: demosettings COMPANY SOFTWARE LOGIN PASSWORD\n";
        return 2;
    }
    QSettings store(
        QSettings::NativeFormat, QSettings::UserScope, arguments.at(1), arguments.at(2));
    store.setValue(
        VM::KSettingsManager::keyName(VM::KSettingsManager::Key::Login), arguments.at(3));
    store.setValue(VM::KSettingsManager::keyName(VM::KSettingsManager::Key::Password),
        VM::KSettingsManager::scramble(arguments.at(4)));
    store.sync();
    return store.status() == QSettings::NoError ? 0 : 1;
}
