#include "app/fatalerror.h"
#include "base/fatalerrorhook.h"
#include "base/processvalues.h"
#include "skin/kapptitle.h"
#include "skin/kfileiconengine.h"
#include "skin/krichtextlabel.h"
#include "skin/kskinnedabstract.h"
#include "skin/kskinnedmessagebox.h"
#include "skin/skinmode.h"
#include "support/testsupport.h"

#include <QApplication>
#include <QBitmap>
#include <QDialogButtonBox>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QPushButton>
#include <QScopeGuard>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>
#include <QTimer>
#include <QVBoxLayout>

#include <functional>
#include <memory>

Q_DECLARE_METATYPE(SkinMode)

namespace {

// A plain widget in the skin, with the fields a skinned window sets in its constructor.
class SkinnedWidget : public QWidget, public KSkinnedAbstract<QWidget>
{
public:
    explicit SkinnedWidget(int style, const QString &image = QString(), int border = 0)
        : KSkinnedAbstract<QWidget>(this)
    {
        backgroundStyle = style;
        backgroundImage = image;
        sliceBorder = border;
    }
    void addTitleBar() { titleBar = new VM::KAppTitle(this); }
    VM::KAppTitle *bar() const { return titleBar; }

protected:
    void paintEvent(QPaintEvent *) override { paintBackground(); }
};

bool closeTo(QRgb actual, const QColor &expected, int tolerance = 2)
{
    return qAbs(qRed(actual) - expected.red()) <= tolerance
        && qAbs(qGreen(actual) - expected.green()) <= tolerance
        && qAbs(qBlue(actual) - expected.blue()) <= tolerance
        && qAbs(qAlpha(actual) - expected.alpha()) <= tolerance;
}

QString describe(QRgb rgb)
{
    return QStringLiteral("rgba(%1, %2, %3, %4)")
        .arg(qRed(rgb))
        .arg(qGreen(rgb))
        .arg(qBlue(rgb))
        .arg(qAlpha(rgb));
}

// Runs check() on the modal box as soon as it is up, from within its own event loop.
class WhenModal
{
public:
    explicit WhenModal(std::function<void(KSkinnedMessageBox *)> check)
        : m_check(std::move(check))
    {
        m_timer.setInterval(10);
        QObject::connect(&m_timer, &QTimer::timeout, [this] {
            auto *box = qobject_cast<KSkinnedMessageBox *>(QApplication::activeModalWidget());
            if (!box || !box->isVisible())
                return;
            m_timer.stop();
            ++m_seen;
            m_check(box);
        });
        m_timer.start();
    }
    int seen() const { return m_seen; }

private:
    std::function<void(KSkinnedMessageBox *)> m_check;
    QTimer m_timer;
    int m_seen = 0;
};

// Ends a test's event loop with 99 if it hangs.
class Watchdog
{
public:
    Watchdog()
    {
        m_timer.setSingleShot(true);
        QObject::connect(&m_timer, &QTimer::timeout, [] { QCoreApplication::exit(99); });
        m_timer.start(20000);
    }

private:
    QTimer m_timer;
};

QtMessageHandler g_testHandler = nullptr;

// The offscreen platform can neither shape windows nor pass size hints on; it says so for every
// window, which is expected here and drowns the test's own output.
void dropOffscreenNotes(QtMsgType type, const QMessageLogContext &context, const QString &message)
{
    if (type == QtWarningMsg
        && (message == QLatin1String("This plugin does not support setting window masks")
            || message == QLatin1String("This plugin does not support propagateSizeHints()")))
        return;
    g_testHandler(type, context, message);
}

QPushButton *titleBarClose(QWidget *box)
{
    return box->findChild<QPushButton *>(QStringLiteral("btnClose"));
}

} // namespace

class TestSkin : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanup();

    void modeFollowsTheWindowsVersion();
    void backgrounds_data();
    void backgrounds();
    void styleFiveShowsTheStretchedImageInClassicMode();
    void nineSlice_data();
    void nineSlice();
    void setTitleReachesTheTitleBarOnlyInClassicMode();

    void titleBarSignals_data();
    void titleBarSignals();
    void titleBarDrag_data();
    void titleBarDrag();
    void titleBarStaysOneStripHigh();

    void messageBoxDefaultButton_data();
    void messageBoxDefaultButton();
    void messageBoxResult();
    void messageBoxPresentation_data();
    void messageBoxPresentation();
    void messageBoxShapeIsTheAlphaOfTheStretchedImage();
    void closingTheBoxDoesNotQuit_data();
    void closingTheBoxDoesNotQuit();
    void cacheFolderFailureShowsTheFatalBox_data();
    void cacheFolderFailureShowsTheFatalBox();

    void resources_data();
    void resources();
    void shapeImageHasSoftMarginAndTransparentCorners();

    void fileIconIsReadWhenFirstDrawn();
    void richTextLabelSizesAndDrawsAsQLabel_data();
    void richTextLabelSizesAndDrawsAsQLabel();
    void richTextLabelFollowsItsTextAndFont();
};

void TestSkin::initTestCase()
{
    g_testHandler = qInstallMessageHandler(dropOffscreenNotes);
}

void TestSkin::cleanup()
{
    resetSkinMode();
}

