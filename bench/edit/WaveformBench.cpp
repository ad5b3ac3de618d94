// Draw time of Edit Message's waveform for messages of 1 s, 60 s and 515 s
// (the whole memory): the columns and the paint of a widget 600 pixels wide,
// on the offscreen platform. The aim for 515 s is under 50 ms.
#include <QApplication>
#include <QElapsedTimer>
#include <QImage>

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "CWaveformView.h"
#include "MuLawTable.h"
#include "TempFolder.h"
#include "cMemoryMap.h"

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    TempFolder folder;
    for (double seconds : {1.0, 60.0, 515.0}) {
        std::vector<uint8_t> codes(size_t(seconds * 8000));
        for (size_t i = 0; i < codes.size(); ++i)
            codes[i] = MuLawTable::Encode(int16_t(12000 * std::sin(i * 0.3) * std::sin(i * 0.0007)));
        uint8_t header[44];
        cMemoryMap::BuildWavHeader(uint32_t(codes.size()), header);
        const std::string path = folder.File("w" + std::to_string(int(seconds)) + ".wav");
        folder.Write("w" + std::to_string(int(seconds)) + ".wav",
                     std::string(reinterpret_cast<char*>(header), 44) + std::string(codes.begin(), codes.end()));
        CWaveformView view;
        view.resize(600, 90);
        view.Refresh(path);
        QImage image(view.size(), QImage::Format_ARGB32_Premultiplied);
        double best = 1e9;
        for (int round = 0; round < 5; ++round) {
            QElapsedTimer timer;
            timer.start();
            view.render(&image);
            best = std::min(best, timer.nsecsElapsed() / 1e6);
        }
        std::printf("waveform of %3.0f s: draw %.2f ms (aim 50 ms: ratio %.3f)\n", seconds, best, best / 50);
    }
    return 0;
}
