#include "skin/skinmode.h"

#include "base/windowsversion.h"

#include <optional>

namespace {
// The WinVersion code of Windows Vista: the first version shown in native mode.
constexpr int kWindowsVistaCode = 0x0080;

std::optional<SkinMode> &forcedMode()
{
    static std::optional<SkinMode> mode;
    return mode;
}
} // namespace

SkinMode skinMode()
{
    if (forcedMode())
        return *forcedMode();
    return windowsVersionCode() < kWindowsVistaCode ? SkinMode::Classic : SkinMode::Native;
}

bool isClassicSkin()
{
    return skinMode() == SkinMode::Classic;
}

void overrideSkinMode(SkinMode mode)
{
    forcedMode() = mode;
}

void resetSkinMode()
{
    forcedMode().reset();
}
