// The window, its message boxes and the fatal-error box in Russian and German, loaded the way
// start-up loads them; the English sources under every other locale; the catalogues themselves.

#include "app/fatalerror.h"
#include "app/kdumpreporterdlg.h"
#include "app/kreportqueue.h"
#include "app/reportheader.h"
#include "app/translations.h"
#include "base/fatalerrorhook.h"
#include "base/processvalues.h"
#include "settings/ksettingsmanager.h"
#include "skin/kskinnedmessagebox.h"
#include "skin/skinmode.h"
#include "support/reportwindowdriver.h"
#include "support/testsupport.h"
#include "webclient/kwebclient.h"

#include <QtTest>
#include <QtWidgets>

namespace {
const QLocale russian(QLocale::Russian, QLocale::Russia);
const QLocale german(QLocale::German, QLocale::Germany);

// One message of a catalogue: its source and its translation, or its plural forms.
struct CatalogueMessage
{
    QString context;
    QString source;
    QString type; // the translation's type attribute: "unfinished", "vanished", "obsolete" or ""
    bool numerus = false;
    QStringList translations; // one, or one a plural form
};

// Reads a Qt Linguist catalogue; the error, if any, goes to *error.
QList<CatalogueMessage> readCatalogue(const QString &path, QString *language, QString *error)
{
    QList<CatalogueMessage> messages;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        *error = file.errorString();
        return messages;
    }
    QXmlStreamReader xml(&file);
    QString context;
    CatalogueMessage message;
    while (!xml.atEnd()) {
        xml.readNext();
        if (xml.isStartElement()) {
            const auto name = xml.name();
            if (name == QLatin1String("TS")) {
                *language = xml.attributes().value(QLatin1String("language")).toString();
            } else if (name == QLatin1String("name")) {
                context = xml.readElementText();
            } else if (name == QLatin1String("message")) {
                message = CatalogueMessage();
                message.context = context;
                message.numerus
                    = xml.attributes().value(QLatin1String("numerus")) == QLatin1String("yes");
            } else if (name == QLatin1String("source")) {
                message.source = xml.readElementText();
            } else if (name == QLatin1String("translation")) {
                message.type = xml.attributes().value(QLatin1String("type")).toString();
                if (!message.numerus)
                    message.translations << xml.readElementText();
            } else if (name == QLatin1String("numerusform")) {
                message.translations << xml.readElementText();
            }
        } else if (xml.isEndElement() && xml.name() == QLatin1String("message")) {
            messages << message;
        }
    }
    if (xml.hasError())
        *error = xml.errorString();
    return messages;
}

// The placeholders and accelerator marks of a text, sorted: "%1", "%2", "%n", "&".
QStringList marksOf(const QString &text)
{
    QStringList marks;
    static const QRegularExpression pattern(QStringLiteral("%(?:[1-9]|n)|&"));
    for (const QRegularExpressionMatch &match : pattern.globalMatch(text))
        marks << match.captured();
    marks.sort();
    return marks;
}

QString catalogueFolder()
{
    return QStringLiteral(VELMORA_TRANSLATIONS_SOURCE_DIR);
}

// Every text a user reads in the window, by the object that shows it.
QMap<QString, QString> windowTexts(const KDumpReporterDlg &dialog)
{
    QMap<QString, QString> texts;
    texts.insert(QStringLiteral("window title"), dialog.windowTitle());
    for (const QLabel *label : dialog.findChildren<QLabel *>())
        texts.insert(label->objectName(), label->text());
    for (const QAbstractButton *button : dialog.findChildren<QAbstractButton *>())
        texts.insert(button->objectName(), button->text());
    for (const QWidget *widget : dialog.findChildren<QWidget *>()) {
        if (!widget->accessibleName().isEmpty())
            texts.insert(
                widget->objectName() + QStringLiteral(" (accessible)"), widget->accessibleName());
    }
    return texts;
}

// Puts reports of other dumps in the queue, so that the window names them under its header.
void queueEarlierReports(const QString &folder, int count)
{
    cacheFolder(); // start-up makes the cache folder, the queue's parent
    const KReportQueue queue(KReportQueue::defaultFolder());
    for (int i = 0; i < count; ++i) {
        KPendingReport report;
        report.dumpPath = folder + QStringLiteral("/earlier%1.dmp").arg(i);
        report.comment = QStringLiteral("earlier");
        report.reportTime = QDateTime(QDate(2014, 2, 3), QTime(9, 5));
        report.version = 0x10203;
        QVERIFY(writeTestFile(report.dumpPath, "MDMP earlier"));
        QVERIFY(queue.add(report));
    }
}