void TestSkin::modeFollowsTheWindowsVersion()
{
#ifdef Q_OS_WIN
    QSKIP("The default mode depends on the Windows version of the machine.");
#else
    QCOMPARE(skinMode(), SkinMode::Classic);
#endif
    overrideSkinMode(SkinMode::Native);
    QVERIFY(!isClassicSkin());
    overrideSkinMode(SkinMode::Classic);
    QVERIFY(isClassicSkin());
}

void TestSkin::backgrounds_data()
{
    QTest::addColumn<int>("style");
    QTest::addColumn<SkinMode>("mode");
    QTest::addColumn<QPoint>("point");
    QTest::addColumn<QColor>("expected");

    // The widget is 200 x 100. Frame colour rgb(203, 212, 221).
    const QColor frame(203, 212, 221);
    const auto classic = SkinMode::Classic;
    const auto native = SkinMode::Native;
    QTest::newRow("0 frame left") << 0 << classic << QPoint(2, 50) << frame;
    QTest::newRow("0 classic top band") << 0 << classic << QPoint(100, 12) << frame;
    QTest::newRow("0 native top inside")
        << 0 << native << QPoint(100, 12) << QColor(233, 238, 245); // gradient at 12/100
    QTest::newRow("0 middle") << 0 << classic << QPoint(100, 50) << QColor(217, 222, 230);
    QTest::newRow("0 frame bottom") << 0 << native << QPoint(100, 97) << frame;
    QTest::newRow("1 inside") << 1 << classic << QPoint(100, 50) << QColor(143, 162, 194);
    QTest::newRow("1 classic top band") << 1 << classic << QPoint(100, 19) << frame;
    QTest::newRow("1 native below the top")
        << 1 << native << QPoint(100, 5) << QColor(143, 162, 194);
    QTest::newRow("1 native top edge") << 1 << native << QPoint(100, 4) << frame;
    QTest::newRow("2 inside") << 2 << classic << QPoint(194, 50) << QColor(222, 228, 234);
    QTest::newRow("2 frame right") << 2 << classic << QPoint(195, 50) << frame;
    QTest::newRow("3 top") << 3 << classic << QPoint(0, 0) << QColor(244, 244, 244);
    QTest::newRow("3 middle") << 3 << native << QPoint(199, 50) << QColor(235, 235, 235);
    QTest::newRow("3 bottom") << 3 << classic << QPoint(100, 99) << QColor(227, 227, 227);
    QTest::newRow("4 body") << 4 << classic << QPoint(3, 79) << QColor(197, 236, 145);
    QTest::newRow("4 band") << 4 << classic << QPoint(3, 80) << QColor(145, 145, 145);
    QTest::newRow("4 below the band") << 4 << native << QPoint(3, 90) << frame;
    QTest::newRow("4 pointer") << 4 << classic << QPoint(100, 94) << QColor(145, 145, 145);
    QTest::newRow("4 beside the pointer") << 4 << classic << QPoint(96, 96) << frame;
    QTest::newRow("5 native") << 5 << native << QPoint(100, 50) << QColor(255, 255, 255);
    QTest::newRow("5 classic before any resize")
        << 5 << classic << QPoint(100, 50) << QColor(255, 0, 255); // the palette's
    QTest::newRow("unknown style") << 9 << classic << QPoint(100, 50) << frame;
}

void TestSkin::backgrounds()
{
    QFETCH(int, style);
    QFETCH(SkinMode, mode);
    QFETCH(QPoint, point);
    QFETCH(QColor, expected);

    overrideSkinMode(mode);
    SkinnedWidget widget(style);
    QPalette palette = widget.palette();
    palette.setColor(QPalette::Window, QColor(255, 0, 255));
    widget.setPalette(palette);
    widget.resize(200, 100);
    const QImage image = widget.grab().toImage();
    const QRgb actual = image.pixel(point);
    QVERIFY2(closeTo(actual, expected), qPrintable(describe(actual)));
}

void TestSkin::styleFiveShowsTheStretchedImageInClassicMode()
{
    QTemporaryDir dir;
    QImage source(2, 1, QImage::Format_ARGB32);
    source.setPixel(0, 0, qRgba(10, 20, 30, 255));
    source.setPixel(1, 0, qRgba(200, 100, 50, 255));
    const QString path = dir.filePath(QStringLiteral("source.png"));
    QVERIFY(source.save(path));

    overrideSkinMode(SkinMode::Classic);
    SkinnedWidget widget(5, path);
    widget.resize(200, 100);
    widget.updateMask(200, 100, &widget);
    const QImage image = widget.grab().toImage();
    QVERIFY(closeTo(image.pixel(50, 50), QColor(10, 20, 30)));
    QVERIFY(closeTo(image.pixel(150, 50), QColor(200, 100, 50)));
}

