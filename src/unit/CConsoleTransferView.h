// ITransferView for programs without windows (ormid-cli, the benchmark, tests):
// keeps every status text and message, optionally echoes them to a stream as
// they change and draws a one-line progress display on a terminal. Its
// "timer" is the period the driving loop reads.
//
// The echo shows a status once the step that set it has run and the transfer
// goes on; the status a transfer ends with is held back for the caller, who
// prints it once, with what it adds (a failure's "Write failed: "). A message
// that only repeats the status is not echoed again.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "ITransferView.h"

class CConsoleTransferView : public ITransferView {
public:
    // echo: where status texts and messages go (nullptr for none);
    // progressLine: draw the progress display on echo (a terminal).
    explicit CConsoleTransferView(FILE* echo = nullptr, bool progressLine = false);
    // Where status texts go from now on (nullptr for none).
    void SetEcho(FILE* echo, bool progressLine);

    void SetStatus(const std::string& text) override;
    void ShowProgressPercent(const std::string& text, int percent) override;
    void SetProgressRange(int maximum) override;
    void SetProgressPos(int position) override;
    void SetSectorLines(const std::vector<std::string>& lines) override;
    void ShowMessage(const std::string& text, bool information) override;
    void EnableControls(bool enable) override;
    void SetLamps(bool cts, bool dsr, bool cd) override;
    void SetUnitReadDone() override;
    bool StartTimer(unsigned periodMs) override;
    void StopTimer() override;
    void StepEnded() override;

    bool TimerRunning() const { return m_timerRunning; }
    unsigned TimerPeriod() const { return m_timerPeriod; }
    // Set to refuse StartTimer (tests of the timer failure).
    void SetTimerFails(bool fails) { m_timerFails = fails; }

    const std::string& Status() const { return m_status; }
    const std::vector<std::string>& StatusHistory() const { return m_statusHistory; }
    const std::vector<std::string>& Messages() const { return m_messages; }
    const std::vector<bool>& MessageIsInformation() const { return m_messageInformation; }
    const std::vector<std::string>& SectorLines() const { return m_sectorLines; }
    const std::vector<int>& Percentages() const { return m_percentages; }
    const std::vector<std::string>& ProgressTexts() const { return m_progressTexts; }
    int ProgressRange() const { return m_range; }
    int ProgressPos() const { return m_position; }
    bool ControlsEnabled() const { return m_controlsEnabled; }
    bool UnitReadDone() const { return m_unitReadDone; }
    // Bytes moved by the transfer as the progress saw them (64-byte steps).
    uint64_t BytesMoved() const { return m_bytesMoved; }
    // Ends the progress line so that later output starts on a fresh line.
    void EndProgressLine();
    // The status the echo held back (empty when there is none, or when it
    // was already shown); the caller prints it.
    const std::string& HeldStatus() const { return m_held; }

private:
    void DrawProgress();
    // Echoes the status held back so far.
    void ShowHeldStatus();

    FILE* m_echo;
    bool m_progressLine;
    bool m_lineDrawn = false;
    bool m_timerRunning = false;
    bool m_timerFails = false;
    unsigned m_timerPeriod = 0;
    uint32_t m_startTick = 0;
    std::string m_status;
    std::string m_held;   // set, not yet echoed
    std::string m_shown;  // the last status echoed
    std::vector<std::string> m_statusHistory;
    std::vector<std::string> m_messages;
    std::vector<bool> m_messageInformation;
    std::vector<std::string> m_sectorLines;
    std::vector<int> m_percentages;
    std::vector<std::string> m_progressTexts;
    int m_range = 0;
    int m_position = 0;
    int m_percent = 0;
    uint64_t m_bytesMoved = 0;
    bool m_controlsEnabled = true;
    bool m_unitReadDone = false;
};