// Translates every text it is asked for into "‹text›": a text that reaches the user without
// asking for its translation shows no marks.
class MarkingTranslator : public QTranslator
{
public:
    QString translate(const char *, const char *sourceText, const char *, int) const override
    {
        return QStringLiteral("‹") + QString::fromUtf8(sourceText) + QStringLiteral("›");
    }
    bool isEmpty() const override { return false; }
};

// Presses the OK button of the first message box that comes up, after noting what it showed.
struct ShownBox
{
    QString title;
    QString text;
    QString okText;
    QString titleBarText;
};
class BoxAnswerer
{
public:
    BoxAnswerer()
    {
        m_timer.setInterval(10);
        QObject::connect(&m_timer, &QTimer::timeout, [this] {
            auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
            if (!box || !box->isVisible())
                return;
            m_timer.stop();
            ShownBox shown { box->windowTitle(), box->text(), box->button(QMessageBox::Ok)->text(),
                QString() };
            if (const auto *bar = box->findChild<QLabel *>(QStringLiteral("lblTitle")))
                shown.titleBarText = bar->text();
            seen << shown;
            box->button(QMessageBox::Ok)->click();
        });
        m_timer.start();
    }
    QList<ShownBox> seen;

private:
    QTimer m_timer;
};
} // namespace

class TestTranslations : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init();
    void cleanup();
    void catalogueEntries_data();
    void catalogueEntries();
    void cataloguesHoldTheSameTexts();
    void windowInLanguage_data();
    void windowInLanguage();
    void numbersInLanguage_data();
    void numbersInLanguage();
    void failureTextsInLanguage_data();
    void failureTextsInLanguage();
    void buttonKeys_data();
    void buttonKeys();
    void earlierReportsPlural_data();
    void earlierReportsPlural();
    void messageBoxInLanguage_data();
    void messageBoxInLanguage();
    void fatalErrorBoxInLanguage();
    void englishSources_data();
    void englishSources();
    void everyWindowTextIsTranslated();
    void serviceTextsStayEnglish();

private:
    std::unique_ptr<TemporaryHome> m_home;
};

void TestTranslations::init()
{
    m_home = std::make_unique<TemporaryHome>();
    VM::KSettingsManager::init(0x10203, "Co", "Soft");
}

void TestTranslations::cleanup()
{
    // Back to the English sources for the next case, whatever this one loaded.
    installTranslations(QLocale::c());
    m_home.reset();
}

void TestTranslations::catalogueEntries_data()
{
    QTest::addColumn<QString>("type");
    QTest::addColumn<QString>("source");
    QTest::addColumn<bool>("numerus");
    QTest::addColumn<QStringList>("translations");
    QTest::addColumn<int>("pluralForms");

    // The English catalogue holds the plural forms of the sources alone.
    const QStringList files
        = QDir(catalogueFolder()).entryList({ QStringLiteral("dumpreporter_*.ts") }, QDir::Files);
    QCOMPARE(
        files, QStringList({ "dumpreporter_de.ts", "dumpreporter_en.ts", "dumpreporter_ru.ts" }));
    for (const QString &name : files) {
        QString language, error;
        const QList<CatalogueMessage> messages
            = readCatalogue(catalogueFolder() + QLatin1Char('/') + name, &language, &error);
        QVERIFY2(error.isEmpty(), qPrintable(name + QStringLiteral(": ") + error));
        QVERIFY2(!messages.isEmpty(), qPrintable(name));
        // The file's name and the language it declares agree.
        const QString code = name.section(QLatin1Char('_'), 1).section(QLatin1Char('.'), 0, 0);
        QCOMPARE(QLocale::languageToCode(QLocale(language).language()), code);
        const int pluralForms = code == QLatin1String("ru") ? 3 : 2;
        for (const CatalogueMessage &message : messages) {
            if (code == QLatin1String("en"))
                QVERIFY2(message.numerus, qPrintable(message.source));
            const QString row
                = QStringLiteral("%1 %2: %3").arg(code, message.context, message.source.left(60));
            QTest::newRow(qPrintable(row)) << message.type << message.source << message.numerus
                                           << message.translations << pluralForms;
        }
    }
}

