// The web service's answer parser on arbitrary answer bodies.
#include "webclient/kvaluemap.h"

#include <QBuffer>
#include <QByteArray>

#include <cstddef>
#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    QByteArray bytes(reinterpret_cast<const char *>(data), qsizetype(size));
    QBuffer device(&bytes);
    device.open(QIODevice::ReadOnly);
    const KValueMap answer = parseReply(&device);

    // The parser reads the whole answer, and whatever it keeps comes from it: no value is longer
    // than the answer, and one-line values are Latin-1 texts of the answer's bytes.
    if (!device.atEnd())
        std::abort();
    for (auto it = answer.cbegin(); it != answer.cend(); ++it) {
        if (it.key().size() > bytes.size())
            std::abort();
        const QVariant &value = it.value();
        if (value.typeId() == QMetaType::QString) {
            const QByteArray latin1 = value.toString().toLatin1();
            if (latin1.size() > bytes.size() || !bytes.contains(latin1))
                std::abort();
        } else if (value.typeId() == QMetaType::QByteArray) {
            if (value.toByteArray().size() > bytes.size())
                std::abort();
        } else {
            std::abort();
        }
    }
    return 0;
}
