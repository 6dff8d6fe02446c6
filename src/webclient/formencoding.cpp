#include "webclient/formencoding.h"

QByteArray encodeForm(const KValueMap &parameters)
{
    QByteArray body;
    bool first = true;
    for (auto it = parameters.cbegin(); it != parameters.cend(); ++it) {
        if (!first)
            body += '&';
        first = false;
        body += it.key().toLatin1();
        body += '=';
        // toPercentEncoding leaves exactly the unreserved set alone and writes upper-case hex.
        body += it.value().toByteArray().toPercentEncoding();
    }
    return body;
}