void TestTranslations::catalogueEntries()
{
    QFETCH(QString, type);
    QFETCH(QString, source);
    QFETCH(bool, numerus);
    QFETCH(QStringList, translations);
    QFETCH(int, pluralForms);

    // Finished, and still used by the sources.
    QCOMPARE(type, QString());
    QCOMPARE(translations.size(), numerus ? pluralForms : 1);
    // "…", not three dots; a no-break space between a number and its unit ("14 МБ", "3 s").
    static const QRegularExpression unitAfterSpace(
        QStringLiteral("(\\d|%L?\\d|%n) (B|KB|MB|s|Б|КБ|МБ|с)\\b"));
    for (const QString &text : QStringList { source } + translations) {
        QVERIFY2(!text.contains(QLatin1String("...")), qPrintable(text));
        QVERIFY2(!unitAfterSpace.match(text).hasMatch(), qPrintable(text));
    }
    for (const QString &translation : translations) {
        QVERIFY(!translation.trimmed().isEmpty());
        // The same placeholders and accelerators as the source; "%n" in every plural form.
        QCOMPARE(marksOf(translation), marksOf(source));
        // Rich text stays rich text.
        QCOMPARE(translation.startsWith(QLatin1String("<!DOCTYPE")),
            source.startsWith(QLatin1String("<!DOCTYPE")));
    }
}

void TestTranslations::cataloguesHoldTheSameTexts()
{
    QMap<QString, QStringList> sources;
    for (const QString &code : QStringList { "de", "ru" }) {
        QString language, error;
        const QString path = catalogueFolder() + QStringLiteral("/dumpreporter_%1.ts").arg(code);
        for (const CatalogueMessage &message : readCatalogue(path, &language, &error))
            sources[code] << message.context + QLatin1Char('|') + message.source
                    + (message.numerus ? QStringLiteral(" (plural)") : QString());
        QVERIFY2(error.isEmpty(), qPrintable(error));
        sources[code].sort();
    }
    QCOMPARE(sources.value("ru"), sources.value("de"));
    // Each text that counts has its plural forms in English too.
    QString language, error;
    QStringList english;
    for (const CatalogueMessage &message :
        readCatalogue(catalogueFolder() + QStringLiteral("/dumpreporter_en.ts"), &language, &error))
        english << message.context + QLatin1Char('|') + message.source
                + QStringLiteral(" (plural)");
    english.sort();
    QCOMPARE(english, sources.value("ru").filter(QStringLiteral(" (plural)")));
}

void TestTranslations::windowInLanguage_data()
{
    QTest::addColumn<QLocale>("locale");
    QTest::addColumn<QString>("language");
    QTest::addColumn<QStringList>("expected"); // object, text; object, text; ...
    QTest::addColumn<QString>("header");
    QTest::addColumn<QString>("progress");

    QTest::addColumn<QString>("privacy");
    QTest::newRow("ru_RU") << russian << "ru"
                           << QStringList { "buttonSend", "&Отправить отчёт", "buttonExit",
                                  "В&ыход", "window title", "Отчёт о проблеме Velmora",
                                  "labelDumpFile", "Файл дампа:", "buttonWhatIsSent",
                                  "&Что будет отправлено?", "checkBoxRestart",
                                  "&Перезапустить Velmora", "progressUpload (accessible)",
                                  "Ход отправки" }
                           << "Velmora или один из её компонентов только что аварийно завершил "
                              "работу."
                           << "2 / 2\u00a0КБ, осталось 0\u00a0с"
                           << "Конфиденциальность: отчёт содержит дамп памяти на момент сбоя, в "
                              "котором могут оказаться данные, с которыми вы работали, а также ваш "
                              "комментарий и описание вашей системы. Вход выполняется под вашим "
                              "логином Velmora; пароль в отчёт не включается.";
    const QString germanPrivacy = QStringLiteral(
        "Datenschutzhinweis: Der Bericht enthält die Dump-Datei des Absturzes, "
        "die Daten enthalten kann, mit denen Sie gerade gearbeitet haben, sowie "
        "Ihren Kommentar und eine Beschreibung Ihres Systems. Sie melden sich mit "
        "Ihrem Velmora-Anmeldenamen an; Ihr Passwort ist nicht Teil des Berichts.");
    QTest::newRow("de_DE") << german << "de"
                           << QStringList { "buttonSend", "Bericht &senden", "buttonExit",
                                  "&Beenden", "window title", "Velmora-Problembericht",
                                  "labelDumpFile", "Dump-Datei:", "labelComments",
                                  "Ihr Kommentar (optional):", "buttonWhatIsSent",
                                  "&Was wird gesendet?", "checkBoxRestart", "Velmora &neu starten",
                                  "progressUpload (accessible)", "Sendefortschritt" }
                           << "ist soeben abgestürzt"
                           << "2 / 2\u00a0KB, noch 0\u00a0s" << germanPrivacy;
    // Another country of the language falls back to the language's catalogue.
    QTest::newRow("de_AT") << QLocale(QLocale::German, QLocale::Austria) << "de"
                           << QStringList { "buttonSend", "Bericht &senden" }
                           << "ist soeben abgestürzt"
                           << "2 / 2\u00a0KB, noch 0\u00a0s" << germanPrivacy;
}

