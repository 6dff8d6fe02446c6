#pragma once

#include <QLocale>
#include <QString>

// Makes the window, its message boxes and the fatal-error box speak the first language of the
// locale's UI languages that the reporter has a catalogue for (":/i18n/dumpreporter_<lang>.qm"),
// together with the toolkit's own catalogue of that language (the standard buttons, "OK",
// "Cancel"), when the system has it. Without a catalogue the texts stay the English sources.
// The English sources take their plural forms ("1 earlier report waits") from a catalogue of
// those alone (":/i18n/dumpreporter_en.qm"). Numbers are written in the notation of the language
// shown: the default locale becomes the given one when it speaks that language, else the
// language's own (English: the United States'). Replaces what an earlier call installed; needs
// the application object, and is called before the first translated text is built. Returns the
// language loaded ("ru", "de"), or an empty string for the English sources.
QString installTranslations(const QLocale &locale = QLocale::system());
