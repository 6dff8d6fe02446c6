// devservice: a local HTTPS stand-in for the web service, for the demo and the tests.
// See README.md beside this file.

#include "certificates.h"
#include "devservice.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>

#include <cstdio>

namespace {

// LOGIN:PASSWORD:DOMAIN[:NAME=DOMAIN,NAME=DOMAIN...]
bool parseAccount(const QString &text, DevService::Account *account)
{
    const QStringList fields = text.split(QLatin1Char(':'));
    if (fields.size() < 3 || fields.size() > 4 || fields[0].isEmpty())
        return false;
    account->login = fields[0];
    account->password = fields[1];
    account->domain = fields[2];
    if (fields.size() == 4) {
        for (const QString &company : fields[3].split(QLatin1Char(','), Qt::SkipEmptyParts)) {
            const qsizetype eq = company.indexOf(QLatin1Char('='));
            if (eq < 0)
                return false;
            account->companies.append({ company.left(eq), company.mid(eq + 1) });
        }
    }
    return true;
}

int fail(const QString &message)
{
    std::fprintf(stderr, "devservice: %s\n", qPrintable(message));
    return 2;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("devservice"));

    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Serves the web service's methods \"login\" and \"upload_feedback2\" over "
                       "HTTPS on 127.0.0.1."));
    parser.addHelpOption();
    const QCommandLineOption makeCa(QStringLiteral("make-ca"),
        QStringLiteral("Make a test authority and a server certificate into <dir>, then exit."),
        QStringLiteral("dir"));
    const QCommandLineOption certs(QStringLiteral("certs"),
        QStringLiteral("Serve with <dir>/server.pem and <dir>/server.key (made when missing)."),
        QStringLiteral("dir"));
    const QCommandLineOption port(QStringLiteral("port"),
        QStringLiteral("Port to listen on; 0 = any free port."), QStringLiteral("port"),
        QStringLiteral("0"));
    const QCommandLineOption store(QStringLiteral("store"),
        QStringLiteral("Folder that receives one sub-folder per stored report."),
        QStringLiteral("dir"), QStringLiteral("devservice-reports"));
    const QCommandLineOption account(QStringLiteral("account"),
        QStringLiteral("An account: LOGIN:PASSWORD:DOMAIN[:NAME=DOMAIN,...]. Repeatable."),
        QStringLiteral("account"));
    const QCommandLineOption expireAfter(QStringLiteral("expire-after"),
        QStringLiteral("A session serves <n> uploads; the next one is answered auth=\"0\"."),
        QStringLiteral("n"));
    const QCommandLineOption refuse(QStringLiteral("refuse-uploads"),
        QStringLiteral("Answer every upload with result=\"-1\"."));
    const QCommandLineOption status(QStringLiteral("status"),
        QStringLiteral("Answer every request with this HTTP status."), QStringLiteral("code"));
    parser.addOptions({ makeCa, certs, port, store, account, expireAfter, refuse, status });
    parser.process(app);

    if (parser.isSet(makeCa)) {
        QString error;
        const QString folder = QDir(parser.value(makeCa)).absolutePath();
        if (!makeCertificates(folder, &error))
            return fail(error);
        std::printf("authority %s/ca.pem\ncertificate %s/server.pem\n", qPrintable(folder),
            qPrintable(folder));
        return 0;
    }

    DevService::Options options;
    if (!parser.isSet(certs))
        return fail(QStringLiteral("--certs DIR is required (see --help)"));
    const QString certFolder = QDir(parser.value(certs)).absolutePath();
    if (!haveCertificates(certFolder)) {
        QString error;
        if (!makeCertificates(certFolder, &error))
            return fail(error);
    }
    options.certificate = certFolder + QStringLiteral("/server.pem");
    options.privateKey = certFolder + QStringLiteral("/server.key");
    bool ok = false;
    const uint portNumber = parser.value(port).toUInt(&ok);
    if (!ok || portNumber > 65535)
        return fail(QStringLiteral("bad port: %1").arg(parser.value(port)));
    options.port = quint16(portNumber);
    options.storeFolder = QDir(parser.value(store)).absolutePath();
    if (!QDir().mkpath(options.storeFolder))
        return fail(QStringLiteral("cannot create %1").arg(options.storeFolder));
    for (const QString &text : parser.values(account)) {
        DevService::Account entry;
        if (!parseAccount(text, &entry))
            return fail(QStringLiteral("bad account: %1").arg(text));
        options.accounts.append(entry);
    }
    if (parser.isSet(expireAfter)) {
        options.expireAfter = parser.value(expireAfter).toInt(&ok);
        if (!ok || options.expireAfter < 0)
            return fail(QStringLiteral("bad --expire-after: %1").arg(parser.value(expireAfter)));
    }
    options.refuseUploads = parser.isSet(refuse);
    if (parser.isSet(status)) {
        options.forcedStatus = parser.value(status).toInt(&ok);
        if (!ok || options.forcedStatus < 100 || options.forcedStatus > 999)
            return fail(QStringLiteral("bad --status: %1").arg(parser.value(status)));
    }

    DevService service(options);
    if (!service.start())
        return fail(service.error());
    std::printf("listening on 127.0.0.1:%u\n", unsigned(service.port()));
    std::fflush(stdout);
    return app.exec();
}
