#pragma once

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QObject>
#include <QPair>
#include <QSslServer>
#include <QString>

class QSslSocket;

// The web service's methods "login" and "upload_feedback2" over HTTPS, HTTP/1.0 style: one request
// a connection, answered as key="value" lines, then the connection is closed.
class DevService : public QObject
{
    Q_OBJECT

public:
    struct Account
    {
        QString login;
        QString password;
        QString domain; // the domain a plain sign-in answers with
        QList<QPair<QString, QString>> companies; // (name, domain), answered as the company list
    };

    struct Options
    {
        quint16 port = 0;
        QString certificate; // PEM of the server's certificate
        QString privateKey; // PEM of its key
        QString storeFolder; // one sub-folder a stored report
        QList<Account> accounts;
        int expireAfter = -1; // a session serves this many uploads, then is forgotten; -1 never
        bool refuseUploads = false; // answer every upload with result="-1"
        int forcedStatus = 0; // answer every request with this HTTP status; 0 off
    };

    explicit DevService(const Options &options, QObject *parent = nullptr);

    // Listens on 127.0.0.1; false with the reason in error() when it cannot.
    bool start();
    quint16 port() const;
    QString error() const { return m_error; }

signals:
    void reportStored(const QString &folder);

private:
    struct Answer
    {
        int status = 200;
        QByteArray body;
        QByteArray cookie; // Set-Cookie value, when the answer starts a session
    };
    struct Session
    {
        QString login;
        int uploads = 0;
    };

    void onConnection();
    void onReadyRead(QSslSocket *socket);
    Answer handle(const QByteArray &header, const QByteArray &body);
    Answer login(const QHash<QString, QByteArray> &parameters);
    Answer upload(const QHash<QString, QByteArray> &parameters, const QByteArray &cookieHeader,
        const QString &version);
    QString storeReport(
        const QString &login, const QString &version, const QHash<QString, QByteArray> &parameters);

    Options m_options;
    QSslServer m_server;
    QString m_error;
    QHash<QSslSocket *, QByteArray> m_pending;
    QHash<QByteArray, Session> m_sessions;
    int m_reportCount = 0;
};
