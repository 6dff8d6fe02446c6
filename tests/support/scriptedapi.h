#pragma once

#include "support/testhttpserver.h"

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QMap>
#include <QMutex>
#include <QString>
#include <QStringList>

#include <functional>

// The web service's API as a script, served by a TestHttpServer: a handler that reads each
// request ("execute.php?method=NAME&ver=..." with a form body), records it and writes the answer
// chosen for it, HTTP/1.0 style, then closes the connection. Thread-safe: the server's threads
// serve while the test scripts and reads.
//
// The answer to a request is, in this order: the next one scripted for its method, the next one of
// the common script, the default of its method, the common default (result="1" at first).
class ScriptedApi
{
public:
    struct Answer
    {
        Answer(int status = 200, QByteArray body = {}, QByteArray setCookie = {});
        // An answer that breaks the protocol: it writes what it likes to the connection (or
        // nothing, or waits), after which the connection is closed.
        static Answer misbehaving(std::function<void(TestConnection &)> write);

        int status;
        QByteArray body;
        QByteArray setCookie; // value of a Set-Cookie line, when not empty
        std::function<void(TestConnection &)> write; // when set, the whole answer

        // The whole HTTP message of an ordinary answer.
        QByteArray message() const;
    };
    struct Request
    {
        QString method; // the "method" query value
        QString version; // the "ver" query value
        QByteArray header; // the request's header block
        QHash<QString, QByteArray> parameters; // the form body, decoded
        QByteArray cookies; // the Cookie lines' values joined by "; "
    };

    ScriptedApi();

    // The handler to give a TestHttpServer. A request that does not arrive whole (the client gave
    // up) is neither recorded nor answered.
    TestHttpServer::Handler handler();
    void serve(TestConnection &connection);

    void script(const QList<Answer> &answers);
    void scriptMethod(const QString &method, const QList<Answer> &answers);
    void setDefaultAnswer(const Answer &answer);
    void setMethodDefault(const QString &method, const Answer &answer);
    // Forgets the requests and both kinds of script (not the defaults).
    void clear();
    void clearRequests();

    QList<Request> requests() const;
    QStringList methods() const;
    int count(const QString &method) const;
    // The memory dumps of the uploads ("upload_feedback2"), decoded, in the order they came.
    QList<QByteArray> uploads() const;

    // While held, requests are read and recorded but their answers wait, connections open, until
    // releaseAnswers(); an answer whose client closed meanwhile is dropped. Holding needs a
    // server with concurrent connections when more than one client is to be seen waiting.
    void holdAnswers();
    void releaseAnswers();

    // Answers of the web service that tests need again and again.
    static Answer loginOk(const QByteArray &domain = "acme.example", const QByteArray &extra = {});
    static Answer loginRefused();
    static Answer authLost();
    static Answer result(const QByteArray &value);
    static Answer status(int code);

private:
    mutable QMutex m_mutex;
    QList<Answer> m_script;
    QMap<QString, QList<Answer>> m_methodScripts;
    Answer m_default;
    QMap<QString, Answer> m_methodDefaults;
    QList<Request> m_requests;
    // Each hold is a generation; a held answer waits while its generation is the current one.
    bool m_holding = false;
    quint64 m_holdGeneration = 0;
};
