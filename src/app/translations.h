#pragma once

#include <QLocale>
#include <QString>

// Makes the window, its message boxes and the fatal-error box speak the first language of the
// locale's UI languages that the reporter has a catalogue for (":/i18n/dumpreporter_<lang>.qm"),
// together with the toolkit's own catalogue of that language (the standard buttons, "OK",
// "Cancel"), when the system has it. Without a catalogue the texts stay the English sources.
// Replaces what an earlier call installed; needs the application object, and is called before
// the first translated text is built. Returns the language loaded ("ru", "de"), or an empty
// string for the English sources.
QString installTranslations(const QLocale &locale = QLocale::system());
