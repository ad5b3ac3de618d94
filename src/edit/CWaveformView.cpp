#include "CWaveformView.h"

#include <QFile>
#include <QFileInfo>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>

#include <algorithm>

#include "CPictureAccessible.h"

CWaveformView::CWaveformView(QWidget* parent) : QWidget(parent)
{
    CPictureAccessible::Install("CWaveformView");
    setAccessibleName("Waveform");
    setAttribute(Qt::WA_OpaquePaintEvent);
    setFocusPolicy(Qt::StrongFocus);
    Describe();
}

void CWaveformView::SetSlot(int slot)
{
    m_slot = slot;
    Describe();
}

bool CWaveformView::Refresh(const std::string& path, bool force)
{
    const QFileInfo info(QFile::decodeName(path.c_str()));
    const qint64 size = info.exists() ? info.size() : -1;
    const qint64 time = info.exists() ? info.lastModified().toMSecsSinceEpoch() : -1;
    if (!force && size == m_fileSize && time == m_fileTime)
        return false;
    m_fileSize = size;
    m_fileTime = time;
    if (size < 0)
        m_peaks.SetCodes({});
    else
        m_peaks.Load(path);
    // A new audio: what was selected in the old one means nothing here.
    m_selection.SetLength(m_peaks.Samples());
    m_selection.Select(0, 0);
    Describe();
    emit selectionChanged();
    update();
    return true;
}

void CWaveformView::Describe()
{
    setAccessibleDescription(QString::fromStdString(CWaveformPeaks::Description(m_slot, m_peaks.Seconds()) +
                                                    m_selection.Describe(CWaveformPeaks::kRate)));
}

void CWaveformView::Select(size_t from, size_t to)
{
    m_selection.Select(from, to);
    Describe();
    update();
    emit selectionChanged();
}

void CWaveformView::SetPlayPosition(int64_t sample)
{
    if (sample == m_playPosition)
        return;
    m_playPosition = sample;
    update();
}

QRect CWaveformView::WaveRect() const
{
    const int marksHeight = fontMetrics().height() + 3;
    return QRect(1, 1, width() - 2, std::max(4, height() - marksHeight - 2));
}

size_t CWaveformView::SampleAt(int x) const
{
    const QRect wave = WaveRect();
    const int offset = std::clamp(x - wave.left(), 0, wave.width());
    return size_t(double(offset) / std::max(1, wave.width()) * double(m_peaks.Samples()) + 0.5);
}

int CWaveformView::XOf(size_t sample) const
{
    const QRect wave = WaveRect();
    if (!m_peaks.Samples())
        return wave.left();
    return wave.left() + int(double(sample) / double(m_peaks.Samples()) * wave.width());
}

void CWaveformView::mousePressEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton)
        return QWidget::mousePressEvent(event);
    setFocus(Qt::MouseFocusReason);
    const size_t at = SampleAt(int(event->position().x()));
    // Shift+click extends what is selected, as in most editors.
    if (event->modifiers() & Qt::ShiftModifier)
        m_selection.DragTo(at);
    else
        m_selection.Press(at);
    Describe();
    update();
    emit selectionChanged();
}

void CWaveformView::mouseMoveEvent(QMouseEvent* event)
{
    if (!(event->buttons() & Qt::LeftButton))
        return QWidget::mouseMoveEvent(event);
    m_selection.DragTo(SampleAt(int(event->position().x())));
    Describe();
    update();
    emit selectionChanged();
}

void CWaveformView::keyPressEvent(QKeyEvent* event)
{
    const bool shift = event->modifiers() & Qt::ShiftModifier;
    if (shift && (event->key() == Qt::Key_Left || event->key() == Qt::Key_Right)) {
        m_selection.Extend(event->key() == Qt::Key_Left ? -1 : 1);
        Describe();
        update();
        emit selectionChanged();
        return;
    }
    if (event->key() == Qt::Key_Delete && m_selection.HasSelection()) {
        emit cutRequested();
        return;
    }
    QWidget::keyPressEvent(event);
}

void CWaveformView::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    const QFontMetrics metrics = fontMetrics();
    const QRect wave = WaveRect();
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

    if (m_selection.HasSelection()) {
        // Over the lines, darkened, so that it shows on a loud message too.
        QColor shade = palette().color(QPalette::WindowText);
        shade.setAlpha(90);
        const int left = XOf(m_selection.Start());
        painter.fillRect(QRect(left, wave.top(), std::max(1, XOf(m_selection.End()) - left), wave.height()), shade);
    }

    // Where Play starts, and where the playing is.
    painter.setPen(QPen(palette().color(QPalette::Mid), 1, Qt::DotLine));
    const int cursor = XOf(m_selection.Cursor());
    painter.drawLine(cursor, wave.top(), cursor, wave.bottom());
    if (m_playPosition >= 0) {
        painter.setPen(palette().color(QPalette::WindowText));
        const int x = std::min(XOf(size_t(m_playPosition)), wave.right());
        painter.drawLine(x, wave.top(), x, wave.bottom());
    }

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
