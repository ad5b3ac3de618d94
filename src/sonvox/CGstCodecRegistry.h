// The codec registry of a Linux desktop: GStreamer's plugin registry, read
// only (no pipeline is built). A driver is a plugin with at least one audio
// encoder, decoder, converter or filter element; a disabled driver is a
// plugin the registry has blacklisted. Driver identifiers are the FNV-1a hash
// of the plugin's name, so they stay the same from run to run. A driver's
// formats are the distinct audio media types of its audio elements' pad
// templates, numbered from 1 in name order.
#pragma once

#include "ICodecRegistry.h"

#include <map>
#include <set>
#include <string>

class CGstCodecRegistry : public ICodecRegistry {
public:
    CGstCodecRegistry();

    uint32_t Version() override;
    int Metric(CodecMetric which, unsigned long& count) override;
    int EnumDrivers(std::vector<CodecDriver>& drivers) override;
    int Details(uint32_t id, CodecDriverDetails& details) override;
    int Open(uint32_t id) override;
    int MaxFormatSize(uint32_t id, unsigned& size) override;
    int EnumFormats(uint32_t id, std::vector<CodecFormat>& formats) override;
    void Close(uint32_t id) override;

    static uint32_t DriverId(const std::string& pluginName);

private:
    struct Plugin {
        std::string name, description, origin, package, license;
        std::vector<std::string> elements;  // the audio elements, in name order
        std::set<std::string> mediaTypes;
        uint32_t support = 0;
        unsigned filters = 0;
    };
    void Scan();

    bool m_ready = false;
    unsigned long m_disabled = 0;
    std::vector<uint32_t> m_order;
    std::map<uint32_t, Plugin> m_plugins;
};
