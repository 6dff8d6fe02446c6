#include "http/krequestbody.h"

#include <algorithm>
#include <cstring>

KRequestBody::~KRequestBody() = default;

KByteArrayBody::KByteArrayBody(const QByteArray &bytes)
    : m_bytes(bytes)
{ }

qint64 KByteArrayBody::size() const
{
    return m_bytes.size();
}

qint64 KByteArrayBody::read(char *out, qint64 max)
{
    const qint64 n = std::min(std::max<qint64>(0, max), qint64(m_bytes.size()) - m_position);
    if (n > 0)
        std::memcpy(out, m_bytes.constData() + m_position, size_t(n));
    m_position += n;
    return n;
}

bool KByteArrayBody::rewind()
{
    m_position = 0;
    return true;
}
