#include "CUnitRecord.h"

#include <cstdio>
#include <ctime>
#include <pwd.h>
#include <unistd.h>

#include "TransferTexts.h"
#include "cMemoryMap.h"

CUnitRecord CUnitRecord::Of(CGangTransfer& gang, size_t index, const std::string& imageName, uint32_t imageCrc32)
{
    const CGangTransfer::Outcome outcome = gang.GetOutcome(index);
    CUnitRecord record;
    record.time = LocalTime();
    record.port = gang.Port(index);
    record.image = imageName;
    record.imageCrc32 = imageCrc32;
    record.result = CGangTransfer::ResultWord(outcome.result);
    record.status = outcome.openFailure.empty() ? StatusOneLine(outcome.status) : outcome.openFailure;
    record.seconds = outcome.seconds;
    record.sectorsWritten = outcome.sectorsWritten;
    record.verify = VerifyWord(outcome.verify);
    record.differing = outcome.differing;
    record.host = HostName();
    record.user = UserName();
    return record;
}

std::string CUnitRecord::Json(bool withStation) const
{
    std::string differingList;
    for (uint8_t sector : differing)
        differingList += (differingList.empty() ? "" : ",") + std::to_string(sector);
    char numbers[96];
    snprintf(numbers, sizeof numbers, "\"image_crc32\":\"%08x\"", imageCrc32);
    std::string line = "{\"time\":" + JsonText(time) + ",\"port\":" + JsonText(port) + ",\"image\":" + JsonText(image) +
                       "," + numbers + ",\"result\":" + JsonText(result) + ",\"status\":" + JsonText(status);
    snprintf(numbers, sizeof numbers, ",\"seconds\":%.1f,\"sectors_written\":%zu", seconds, sectorsWritten);
    line += numbers;
    line += ",\"verify\":" + JsonText(verify) + ",\"differing\":[" + differingList + "]";
    if (withStation)
        line += ",\"host\":" + JsonText(host) + ",\"user\":" + JsonText(user);
    return line + "}\n";
}

uint32_t CUnitRecord::ImageCrc32(const cMemoryMap& image)
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

std::string CUnitRecord::LocalTime()
{
    char text[40] = "";
    const time_t now = ::time(nullptr);
    struct tm local { };
    if (localtime_r(&now, &local))
        strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%S%z", &local);
    return text;
}

std::string CUnitRecord::HostName()
{
    char name[256] = "";
    if (gethostname(name, sizeof name - 1) != 0)
        return std::string();
    return name;
}

std::string CUnitRecord::UserName()
{
    // The account the program runs as, not what the environment claims.
    struct passwd entry { };
    struct passwd* found = nullptr;
    char buffer[4096];
    if (getpwuid_r(geteuid(), &entry, buffer, sizeof buffer, &found) == 0 && found && found->pw_name)
        return found->pw_name;
    return std::to_string(geteuid());
}

const char* CUnitRecord::VerifyWord(CGangTransfer::Verify verify)
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

std::string CUnitRecord::JsonText(const std::string& utf8)
{
    std::string out = "\"";
    for (unsigned char c : utf8) {
        switch (c) {
        case '"':
            out += "\\\"";
            break;
        case '\\':
            out += "\\\\";
            break;
        case '\n':
            out += "\\n";
            break;
        case '\r':
            out += "\\r";
            break;
        case '\t':
            out += "\\t";
            break;
        default:
            if (c < 0x20 || c == 0x7F) {
                char escaped[8];
                snprintf(escaped, sizeof escaped, "\\u%04x", c);
                out += escaped;
            } else {
                out += char(c);
            }
        }
    }
    return out + "\"";
}
