// The waveform in Edit Message: the scratch WAV drawn as the lowest and
// highest sample of each pixel column, with time marks in seconds, the
// selection shaded and, during Play, a cursor where the playing is. A drag
// selects, Shift+Left/Right extends, a click clears the selection and sets
// where Play starts; Delete asks for a Cut.
#pragma once

#include <QWidget>

#include <string>

#include "CWaveSelection.h"
#include "CWaveformPeaks.h"

class CWaveformView : public QWidget {
    Q_OBJECT

public:
    explicit CWaveformView(QWidget* parent = nullptr);

    // The message (0-7) the dialog edits: named in the description.
    void SetSlot(int slot);
    // Reads the file again when it changed since the last look (its size or
    // time), or always with force (an edit within the same moment may keep
    // both); true when it was read.
    bool Refresh(const std::string& path, bool force = false);
    const CWaveformPeaks& Peaks() const { return m_peaks; }
    const CWaveSelection& Selection() const { return m_selection; }
    // Selects samples [from, to); from == to leaves the cursor there.
    void Select(size_t from, size_t to);
    // The sample now playing; negative hides the cursor.
    void SetPlayPosition(int64_t sample);
    int64_t PlayPosition() const { return m_playPosition; }

signals:
    void selectionChanged();
    void cutRequested();

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    void Describe();
    QRect WaveRect() const;
    size_t SampleAt(int x) const;
    int XOf(size_t sample) const;

    CWaveformPeaks m_peaks;
    CWaveSelection m_selection;
    int m_slot = 0;
    int64_t m_playPosition = -1;
    qint64 m_fileSize = -1;
    qint64 m_fileTime = -1;
};
