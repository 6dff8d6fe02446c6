#pragma once

#include "cmdline/qtcommandline.h"

#include <QString>
#include <QStringList>

// The manual page dumpreporter.1 (roff, man macros), made from the reporter's options (the table
// its help text is printed from) and two sections of the README: the first paragraph of
// "What it is" is the description, and "Use" gives the synopsis (its first code block), the
// meaning of every option (its table) and the rest of the page (its paragraphs, tables and
// subsections).
//
// The README and the help text must agree: every option of the help text has a row in the Use
// table that names its long and short form (`--dump`, `-d`), and every row that names a long
// option is one of the help text's. Each disagreement is one line in errors; the page is made
// anyway.
QString manualPage(const QList<QtCommandLine::Option> &options, const QString &readme,
    const QString &version, QStringList *errors);
