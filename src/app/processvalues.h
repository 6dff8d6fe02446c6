#pragma once

// Process-wide values, set once during start-up and read everywhere else.

#include <QString>

class KWebClient;

// "major.minor.patch" from bits 16-23, 8-15 and 0-7 of the version number; the top byte is ignored.
QString versionText(int version);

// The version number given on the command line; -1 until start-up sets it.
int versionNumber();
void setVersionNumber(int version);

// The per-user cache folder, "$HOME/.Velmora/cache/", created with its parents when missing;
// every folder it creates is open to the user alone (mode 0700).
// Always ends with a slash. When it cannot be created: the fatal-error box (only while the
// application object exists), the critical message, a request to end the event loop with -1,
// and the home folder followed by "/" as the result.
QString cacheFolder();

// The text in the report dialog's login field, from any thread; null before the dialog exists
// and again once it is gone. The GUI thread keeps the copy up to date.
QString currentLogin();
void setCurrentLogin(const QString &login);

// The one web client of the process, owned by start-up; null before it exists.
KWebClient *webClient();
void setWebClient(KWebClient *client);
