// Drives a unit transfer without a window: steps it at its timer period until
// the transfer stops its timer or the caller asks it to stop.
#pragma once

#include <atomic>

class CUnitTransfer;
class CConsoleTransferView;

// periodMs 0 steps at the period the transfer asked for. When stop becomes
// true the loop runs the finish step and returns false; otherwise it returns
// true once the transfer has ended. Between ticks the transfer also steps as
// soon as the line has news (stepOnEvents false: on the ticks only).
bool RunTransferLoop(CUnitTransfer& transfer, CConsoleTransferView& view, const std::atomic<bool>* stop,
                     unsigned periodMs = 0, bool stepOnEvents = true);
