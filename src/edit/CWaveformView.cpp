#include "CWaveformView.h"

#include <QFile>
#include <QFileInfo>
#include <QPainter>

#include "CPictureAccessible.h"

CWaveformView::CWaveformView(QWidget* parent) : QWidget(parent)
{
    CPictureAccessible::Install("CWaveformView");
    setAccessibleName("Waveform");
    setAttribute(Qt::WA_OpaquePaintEvent);
    Describe();
}

void CWaveformView::SetSlot(int slot)
{
    m_slot = slot;
    Describe();
}

bool CWaveformView::Refresh(const std::string& path)
{
    const QFileInfo info(QFile::decodeName(path.c_str()));
    const qint64 size = info.exists() ? info.size() : -1;
    const qint64 time = info.exists() ? info.lastModified().toMSecsSinceEpoch() : -1;
    if (size == m_fileSize && time == m_fileTime)
        return false;
    m_fileSize = size;
    m_fileTime = time;
    if (size < 0)
        m_peaks.SetCodes({});
    else
        m_peaks.Load(path);
    Describe();
    update();
    return true;
}

void CWaveformView::Describe()
{
    setAccessibleDescription(QString::fromStdString(CWaveformPeaks::Description(m_slot, m_peaks.Seconds())));
}

void CWaveformView::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    const QFontMetrics metrics = fontMetrics();
    const int marksHeight = metrics.height() + 3;
    const QRect wave(1, 1, width() - 2, std::max(4, height() - marksHeight - 2));
    painter.fillRect(rect(), palette().color(QPalette::Window));
    painter.fillRect(wave, palette().color(QPalette::Base));
    painter.setPen(palette().color(QPalette::Mid));
    painter.drawRect(wave.adjusted(-1, -1, 0, 0));

    const int mid = wave.top() + wave.height() / 2;
    painter.drawLine(wave.left(), mid, wave.right(), mid);
    const double scale = (wave.height() / 2 - 1) / 32768.0;
    const std::vector<SPeakColumn> columns = m_peaks.Columns(wave.width());
    painter.setPen(palette().color(QPalette::Highlight));
    // One vertical line per column: the column's range of samples.
    std::vector<QLine> lines;
    lines.reserve(columns.size());
    for (size_t x = 0; x < columns.size() && m_peaks.Samples(); ++x) {
        const int px = wave.left() + int(x);
        lines.emplace_back(px, mid - int(columns[x].high * scale), px, mid - int(columns[x].low * scale));
    }
    painter.drawLines(lines.data(), int(lines.size()));

    painter.setPen(palette().color(QPalette::WindowText));
    const double seconds = m_peaks.Seconds();
    const int gap = metrics.horizontalAdvance("000.0 s") + 6;
    for (double mark : CWaveformPeaks::TimeMarks(seconds, wave.width(), gap)) {
        const int x = wave.left() + int(mark / seconds * (wave.width() - 1));
        painter.drawLine(x, wave.bottom() + 1, x, wave.bottom() + 3);
        const QString text = QString::number(mark, 'g', 4) + " s";
        const int w = metrics.horizontalAdvance(text);
        const int left = std::clamp(x - w / 2, 0, std::max(0, width() - w));
        painter.drawText(left, wave.bottom() + 3 + metrics.ascent(), text);
    }
}
