// What the codec information report asks of the machine's codec registry.
// Every query returns 0 on success or one of the error codes below; the
// report turns the code into its text for the log.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

enum CodecRegistryError : int {
    kCodecOk = 0,
    kCodecInvalidHandle = 5,
    kCodecNotSupported = 8,
    kCodecInvalidFlag = 10,
    kCodecInvalidParam = 11,
    kCodecNotPossible = 512,
    kCodecBusy = 513,
    kCodecUnprepared = 514,
};

// The six counts, in the order the report lists them.
enum class CodecMetric { Codecs, Converters, Drivers, DisabledDrivers, Filters, HardwareDrivers };

// Support flags of a driver.
enum CodecSupport : uint32_t {
    kSupportAsync = 1u << 0,
    kSupportCodec = 1u << 1,      // conversion between different formats
    kSupportConverter = 1u << 2,  // conversion within one format
    kSupportFilter = 1u << 3,
    kSupportHardware = 1u << 4,
};

struct CodecDriver {
    uint32_t id = 0;
    uint32_t support = 0;
};

struct CodecDriverDetails {
    std::string shortName, longName, copyright, licensing, features;
    unsigned formatTags = 0;
    unsigned filterTags = 0;
};

struct CodecFormat {
    int tag = 0;
    std::string description;
};

class ICodecRegistry {
public:
    virtual ~ICodecRegistry() = default;
    // Major in bits 24-31, minor in bits 16-23, build in bits 0-15.
    virtual uint32_t Version() = 0;
    virtual int Metric(CodecMetric which, unsigned long& count) = 0;
    // The enabled drivers, in the registry's order.
    virtual int EnumDrivers(std::vector<CodecDriver>& drivers) = 0;
    virtual int Details(uint32_t id, CodecDriverDetails& details) = 0;
    virtual int Open(uint32_t id) = 0;
    // The largest format description, in bytes, of an open driver.
    virtual int MaxFormatSize(uint32_t id, unsigned& size) = 0;
    virtual int EnumFormats(uint32_t id, std::vector<CodecFormat>& formats) = 0;
    virtual void Close(uint32_t id) = 0;
};
