#include "CBackgroundStep.h"

#include <QProgressDialog>
#include <QTimer>

#include <chrono>
#include <future>
#include <thread>

namespace {

// Below this a step finishes without a box; well under what the eye notices
// as a stalled window.
constexpr std::chrono::milliseconds kQuietWait{30};

}  // namespace

void CBackgroundStep::Run(QWidget* parent, const QString& label, CConvertControl& control,
                          const std::function<void()>& work)
{
    std::promise<void> done;
    std::future<void> finished = done.get_future();
    std::thread worker([&work, &done] {
        work();
        done.set_value();
    });
    if (finished.wait_for(kQuietWait) != std::future_status::ready) {
        QProgressDialog box(label, "Cancel", 0, 1000, parent);
        box.setWindowTitle("ORMID");
        box.setWindowModality(Qt::ApplicationModal);
        box.setMinimumDuration(0);
        box.setAutoClose(false);
        box.setAutoReset(false);
        QObject::connect(&box, &QProgressDialog::canceled, &box, [&control] { control.stop = true; });
        QTimer poll;
        poll.setInterval(25);
        QObject::connect(&poll, &QTimer::timeout, &box, [&] {
            box.setValue(control.permille.load());
            if (finished.wait_for(std::chrono::seconds(0)) == std::future_status::ready)
                box.accept();
        });
        poll.start();
        if (box.exec() != QDialog::Accepted)
            control.stop = true;
    }
    worker.join();
}