void TestSkin::nineSlice_data()
{
    QTest::addColumn<int>("border");
    QTest::addColumn<int>("style");
    QTest::addColumn<QSize>("size");
    QTest::addColumn<QPoint>("point");
    QTest::addColumn<QColor>("expected");

    // The source is 6 x 6: with border 2, a different colour in each of the nine pieces; with
    // border 0, four 3 x 3 quadrants (the piece colours of the corners).
    const QColor topLeft(255, 0, 0), top(0, 255, 0), topRight(0, 0, 255);
    const QColor left(255, 255, 0), centre(0, 255, 255), right(255, 0, 255);
    const QColor bottomLeft(128, 0, 0), bottom(0, 128, 0), bottomRight(0, 0, 128);
    const QColor none(0, 0, 0, 0);
    const QColor pointer(145, 145, 145);
    const QSize size(40, 30);

    QTest::newRow("corner kept") << 2 << 3 << size << QPoint(1, 1) << topLeft;
    QTest::newRow("top stretched") << 2 << 3 << size << QPoint(20, 0) << top;
    QTest::newRow("top right corner") << 2 << 3 << size << QPoint(38, 1) << topRight;
    QTest::newRow("left stretched") << 2 << 3 << size << QPoint(0, 15) << left;
    QTest::newRow("centre stretched") << 2 << 3 << size << QPoint(20, 15) << centre;
    QTest::newRow("right stretched") << 2 << 3 << size << QPoint(39, 2) << right;
    QTest::newRow("bottom left") << 2 << 3 << size << QPoint(0, 29) << bottomLeft;
    QTest::newRow("bottom stretched") << 2 << 3 << size << QPoint(37, 28) << bottom;
    QTest::newRow("bottom right") << 2 << 3 << size << QPoint(39, 28) << bottomRight;

    QTest::newRow("border 0, top left") << 0 << 3 << size << QPoint(19, 14) << topLeft;
    QTest::newRow("border 0, top right") << 0 << 3 << size << QPoint(20, 0) << topRight;
    QTest::newRow("border 0, bottom left") << 0 << 3 << size << QPoint(0, 15) << bottomLeft;
    QTest::newRow("border 0, bottom right") << 0 << 3 << size << QPoint(39, 29) << bottomRight;

    // Style 4: the bottom row sits 10 pixels higher and the pointer hangs below it.
    QTest::newRow("tail, bottom left") << 2 << 4 << size << QPoint(0, 18) << bottomLeft;
    QTest::newRow("tail, bottom edge") << 2 << 4 << size << QPoint(20, 19) << bottom;
    QTest::newRow("tail, bottom right") << 2 << 4 << size << QPoint(39, 19) << bottomRight;
    QTest::newRow("tail, pointer") << 2 << 4 << size << QPoint(20, 24) << pointer;
    QTest::newRow("tail, beside the pointer") << 2 << 4 << size << QPoint(30, 28) << none;
}

void TestSkin::nineSlice()
{
    QFETCH(int, border);
    QFETCH(int, style);
    QFETCH(QSize, size);
    QFETCH(QPoint, point);
    QFETCH(QColor, expected);

    QImage source(6, 6, QImage::Format_ARGB32);
    const QColor pieces[3][3] = {
        { QColor(255, 0, 0), QColor(0, 255, 0), QColor(0, 0, 255) },
        { QColor(255, 255, 0), QColor(0, 255, 255), QColor(255, 0, 255) },
        { QColor(128, 0, 0), QColor(0, 128, 0), QColor(0, 0, 128) },
    };
    for (int y = 0; y < 6; ++y) {
        for (int x = 0; x < 6; ++x) {
            int row, column;
            if (border == 0) {
                row = y < 3 ? 0 : 2;
                column = x < 3 ? 0 : 2;
            } else {
                row = y < 2 ? 0 : (y < 4 ? 1 : 2);
                column = x < 2 ? 0 : (x < 4 ? 1 : 2);
            }
            source.setPixelColor(x, y, pieces[row][column]);
        }
    }

    SkinnedWidget widget(style);
    const QPixmap result
        = widget.scaledBackground(QPixmap::fromImage(source), border, size.width(), size.height());
    QCOMPARE(result.size(), size);
    const QRgb actual = result.toImage().pixel(point);
    QVERIFY2(closeTo(actual, expected, 0), qPrintable(describe(actual)));
}

void TestSkin::setTitleReachesTheTitleBarOnlyInClassicMode()
{
    for (const SkinMode mode : { SkinMode::Classic, SkinMode::Native }) {
        overrideSkinMode(mode);
        SkinnedWidget widget(3);
        widget.addTitleBar();
        widget.setTitle(QStringLiteral("Weekly report"));
        QCOMPARE(widget.windowTitle(), QStringLiteral("Weekly report"));
        const auto *label = widget.bar()->findChild<QLabel *>(QStringLiteral("lblTitle"));
        QCOMPARE(label->text(),
            mode == SkinMode::Classic ? QStringLiteral("Weekly report")
                                      : QStringLiteral("Velmora"));
    }
}

enum class Press { LeftClick, RightClick, MiddleRelease };

void TestSkin::titleBarSignals_data()
{
    QTest::addColumn<QString>("button");
    QTest::addColumn<int>("press");
    QTest::addColumn<int>("shown"); // Qt::WindowFlags given to setButtons
    QTest::addColumn<int>("closes");
    QTest::addColumn<int>("minimizes");

    const int both = int(Qt::WindowCloseButtonHint | Qt::WindowMinimizeButtonHint);
    // A left click: once from the release, once from clicked().
    QTest::newRow("left click on close") << "btnClose" << int(Press::LeftClick) << both << 2 << 0;
    QTest::newRow("left click on minimise")
        << "btnMinimize" << int(Press::LeftClick) << both << 0 << 2;
    // Other buttons make no click: the release alone counts.
    QTest::newRow("right click on close") << "btnClose" << int(Press::RightClick) << both << 1 << 0;
    QTest::newRow("middle release on minimise")
        << "btnMinimize" << int(Press::MiddleRelease) << both << 0 << 1;
    QTest::newRow("hidden close") << "btnClose" << int(Press::LeftClick) << 0 << 0 << 0;
    QTest::newRow("hidden minimise") << "btnMinimize" << int(Press::LeftClick) << 0 << 0 << 0;
}

