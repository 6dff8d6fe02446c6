#pragma once

#include <QString>

// Shows the fatal-error box ("Velmora fatal error", one OK button) and returns when the user has
// closed it. Callable from any thread: the box is always shown by the GUI thread.
void showFatalError(const QString &message);

// Makes the box the process's fatal-error hook, so that a cache folder that cannot be made shows
// it before the program ends with -1.
void installFatalErrorBox();