void TestTranslations::windowInLanguage()
{
    QFETCH(QLocale, locale);
    QFETCH(QString, language);
    QFETCH(QStringList, expected);
    QFETCH(QString, header);
    QFETCH(QString, progress);
    QFETCH(QString, privacy);

    QCOMPARE(installTranslations(locale), language);
    KDumpReporterDlg dialog(m_home->path() + QStringLiteral("/crash.dmp"));
    const QMap<QString, QString> texts = windowTexts(dialog);
    for (qsizetype i = 0; i + 1 < expected.size(); i += 2)
        QCOMPARE(texts.value(expected.at(i)), expected.at(i + 1));
    QTextDocument document;
    document.setHtml(texts.value("labelHeader"));
    const QString shownHeader = document.toPlainText();
    QVERIFY2(shownHeader.contains(header), qPrintable(shownHeader));
    // The privacy note closes the header.
    QVERIFY2(shownHeader.endsWith(QStringLiteral("\n\n") + privacy), qPrintable(shownHeader));
    QCOMPARE(KDumpReporterDlg::progressText(2048, 2048), progress);
}

void TestTranslations::numbersInLanguage_data()
{
    QTest::addColumn<QLocale>("locale");
    QTest::addColumn<QString>("progress"); // 1.5 of 10 MB
    QTest::addColumn<QString>("largest"); // nothing of 3 GB
    QTest::addColumn<QString>("dump"); // a dump of 14.2 MB, as "What will be sent?" names it
    const QString nbsp = QStringLiteral("\u00a0");
    QTest::newRow("en") << QLocale(QLocale::English, QLocale::UnitedStates)
                        << "1.5 / 10.0" + nbsp + "MB, 18:09 left"
                        << "0.0 / 3,072.0" + nbsp + "MB, 109:15:13 left"
                        << "crash.dmp, 14.2" + nbsp + "MB";
    QTest::newRow("ru") << russian << "1,5 / 10,0" + nbsp + "МБ, осталось 18:09"
                        << "0,0 / 3" + nbsp + "072,0" + nbsp + "МБ, осталось 109:15:13"
                        << "crash.dmp, 14,2" + nbsp + "МБ";
    QTest::newRow("de") << german << "1,5 / 10,0" + nbsp + "MB, noch 18:09"
                        << "0,0 / 3.072,0" + nbsp + "MB, noch 109:15:13"
                        << "crash.dmp, 14,2" + nbsp + "MB";
}

// Sizes in the notation of the language shown, each kept with its unit by a no-break space.
void TestTranslations::numbersInLanguage()
{
    QFETCH(QLocale, locale);
    QFETCH(QString, progress);
    QFETCH(QString, largest);
    QFETCH(QString, dump);
    installTranslations(locale);
    const qint64 mb = 1024 * 1024;
    QCOMPARE(KDumpReporterDlg::progressText(mb + mb / 2, 10 * mb), progress);
    QCOMPARE(KDumpReporterDlg::progressText(0, 3072 * mb), largest);
    const QString path = m_home->path() + QStringLiteral("/crash.dmp");
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    QVERIFY(file.resize(qint64(14.2 * double(mb))));
    file.close();
    KDumpReporterDlg dialog(path);
    QVERIFY2(dialog.reportPreview().contains(dump + QLatin1Char('\n')),
        qPrintable(dialog.reportPreview()));
}

