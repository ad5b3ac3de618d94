// What the edit session asks of the dialog that shows it: captions, the
// timer, the meter, and the three questions that open a window of their own.
// The Qt dialog implements it; tests implement it with a recorder.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "RecordProcessingParams.h"

class IEditView {
public:
    virtual ~IEditView() = default;

    virtual void SetRemainingText(const std::string& text) = 0;  // "%3.2f" or "< 1.00"
    virtual void SetRecordCaption(const char* text) = 0;         // "Record" / "Stop"
    virtual void SetPlayCaption(const char* text) = 0;           // "Play" / "Stop"
    virtual void SetAppendCaption(const char* text) = 0;         // "Append Recording" / "Stop Append Recording"
    virtual void EnableRecord(bool on) = 0;

    // The one timer: started again with a new period, or stopped.
    virtual void StartTimer(unsigned periodMs) = 0;
    virtual void StopTimer() = 0;

    virtual void MeterSetLevel(int level) = 0;
    virtual void MeterClear() = 0;

    // "Make Silence": false on Cancel; ms is the amount chosen (0 to the
    // smaller of roomLeft / 8 and 1000).
    virtual bool AskSilence(uint32_t roomLeft, uint32_t& ms) = 0;
    // "Import WAVE file": false on Cancel, else the chosen path.
    virtual bool AskAppendFile(std::string& path) = 0;
    // "Settings": shows the stored parameters with the results of
    // current; on OK stores the new parameters and returns them in chosen
    // (results untouched). False on Cancel.
    virtual bool AskSettings(const RecordProcessingParams& current, RecordProcessingParams& chosen) = 0;

    // Runs work (the end of a recording: it touches only the audio library
    // and files, never the session) away from the window's thread, then
    // done on the window's thread, so that the window keeps answering while
    // a long recording is processed. Views without a thread of their own run
    // both at once.
    virtual void RunAside(std::function<void()> work, std::function<void()> done)
    {
        work();
        done();
    }
    // True while work runs aside: the audio commands are refused (the dialog
    // greys their buttons); false when the session takes commands again.
    virtual void SetBusy(bool busy) { (void)busy; }
};
