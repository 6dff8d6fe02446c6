// The command-line option parser with the program's four options, a flag and a few other value
// types, on arbitrary argument lists (arguments separated by zero bytes, UTF-8).
#include "cmdline/qtcommandline.h"

#include <QByteArray>
#include <QList>
#include <QStringList>

#include <cstddef>
#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char *>(data), qsizetype(size));
    QStringList arguments;
    for (const QByteArray &part : bytes.split('\0'))
        arguments.append(QString::fromUtf8(part));

    QtCommandLine commandLine;
    commandLine.addOption(QStringLiteral("dump"), QMetaType::QString, true, QLatin1Char('d'),
        QStringLiteral("dump file"));
    commandLine.addOption(QStringLiteral("version"), QMetaType::Int, true, QLatin1Char('v'),
        QStringLiteral("version"));
    commandLine.addOption(QStringLiteral("company"), QMetaType::QString, true, QLatin1Char('c'),
        QStringLiteral("company id"));
    commandLine.addOption(QStringLiteral("soft"), QMetaType::QString, true, QLatin1Char('s'),
        QStringLiteral("software id\nsecond line"));
    commandLine.addOption(QStringLiteral("flag"), QMetaType::UnknownType, false, QLatin1Char('f'),
        QStringLiteral("a flag"));
    commandLine.addOption(QStringLiteral("ratio"), QMetaType::Double, false, QLatin1Char('r'),
        QStringLiteral("a number"));
    commandLine.addOption(
        QStringLiteral("when"), QMetaType::QDateTime, false, QChar(), QStringLiteral("a date"));

    const bool ok = commandLine.parse(arguments);
    const QVariant version = commandLine.value("version");
    // A kept value always has the option's type; a successful parse has every required value.
    if (version.isValid() && version.typeId() != QMetaType::Int)
        std::abort();
    const QVariant dump = commandLine.value("dump");
    if (dump.isValid() && dump.typeId() != QMetaType::QString)
        std::abort();
    const QVariant ratio = commandLine.value("ratio");
    if (ratio.isValid() && ratio.typeId() != QMetaType::Double)
        std::abort();
    if (ok
        && (!version.isValid() || !dump.isValid() || !commandLine.value("company").isValid()
            || !commandLine.value("soft").isValid()))
        std::abort();
    if (commandLine.helpText(arguments.value(0)).isEmpty())
        std::abort();
    return 0;
}