void TestTranslations::failureTextsInLanguage_data()
{
    QTest::addColumn<QLocale>("locale");
    QTest::addColumn<int>("code");
    QTest::addColumn<int>("kind");
    QTest::addColumn<int>("socketError");
    QTest::addColumn<int>("silenceSeconds");
    QTest::addColumn<QString>("text");
    const QLocale english(QLocale::English, QLocale::UnitedStates);
    const int failed = KWebClient::CallFailed;
    using F = KTransportFailure;
    const int refused = int(QAbstractSocket::ConnectionRefusedError);
    const int none = -1;
    const QString ruUnreachable = QStringLiteral("Нет подключения к сервису Velmora: %1. Проверьте "
                                                 "подключение к сети; отчёт сохранён и будет "
                                                 "отправлен позже.");
    const QString deUnreachable
        = QStringLiteral("Das Senden des Berichts ist fehlgeschlagen. Der Velmora-Dienst ist "
                         "nicht erreichbar: %1. Bitte prüfen Sie Ihre Netzwerkverbindung; der "
                         "Bericht bleibt gespeichert und wird später gesendet.");
    const QString enUnreachable
        = QStringLiteral("Report sending failed. Could not connect to the Velmora service: %1. "
                         "Please check your network connection; the report is kept and will be "
                         "sent later.");
    QTest::newRow("ru refused") << russian << failed << int(F::ConnectFailed) << refused << 60
                                << ruUnreachable.arg("сервер отклонил подключение");
    QTest::newRow("ru proxy login")
        << russian << failed << int(F::ProxyAuthentication) << none << 60
        << ruUnreachable.arg("прокси-сервер запросил учётные данные, которые не сохранены");
    QTest::newRow("ru silence 1") << russian << failed << int(F::Silence) << none << 1
                                  << ruUnreachable.arg("нет ответа в течение 1 секунды");
    QTest::newRow("ru silence 5") << russian << failed << int(F::Silence) << none << 5
                                  << ruUnreachable.arg("нет ответа в течение 5 секунд");
    QTest::newRow("ru silence 21") << russian << failed << int(F::Silence) << none << 21
                                   << ruUnreachable.arg("нет ответа в течение 21 секунды");
    QTest::newRow("ru sign-in refused")
        << russian << failed << int(F::None) << none << 60
        << QStringLiteral("Не удалось отправить отчёт. Сервис Velmora отклонил вход. Отчёт "
                          "сохранён и будет отправлен позже.");
    // German: the cause after the colon is a sentence of its own, with its capital.
    QTest::newRow("de refused") << german << failed << int(F::ConnectFailed) << refused << 60
                                << deUnreachable.arg("Der Server hat die Verbindung abgelehnt");
    QTest::newRow("de silence 1") << german << failed << int(F::Silence) << none << 1
                                  << deUnreachable.arg(
                                         "Innerhalb von 1 Sekunde ist keine Antwort gekommen");
    QTest::newRow("de silence 60")
        << german << failed << int(F::Silence) << none << 60
        << deUnreachable.arg("Innerhalb von 60 Sekunden ist keine Antwort gekommen");
    QTest::newRow("de broken answer")
        << german << failed << int(F::BrokenStream) << none << 60
        << QStringLiteral("Das Senden des Berichts ist fehlgeschlagen. Der Velmora-Dienst hat "
                          "nicht korrekt geantwortet: Die Antwort des Dienstes ist abgebrochen. "
                          "Der Bericht bleibt gespeichert und wird später gesendet.");
    QTest::newRow("en silence 1") << english << failed << int(F::Silence) << none << 1
                                  << enUnreachable.arg("no answer within 1 second");
    QTest::newRow("en silence 60") << english << failed << int(F::Silence) << none << 60
                                   << enUnreachable.arg("no answer within 60 seconds");
}

// The failure box's text as each language builds it from its parts.
void TestTranslations::failureTextsInLanguage()
{
    QFETCH(QLocale, locale);
    QFETCH(int, code);
    QFETCH(int, kind);
    QFETCH(int, socketError);
    QFETCH(int, silenceSeconds);
    QFETCH(QString, text);
    installTranslations(locale);
    KTransportFailure failure;
    failure.kind = KTransportFailure::Kind(kind);
    failure.socketError = socketError;
    QCOMPARE(KDumpReporterDlg::failureText(code, failure, true, silenceSeconds), text);
}

void TestTranslations::buttonKeys_data()
{
    QTest::addColumn<QLocale>("locale");
    QTest::newRow("en") << QLocale(QLocale::English, QLocale::UnitedStates);
    QTest::newRow("ru") << russian;
    QTest::newRow("de") << german;
}