void TestSkin::titleBarSignals()
{
    QFETCH(QString, button);
    QFETCH(int, press);
    QFETCH(int, shown);
    QFETCH(int, closes);
    QFETCH(int, minimizes);

    VM::KAppTitle bar;
    bar.resize(300, 29);
    bar.setButtons(Qt::WindowCloseButtonHint | Qt::WindowMinimizeButtonHint);
    bar.show();
    QVERIFY(QTest::qWaitForWindowExposed(&bar));
    auto *target = bar.findChild<QPushButton *>(button);
    QVERIFY(target);
    // Where the button sits while shown; a hidden button leaves that spot to the strip.
    const QPoint spot = target->mapTo(&bar, target->rect().center());
    bar.setButtons(Qt::WindowFlags(shown));
    QCoreApplication::processEvents();

    QSignalSpy close(&bar, &VM::KAppTitle::sigClose);
    QSignalSpy minimize(&bar, &VM::KAppTitle::sigMinimize);
    QSignalSpy move(&bar, &VM::KAppTitle::sigMoveWindow);
    QWindow *window = bar.windowHandle();
    switch (Press(press)) {
    case Press::LeftClick:
        QTest::mouseClick(window, Qt::LeftButton, {}, spot);
        break;
    case Press::RightClick:
        QTest::mouseClick(window, Qt::RightButton, {}, spot);
        break;
    case Press::MiddleRelease:
        QTest::mousePress(window, Qt::MiddleButton, {}, spot);
        QTest::mouseRelease(window, Qt::MiddleButton, {}, spot);
        break;
    }
    QCOMPARE(close.count(), closes);
    QCOMPARE(minimize.count(), minimizes);
    QCOMPARE(move.count(), 0);
}

void TestSkin::titleBarDrag_data()
{
    QTest::addColumn<int>("button");
    QTest::addColumn<QList<QPoint>>("moves");

    QTest::newRow("left") << int(Qt::LeftButton) << QList<QPoint> { { 10, 5 }, { 3, -2 } };
    QTest::newRow("right") << int(Qt::RightButton) << QList<QPoint>();
    QTest::newRow("middle") << int(Qt::MiddleButton) << QList<QPoint>();
}

void TestSkin::titleBarDrag()
{
    QFETCH(int, button);
    QFETCH(QList<QPoint>, moves);

    VM::KAppTitle bar;
    bar.resize(300, 29);
    bar.setTitle(QStringLiteral("Velmora fatal error"));
    bar.show();
    QVERIFY(QTest::qWaitForWindowExposed(&bar));
    QSignalSpy move(&bar, &VM::KAppTitle::sigMoveWindow);
    QSignalSpy close(&bar, &VM::KAppTitle::sigClose);

    // Starts on the title label, which passes the mouse on to the strip.
    const auto *label = bar.findChild<QLabel *>(QStringLiteral("lblTitle"));
    QPoint position = label->mapTo(&bar, QPoint(10, label->height() / 2));
    QWindow *window = bar.windowHandle();
    QTest::mousePress(window, Qt::MouseButton(button), {}, position);
    position += QPoint(10, 5);
    QTest::mouseMove(window, position);
    position += QPoint(3, -2);
    QTest::mouseMove(window, position);
    QTest::mouseRelease(window, Qt::MouseButton(button), {}, position);

    QList<QPoint> actual;
    for (const QList<QVariant> &arguments : move)
        actual << arguments.at(0).toPoint();
    QCOMPARE(actual, moves);
    QCOMPARE(close.count(), 0);
}

void TestSkin::titleBarStaysOneStripHigh()
{
    QWidget window;
    auto *layout = new QVBoxLayout(&window);
    auto *bar = new VM::KAppTitle;
    layout->addWidget(bar);
    window.resize(400, 300);
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    QCOMPARE(bar->height(), 29);
    bar->resize(400, 120);
    QCOMPARE(bar->height(), 29);
}

void TestSkin::messageBoxDefaultButton_data()
{
    QTest::addColumn<int>("buttons");
    QTest::addColumn<int>("requested");
    QTest::addColumn<int>("expected");

    using M = QMessageBox;
    QTest::newRow("only Ok: the accept role") << int(M::Ok) << int(M::NoButton) << int(M::Ok);
    QTest::newRow("first accept role")
        << int(M::Save | M::Discard | M::Cancel) << int(M::NoButton) << int(M::Save);
    QTest::newRow("first of two accept roles")
        << int(M::Ok | M::Save) << int(M::NoButton) << int(M::Ok);
    QTest::newRow("no accept role") << int(M::Yes | M::No) << int(M::NoButton) << int(M::NoButton);
    QTest::newRow("requested") << int(M::Ok | M::Cancel) << int(M::Cancel) << int(M::Cancel);
    QTest::newRow("requested, not among the buttons")
        << int(M::Ok | M::Cancel) << int(M::Retry) << int(M::NoButton);
}

