#include "settings/kcompanyrecords.h"

#include "settings/ksettingsmanager.h"

#include <QBuffer>
#include <QCryptographicHash>
#include <QDataStream>

namespace VM {

namespace {

// Index of the first non-empty record whose domain (index 1) equals the given one, or -1.
qsizetype findRecord(const QList<QVariant> &records, const QString &domain)
{
    for (qsizetype i = 0; i < records.size(); ++i) {
        const QVariantList record = records.at(i).toList();
        if (!record.isEmpty() && record.value(1).toString() == domain)
            return i;
    }
    return -1;
}

} // namespace

QString KCompanyRecords::settingName(const QString &login)
{
    return login + QStringLiteral("_arr");
}

QList<QVariant> KCompanyRecords::loadCompanyRecords(const QString &login)
{
    const QByteArray bytes = KSettingsManager::readSetting(
        settingName(login), QByteArray(), KSettingsManager::OfflineCacheScope)
                                 .toByteArray();
    QList<QVariant> records;
    if (bytes.isEmpty())
        return records;
    QDataStream stream(bytes);
    stream >> records;
    if (stream.status() != QDataStream::Ok)
        return {};
    return records;
}

void KCompanyRecords::saveCompanyRecords(const QString &login, const QList<QVariant> &records)
{
    QByteArray bytes;
    {
        QBuffer buffer(&bytes);
        buffer.open(QIODevice::WriteOnly);
        QDataStream stream(&buffer);
        stream << records;
    }
    KSettingsManager::saveSetting(settingName(login), bytes, KSettingsManager::OfflineCacheScope);
}

void KCompanyRecords::saveCompanies(const QString &login, const QList<CompanyEntry> &companies)
{
    const QList<QVariant> old = loadCompanyRecords(login);
    QList<QVariant> records;
    records.reserve(companies.size());
    for (const CompanyEntry &entry : companies) {
        const qsizetype at = findRecord(old, entry.first);
        const QByteArray digest
            = at < 0 ? QByteArray() : old.at(at).toList().value(2).toByteArray();
        records.append(QVariant(QVariantList { entry.second, entry.first, digest }));
    }
    saveCompanyRecords(login, records);
}

bool KCompanyRecords::storePasswordDigest(
    const QString &login, const QString &domain, const QString &password)
{
    QList<QVariant> records = loadCompanyRecords(login);
    const qsizetype at = findRecord(records, domain);
    if (at < 0)
        return false;
    QVariantList record = records.at(at).toList();
    while (record.size() < 3)
        record.append(QVariant());
    record[2] = passwordDigest(password);
    records[at] = QVariant(record);
    saveCompanyRecords(login, records);
    return true;
}

void KCompanyRecords::forgetCompany(const QString &login, const QString &company)
{
    QList<QVariant> records = loadCompanyRecords(login);
    if (company.isEmpty()) {
        KSettingsManager::removeSetting(settingName(login), KSettingsManager::OfflineCacheScope);
        return;
    }
    const qsizetype at = findRecord(records, company);
    if (at >= 0)
        records.removeAt(at);
    if (records.isEmpty())
        KSettingsManager::removeSetting(settingName(login), KSettingsManager::OfflineCacheScope);
    else
        saveCompanyRecords(login, records);
}

QByteArray KCompanyRecords::passwordDigest(const QString &password)
{
    return QCryptographicHash::hash(password.toLatin1(), QCryptographicHash::Md5);
}

} // namespace VM
