// The per-login company records as read back from the settings store, on arbitrary stored values.
// A damaged or hostile value gives an empty list: no crash, no allocation beyond its size.
// The store lives in a temporary home for the run. First input byte: 0 stores the rest as bytes,
// 1 as a text (a value of the wrong type); the rest of the input is the stored value.
#include "settings/kcompanyrecords.h"
#include "settings/ksettingsmanager.h"

#include <QByteArray>
#include <QDir>
#include <QTemporaryDir>

#include <cstddef>
#include <cstdint>
#include <cstdlib>

namespace {
const QString login = QStringLiteral("fuzz.user@example.test");

bool isRecordList(const QList<QVariant> &records)
{
    for (const QVariant &record : records) {
        if (record.typeId() != QMetaType::QVariantList)
            return false;
        for (const QVariant &field : record.toList()) {
            if (field.typeId() != QMetaType::QString && field.typeId() != QMetaType::QByteArray)
                return false;
        }
    }
    return true;
}
} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    // A home of its own, on a memory file system when there is one: every input is a store write.
    static QTemporaryDir home(QDir(QStringLiteral("/dev/shm")).exists()
            ? QStringLiteral("/dev/shm/velmora-fuzz-XXXXXX")
            : QDir::tempPath() + QStringLiteral("/velmora-fuzz-XXXXXX"));
    if (!home.isValid())
        std::abort();
    qputenv("HOME", QFile::encodeName(home.path()));
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(home.path() + QStringLiteral("/.config")));
    VM::KSettingsManager::init(0x10203, QStringLiteral("VelmoraFuzz"), QStringLiteral("Reporter"));
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < 1)
        return 0;
    const QByteArray stored(reinterpret_cast<const char *>(data + 1), qsizetype(size - 1));
    const QVariant value = data[0] == 1 ? QVariant(QString::fromLatin1(stored)) : QVariant(stored);
    VM::KSettingsManager::saveSetting(
        VM::KCompanyRecords::settingName(login), value, VM::KSettingsManager::OfflineCacheScope);

    const QList<QVariant> records = VM::KCompanyRecords::loadCompanyRecords(login);
    // Five bytes at the least for each record; only lists of texts and byte arrays come back.
    if (records.size() > stored.size() / 5 + 1 || !isRecordList(records))
        std::abort();
    if (!records.isEmpty()) {
        VM::KCompanyRecords::saveCompanyRecords(login, records);
        if (VM::KCompanyRecords::loadCompanyRecords(login) != records)
            std::abort();
        VM::KCompanyRecords::storePasswordDigest(
            login, records.first().toList().value(1).toString(), QStringLiteral("secret"));
    }
    return 0;
}
