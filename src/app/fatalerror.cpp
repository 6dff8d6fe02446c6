#include "app/fatalerror.h"

#include "base/fatalerrorhook.h"
#include "skin/kskinnedmessagebox.h"

#include <QApplication>
#include <QThread>

void showFatalError(const QString &message)
{
    if (!qobject_cast<QApplication *>(QCoreApplication::instance()))
        return;
    // The box is a widget: it lives and runs on the GUI thread while any other caller waits.
    const auto show = [message] {
        KSkinnedMessageBox::warning(nullptr,
            QCoreApplication::translate("FatalError", "Velmora fatal error"), message,
            QMessageBox::Ok, QMessageBox::NoButton);
    };
    if (QThread::currentThread() == QCoreApplication::instance()->thread())
        show();
    else
        QMetaObject::invokeMethod(QCoreApplication::instance(), show, Qt::BlockingQueuedConnection);
}

void installFatalErrorBox()
{
    installFatalErrorHook(showFatalError);
}
