#pragma once

#include <QList>
#include <QMap>
#include <QMetaType>
#include <QString>
#include <QStringList>
#include <QVariant>

class QTextStream;

// A small parser of long options ("--name=value"), short options ("-n value") and flags. Values
// are typed: each option names the variant type its value must convert to, and a value that does
// not convert is reported and dropped. Everything it prints goes to standard error in the
// locale's encoding (on Windows to the console of the one who started the program, in the
// console's code page: 866 on a Russian system). Used on one thread only.
class QtCommandLine
{
public:
    struct Option
    {
        QString name;
        QMetaType::Type type = QMetaType::UnknownType; // UnknownType marks a flag: no value
        bool required = false;
        QChar shortName; // null: none
        QString description;
    };

    QtCommandLine();

    // Duplicate names are allowed; lookups use the first option that matches.
    void addOption(const QString &name, QMetaType::Type type, bool required, QChar shortName,
        const QString &description);

    // Reads the argument list afresh; false when a required option ends up without a value.
    bool parse(const QStringList &arguments);

    QVariant value(const char *name, const QVariant &defaultValue = QVariant()) const;

    void printHelp(const QString &usage) const;

    // The arguments that parse() would pass over: neither an option nor an option's value (a
    // word after a short option that takes one is its value, whatever it looks like), in order.
    QStringList freeWords(const QStringList &arguments) const;

    // The text that printHelp() prints, before encoding; for callers that need it.
    QString helpText(const QString &usage) const;

    // The options as added, in that order: what the help text lists.
    const QList<Option> &options() const { return m_options; }

    // Writes text where the diagnostics of the command line go, encoded as described above.
    static void writeToStandardError(const QString &text);

private:
    const Option *findByName(const QString &name) const;
    const Option *findByShortName(QChar shortName) const;
    void storeValue(const Option &option, const QString &text);

    QList<Option> m_options;
    QMap<QString, QVariant> m_values;
    QString m_messages;
};
