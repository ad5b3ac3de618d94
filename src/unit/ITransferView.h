// What a unit transfer shows to the operator. The communications dialog
// implements it with widgets, ormid-cli with stderr, tests with a recorder.
// The transfer also starts and stops its step timer through it, because the
// finish step stops the timer wherever the transfer is driven from.
#pragma once

#include <string>
#include <vector>

class ITransferView {
public:
    virtual ~ITransferView() = default;

    // The status line.
    virtual void SetStatus(const std::string& text) = 0;
    // "Reading - %d %%" (a read), "Writing - %d %%" (a write) or "Verifying -
    // %d %%" (a read-back or verify) while a reply or a sector is under way;
    // the dialog shows it in the status line, a console may show it in its
    // progress line.
    virtual void ShowProgressPercent(const std::string& text, int percent) = 0;
    // Progress bar: range 0..maximum and position.
    virtual void SetProgressRange(int maximum) = 0;
    virtual void SetProgressPos(int position) = 0;
    // The "Sectors" list, replaced as a whole.
    virtual void SetSectorLines(const std::vector<std::string>& lines) = 0;
    // A message box with an OK button; information selects the information icon.
    virtual void ShowMessage(const std::string& text, bool information) = 0;
    // Enables or disables the controls that must not be touched while a
    // transfer runs (everything except "Close").
    virtual void EnableControls(bool enable) = 0;
    // Lamps for CTS, DSR and CD.
    virtual void SetLamps(bool cts, bool dsr, bool cd) = 0;
    // Sets the application's m_unitReadDone flag.
    virtual void SetUnitReadDone() = 0;
    // The step timer: period 200 ms while reading, 80 ms while writing.
    // StartTimer returns false when the timer cannot be started.
    virtual bool StartTimer(unsigned periodMs) = 0;
    virtual void StopTimer() = 0;
    // A protocol step has run (the transfer may have ended in it): a console
    // shows the statuses the step set once it knows whether the transfer
    // goes on.
    virtual void StepEnded() { }
    // Called after every successful port opening with the selected list
    // positions, so that the caller can remember them.
    virtual void StorePortSelection(int portPosition, int baudPosition)
    {
        (void)portPosition;
        (void)baudPosition;
    }
};
