#include "http/khttpanswerparser.h"

namespace {

bool isDigit(char c)
{
    return c >= '0' && c <= '9';
}

// The blanks the header lines may put before a number: space, tab, and the line-break characters
// (CR, LF, vertical tab, form feed); no byte above 0x7F.
bool isBlank(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

// "HTTP/d.d <digits> <reason>" CR LF at the first place in the block where it stands. The code
// is the run of digits up to the next space; the reason runs to the first CR LF after that space.
void findStatusLine(QByteArrayView header, KHttpAnswerHeader &out)
{
    constexpr QByteArrayView prefix("HTTP/");
    for (qsizetype at = header.indexOf(prefix); at >= 0; at = header.indexOf(prefix, at + 1)) {
        qsizetype p = at + prefix.size();
        if (p + 4 > header.size() || !isDigit(header[p]) || header[p + 1] != '.'
            || !isDigit(header[p + 2]) || header[p + 3] != ' ')
            continue;
        const qsizetype codeStart = p + 4;
        qsizetype codeEnd = codeStart;
        while (codeEnd < header.size() && isDigit(header[codeEnd]))
            ++codeEnd;
        if (codeEnd >= header.size() || header[codeEnd] != ' ')
            continue;
        const qsizetype reasonStart = codeEnd + 1;
        const qsizetype reasonEnd = header.indexOf(QByteArrayView("\r\n"), reasonStart);
        if (reasonEnd < 0)
            return; // no CR LF after this place, so none after any later one either
        out.hasStatusLine = true;
        out.httpVersion = QString::fromLatin1(header.sliced(p, 3));
        bool ok = false;
        const int code = header.sliced(codeStart, codeEnd - codeStart).toByteArray().toInt(&ok);
        out.statusCode = ok ? code : 0;
        out.reasonPhrase = QString::fromLatin1(header.sliced(reasonStart, reasonEnd - reasonStart));
        return;
    }
}

// Every "Set-Cookie:" line that starts with the CR LF of the line before it and ends with one of
// its own; the CR LF that ends one line may begin the next.
void findSetCookies(QByteArrayView header, KHttpAnswerHeader &out)
{
    constexpr QByteArrayView name("\r\nSet-Cookie:");
    for (qsizetype at = header.indexOf(name); at >= 0; at = header.indexOf(name, at + 1)) {
        const qsizetype valueStart = at + name.size();
        const qsizetype valueEnd = header.indexOf(QByteArrayView("\r\n"), valueStart);
        if (valueEnd < 0)
            return;
        out.setCookies.append(header.sliced(valueStart, valueEnd - valueStart).toByteArray());
    }
}

void findContentLength(QByteArrayView header, KHttpAnswerHeader &out)
{
    constexpr QByteArrayView name("\r\nContent-Length:");
    const qsizetype at = header.indexOf(name);
    if (at < 0)
        return;
    qsizetype p = at + name.size();
    while (p < header.size() && isBlank(header[p]))
        ++p;
    const qsizetype digitsStart = p;
    while (p < header.size() && isDigit(header[p]))
        ++p;
    if (p == digitsStart)
        return;
    const QByteArray digits = header.sliced(digitsStart, p - digitsStart).toByteArray();
    out.contentLengthText = QString::fromLatin1(digits);
    bool ok = false;
    const qint64 length = digits.toLongLong(&ok);
    out.contentLength = ok ? length : -1;
    out.contentLengthOverflow = !ok;
}

} // namespace

qsizetype KHttpAnswerParser::headerEnd(QByteArrayView bytes)
{
    constexpr QByteArrayView blankLine("\r\n\r\n");
    const qsizetype end = bytes.indexOf(blankLine);
    return end == 0 ? bytes.indexOf(blankLine, 1) : end;
}

KHttpAnswerHeader KHttpAnswerParser::parseHeader(QByteArrayView header)
{
    KHttpAnswerHeader out;
    findSetCookies(header, out);
    findStatusLine(header, out);
    findContentLength(header, out);
    return out;
}

bool KHttpAnswerParser::bodyComplete(const KHttpAnswerHeader &header, qint64 bodyBytes)
{
    return !header.contentLengthOverflow
        && (header.contentLength < 0 || header.contentLength == bodyBytes);
}

KHttpAnswer KHttpAnswerParser::parse(const QByteArray &answer)
{
    KHttpAnswer out;
    out.headerEnd = headerEnd(answer);
    if (out.headerEnd <= 0)
        return out;
    out.header = parseHeader(QByteArrayView(answer).first(out.headerEnd));
    if (!out.header.hasStatusLine)
        return out;
    out.body = answer.mid(out.headerEnd + 4);
    out.complete = bodyComplete(out.header, out.body.size());
    return out;
}