// In every language each button has a key of its own: Alt and the underlined letter press it.
void TestTranslations::buttonKeys()
{
    QFETCH(QLocale, locale);
    installTranslations(locale);
    int restarts = 0;
    KDumpReporterDlg dialog(m_home->path() + QStringLiteral("/crash.dmp"));
    dialog.setRestartCommand(
        QStringLiteral("velmora"), [&](const RestartCommand &) { return ++restarts; });
    dialog.show();
    QVERIFY(QTest::qWaitForWindowActive(&dialog));

    QList<QKeySequence> keys;
    for (const char *name : { "buttonWhatIsSent", "checkBoxRestart", "buttonSend", "buttonExit" }) {
        auto *button = dialog.findChild<QAbstractButton *>(QLatin1String(name));
        QCOMPARE(button->text().count(QLatin1Char('&')), 1);
        const QKeySequence key = QKeySequence::mnemonic(button->text());
        QVERIFY2(!key.isEmpty() && !keys.contains(key), qPrintable(button->text()));
        keys << key;
    }
    // Pressed in this order: the preview opens, the restart box is cleared, "Send Report" asks
    // for the credentials, "Exit" ends.
    const auto press = [&dialog](const QKeySequence &key) {
        dialog.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&dialog));
        // The letter's own text: Cyrillic keys are beyond QTest's table of key texts.
        const Qt::Key letter = key[0].key();
        QTest::sendKeyEvent(QTest::Click, &dialog, letter, QString(QChar(letter)).toLower(),
            key[0].keyboardModifiers());
    };
    press(keys.at(0));
    QTRY_VERIFY(dialog.findChild<QDialog *>(QStringLiteral("dialogReportPreview")));
    dialog.findChild<QDialog *>(QStringLiteral("dialogReportPreview"))->close();
    press(keys.at(1));
    QTRY_VERIFY(!dialog.findChild<QCheckBox *>(QStringLiteral("checkBoxRestart"))->isChecked());
    BoxAnswerer boxes;
    press(keys.at(2));
    QTRY_COMPARE(boxes.seen.size(), 1);
    QTimer::singleShot(0, &dialog, [&] { press(keys.at(3)); });
    QTimer::singleShot(5000, qApp, [] { QCoreApplication::exit(99); });
    QCOMPARE(QApplication::exec(), 0);
    QCOMPARE(restarts, 0);
}

void TestTranslations::earlierReportsPlural_data()
{
    QTest::addColumn<QLocale>("locale");
    QTest::addColumn<int>("earlier");
    QTest::addColumn<QString>("line");
    const QLocale english(QLocale::English, QLocale::UnitedStates);
    QTest::newRow("en 1") << english << 1
                          << "1 earlier report waits to be sent; it is sent after this one.";
    QTest::newRow("en 2") << english << 2
                          << "2 earlier reports wait to be sent; they are sent after this one.";
    QTest::newRow("en 21") << english << 21
                           << "21 earlier reports wait to be sent; they are sent after this one.";
    QTest::newRow("ru 1")
        << russian << 1 << "1 предыдущий отчёт ожидает отправки и будет отправлен после текущего.";
    QTest::newRow("ru 2") << russian << 2
                          << "2 предыдущих отчёта ожидают отправки и будут отправлены после "
                             "текущего.";
    QTest::newRow("ru 5") << russian << 5
                          << "5 предыдущих отчётов ожидают отправки и будут отправлены после "
                             "текущего.";
    QTest::newRow("ru 11") << russian << 11
                           << "11 предыдущих отчётов ожидают отправки и будут отправлены после "
                              "текущего.";
    QTest::newRow("ru 21") << russian << 21
                           << "21 предыдущий отчёт ожидает отправки и будет отправлен после "
                              "текущего.";
    QTest::newRow("ru 22") << russian << 22
                           << "22 предыдущих отчёта ожидают отправки и будут отправлены после "
                              "текущего.";
    QTest::newRow("de 1") << german << 1
                          << "1 früherer Bericht wartet auf den Versand; er wird nach diesem "
                             "Bericht gesendet.";
    QTest::newRow("de 2") << german << 2
                          << "2 frühere Berichte warten auf den Versand; sie werden nach diesem "
                             "Bericht gesendet.";
    QTest::newRow("de 21") << german << 21
                           << "21 frühere Berichte warten auf den Versand; sie werden nach "
                              "diesem Bericht gesendet.";
}