void TestSkin::messageBoxDefaultButton()
{
    QFETCH(int, buttons);
    QFETCH(int, requested);
    QFETCH(int, expected);

    QMessageBox::StandardButton marked = QMessageBox::FlagMask;
    QList<QAbstractButton *> shown;
    bool focusOnTitleBar = true;
    overrideSkinMode(SkinMode::Classic);
    WhenModal whenModal([&](KSkinnedMessageBox *box) {
        marked = box->standardButton(box->defaultButton());
        shown = box->buttons();
        focusOnTitleBar
            = box->findChild<VM::KAppTitle *>()->isAncestorOf(QApplication::focusWidget());
        box->reject();
    });
    KSkinnedMessageBox::showMessageBox(nullptr, QMessageBox::Question, QStringLiteral("Title"),
        QStringLiteral("Text"), QMessageBox::StandardButtons(buttons),
        QMessageBox::StandardButton(requested));
    QCOMPARE(whenModal.seen(), 1);
    QCOMPARE(int(marked), expected);
    QCOMPARE(shown.size(), qPopulationCount(uint(buttons)));
    // The keyboard stays with the box's own buttons.
    QVERIFY(!focusOnTitleBar);
}

void TestSkin::messageBoxResult()
{
    overrideSkinMode(SkinMode::Classic);
    {
        WhenModal whenModal([](KSkinnedMessageBox *box) {
            QTest::mouseClick(box->button(QMessageBox::No), Qt::LeftButton);
        });
        QCOMPARE(KSkinnedMessageBox::warning(nullptr, QStringLiteral("T"), QStringLiteral("Text"),
                     QMessageBox::Yes | QMessageBox::No),
            QMessageBox::No);
    }
    {
        WhenModal whenModal(
            [](KSkinnedMessageBox *box) { QTest::mouseClick(titleBarClose(box), Qt::LeftButton); });
        QCOMPARE(KSkinnedMessageBox::warning(nullptr, QStringLiteral("T"), QStringLiteral("Text"),
                     QMessageBox::Ok | QMessageBox::Cancel),
            QMessageBox::NoButton);
    }
}

void TestSkin::messageBoxPresentation_data()
{
    QTest::addColumn<SkinMode>("mode");
    QTest::newRow("classic") << SkinMode::Classic;
    QTest::newRow("native") << SkinMode::Native;
}

void TestSkin::messageBoxPresentation()
{
    QFETCH(SkinMode, mode);
    overrideSkinMode(mode);
    const QString title = QStringLiteral("Velmora fatal error");
    KSkinnedMessageBox box(
        QMessageBox::Warning, title, QStringLiteral("Text"), QMessageBox::Ok, nullptr);

    QCOMPARE(box.windowTitle(), title);
    QVERIFY(!box.testAttribute(Qt::WA_QuitOnClose));
    QCOMPARE(qobject_cast<QObject *>(&box)->qt_metacast("KSkinnedAbstract<QDialog>"),
        static_cast<void *>(static_cast<KSkinnedAbstract<QDialog> *>(&box)));
    const auto *buttonBox = box.findChild<QDialogButtonBox *>();
    const auto *text = box.findChild<QLabel *>(QStringLiteral("qt_msgbox_label"));
    QVERIFY(buttonBox->styleSheet().contains(QStringLiteral("button_small_on.png")));
    QCOMPARE(text->styleSheet(), buttonBox->styleSheet());
    QVERIFY(box.styleSheet().isEmpty());

    const auto *bar = box.findChild<VM::KAppTitle *>();
    if (mode == SkinMode::Native) {
        QVERIFY(!box.windowFlags().testFlag(Qt::FramelessWindowHint));
        QVERIFY(!bar);
        return;
    }
    QVERIFY(box.windowFlags().testFlag(Qt::FramelessWindowHint));
    QVERIFY(bar);
    QCOMPARE(bar->findChild<QLabel *>(QStringLiteral("lblTitle"))->text(), title);
    box.show();
    QVERIFY(QTest::qWaitForWindowExposed(&box));
    QVERIFY(titleBarClose(&box)->isVisible());
    QVERIFY(!box.findChild<QPushButton *>(QStringLiteral("btnMinimize"))->isVisible());
    // The strip runs across the whole top of the box, above the text.
    QCOMPARE(bar->geometry().topLeft(), QPoint(0, 0));
    QCOMPARE(bar->width(), box.width());
    QVERIFY(text->geometry().top() >= bar->geometry().bottom());
    // Dragging the strip moves the box by the strip's deltas.
    const QPoint before = box.frameGeometry().topLeft();
    emit box.findChild<VM::KAppTitle *>()->sigMoveWindow(QPoint(7, -3));
    QCOMPARE(box.frameGeometry().topLeft(), before + QPoint(7, -3));
}

