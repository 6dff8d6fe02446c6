#include "app/translations.h"

#include "logging/logging.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QList>
#include <QPointer>
#include <QTranslator>

namespace {
// The translators installed by the last call; the application object owns them.
QList<QPointer<QTranslator>> &installed()
{
    static QList<QPointer<QTranslator>> translators;
    return translators;
}

void removeInstalled()
{
    for (const QPointer<QTranslator> &translator : std::as_const(installed())) {
        if (translator) {
            QCoreApplication::removeTranslator(translator);
            delete translator;
        }
    }
    installed().clear();
}

void install(QTranslator *translator)
{
    QCoreApplication::installTranslator(translator);
    installed().append(translator);
}
} // namespace

QString installTranslations(const QLocale &locale)
{
    QCoreApplication *app = QCoreApplication::instance();
    if (!app)
        return QString();
    removeInstalled();

    auto own = std::make_unique<QTranslator>(app);
    const bool found = own->load(
        locale, QStringLiteral("dumpreporter"), QStringLiteral("_"), QStringLiteral(":/i18n"));
    const QLocale language = found ? QLocale(own->language()) : QLocale(QLocale::English);
    if (language.language() == QLocale::English) {
        // The English sources are shown as they are, but for the texts that count something
        // ("%n earlier reports"), whose singular comes from a catalogue of plural forms alone.
        if (found || own->load(QStringLiteral(":/i18n/dumpreporter_en.qm")))
            install(own.release());
        // Numbers in English notation, as the texts around them.
        const bool english
            = locale.language() == QLocale::English || locale.language() == QLocale::C;
        QLocale::setDefault(english ? locale : QLocale(QLocale::English, QLocale::UnitedStates));
        return QString();
    }
    // Numbers in the notation of the language shown ("14,2"), of the user's country when it
    // speaks that language.
    QLocale::setDefault(locale.language() == language.language() ? locale : language);
    // The catalogue names its own language ("ru_RU"); the toolkit's catalogue of the same
    // language keeps the window in one language.
    const QString languageName = QLocale::languageToCode(language.language());
    LOG_INFO(QStringLiteral("Texts are shown in the language %1.").arg(languageName));
    install(own.release());

    auto toolkit = std::make_unique<QTranslator>(app);
    const QString toolkitFolder = QLibraryInfo::path(QLibraryInfo::TranslationsPath);
    if (toolkit->load(language, QStringLiteral("qtbase"), QStringLiteral("_"), toolkitFolder))
        install(toolkit.release());
    else
        LOG_INFO(
            QStringLiteral("The toolkit's texts in the language %1 are not in %2: its standard "
                           "buttons stay English.")
                .arg(languageName, toolkitFolder));
    return languageName;
}
