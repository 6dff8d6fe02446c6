#include "cmdline/qtcommandline.h"

#include <QCoreApplication>
#include <QRegularExpression>
#include <QTextCodec>

#include <cstdio>

namespace {
QString tr(const char *text)
{
    return QCoreApplication::translate("QtCommandLine", text);
}

bool isFlag(const QtCommandLine::Option &option)
{
    return option.type == QMetaType::UnknownType;
}
} // namespace

QtCommandLine::QtCommandLine() = default;

void QtCommandLine::addOption(const QString &name, QMetaType::Type type, bool required,
    QChar shortName, const QString &description)
{
    m_options.append(Option { name, type, required, shortName, description });
}

const QtCommandLine::Option *QtCommandLine::findByName(const QString &name) const
{
    for (const Option &option : m_options) {
        if (option.name == name)
            return &option;
    }
    return nullptr;
}

const QtCommandLine::Option *QtCommandLine::findByShortName(QChar shortName) const
{
    for (const Option &option : m_options) {
        if (!option.shortName.isNull() && option.shortName == shortName)
            return &option;
    }
    return nullptr;
}

void QtCommandLine::storeValue(const Option &option, const QString &text)
{
    QVariant converted(text);
    bool ok = true;
    if (option.type == QMetaType::Int) {
        // A decimal integer with an optional sign and blanks around it; nothing else.
        const int number = text.trimmed().toInt(&ok, 10);
        converted = QVariant(number);
    } else if (option.type != QMetaType::QString) {
        ok = converted.convert(QMetaType(option.type));
    }
    if (ok) {
        m_values.insert(option.name, converted);
    } else {
        m_messages += tr("Invalid value '%2' for argument --%1 !!!\n").arg(option.name, text);
    }
}

bool QtCommandLine::parse(const QStringList &arguments)
{
    static const QRegularExpression longForm(QStringLiteral("--([\\w\\d]+)(=.*|)"),
        QRegularExpression::DotMatchesEverythingOption
            | QRegularExpression::UseUnicodePropertiesOption);
    m_values.clear();
    m_messages.clear();
    bool ok = true;

    for (qsizetype i = 0; i < arguments.size(); ++i) {
        const QString &argument = arguments.at(i);
        if (argument.startsWith(QLatin1String("--"))) {
            QString name = argument;
            name.replace(longForm, QStringLiteral("\\1"));
            const Option *option = findByName(name);
            if (!option)
                continue;
            if (isFlag(*option)) {
                m_values.insert(option->name, true);
                continue;
            }
            const QString prefix = QLatin1String("--") + name + QLatin1Char('=');
            if (!argument.startsWith(prefix))
                continue;
            storeValue(*option, argument.mid(prefix.size()));
        } else if (argument.startsWith(QLatin1Char('-'))) {
            if (argument.size() != 2)
                continue;
            const Option *option = findByShortName(argument.at(1));
            if (!option)
                continue;
            if (isFlag(*option)) {
                m_values.insert(option->name, true);
                continue;
            }
            if (i + 1 < arguments.size())
                storeValue(*option, arguments.at(++i));
        }
    }

    for (const Option &option : std::as_const(m_options)) {
        if (option.required && !m_values.contains(option.name)) {
            m_messages += tr("Requred argument --%1 not found!!!\n").arg(option.name);
            ok = false;
            break;
        }
    }
    if (!m_messages.isEmpty())
        writeToStandardError(m_messages);
    return ok;
}

QStringList QtCommandLine::freeWords(const QStringList &arguments) const
{
    // The same walk as parse(): only a short option that takes a value consumes the next argument.
    QStringList words;
    for (qsizetype i = 0; i < arguments.size(); ++i) {
        const QString &argument = arguments.at(i);
        if (argument.startsWith(QLatin1Char('-'))) {
            if (argument.startsWith(QLatin1String("--")) || argument.size() != 2)
                continue;
            const Option *option = findByShortName(argument.at(1));
            if (option && !isFlag(*option))
                ++i;
            continue;
        }
        words.append(argument);
    }
    return words;
}

QVariant QtCommandLine::value(const char *name, const QVariant &defaultValue) const
{
    return m_values.value(QString::fromLocal8Bit(name), defaultValue);
}

QString QtCommandLine::helpText(const QString &usage) const
{
    QString text = tr("%1\n").arg(usage);
    if (!m_options.isEmpty())
        text += tr("Valid options:\n");
    for (const Option &option : m_options) {
        text += QStringLiteral("--%1").arg(option.name);
        if (!isFlag(option))
            text += tr("=<value>");
        if (!option.shortName.isNull()) {
            text += QStringLiteral(", -%1").arg(option.shortName);
            if (!isFlag(option))
                text += tr(" <value>");
        }
        if (option.required)
            text += QStringLiteral("\t[%1]").arg(tr("requred"));
        text += QLatin1Char('\n');
        const QStringList lines
            = tr(option.description.toUtf8().constData()).split(QLatin1Char('\n'));
        for (const QString &line : lines)
            text += QLatin1Char('\t') + line + QLatin1Char('\n');
    }
    return text;
}

void QtCommandLine::printHelp(const QString &usage) const
{
    writeToStandardError(helpText(usage));
}

void QtCommandLine::writeToStandardError(const QString &text)
{
    QTextCodec *codec = QTextCodec::codecForName("IBM 866");
    const QByteArray bytes = codec ? codec->fromUnicode(text) : text.toLocal8Bit();
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stderr);
    std::fflush(stderr);
}
