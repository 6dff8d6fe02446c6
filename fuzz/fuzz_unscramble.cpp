// Unscrambling of stored text values on arbitrary stored bytes, and the round trip of any text
// through scramble() and unscramble().
#include "settings/ksettingsmanager.h"

#include <QByteArray>
#include <QString>

#include <cstddef>
#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray stored(reinterpret_cast<const char *>(data), qsizetype(size));
    const QString text = VM::KSettingsManager::unscramble(stored);
    if (text.size() > stored.size())
        std::abort();

    const QString input = QString::fromUtf8(stored);
    const QByteArray scrambled = VM::KSettingsManager::scramble(input);
    if (!scrambled.startsWith(VM::KSettingsManager::ScrambledMarker))
        std::abort();
    if (VM::KSettingsManager::unscramble(scrambled) != input)
        std::abort();
    return 0;
}
