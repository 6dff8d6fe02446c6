// makemanpage README VERSION OUTPUT: writes the reporter's manual page to OUTPUT; fails, and
// writes nothing, when the README's Use section and the help text disagree.

#include "cmdline/qtcommandline.h"
#include "cmdline/reporteroptions.h"
#include "manualpage.h"

#include <QFile>
#include <QSaveFile>

#include <cstdio>

int main(int argc, char *argv[])
{
    if (argc != 4) {
        std::fprintf(stderr, "usage: makemanpage README VERSION OUTPUT\n");
        return 2;
    }
    QFile readme(QString::fromLocal8Bit(argv[1]));
    if (!readme.open(QIODevice::ReadOnly)) {
        std::fprintf(stderr, "makemanpage: cannot read %s\n", argv[1]);
        return 1;
    }
    QtCommandLine commandLine;
    addReporterOptions(commandLine);
    QStringList errors;
    const QString page = manualPage(commandLine.options(), QString::fromUtf8(readme.readAll()),
        QString::fromLocal8Bit(argv[2]), &errors);
    if (!errors.isEmpty()) {
        for (const QString &error : std::as_const(errors))
            std::fprintf(stderr, "makemanpage: %s: %s\n", argv[1], qPrintable(error));
        return 1;
    }
    QSaveFile output(QString::fromLocal8Bit(argv[3]));
    if (!output.open(QIODevice::WriteOnly) || output.write(page.toUtf8()) < 0 || !output.commit()) {
        std::fprintf(stderr, "makemanpage: cannot write %s\n", argv[3]);
        return 1;
    }
    return 0;
}
