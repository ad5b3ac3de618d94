#include "CWindowGrabber.h"

#include <QApplication>
#include <QDialog>
#include <QImage>
#include <QPixmap>
#include <QTimer>

#include <cmath>
#include <cstdio>

void CWindowGrabber::Take(QWidget& window, const char* name)
{
    window.show();
    QApplication::processEvents();
    const QString path = m_folder + '/' + name + ".png";
    QImage picture = window.grab().toImage();
    const int dotsPerMeter = int(std::lround(picture.devicePixelRatio() * 96 / 0.0254));
    picture.setDotsPerMeterX(dotsPerMeter);
    picture.setDotsPerMeterY(dotsPerMeter);
    if (!picture.save(path)) {
        std::fprintf(stderr, "ormid-guideshots: cannot write %s\n", qPrintable(path));
        m_failed = true;
    }
}

void CWindowGrabber::TakeModal(const char* name, const std::function<void()>& start)
{
    bool taken = false;
    QTimer::singleShot(0, [&] {
        if (auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget())) {
            Take(*dialog, name);
            taken = true;
            dialog->reject();
        }
    });
    start();
    if (!taken) {
        std::fprintf(stderr, "ormid-guideshots: no window for %s\n", name);
        m_failed = true;
    }
}
