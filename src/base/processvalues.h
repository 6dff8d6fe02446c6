#pragma once

// Process-wide values, set once during start-up and read everywhere else. GUI-free: what a
// higher layer must do when a value cannot be had goes through the fatal-error hook.

#include <QString>

// "major.minor.patch" from bits 16-23, 8-15 and 0-7 of the version number; the top byte is ignored.
QString versionText(int version);

// The version number given on the command line; -1 until start-up sets it.
int versionNumber();
void setVersionNumber(int version);

// The per-user cache folder, "$HOME/.Velmora/cache/", created with its parents when missing;
// every folder it creates is open to the user alone (mode 0700).
// Always ends with a slash. When it cannot be created, and only while the application object
// exists: the installed fatal-error hook with the message, then the critical message and a
// request to end the event loop with -1. Without the application object: the critical message
// alone. Either way the home folder followed by "/" is the result.
QString cacheFolder();

// The text in the report dialog's login field, from any thread; null before the dialog exists
// and again once it is gone. The GUI thread keeps the copy up to date.
QString currentLogin();
void setCurrentLogin(const QString &login);
