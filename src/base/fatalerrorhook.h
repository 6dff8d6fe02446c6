#pragma once

#include <QString>

// What the process shows when it cannot go on (the cache folder cannot be made). The lowest
// layer calls the hook; the program installs one that shows its fatal-error box, the way
// qInstallMessageHandler lets a higher layer act on a lower one's messages. The hook may be
// called from any thread and returns once the user has seen the message; ending the program is
// left to the caller.
using FatalErrorHook = void (*)(const QString &message);

// Installs the hook and returns the one installed before (null: none). Null removes the hook.
FatalErrorHook installFatalErrorHook(FatalErrorHook hook);

// Calls the installed hook with the message; does nothing when none is installed.
void callFatalErrorHook(const QString &message);
