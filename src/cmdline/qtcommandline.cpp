#include "cmdline/qtcommandline.h"

#include <QCoreApplication>
#include <QRegularExpression>

#ifdef Q_OS_WIN
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
#else
#include <cerrno>
#include <clocale>
#include <iconv.h>
#include <langinfo.h>
#endif

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

#ifdef Q_OS_WIN
// Windows: the program is a GUI program and has no console of its own. The text goes to the
// standard error it was started with when there is one (a file or a pipe), otherwise to the
// console of the one who started it (AttachConsole). It is encoded in that console's code page,
// 866 on a Russian system, or in the system's console code page when there is no console; a
// character the code page lacks is a '?'.
void writeToConsole(const QString &text)
{
    HANDLE handle = GetStdHandle(STD_ERROR_HANDLE);
    bool own = false;
    if (handle == nullptr || handle == INVALID_HANDLE_VALUE) {
        if (!AttachConsole(ATTACH_PARENT_PROCESS) && GetLastError() != ERROR_ACCESS_DENIED)
            return; // no console to attach to (ERROR_ACCESS_DENIED: one is attached already)
        handle = CreateFileW(L"CONOUT$", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_WRITE, nullptr,
            OPEN_EXISTING, 0, nullptr);
        if (handle == INVALID_HANDLE_VALUE)
            return;
        own = true;
    }
    const UINT codePage = GetConsoleOutputCP() != 0 ? GetConsoleOutputCP() : GetOEMCP();
    const auto *wide = reinterpret_cast<const wchar_t *>(text.utf16());
    const int length = int(text.size());
    const int size = WideCharToMultiByte(codePage, 0, wide, length, nullptr, 0, nullptr, nullptr);
    QByteArray bytes(size, Qt::Uninitialized);
    WideCharToMultiByte(codePage, 0, wide, length, bytes.data(), size, nullptr, nullptr);
    DWORD written = 0;
    WriteFile(handle, bytes.constData(), DWORD(bytes.size()), &written, nullptr);
    if (own)
        CloseHandle(handle);
}
#else
// The character encoding of the locale the environment names for characters (LC_ALL, LC_CTYPE,
// LANG), as the C library knows it: "UTF-8", "KOI8-R", "ANSI_X3.4-1968" for C and POSIX. When
// the C library has no such locale, the encoding its name gives ("ru_RU.KOI8-R"), else ASCII.
QByteArray localeEncoding()
{
    if (locale_t locale = newlocale(LC_CTYPE_MASK, "", locale_t(nullptr))) {
        const QByteArray codeset = nl_langinfo_l(CODESET, locale);
        freelocale(locale);
        return codeset;
    }
    for (const char *name : { "LC_ALL", "LC_CTYPE", "LANG" }) {
        const QByteArray value = qgetenv(name);
        if (value.isEmpty())
            continue;
        const qsizetype dot = value.indexOf('.');
        if (dot < 0)
            break;
        const qsizetype at = value.indexOf('@', dot);
        return value.mid(dot + 1, at < 0 ? -1 : at - dot - 1);
    }
    return QByteArrayLiteral("ANSI_X3.4-1968");
}

// The bytes of the length of the UTF-8 sequence that begins with lead.
qsizetype utf8SequenceLength(unsigned char lead)
{
    if (lead >= 0xF0)
        return 4;
    if (lead >= 0xE0)
        return 3;
    if (lead >= 0xC0)
        return 2;
    return 1;
}

// Text in the locale's encoding; a character the encoding cannot hold becomes '?'. An encoding
// the C library does not know gets UTF-8.
QByteArray localeBytes(const QString &text)
{
    const QByteArray utf8 = text.toUtf8();
    const QByteArray encoding = localeEncoding();
    if (encoding == "UTF-8" || encoding == "utf8")
        return utf8;
    iconv_t converter = iconv_open(encoding.constData(), "UTF-8");
    if (converter == iconv_t(-1))
        return utf8;
    QByteArray bytes;
    char buffer[256];
    char *in = const_cast<char *>(utf8.constData());
    size_t inLeft = size_t(utf8.size());
    while (inLeft > 0) {
        char *out = buffer;
        size_t outLeft = sizeof buffer;
        const size_t result = iconv(converter, &in, &inLeft, &out, &outLeft);
        bytes.append(buffer, qsizetype(out - buffer));
        if (result != size_t(-1) || errno == E2BIG)
            continue;
        // EILSEQ: a character the encoding lacks; EINVAL cannot happen with whole UTF-8.
        bytes.append('?');
        const size_t skip = qMin(size_t(utf8SequenceLength((unsigned char)*in)), inLeft);
        in += skip;
        inLeft -= skip;
    }
    // The bytes that end a state-keeping encoding.
    char *out = buffer;
    size_t outLeft = sizeof buffer;
    iconv(converter, nullptr, nullptr, &out, &outLeft);
    bytes.append(buffer, qsizetype(out - buffer));
    iconv_close(converter);
    return bytes;
}
#endif
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
#ifdef Q_OS_WIN
    writeToConsole(text);
#else
    const QByteArray bytes = localeBytes(text);
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stderr);
    std::fflush(stderr);
#endif
}