void TestTranslations::earlierReportsPlural()
{
    QFETCH(QLocale, locale);
    QFETCH(int, earlier);
    QFETCH(QString, line);

    // The queue keeps at most 20 entries: more are asked of the catalogue directly.
    installTranslations(locale);
    if (earlier > 20) {
        QCOMPARE(KDumpReporterDlg::tr("%n earlier reports wait to be sent; they are sent after "
                                      "this one.",
                     nullptr, earlier),
            line);
        return;
    }
    queueEarlierReports(m_home->path(), earlier);
    KDumpReporterDlg dialog(m_home->path() + QStringLiteral("/crash.dmp"));
    const auto *pending = dialog.findChild<QLabel *>(QStringLiteral("labelPendingReports"));
    QVERIFY(pending);
    QCOMPARE(pending->text(), line);
}

void TestTranslations::messageBoxInLanguage_data()
{
    QTest::addColumn<QLocale>("locale");
    QTest::addColumn<QString>("title");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("ok");
    QTest::addColumn<QString>("close");

    QTest::newRow("ru_RU") << russian << "Требуется вход"
                           << "Чтобы отправить отчёт о проблеме, укажите свои логин и пароль "
                              "Velmora. Спасибо за помощь."
                           << "OK"
                           << "Закрыть";
    QTest::newRow("de_DE") << german << "Bitte melden Sie sich an"
                           << "Bitte geben Sie Ihre Velmora-Zugangsdaten ein, um den "
                              "Problembericht zu senden. Vielen Dank für Ihre Unterstützung."
                           << "OK"
                           << "Schließen";
}

void TestTranslations::messageBoxInLanguage()
{
    QFETCH(QLocale, locale);
    QFETCH(QString, title);
    QFETCH(QString, text);
    QFETCH(QString, ok);
    QFETCH(QString, close);

    QVERIFY(!installTranslations(locale).isEmpty());
    KDumpReporterDlg dialog(m_home->path() + QStringLiteral("/crash.dmp"));
    dialog.show();
    // No login and no password: the window asks for them.
    BoxAnswerer boxes;
    QTest::mouseClick(
        dialog.findChild<QPushButton *>(QStringLiteral("buttonSend")), Qt::LeftButton);
    QCOMPARE(boxes.seen.size(), 1);
    QCOMPARE(boxes.seen.first().title, title);
    QCOMPARE(boxes.seen.first().text, text);

    // The standard buttons come from the toolkit's own catalogue, when the system has it.
    const QString toolkitCatalogue = QLibraryInfo::path(QLibraryInfo::TranslationsPath)
        + QStringLiteral("/qtbase_%1.qm").arg(QLocale::languageToCode(locale.language()));
    if (!QFile::exists(toolkitCatalogue))
        QSKIP(qPrintable(toolkitCatalogue + QStringLiteral(" is not installed")));
    QCOMPARE(boxes.seen.first().okText, ok);
    QTest::mouseClick(
        dialog.findChild<QPushButton *>(QStringLiteral("buttonWhatIsSent")), Qt::LeftButton);
    auto *preview = dialog.findChild<QDialog *>(QStringLiteral("dialogReportPreview"));
    QVERIFY(preview);
    const auto *buttons = preview->findChild<QDialogButtonBox *>();
    QVERIFY(buttons);
    QCOMPARE(buttons->button(QDialogButtonBox::Close)->text(), close);
}

