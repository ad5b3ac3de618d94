#include "CCodecReport.h"

#include "CAudioLog.h"

#include <cstdarg>
#include <cstdio>

namespace {
const char* const kLogUnit = "CoderInfor";
}

const char* CCodecReport::ErrorText(int code)
{
    switch (code) {
    case kCodecInvalidHandle:
        return "The specified handle is invalid.";
    case kCodecNotSupported:
        return "The index specified in uMetric is not supported.";
    case kCodecInvalidFlag:
        return "At least one flag is invalid.";
    case kCodecInvalidParam:
        return "At least one parameter is invalid.";
    case kCodecNotPossible:
        return "The index specified in uMetric cannot be returned for the specified hao.";
    case kCodecBusy:
        return "The conversion stream cannot be closed because an asynchronous conversion is "
               "still in progress.";
    case kCodecUnprepared:
        return "The stream header specified in pash is currently not prepared.";
    default:
        return "Error Unknown.";
    }
}

void CCodecReport::Append(const char* format, ...)
{
    char buf[1024];
    va_list args;
    va_start(args, format);
    const int n = std::vsnprintf(buf, sizeof buf, format, args);
    va_end(args);
    if (n < 0)
        return;
    if (size_t(n) < sizeof buf) {
        m_text.append(buf, size_t(n));
        return;
    }
    // Long driver texts (a features list) do not fit the stack buffer.
    std::string big(size_t(n) + 1, '\0');
    va_start(args, format);
    std::vsnprintf(&big[0], big.size(), format, args);
    va_end(args);
    big.resize(size_t(n));
    m_text += big;
}

void CCodecReport::Fail(int line, int code)
{
    char buf[512];
    std::snprintf(buf, sizeof buf, "%s ln:%d - %s", kLogUnit, line, ErrorText(code));
    m_failures.push_back(buf);
    LogPrintf("%s", buf);
}

void CCodecReport::Build()
{
    m_text.clear();
    m_failures.clear();

    const uint32_t version = m_registry.Version();
    Append("ACM version: %u.%.02u build %u", unsigned(version >> 24), unsigned((version >> 16) & 0xFF),
           unsigned(version & 0xFFFF));
    if ((version & 0xFFFF) == 0)
        Append(" (Retail)");
    Append("\n\n\n");
    Append("ACM METRICS:\n\n");

    struct {
        CodecMetric which;
        const char* line;
    } const counts[] = {
        {CodecMetric::Codecs, "%lu codecs installed\n"},
        {CodecMetric::Converters, "%lu converter drivers installed\n"},
        {CodecMetric::Drivers, "%lu drivers installed\n"},
        {CodecMetric::DisabledDrivers, "%lu disabled drivers installed\n"},
        {CodecMetric::Filters, "%lu filters installed\n"},
        {CodecMetric::HardwareDrivers, "%lu hardware drivers\n"},
    };
    for (const auto& c : counts) {
        unsigned long count = 0;
        const int rc = m_registry.Metric(c.which, count);
        if (rc != kCodecOk) {
            Fail(__LINE__, rc);
            continue;
        }
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wformat-nonliteral"
        Append(c.line, count);
#pragma GCC diagnostic pop
    }

    Append("\n");
    Append("ENABLED DRIVERS :\n");
    std::vector<CodecDriver> drivers;
    const int rc = m_registry.EnumDrivers(drivers);
    if (rc != kCodecOk)
        Fail(__LINE__, rc);
    for (const CodecDriver& driver : drivers) {
        if (!AddDriver(driver))
            break;
    }
}

bool CCodecReport::AddDriver(const CodecDriver& driver)
{
    bool ok = true;
    Append("\n-----------------------------------------------------------\n");
    Append("Driver ID: %8.8lX supports:\n", static_cast<unsigned long>(driver.id));
    if (driver.support & kSupportAsync)
        Append("Async conversions\n");
    if (driver.support & kSupportCodec)
        Append("Different format conversions\n");
    if (driver.support & kSupportConverter)
        Append("Same format conversions\n");
    if (driver.support & kSupportFilter)
        Append("Filtering\n");
    Append("\n");

    CodecDriverDetails d;
    int rc = m_registry.Details(driver.id, d);
    if (rc != kCodecOk) {
        Fail(__LINE__, rc);
        ok = false;
    } else {
        Append("Short name: %s\nLong name:  %s\nCopyright:  %s\nLicensing:  %s\nFeatures:   %s\n"
               "Supports %u formats\nSupports %u filter formats\n\n",
               d.shortName.c_str(), d.longName.c_str(), d.copyright.c_str(), d.licensing.c_str(), d.features.c_str(),
               d.formatTags, d.filterTags);
    }

    rc = m_registry.Open(driver.id);
    if (rc != kCodecOk) {
        Fail(__LINE__, rc);
        return false;
    }
    unsigned size = 0;
    rc = m_registry.MaxFormatSize(driver.id, size);
    if (rc != kCodecOk) {
        Fail(__LINE__, rc);
        ok = false;
    }
    // The registry hands formats over as texts: the size is asked so that a
    // driver that cannot tell it is reported, but no buffer is needed.
    std::vector<CodecFormat> formats;
    rc = m_registry.EnumFormats(driver.id, formats);
    if (rc != kCodecOk) {
        Fail(__LINE__, rc);
        ok = false;
    }
    for (const CodecFormat& f : formats)
        Append("%d, %s\n", f.tag, f.description.c_str());
    m_registry.Close(driver.id);
    return ok;
}
