#include "CGangReport.h"

#include <cerrno>
#include <cstring>

#include "CDailyReport.h"
#include "CUnitRecord.h"

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
    return CUnitRecord::ImageCrc32(image);
}

void CGangReport::Write(CGangTransfer& gang, const std::string& imageName, const cMemoryMap& image)
{
    const uint32_t crc = ImageCrc32(image);
    std::vector<std::string> daily;
    for (size_t i = 0; i < gang.Count(); ++i) {
        const CUnitRecord record = CUnitRecord::Of(gang, i, imageName, crc);
        if (m_file)
            fputs(record.Json(false).c_str(), m_file);
        daily.push_back(record.Json(true));
    }
    if (m_file)
        fflush(m_file);
    // The day's report keeps every unit's result, asked for or not; the
    // transfer's own outcome does not depend on it.
    std::string why;
    if (!CDailyReport::Append(daily, why))
        fprintf(stderr, "%s\n%s\n", CDailyReport::kNotAddedText, why.c_str());
}