void TestSkin::messageBoxShapeIsTheAlphaOfTheStretchedImage()
{
    const QPixmap shape(QStringLiteral(":/images/background/bg_skinneddialog.png"));
    QVERIFY(!shape.isNull());

    overrideSkinMode(SkinMode::Classic);
    KSkinnedMessageBox box(QMessageBox::Warning, QStringLiteral("Title"),
        QStringLiteral("A message long enough to give the box some width."), QMessageBox::Ok);
    box.show();
    QVERIFY(QTest::qWaitForWindowExposed(&box));
    const QRect frame = box.frameGeometry();
    const QImage expected = box.scaledBackground(shape, 0, frame.width(), frame.height()).toImage();
    const QRegion mask = box.mask();
    int mismatches = 0;
    for (int y = 0; y < frame.height(); ++y)
        for (int x = 0; x < frame.width(); ++x)
            mismatches += mask.contains(QPoint(x, y)) != (qAlpha(expected.pixel(x, y)) > 0);
    QCOMPARE(mismatches, 0);
    // The corners are cut away, the middle stays.
    QVERIFY(!mask.contains(QPoint(0, 0)));
    QVERIFY(!mask.contains(QPoint(frame.width() - 1, frame.height() - 1)));
    QVERIFY(mask.contains(QPoint(frame.width() / 2, frame.height() / 2)));
    QVERIFY(mask.contains(QPoint(frame.width() / 2, 0)));

    // Native mode leaves any mask alone.
    overrideSkinMode(SkinMode::Native);
    const QRegion before(0, 0, 10, 10);
    box.setMask(before);
    box.updateMask(frame.width(), frame.height(), &box);
    QCOMPARE(box.mask(), before);
}

void TestSkin::closingTheBoxDoesNotQuit_data()
{
    QTest::addColumn<bool>("skinned");
    QTest::addColumn<int>("exitCode");
    // A plain message box ends the application when the last window closes: the control.
    QTest::newRow("plain box") << false << 0;
    QTest::newRow("skinned box") << true << 42;
}

void TestSkin::closingTheBoxDoesNotQuit()
{
    QFETCH(bool, skinned);
    QFETCH(int, exitCode);
    overrideSkinMode(SkinMode::Classic);
    QApplication::setQuitOnLastWindowClosed(true);

    Watchdog watchdog;
    QTimer finish;
    finish.setSingleShot(true);
    connect(&finish, &QTimer::timeout, [] { QCoreApplication::exit(42); });
    QTimer::singleShot(0, &finish, [skinned, &finish] {
        if (skinned) {
            KSkinnedMessageBox box(
                QMessageBox::Warning, QStringLiteral("T"), QStringLiteral("Text"), QMessageBox::Ok);
            QTimer::singleShot(
                20, &box, [&box] { QTest::mouseClick(titleBarClose(&box), Qt::LeftButton); });
            box.exec();
        } else {
            QMessageBox box(
                QMessageBox::Warning, QStringLiteral("T"), QStringLiteral("Text"), QMessageBox::Ok);
            QTimer::singleShot(20, &box, &QMessageBox::reject);
            box.exec();
        }
        finish.start(100);
    });
    QCOMPARE(QCoreApplication::exec(), exitCode);
}

void TestSkin::cacheFolderFailureShowsTheFatalBox_data()
{
    QTest::addColumn<bool>("fromWorker");
    QTest::addColumn<bool>("boxInstalled");
    QTest::newRow("GUI thread") << false << true;
    QTest::newRow("another thread") << true << true;
    // Without the program's hook the folder's failure still ends the loop, with no box.
    QTest::newRow("no hook installed") << false << false;
}

void TestSkin::cacheFolderFailureShowsTheFatalBox()
{
    QFETCH(bool, fromWorker);
    QFETCH(bool, boxInstalled);
    overrideSkinMode(SkinMode::Classic);
    // Start-up installs the box as the fatal-error hook; the test does the same.
    installFatalErrorHook(nullptr);
    if (boxInstalled)
        installFatalErrorBox();
    const auto removeHook = qScopeGuard([] { installFatalErrorHook(nullptr); });
    TemporaryHome home;
    QFile blocker(home.path() + QStringLiteral("/.Velmora"));
    QVERIFY(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    const QString message
        = QStringLiteral("Failed to create folder at: %1/.Velmora/cache/. Velmora cannot continue. "
                         "Please check your permissions and restart the software")
              .arg(home.path());
    QTest::ignoreMessage(QtCriticalMsg, qPrintable(message));

    QString result;
    std::unique_ptr<QThread> worker;
    bool shownOnGuiThread = false;
    bool callerWaited = false;
    QString title, text, barTitle;
    QList<QAbstractButton *> buttons;
    QAbstractButton *defaultButton = nullptr;

    Watchdog watchdog;
    WhenModal whenModal([&](KSkinnedMessageBox *box) {
        shownOnGuiThread = box->thread() == QThread::currentThread()
            && QThread::currentThread() == QCoreApplication::instance()->thread();
        callerWaited = worker ? worker->isRunning() : result.isEmpty();
        title = box->windowTitle();
        text = box->text();
        barTitle = box->findChild<QLabel *>(QStringLiteral("lblTitle"))->text();
        buttons = box->buttons();
        defaultButton = box->defaultButton();
        QTest::mouseClick(box->button(QMessageBox::Ok), Qt::LeftButton);
    });
    QTimer::singleShot(0, [&] {
        if (fromWorker) {
            worker.reset(QThread::create([&result] { result = cacheFolder(); }));
            worker->start();
        } else {
            result = cacheFolder();
        }
    });
    QCOMPARE(QCoreApplication::exec(), -1);
    if (worker)
        QVERIFY(worker->wait(5000));

    if (!boxInstalled) {
        QCOMPARE(whenModal.seen(), 0);
        QCOMPARE(result, QDir::fromNativeSeparators(home.path()) + QLatin1Char('/'));
        return;
    }
    QCOMPARE(whenModal.seen(), 1);
    QVERIFY(shownOnGuiThread);
    QVERIFY(callerWaited);
    QCOMPARE(title, QStringLiteral("Velmora fatal error"));
    QCOMPARE(barTitle, title);
    QCOMPARE(text, message);
    QCOMPARE(buttons.size(), 1);
    // Ok takes the default: no default was asked for and it has the accept role.
    QCOMPARE(defaultButton, buttons.first());
    QCOMPARE(result, QDir::fromNativeSeparators(home.path()) + QLatin1Char('/'));
}

void TestSkin::resources_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<QSize>("size");

    const QList<std::pair<const char *, QSize>> table = {
        { ":/images/background/bg_skinneddialog.png", { 940, 746 } },
        { ":/buttons/buttons/normal/button_small_on.png", { 107, 29 } },
        { ":/buttons/buttons/hover/button_small_hover.png", { 107, 29 } },
        { ":/buttons/buttons/press/button_small_press.png", { 107, 29 } },
        { ":/background_v2/background_v2/bg_window_header_noborder.png", { 922, 29 } },
        { ":/icons/icons/X2.png", { 16, 16 } },
        { ":/background_v2/background_v2/bg_empty.png", { 1, 1 } },
        { ":/buttons_v2/buttons_v2/header/btn_header_minimize_normal.png", { 14, 15 } },
        { ":/buttons_v2/buttons_v2/header/btn_header_minimize_hover.png", { 14, 15 } },
        { ":/buttons_v2/buttons_v2/header/btn_header_minimize_pressed.png", { 14, 15 } },
        { ":/buttons_v2/buttons_v2/header/btn_header_close_normal.png", { 14, 15 } },
        { ":/buttons_v2/buttons_v2/header/btn_header_close_hover.png", { 14, 15 } },
        { ":/buttons_v2/buttons_v2/header/btn_header_close_pressed.png", { 14, 15 } },
        { ":/icons/icons/application/velmora_dump.png", { 256, 256 } },
        { ":/stylesheets/stylesheets/messagebox-win.css", {} },
    };
    for (const auto &[path, size] : table)
        QTest::newRow(path) << QString::fromLatin1(path) << size;
}

