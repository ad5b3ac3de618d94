// What a fuzzed transfer shows: kept only as far as the checks need it.
#pragma once

#include <string>
#include <vector>

#include "ITransferView.h"

class FuzzTransferView : public ITransferView {
public:
    void SetStatus(const std::string& text) override { status = text; }
    void ShowProgressPercent(const std::string&, int percent) override { lastPercent = percent; }
    void SetProgressRange(int maximum) override { range = maximum; }
    void SetProgressPos(int position) override { this->position = position; }
    void SetSectorLines(const std::vector<std::string>& lines) override { sectorLines = lines.size(); }
    void ShowMessage(const std::string& text, bool) override { message = text; }
    void EnableControls(bool enable) override { controlsEnabled = enable; }
    void SetLamps(bool, bool, bool) override { }
    void SetUnitReadDone() override { readDone = true; }
    bool StartTimer(unsigned) override
    {
        timerRunning = true;
        return true;
    }
    void StopTimer() override { timerRunning = false; }

    std::string status;
    std::string message;
    int lastPercent = 0;
    int range = 0;
    int position = 0;
    size_t sectorLines = 0;
    bool controlsEnabled = true;
    bool readDone = false;
    bool timerRunning = false;
};
