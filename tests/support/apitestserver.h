#pragma once

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QMutex>
#include <QPointer>
#include <QString>
#include <QThread>

class QSslServer;
class QTcpSocket;

// An in-process HTTPS stand-in for the web service that answers from a script, for tests that
// need the service to misbehave on purpose. It listens on 127.0.0.1 (a free port) in a thread of
// its own, since the web client blocks the test's thread while a request runs. Each connection
// gets the next scripted answer (or the default answer when the script is used up); the answer is
// written HTTP/1.0 style and the connection closed. Every request is recorded.
class ApiTestServer : public QThread
{
    Q_OBJECT

public:
    struct Answer
    {
        int status = 200;
        QByteArray body;
        QByteArray setCookie; // value of a Set-Cookie line, when not empty
    };
    struct Request
    {
        QString method; // the "method" query value
        QString version; // the "ver" query value
        QByteArray header; // the request's header block
        QHash<QString, QByteArray> parameters; // the form body, decoded
        QByteArray cookies; // the Cookie lines' values joined by "; "
    };

    // certificateFolder holds server.pem and server.key (see makeTestCertificates).
    explicit ApiTestServer(const QString &certificateFolder);
    ~ApiTestServer() override;

    // Starts the thread and waits until it listens; false when it cannot.
    bool startListening();
    quint16 port() const { return m_port; }
    // "127.0.0.1:PORT", the value for VELMORA_API_HOST.
    QString hostAndPort() const;

    void script(const QList<Answer> &answers);
    void setDefaultAnswer(const Answer &answer);
    QList<Request> requests() const;
    QStringList methods() const;
    void clear();
    // While held, requests are read and recorded but their answers wait, connections open, until
    // releaseAnswers() writes them; for tests that act while the client waits for an answer.
    void holdAnswers();
    void releaseAnswers();

    // Answers of the web service that tests need again and again.
    static Answer loginOk(const QByteArray &domain = "acme.example", const QByteArray &extra = {});
    static Answer loginRefused();
    static Answer authLost();
    static Answer result(const QByteArray &value);
    static Answer status(int code);

protected:
    void run() override;

private:
    void serve(QSslServer *server);

    const QString m_certificateFolder;
    quint16 m_port = 0;
    bool m_listening = false;
    // Answers held back, with their connections; used on the server's thread only.
    void writeHeldAnswers();
    QList<QPair<QPointer<QTcpSocket>, QByteArray>> m_held;
    QObject *m_threadContext = nullptr;
    bool m_holding = false; // under m_mutex

    mutable QMutex m_mutex;
    QList<Answer> m_script;
    Answer m_default;
    QList<Request> m_requests;
};

// Makes a test authority (ca.pem) and a server certificate for 127.0.0.1 and localhost
// (server.pem, server.key) into the folder with the devservice tool; false when it cannot.
bool makeTestCertificates(const QString &folder);

// Path of the devservice tool: DEVSERVICE_BIN, or the build's tools/devservice/devservice.
QString devserviceBinary();
