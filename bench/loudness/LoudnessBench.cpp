// Loudness of a full image (eight messages filling the unit's memory) in
// multiples of real time. The aim is at least 1000x.
#include <chrono>
#include <cmath>
#include <cstdio>
#include <ctime>
#include <thread>

#include "CLoudnessMeter.h"
#include "MuLawTable.h"
#include "cMemoryMap.h"

int main()
{
    cMemoryMap map;
    const uint32_t each = (cMemoryMap::kImageSize - cMemoryMap::kAudioStart) / 8 - 16;
    for (uint8_t slot = 0; slot < cMemoryMap::kSlotCount; ++slot) {
        uint8_t* at = map.AllocateAtEnd(slot);
        for (uint32_t i = 0; i < each; ++i) {
            const double t = i / 8000.0;
            const double v =
                0.2 * std::sin(2 * M_PI * (300 + 40 * slot) * t) * (0.6 + 0.4 * std::sin(2 * M_PI * 3 * t));
            at[i] = MuLawTable::Encode(int16_t(v * 32767));
        }
        map.SetLength(slot, each);
    }
    const double audioSeconds = 8.0 * each / cMemoryMap::kBytesPerSecond;
    const int rounds = 5;
    double best = 1e9;
    double bestCpu = 1e9;
    for (int r = 0; r < rounds; ++r) {
        const auto begin = std::chrono::steady_clock::now();
        const std::clock_t cpuBegin = std::clock();
        double sum = 0;
        for (const SLoudness& loudness : CLoudnessMeter::MeasureImage(map))
            sum += loudness.lufs;
        const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - begin).count();
        best = std::min(best, seconds);
        bestCpu = std::min(bestCpu, double(std::clock() - cpuBegin) / CLOCKS_PER_SEC);
        if (!std::isfinite(sum))
            std::printf("unexpected: a message read no loudness\n");
    }
    std::printf("cores: %u\n", std::thread::hardware_concurrency());
    std::printf("loudness of a full image (%.0f s of audio): %.1f ms, %.0fx real time (aim 1000x: ratio %.2f)\n",
                audioSeconds, best * 1000, audioSeconds / best, audioSeconds / best / 1000);
    // Processor time does not depend on what else the machine runs: the
    // ratio one core reaches.
    std::printf("processor time: %.1f ms, %.0fx real time on one core (aim 1000x: ratio %.2f)\n", bestCpu * 1000,
                audioSeconds / bestCpu, audioSeconds / bestCpu / 1000);
    return 0;
}
