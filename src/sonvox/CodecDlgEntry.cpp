// The C entry point through which libsonvox shows the "Codec Information"
// dialog in a Qt host.
#include "CCodecInfoDlg.h"
#include "CoderInfor.h"

#include <QApplication>
#include <QThread>

extern "C" __attribute__((visibility("default"))) int SonvoxShowCodecDialog(const char* report)
{
    auto* app = qobject_cast<QApplication*>(QCoreApplication::instance());
    if (!app || !report || QThread::currentThread() != app->thread())
        return 0;
    CCodecInfoDlg dialog(QString::fromUtf8(report), QApplication::activeWindow());
    dialog.exec();
    return 1;
}
