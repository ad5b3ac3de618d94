// Drives unit transfers without a window: steps each at its timer period until
// it stops its timer or the caller asks them to stop, and between ticks as
// soon as its line has news. One thread drives any number of transfers; it
// sleeps until the next tick or the next news of any of them.
#pragma once

#include <atomic>
#include <functional>
#include <vector>

class CUnitTransfer;
class CConsoleTransferView;

struct LoopUnit {
    CUnitTransfer* transfer;
    CConsoleTransferView* view;
};

// periodMs 0 steps each transfer at the period it asked for. When stop
// becomes true the loop runs every transfer's finish step and returns false;
// otherwise it returns true once every transfer has ended. stepOnEvents
// false: on the ticks only. onWake, when given, runs after every wake of the
// loop (a display may refresh there).
bool RunTransferLoops(const std::vector<LoopUnit>& units, const std::atomic<bool>* stop, unsigned periodMs = 0,
                      bool stepOnEvents = true, const std::function<void()>& onWake = {});

// The same for one transfer.
bool RunTransferLoop(CUnitTransfer& transfer, CConsoleTransferView& view, const std::atomic<bool>* stop,
                     unsigned periodMs = 0, bool stepOnEvents = true);
