// skinpreview [--native] [--backdrop]: runs the real cache-folder check inside a running event
// loop, so that a home folder in which ".Velmora" cannot be made a folder shows the fatal-error
// box. The program ends with the event loop's exit code (-1 once the box is closed).
//   --native    shows the box in the native presentation instead of the classic one
//   --backdrop  puts a plain desktop-like surface behind the box first, for screenshots

#include "app/fatalerror.h"
#include "base/processvalues.h"
#include "skin/skinmode.h"

#include <QApplication>
#include <QLinearGradient>
#include <QPainter>
#include <QScreen>
#include <QTimer>
#include <QWidget>

namespace {
class Backdrop : public QWidget
{
protected:
    void paintEvent(QPaintEvent *) override
    {
        QPainter painter(this);
        QLinearGradient gradient(0, 0, 0, height());
        gradient.setColorAt(0, QColor(93, 115, 145));
        gradient.setColorAt(1, QColor(43, 58, 82));
        painter.fillRect(rect(), gradient);
    }
};
} // namespace

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    installFatalErrorBox();
    const QStringList arguments = app.arguments();
    if (arguments.contains(QStringLiteral("--native")))
        overrideSkinMode(SkinMode::Native);
    Backdrop backdrop;
    if (arguments.contains(QStringLiteral("--backdrop"))) {
        backdrop.setWindowFlags(Qt::FramelessWindowHint);
        backdrop.setGeometry(QGuiApplication::primaryScreen()->geometry());
        backdrop.show();
    }
    QTimer::singleShot(200, [] { cacheFolder(); });
    return app.exec();
}
