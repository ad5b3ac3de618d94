#include "TransferTexts.h"

#include <cstdarg>
#include <cstdio>

#include "cMemoryMap.h"

std::string FormatText(const char* format, ...)
{
    char buffer[512];
    va_list args;
    va_start(args, format);
    int n = vsnprintf(buffer, sizeof buffer, format, args);
    va_end(args);
    if (n < 0)
        return std::string();
    if (size_t(n) < sizeof buffer)
        return std::string(buffer, size_t(n));
    std::string text(size_t(n) + 1, '\0');
    va_start(args, format);
    vsnprintf(&text[0], text.size(), format, args);
    va_end(args);
    text.resize(size_t(n));
    return text;
}

std::string WithInterruptedWriteHint(const std::string& status)
{
    return status + "\nIf a write to this unit was interrupted, switch the unit off and on, or retry with Recover";
}

std::string StatusOneLine(std::string text)
{
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r'))
        text.pop_back();
    for (char& c : text)
        if (c == '\n')
            c = ' ';
    return text;
}

static std::string TwoDigits(int value)
{
    return FormatText(value < 10 ? "0%d" : "%d", value);
}

std::string ElapsedText(uint32_t elapsedMs)
{
    // Single precision, as the unit tools have always shown it.
    float seconds = float(elapsedMs) / 1000.0f;
    int hours = int(seconds / 3600.0f);
    int minutes = int((seconds / 3600.0f - float(hours)) * 60.0f);
    int wholeSeconds = int(seconds - float(hours * 3600) - float(minutes * 60));
    // Rounding in single precision can leave 59.99.. minutes as 59 and the
    // seconds at 60; carry it so that the text stays a valid time.
    if (wholeSeconds >= 60) {
        wholeSeconds -= 60;
        minutes++;
    }
    if (minutes >= 60) {
        minutes -= 60;
        hours++;
    }
    return "[" + TwoDigits(hours) + ":" + TwoDigits(minutes) + ":" + TwoDigits(wholeSeconds) + ":" +
           FormatText("%d", int(elapsedMs % 100)) + "]";
}

std::string ChecksumErrorText(uint16_t received, uint16_t computed, uint8_t low, uint8_t high, bool laterSector)
{
    return FormatText("Checksum error - received %4x, computed %4x\nReceived checksum bytes were %x,%x\n"
                      "Received data corrupt.%s",
                      unsigned(received), unsigned(computed), unsigned(low), unsigned(high), laterSector ? "\n" : "");
}

std::string SectorCountText(int count)
{
    return FormatText("%d sector%s", count, count == 1 ? "" : "s");
}

static std::string CountLine(int count)
{
    if (count <= 0)
        return "No sectors.";
    return SectorCountText(count) + ".";
}

std::vector<std::string> WriteSectorLines(const cMemoryMap& image)
{
    std::vector<std::string> lines;
    int last = image.GetLastUsedSector();
    // A table that reaches past the image names no sector beyond the last one.
    if (last > kLastImageSector)
        last = kLastImageSector;
    for (int s = 0; s <= last; s++)
        if (image.IsSectorNeeded(uint8_t(s)))
            lines.push_back(FormatText("SA%d", s));
    lines.push_back(CountLine(int(lines.size())));
    return lines;
}

std::vector<std::string> ReadSectorLines(int lastSector, int currentSector)
{
    std::vector<std::string> lines;
    lines.push_back(CountLine(lastSector - currentSector + 1));
    for (int s = currentSector; s <= lastSector; s++)
        lines.push_back(FormatText("SA%d", s));
    return lines;
}