void TestSkin::resources()
{
    QFETCH(QString, path);
    QFETCH(QSize, size);

    // The skin classes register both collections; make sure of it without building a window.
    VM::KAppTitle registersTheCollections;
    QFile file(path);
    QVERIFY2(file.open(QIODevice::ReadOnly), qPrintable(path));
    const QByteArray bytes = file.readAll();
    if (!size.isValid()) {
        const QString css = QString::fromUtf8(bytes);
        for (const char *selector : { "QPushButton", "QPushButton:hover",
                 "QPushButton:checked, QPushButton:pressed", "QLabel" })
            QVERIFY2(css.contains(QLatin1String(selector) + QLatin1Char('\n')), selector);
        QVERIFY(css.contains(QStringLiteral("min-width: 70px;")));
        return;
    }
    const QImage image = QImage::fromData(bytes, "PNG");
    QCOMPARE(image.size(), size);
    // PNG header: bit depth 8, colour type 6 (RGBA).
    QVERIFY(bytes.startsWith("\x89PNG"));
    QCOMPARE(int(quint8(bytes.at(24))), 8);
    QCOMPARE(int(quint8(bytes.at(25))), 6);
}

void TestSkin::shapeImageHasSoftMarginAndTransparentCorners()
{
    VM::KAppTitle registersTheCollections;
    const QImage shape(QStringLiteral(":/images/background/bg_skinneddialog.png"));
    QCOMPARE(qAlpha(shape.pixel(0, 0)), 0);
    QCOMPARE(qAlpha(shape.pixel(939, 745)), 0);
    QCOMPARE(qAlpha(shape.pixel(470, 373)), 255);
    const int edge = qAlpha(shape.pixel(470, 0));
    QVERIFY2(edge > 0 && edge < 255, qPrintable(QString::number(edge)));
}

// The icon reads its file when a picture or its size is first asked for, not when it is made: the
// picture replaced in between is the one drawn. Afterwards it keeps what it read.
void TestSkin::fileIconIsReadWhenFirstDrawn()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("icon.png"));
    const auto writeImage = [&path](const QSize &size, const QColor &color) {
        QImage image(size, QImage::Format_ARGB32);
        image.fill(color);
        QVERIFY(image.save(path, "PNG"));
    };

    writeImage({ 16, 16 }, Qt::red);
    const QIcon icon = KFileIconEngine::icon(path);
    QVERIFY(!icon.isNull());
    writeImage({ 48, 32 }, Qt::blue);

    QCOMPARE(icon.availableSizes(), QList<QSize>({ QSize(48, 32) }));
    QCOMPARE(icon.actualSize(QSize(24, 24)), QSize(24, 16));
    QCOMPARE(icon.actualSize(QSize(256, 256)), QSize(48, 32));
    const QImage drawn = icon.pixmap(QSize(48, 32)).toImage();
    QCOMPARE(drawn.size(), QSize(48, 32));
    QCOMPARE(QColor(drawn.pixel(10, 10)), QColor(Qt::blue));
    QCOMPARE(icon.pixmap(QSize(24, 24)).size(), QSize(24, 16));

    writeImage({ 16, 16 }, Qt::green);
    QCOMPARE(QColor(icon.pixmap(QSize(48, 32)).toImage().pixel(10, 10)), QColor(Qt::blue));

    QVERIFY(KFileIconEngine::icon(dir.filePath(QStringLiteral("none.png"))).isNull());
}

