#include "certificates.h"

#include <QDir>
#include <QFile>
#include <QProcess>

namespace {

bool runOpenssl(const QString &folder, const QStringList &arguments, QString *error)
{
    QProcess process;
    process.setWorkingDirectory(folder);
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.start(QStringLiteral("openssl"), arguments);
    if (!process.waitForStarted(10000)) {
        *error = QStringLiteral("cannot start openssl: %1").arg(process.errorString());
        return false;
    }
    if (!process.waitForFinished(60000) || process.exitStatus() != QProcess::NormalExit
        || process.exitCode() != 0) {
        *error = QStringLiteral("openssl %1 failed: %2")
                     .arg(arguments.value(0), QString::fromLocal8Bit(process.readAll()));
        return false;
    }
    return true;
}

} // namespace

bool haveCertificates(const QString &folder)
{
    const QDir dir(folder);
    return QFile::exists(dir.filePath(QStringLiteral("server.pem")))
        && QFile::exists(dir.filePath(QStringLiteral("server.key")))
        && QFile::exists(dir.filePath(QStringLiteral("ca.pem")));
}

bool makeCertificates(const QString &folder, QString *error)
{
    if (!QDir().mkpath(folder)) {
        *error = QStringLiteral("cannot create %1").arg(folder);
        return false;
    }
    QFile extensions(QDir(folder).filePath(QStringLiteral("server.ext")));
    if (!extensions.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
        *error = QStringLiteral("cannot write %1").arg(extensions.fileName());
        return false;
    }
    extensions.write("basicConstraints=CA:FALSE\n"
                     "keyUsage=critical,digitalSignature,keyEncipherment\n"
                     "extendedKeyUsage=serverAuth\n"
                     "subjectAltName=IP:127.0.0.1,DNS:localhost\n");
    extensions.close();

    const QStringList ecKey { QStringLiteral("-newkey"), QStringLiteral("ec"),
        QStringLiteral("-pkeyopt"), QStringLiteral("ec_paramgen_curve:prime256v1"),
        QStringLiteral("-nodes") };
    return runOpenssl(folder,
               QStringList { QStringLiteral("req"), QStringLiteral("-x509") } + ecKey
                   + QStringList { QStringLiteral("-keyout"), QStringLiteral("ca.key"),
                       QStringLiteral("-out"), QStringLiteral("ca.pem"), QStringLiteral("-days"),
                       QStringLiteral("3650"), QStringLiteral("-subj"),
                       QStringLiteral("/CN=Velmora devservice test authority"),
                       QStringLiteral("-addext"),
                       QStringLiteral("basicConstraints=critical,CA:TRUE"),
                       QStringLiteral("-addext"),
                       QStringLiteral("keyUsage=critical,keyCertSign,cRLSign") },
               error)
        && runOpenssl(folder,
            QStringList { QStringLiteral("req") } + ecKey
                + QStringList { QStringLiteral("-keyout"), QStringLiteral("server.key"),
                    QStringLiteral("-out"), QStringLiteral("server.csr"), QStringLiteral("-subj"),
                    QStringLiteral("/CN=localhost") },
            error)
        && runOpenssl(folder,
            QStringList { QStringLiteral("x509"), QStringLiteral("-req"), QStringLiteral("-in"),
                QStringLiteral("server.csr"), QStringLiteral("-CA"), QStringLiteral("ca.pem"),
                QStringLiteral("-CAkey"), QStringLiteral("ca.key"),
                QStringLiteral("-CAcreateserial"), QStringLiteral("-out"),
                QStringLiteral("server.pem"), QStringLiteral("-days"), QStringLiteral("825"),
                QStringLiteral("-extfile"), QStringLiteral("server.ext") },
            error);
}
