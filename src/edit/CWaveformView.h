// The waveform in Edit Message: the scratch WAV drawn as the lowest and
// highest sample of each pixel column, with time marks in seconds.
#pragma once

#include <QWidget>

#include <string>

#include "CWaveformPeaks.h"

class CWaveformView : public QWidget {
    Q_OBJECT

public:
    explicit CWaveformView(QWidget* parent = nullptr);

    // The message (0-7) the dialog edits: named in the description.
    void SetSlot(int slot);
    // Reads the file again when it changed since the last look (its size or
    // time); true when it was read.
    bool Refresh(const std::string& path);
    const CWaveformPeaks& Peaks() const { return m_peaks; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    void Describe();

    CWaveformPeaks m_peaks;
    int m_slot = 0;
    qint64 m_fileSize = -1;
    qint64 m_fileTime = -1;
};
