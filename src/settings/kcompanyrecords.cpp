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

// Checks the stored bytes against the record layout before the data stream reads them: the stream
// reserves room for as many elements as a list's count says, so a damaged count in the shared store
// would otherwise ask for gigabytes. Accepted: a list whose elements are lists of texts and byte
// arrays, each count and length within the bytes that remain.
class RecordBytesCheck
{
public:
    explicit RecordBytesCheck(const QByteArray &bytes)
        : m_bytes(bytes)
    { }

    bool valid()
    {
        quint32 count = 0;
        if (!readCount(&count, 5))
            return false;
        for (quint32 i = 0; i < count; ++i) {
            if (!readVariant(Level::Record))
                return false;
        }
        return true;
    }

private:
    bool readU32(quint32 *value)
    {
        if (m_bytes.size() - m_at < 4)
            return false;
        const auto *p = reinterpret_cast<const uchar *>(m_bytes.constData() + m_at);
        *value = (quint32(p[0]) << 24) | (quint32(p[1]) << 16) | (quint32(p[2]) << 8) | p[3];
        m_at += 4;
        return true;
    }
    // A count of elements that take at least elementSize bytes each.
    bool readCount(quint32 *count, qsizetype elementSize)
    {
        return readU32(count) && qsizetype(*count) <= (m_bytes.size() - m_at) / elementSize;
    }
    bool skip(quint32 size)
    {
        if (qsizetype(size) > m_bytes.size() - m_at)
            return false;
        m_at += size;
        return true;
    }
    // A record is a list of fields; a field is a text or a byte array.
    enum class Level { Record, Field };
    bool readVariant(Level level)
    {
        quint32 type = 0;
        if (!readU32(&type) || !skip(1)) // type id, then the null flag
            return false;
        quint32 size = 0;
        switch (type) {
        case QMetaType::QVariantList: {
            if (level != Level::Record || !readCount(&size, 5))
                return false;
            for (quint32 i = 0; i < size; ++i) {
                if (!readVariant(Level::Field))
                    return false;
            }
            return true;
        }
        case QMetaType::QString:
        case QMetaType::QByteArray:
            if (level != Level::Field || !readU32(&size))
                return false;
            return size == 0xFFFFFFFFu || skip(size); // all ones: a null text or array
        default:
            return false;
        }
    }

    const QByteArray &m_bytes;
    qsizetype m_at = 0;
};

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
    if (bytes.isEmpty() || !RecordBytesCheck(bytes).valid())
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
