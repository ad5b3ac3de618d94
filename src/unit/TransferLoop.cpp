#include "TransferLoop.h"

#include <algorithm>
#include <chrono>
#include <thread>

#include "CConsoleTransferView.h"
#include "CUnitTransfer.h"

bool RunTransferLoop(CUnitTransfer& transfer, CConsoleTransferView& view, const std::atomic<bool>* stop,
                     unsigned periodMs)
{
    using Clock = std::chrono::steady_clock;
    // A stop request is noticed within this time even at long periods.
    const auto slice = std::chrono::milliseconds(20);
    auto next = Clock::now();
    while (view.TimerRunning()) {
        const unsigned period = periodMs ? periodMs : view.TimerPeriod();
        next += std::chrono::milliseconds(period);
        // Like a window timer, a late tick is not made up for.
        if (next < Clock::now())
            next = Clock::now();
        for (;;) {
            if (stop && stop->load()) {
                transfer.Finish();
                return false;
            }
            const auto now = Clock::now();
            if (now >= next)
                break;
            std::this_thread::sleep_for(std::min<Clock::duration>(next - now, slice));
        }
        transfer.Step();
    }
    return true;
}