void TestTranslations::fatalErrorBoxInLanguage()
{
    QCOMPARE(installTranslations(russian), QStringLiteral("ru"));
    overrideSkinMode(SkinMode::Classic);
    installFatalErrorHook(nullptr);
    installFatalErrorBox();
    const auto restore = qScopeGuard([] {
        installFatalErrorHook(nullptr);
        resetSkinMode();
    });
    QFile blocker(m_home->path() + QStringLiteral("/.Velmora"));
    QVERIFY(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    const QString folder = m_home->path() + QStringLiteral("/.Velmora/cache/");
    // Standard error keeps the English line.
    QTest::ignoreMessage(QtCriticalMsg,
        qPrintable(QStringLiteral("Failed to create folder at: %1. Velmora cannot continue. Please "
                                  "check your permissions and restart the software")
                       .arg(folder)));

    BoxAnswerer boxes;
    QTimer::singleShot(0, [] { cacheFolder(); });
    QTimer::singleShot(20000, [] { QCoreApplication::exit(99); });
    QCOMPARE(QCoreApplication::exec(), -1);
    QCOMPARE(boxes.seen.size(), 1);
    QCOMPARE(boxes.seen.first().title, QStringLiteral("Критическая ошибка Velmora"));
    QCOMPARE(boxes.seen.first().titleBarText, boxes.seen.first().title);
    QCOMPARE(boxes.seen.first().text,
        QStringLiteral("Не удалось создать папку: %1. Velmora не может продолжить работу. "
                       "Проверьте права доступа и перезапустите программу.")
            .arg(folder));
}

void TestTranslations::englishSources_data()
{
    QTest::addColumn<QLocale>("locale");
    QTest::newRow("C") << QLocale::c();
    QTest::newRow("en_US") << QLocale(QLocale::English, QLocale::UnitedStates);
    QTest::newRow("en_GB") << QLocale(QLocale::English, QLocale::UnitedKingdom);
    // A language without a catalogue keeps the window in English, standard buttons included.
    QTest::newRow("fr_FR") << QLocale(QLocale::French, QLocale::France);
}

void TestTranslations::englishSources()
{
    QFETCH(QLocale, locale);
    queueEarlierReports(m_home->path(), 2);
    const QString dump = m_home->path() + QStringLiteral("/crash.dmp");
    QMap<QString, QString> english;
    {
        // The English sources as the window holds them without any catalogue.
        KDumpReporterDlg dialog(dump);
        english = windowTexts(dialog);
    }
    QCOMPARE(english.value("buttonSend"), QStringLiteral("&Send Report"));
    QCOMPARE(english.value("labelPendingReports"),
        QStringLiteral("2 earlier reports wait to be sent; they are sent after this one."));

    // A catalogue loaded before is replaced, not kept.
    QCOMPARE(installTranslations(russian), QStringLiteral("ru"));
    QCOMPARE(installTranslations(locale), QString());
    KDumpReporterDlg dialog(dump);
    QCOMPARE(windowTexts(dialog), english);
    QCOMPARE(
        KDumpReporterDlg::progressText(2048, 2048), QStringLiteral("2 / 2\u00a0KB, 0\u00a0s left"));
    QCOMPARE(QCoreApplication::translate("QPlatformTheme", "OK"), QStringLiteral("OK"));
}

void TestTranslations::everyWindowTextIsTranslated()
{
    queueEarlierReports(m_home->path(), 2);
    MarkingTranslator marking;
    QCoreApplication::installTranslator(&marking);
    const auto remove = qScopeGuard([&] { QCoreApplication::removeTranslator(&marking); });

    KDumpReporterDlg dialog(m_home->path() + QStringLiteral("/crash.dmp"));
    const QMap<QString, QString> texts = windowTexts(dialog);
    QVERIFY(texts.contains("labelPendingReports"));
    for (auto it = texts.cbegin(); it != texts.cend(); ++it) {
        if (it.value().isEmpty())
            continue;
        QVERIFY2(
            it.value().startsWith(QStringLiteral("‹")) && it.value().endsWith(QStringLiteral("›")),
            qPrintable(it.key() + QStringLiteral(": ") + it.value()));
    }
    // The progress text, each of its parts.
    QCOMPARE(KDumpReporterDlg::progressText(2048, 2048),
        QStringLiteral("‹‹2 / 2\u00a0KB›, ‹0\u00a0s left››"));
    QCOMPARE(KDumpReporterDlg::progressText(100, 200),
        QStringLiteral("‹‹100 / 200\u00a0B›, ‹1\u00a0s left››"));
    QCOMPARE(KDumpReporterDlg::progressText(2097152, 2097152),
        QStringLiteral("‹‹2.0 / 2.0\u00a0MB›, ‹0\u00a0s left››"));
}

void TestTranslations::serviceTextsStayEnglish()
{
    MarkingTranslator marking;
    QCoreApplication::installTranslator(&marking);
    const auto remove = qScopeGuard([&] { QCoreApplication::removeTranslator(&marking); });

    // The report's system line is read by the service: English in every language.
    const QDateTime time(QDate(2014, 2, 3), QTime(9, 5, 7));
    const QString line = QStringLiteral("This report has been generated by Velmora v1.2.3 running "
                                        "on Windows XP (operating system version 5.1) on "
                                        "2014-02-03T09:05:07\n\n");
    QCOMPARE(reportHeader(0x10203, 0x0030, time), line);
    // The "What will be sent" window shows the line that is sent.
    setVersionNumber(0x10203);
    KDumpReporterDlg dialog(m_home->path() + QStringLiteral("/crash.dmp"));
    const QString preview = dialog.reportPreview();
    QVERIFY2(preview.contains(QStringLiteral("\nThis report has been generated by Velmora v1.2.3 "
                                             "running on ")),
        qPrintable(preview));
}

QTEST_MAIN(TestTranslations)
#include "tst_translations.moc"
