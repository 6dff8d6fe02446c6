#pragma once

#include <QByteArray>
#include <QList>
#include <QPair>
#include <QString>
#include <QVariant>

// One company of a signed-in user: first its domain, then its name.
using CompanyEntry = QPair<QString, QString>;

namespace VM {

// The per-login company records in the group "offcache" of the settings store, shared with
// Velmora. One setting per login, named by the login exactly as typed followed by "_arr"; its value
// is a QDataStream (default version) of a QList<QVariant>, each element a QVariantList of three:
//   [0] QString company name, [1] QString company domain (records are found by it),
//   [2] QByteArray MD5 digest (16 raw bytes) of the password's Latin-1 bytes, or empty.
// All operations are static and may be called from any thread after the store is initialised.
class KCompanyRecords
{
public:
    static QString settingName(const QString &login);

    // A missing or unreadable value gives an empty list.
    static QList<QVariant> loadCompanyRecords(const QString &login);
    static void saveCompanyRecords(const QString &login, const QList<QVariant> &records);

    // Replaces the login's records by one record per entry, in order, keeping the digest of an
    // old record with the same domain; records of other domains are dropped.
    static void saveCompanies(const QString &login, const QList<CompanyEntry> &companies);

    // Sets the digest of the login's record for the domain; false (nothing written) when the login
    // has no record for that domain.
    static bool storePasswordDigest(
        const QString &login, const QString &domain, const QString &password);

    // An empty company forgets all of the login's records; otherwise only the first record of that
    // domain, and the setting goes when no record is left.
    static void forgetCompany(const QString &login, const QString &company);

    static QByteArray passwordDigest(const QString &password);
};

} // namespace VM