namespace {
const char richHeader[]
    = "<html><head><style type=\"text/css\">p, li { white-space: pre-wrap; }</style></head>"
      "<body style=\" font-size:11px; font-weight:400;\"><p style=\" margin-top:0px; "
      "margin-bottom:0px;\"><span style=\" font-size:10px;\">Something has just crashed. "
      "</span></p><p style=\"-qt-paragraph-type:empty; margin-top:0px; margin-bottom:0px; "
      "font-size:10px;\"><br /></p><p style=\" margin-top:0px; margin-bottom:0px;\"><span "
      "style=\" font-size:10px;\">We were lucky to save the dump file of the memory area "
      "where the crash has occured. You can send that file over so we can look into the "
      "problem.</span></p><p style=\" margin-top:0px; margin-bottom:0px;\"><span style=\" "
      "font-size:10px; font-weight:600;\">Privacy note: no personal data will be "
      "transmitted.</span></p></body></html>";

// The label as a window shows it: grabbed at the given size.
QImage drawn(QLabel &label, const QSize &size)
{
    label.resize(size);
    return label.grab().toImage();
}
} // namespace

// The label that lays its rich text out once a width tells the layouts the same sizes as QLabel
// and draws the same pixels, with and without a minimum width, at every width a window gives it.
void TestSkin::richTextLabelSizesAndDrawsAsQLabel_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("minimumWidth");
    QTest::addColumn<QMargins>("contentsMargins");
    QTest::newRow("rich, no minimum") << QString::fromLatin1(richHeader) << 0 << QMargins();
    QTest::newRow("rich, minimum width") << QString::fromLatin1(richHeader) << 498 << QMargins();
    QTest::newRow("rich, contents margins")
        << QString::fromLatin1(richHeader) << 300 << QMargins(3, 5, 7, 2);
    QTest::newRow("plain text") << QStringLiteral("A plain text that wraps at words, long enough.")
                                << 0 << QMargins();
}

void TestSkin::richTextLabelSizesAndDrawsAsQLabel()
{
    QFETCH(QString, text);
    QFETCH(int, minimumWidth);
    QFETCH(QMargins, contentsMargins);
    QLabel reference;
    KRichTextLabel label;
    for (QLabel *each : { &reference, static_cast<QLabel *>(&label) }) {
        each->setWordWrap(true);
        each->setText(text);
        each->setMinimumWidth(minimumWidth);
        each->setContentsMargins(contentsMargins);
    }
    QCOMPARE(label.minimumSizeHint(), reference.minimumSizeHint());
    QCOMPARE(label.sizeHint(), reference.sizeHint());
    for (const int width : { 0, 120, 300, 498, 700, 1500 }) {
        QCOMPARE(label.heightForWidth(width), reference.heightForWidth(width));
        const QSize size(qMax(width, minimumWidth), reference.heightForWidth(width) + 9);
        QCOMPARE(drawn(label, size), drawn(reference, size));
    }
    // Asked again after drawing, the answers stay the same.
    QCOMPARE(label.sizeHint(), reference.sizeHint());
    QCOMPARE(label.heightForWidth(300), reference.heightForWidth(300));
}

// A new text, font or alignment is laid out anew, not answered from what was laid out before.
void TestSkin::richTextLabelFollowsItsTextAndFont()
{
    QLabel reference;
    KRichTextLabel label;
    const QString shortText = QStringLiteral("<b>Short</b>");
    for (QLabel *each : { &reference, static_cast<QLabel *>(&label) }) {
        each->setWordWrap(true);
        each->setText(QString::fromLatin1(richHeader));
    }
    QCOMPARE(label.heightForWidth(300), reference.heightForWidth(300));
    QCOMPARE(label.sizeHint(), reference.sizeHint());
    QCOMPARE(drawn(label, { 300, 200 }), drawn(reference, { 300, 200 }));

    QFont larger = label.font();
    larger.setPixelSize(20);
    for (QLabel *each : { &reference, static_cast<QLabel *>(&label) })
        each->setFont(larger);
    QCOMPARE(label.heightForWidth(300), reference.heightForWidth(300));
    QCOMPARE(label.sizeHint(), reference.sizeHint());

    for (QLabel *each : { &reference, static_cast<QLabel *>(&label) })
        each->setText(shortText);
    QCOMPARE(label.heightForWidth(300), reference.heightForWidth(300));
    QCOMPARE(label.minimumSizeHint(), reference.minimumSizeHint());

    for (QLabel *each : { &reference, static_cast<QLabel *>(&label) })
        each->setAlignment(Qt::AlignRight | Qt::AlignBottom);
    QCOMPARE(drawn(label, { 300, 80 }), drawn(reference, { 300, 80 }));

    // The text takes the colour of the label's foreground.
    QPalette palette = label.palette();
    palette.setColor(QPalette::WindowText, Qt::red);
    palette.setColor(QPalette::Text, Qt::blue);
    for (QLabel *each : { &reference, static_cast<QLabel *>(&label) })
        each->setPalette(palette);
    QCOMPARE(drawn(label, { 300, 80 }), drawn(reference, { 300, 80 }));
}

QTEST_MAIN(TestSkin)
#include "tst_skin.moc"
