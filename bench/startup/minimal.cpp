// The floor for start-up time: a Qt program that shows an empty dialog and ends once it is shown.
#include <QApplication>
#include <QDialog>
#include <QTimer>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QDialog dialog;
    dialog.resize(520, 422);
    dialog.show();
    QTimer::singleShot(0, &dialog, [] { QCoreApplication::exit(0); });
    return QApplication::exec();
}
