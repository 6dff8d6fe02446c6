#include "app/fatalerror.h"

#include <QApplication>
#include <QMessageBox>
#include <QThread>

void showFatalError(const QString &message)
{
    if (!qobject_cast<QApplication *>(QCoreApplication::instance()))
        return;
    const auto show = [message] {
        QMessageBox box(
            QMessageBox::Warning, QObject::tr("Velmora fatal error"), message, QMessageBox::Ok);
        box.setDefaultButton(static_cast<QPushButton *>(nullptr));
        // Closing the box must not end the application by itself.
        box.setAttribute(Qt::WA_QuitOnClose, false);
        box.exec();
    };
    if (QThread::currentThread() == QCoreApplication::instance()->thread())
        show();
    else
        QMetaObject::invokeMethod(QCoreApplication::instance(), show, Qt::BlockingQueuedConnection);
}
