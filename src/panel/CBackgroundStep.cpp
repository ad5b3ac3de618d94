#include "CBackgroundStep.h"

#include <QApplication>
#include <QEvent>
#include <QEventLoop>
#include <QPointer>
#include <QProgressDialog>
#include <QTimer>

#include <atomic>
#include <thread>

namespace {

// Swallows the operator's input (and requests to close a window) everywhere
// but in the progress box while a step runs, so that no command starts in
// the middle of another.
class CInputHold : public QObject {
public:
    QPointer<QWidget> allowed;

protected:
    bool eventFilter(QObject* target, QEvent* event) override
    {
        switch (event->type()) {
        case QEvent::MouseButtonPress:
        case QEvent::MouseButtonRelease:
        case QEvent::MouseButtonDblClick:
        case QEvent::KeyPress:
        case QEvent::KeyRelease:
        case QEvent::ShortcutOverride:
        case QEvent::Shortcut:
        case QEvent::Wheel:
        case QEvent::ContextMenu:
        case QEvent::Close:
            break;
        default:
            return false;
        }
        if (allowed && target->isWidgetType()) {
            auto* widget = static_cast<QWidget*>(target);
            if (widget == allowed || allowed->isAncestorOf(widget))
                return false;
        }
        event->ignore();
        return true;
    }
};

}  // namespace

void CBackgroundStep::Run(QWidget* parent, const QString& label, int showAfterMs, CConvertControl& control,
                          const std::function<void()>& work)
{
    // The box takes the focus while it shows; the operator's place is given back.
    const QPointer<QWidget> focus = QApplication::focusWidget();
    const QPointer<QWidget> active = QApplication::activeWindow() ? QApplication::activeWindow()
                                     : parent                     ? parent->window()
                                                                  : nullptr;
    QEventLoop loop;
    CInputHold hold;
    qApp->installEventFilter(&hold);

    std::atomic<bool> finished{false};
    std::thread worker([&work, &loop, &finished] {
        work();
        finished = true;
        QMetaObject::invokeMethod(&loop, "quit", Qt::QueuedConnection);
    });

    QProgressDialog box(label, "Cancel", 0, 1000, parent);
    box.setWindowTitle("ORMID");
    box.setWindowModality(Qt::ApplicationModal);
    box.setMinimumDuration(0);
    box.setAutoClose(false);
    box.setAutoReset(false);
    box.hide();  // a QProgressDialog would show itself after a while otherwise
    // Cancel, Escape and the close box all stop the step.
    QObject::connect(&box, &QProgressDialog::canceled, &box, [&control] { control.stop = true; });
    QObject::connect(&box, &QDialog::rejected, &box, [&control] { control.stop = true; });
    QTimer progress;
    progress.setInterval(50);
    QObject::connect(&progress, &QTimer::timeout, &box, [&] { box.setValue(control.permille.load()); });
    QTimer::singleShot(showAfterMs, &box, [&] {
        if (finished)
            return;
        hold.allowed = &box;
        box.show();
        progress.start();
    });

    loop.exec();
    worker.join();
    progress.stop();
    box.hide();
    qApp->removeEventFilter(&hold);
    if (active)
        active->activateWindow();
    if (focus)
        focus->setFocus(Qt::OtherFocusReason);
}
