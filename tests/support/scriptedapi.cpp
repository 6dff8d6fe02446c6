#include "support/scriptedapi.h"

#include <QMutexLocker>
#include <QUrl>
#include <QUrlQuery>

#include <atomic>

namespace {

QByteArray headerValue(const QByteArray &header, const QByteArray &name)
{
    QByteArray joined;
    for (QByteArray line : header.split('\n')) {
        line = line.trimmed();
        const qsizetype colon = line.indexOf(':');
        if (colon > 0 && line.left(colon).toLower() == name.toLower())
            joined += (joined.isEmpty() ? "" : "; ") + line.mid(colon + 1).trimmed();
    }
    return joined;
}

// Long enough for a paced upload of a few dozen kilobytes.
constexpr int RequestWaitMs = 60000;

} // namespace

ScriptedApi::Answer::Answer(int status, QByteArray body, QByteArray setCookie)
    : status(status)
    , body(std::move(body))
    , setCookie(std::move(setCookie))
{ }

ScriptedApi::Answer ScriptedApi::Answer::misbehaving(std::function<void(TestConnection &)> write)
{
    Answer answer;
    answer.write = std::move(write);
    return answer;
}

QByteArray ScriptedApi::Answer::message() const
{
    QByteArray bytes = "HTTP/1.0 " + QByteArray::number(status) + " Status\r\n";
    if (!setCookie.isEmpty())
        bytes += "Set-Cookie: " + setCookie + "\r\n";
    bytes += "Content-Length: " + QByteArray::number(body.size()) + "\r\n";
    bytes += "Connection: close\r\n\r\n" + body;
    return bytes;
}

ScriptedApi::ScriptedApi()
    : m_default(result("1"))
{ }

TestHttpServer::Handler ScriptedApi::handler()
{
    return [this](TestConnection &connection) { serve(connection); };
}

void ScriptedApi::serve(TestConnection &connection)
{
    const QByteArray bytes = connection.readRequest(RequestWaitMs);
    const qsizetype end = bytes.indexOf("\r\n\r\n");
    if (end < 0)
        return;
    const QByteArray header = bytes.left(end);
    const qint64 length = headerValue(header, "Content-Length").toLongLong();
    if (bytes.size() - end - 4 < length)
        return;

    Request request;
    request.header = header;
    const QByteArray target = header.left(header.indexOf("\r\n")).split(' ').value(1);
    const QUrlQuery query(QUrl(QStringLiteral("https://h") + QString::fromLatin1(target)));
    request.method = query.queryItemValue(QStringLiteral("method"));
    request.version = query.queryItemValue(QStringLiteral("ver"));
    request.cookies = headerValue(header, "Cookie");
    for (const QByteArray &pair : bytes.mid(end + 4, length).split('&')) {
        if (pair.isEmpty())
            continue;
        const qsizetype eq = pair.indexOf('=');
        request.parameters.insert(QString::fromLatin1(pair.left(eq)),
            QByteArray::fromPercentEncoding(eq < 0 ? QByteArray() : pair.mid(eq + 1)));
    }

    Answer answer;
    bool held = false;
    quint64 generation = 0;
    {
        QMutexLocker lock(&m_mutex);
        m_requests.append(request);
        QList<Answer> &methodScript = m_methodScripts[request.method];
        if (!methodScript.isEmpty())
            answer = methodScript.takeFirst();
        else if (!m_script.isEmpty())
            answer = m_script.takeFirst();
        else
            answer = m_methodDefaults.value(request.method, m_default);
        held = m_holding;
        generation = m_holdGeneration;
    }
    if (held) {
        const bool open = connection.waitWhile([this, generation] {
            QMutexLocker lock(&m_mutex);
            return m_holding && m_holdGeneration == generation;
        });
        if (!open)
            return;
    }
    if (answer.write)
        answer.write(connection);
    else
        connection.write(answer.message());
    connection.close();
}

void ScriptedApi::script(const QList<Answer> &answers)
{
    QMutexLocker lock(&m_mutex);
    m_script = answers;
}

void ScriptedApi::scriptMethod(const QString &method, const QList<Answer> &answers)
{
    QMutexLocker lock(&m_mutex);
    m_methodScripts[method] = answers;
}

void ScriptedApi::setDefaultAnswer(const Answer &answer)
{
    QMutexLocker lock(&m_mutex);
    m_default = answer;
}

void ScriptedApi::setMethodDefault(const QString &method, const Answer &answer)
{
    QMutexLocker lock(&m_mutex);
    m_methodDefaults[method] = answer;
}

void ScriptedApi::clear()
{
    QMutexLocker lock(&m_mutex);
    m_requests.clear();
    m_script.clear();
    m_methodScripts.clear();
}

void ScriptedApi::clearRequests()
{
    QMutexLocker lock(&m_mutex);
    m_requests.clear();
}

QList<ScriptedApi::Request> ScriptedApi::requests() const
{
    QMutexLocker lock(&m_mutex);
    return m_requests;
}

QStringList ScriptedApi::methods() const
{
    QStringList names;
    for (const Request &request : requests())
        names.append(request.method);
    return names;
}

int ScriptedApi::count(const QString &method) const
{
    return int(methods().count(method));
}

QList<QByteArray> ScriptedApi::uploads() const
{
    QList<QByteArray> dumps;
    for (const Request &request : requests()) {
        if (request.method == QLatin1String("upload_feedback2"))
            dumps.append(QByteArray::fromBase64(request.parameters.value("memorydump")));
    }
    return dumps;
}

void ScriptedApi::holdAnswers()
{
    QMutexLocker lock(&m_mutex);
    if (!m_holding) {
        m_holding = true;
        ++m_holdGeneration;
    }
}

void ScriptedApi::releaseAnswers()
{
    QMutexLocker lock(&m_mutex);
    m_holding = false;
}

ScriptedApi::Answer ScriptedApi::loginOk(const QByteArray &domain, const QByteArray &extra)
{
    static std::atomic<int> session { 0 };
    return Answer(200,
        "login=\"1\"\ndeleted=\"0\"\nnew_user=\"0\"\ndomain=\"" + domain + "\"\n" + extra,
        "SESSION=s" + QByteArray::number(++session) + "; path=/");
}

ScriptedApi::Answer ScriptedApi::loginRefused()
{
    return Answer(200, "login=\"0\"\ndeleted=\"0\"\n");
}

ScriptedApi::Answer ScriptedApi::authLost()
{
    return Answer(200, "auth=\"0\"\nresult=\"0\"\n");
}

ScriptedApi::Answer ScriptedApi::result(const QByteArray &value)
{
    return Answer(200, "result=\"" + value + "\"\n");
}

ScriptedApi::Answer ScriptedApi::status(int code)
{
    return Answer(code, "result=\"1\"\n");
}
