#include "CGangReport.h"

#include <cerrno>
#include <cstring>
#include <ctime>

#include "CliJson.h"
#include "TransferTexts.h"
#include "cMemoryMap.h"

namespace {

const char* VerifyWord(CGangTransfer::Verify verify)
{
    switch (verify) {
    case CGangTransfer::Verify::Ok:
        return "ok";
    case CGangTransfer::Verify::Differs:
        return "differs";
    case CGangTransfer::Verify::NotDone:
        return "not done";
    default:
        return "none";
    }
}

std::string LocalTime()
{
    char text[40] = "";
    const time_t now = time(nullptr);
    struct tm local { };
    if (localtime_r(&now, &local))
        strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%S%z", &local);
    return text;
}

}  // namespace

CGangReport::~CGangReport()
{
    if (m_file)
        fclose(m_file);
}

bool CGangReport::Open(const std::string& path, std::string& why)
{
    m_file = fopen(path.c_str(), "a");
    if (!m_file)
        why = strerror(errno);
    return m_file != nullptr;
}

uint32_t CGangReport::ImageCrc32(const cMemoryMap& image)
{
    const uint8_t last = image.GetLastUsedSector();
    const uint32_t end = last < cMemoryMap::kSectorCount ? cMemoryMap::GetSectorEnd(last) : cMemoryMap::kImageSize;
    const uint8_t* bytes = image.GetImageBuffer();
    uint32_t crc = 0xFFFFFFFFu;
    for (uint32_t i = 0; i < end; ++i) {
        crc ^= bytes[i];
        for (int bit = 0; bit < 8; ++bit)
            crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
    }
    return ~crc;
}

void CGangReport::Write(CGangTransfer& gang, const std::string& imageName, const cMemoryMap& image)
{
    if (!m_file)
        return;
    const std::string time = LocalTime();
    const uint32_t crc = ImageCrc32(image);
    for (size_t i = 0; i < gang.Count(); ++i) {
        const CGangTransfer::Outcome outcome = gang.GetOutcome(i);
        std::string differing;
        for (uint8_t sector : outcome.differing)
            differing += (differing.empty() ? "" : ",") + std::to_string(sector);
        const std::string status = outcome.openFailure.empty() ? StatusOneLine(outcome.status) : outcome.openFailure;
        fprintf(m_file,
                "{\"time\":%s,\"port\":%s,\"image\":%s,\"image_crc32\":\"%08x\",\"result\":\"%s\",\"status\":%s,"
                "\"seconds\":%.1f,\"sectors_written\":%zu,\"verify\":\"%s\",\"differing\":[%s]}\n",
                JsonString(time).c_str(), JsonString(gang.Port(i)).c_str(), JsonString(imageName).c_str(), crc,
                CGangTransfer::ResultWord(outcome.result), JsonString(status).c_str(), outcome.seconds,
                outcome.sectorsWritten, VerifyWord(outcome.verify), differing.c_str());
    }
    fflush(m_file);
}
