#include "CGstCodecRegistry.h"

#include <gst/gst.h>

#include <algorithm>

namespace {

bool Has(const std::string& klass, const char* word)
{
    return klass.find(word) != std::string::npos;
}

std::string Text(const char* s)
{
    return s ? s : "";
}

}  // namespace

uint32_t CGstCodecRegistry::DriverId(const std::string& pluginName)
{
    uint32_t h = 2166136261u;
    for (unsigned char c : pluginName) {
        h ^= c;
        h *= 16777619u;
    }
    return h;
}

CGstCodecRegistry::CGstCodecRegistry()
{
    m_ready = gst_init_check(nullptr, nullptr, nullptr);
    if (m_ready)
        Scan();
}

void CGstCodecRegistry::Scan()
{
    GstRegistry* registry = gst_registry_get();
    GList* plugins = gst_registry_get_plugin_list(registry);
    std::vector<std::pair<std::string, Plugin>> found;
    for (GList* p = plugins; p; p = p->next) {
        GstPlugin* plugin = GST_PLUGIN(p->data);
        if (GST_OBJECT_FLAG_IS_SET(plugin, GST_PLUGIN_FLAG_BLACKLISTED)) {
            ++m_disabled;
            continue;
        }
        Plugin info;
        info.name = Text(gst_plugin_get_name(plugin));
        info.description = Text(gst_plugin_get_description(plugin));
        info.origin = Text(gst_plugin_get_origin(plugin));
        info.package = Text(gst_plugin_get_package(plugin));
        info.license = Text(gst_plugin_get_license(plugin));
        GList* features = gst_registry_get_feature_list_by_plugin(registry, info.name.c_str());
        for (GList* f = features; f; f = f->next) {
            if (!GST_IS_ELEMENT_FACTORY(f->data))
                continue;
            GstElementFactory* factory = GST_ELEMENT_FACTORY(f->data);
            const std::string klass = Text(gst_element_factory_get_metadata(factory, GST_ELEMENT_METADATA_KLASS));
            if (!Has(klass, "Audio"))
                continue;
            uint32_t support = 0;
            if (Has(klass, "Encoder") || Has(klass, "Decoder"))
                support |= kSupportCodec;
            if (Has(klass, "Converter"))
                support |= kSupportConverter;
            if (Has(klass, "Filter") || Has(klass, "Effect"))
                support |= kSupportFilter;
            if (!support)
                continue;
            if (Has(klass, "Hardware"))
                support |= kSupportHardware | kSupportAsync;
            info.support |= support;
            if (support & kSupportFilter)
                ++info.filters;
            info.elements.push_back(Text(gst_plugin_feature_get_name(GST_PLUGIN_FEATURE(factory))));
            for (const GList* t = gst_element_factory_get_static_pad_templates(factory); t; t = t->next) {
                auto* tmpl = static_cast<GstStaticPadTemplate*>(t->data);
                GstCaps* caps = gst_static_caps_get(&tmpl->static_caps);
                if (!caps)
                    continue;
                for (guint i = 0; i < gst_caps_get_size(caps); ++i) {
                    const std::string media = Text(gst_structure_get_name(gst_caps_get_structure(caps, i)));
                    if (media.rfind("audio/", 0) == 0)
                        info.mediaTypes.insert(media);
                }
                gst_caps_unref(caps);
            }
        }
        gst_plugin_feature_list_free(features);
        if (!info.support)
            continue;
        std::sort(info.elements.begin(), info.elements.end());
        found.emplace_back(info.name, std::move(info));
    }
    gst_plugin_list_free(plugins);
    std::sort(found.begin(), found.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
    for (auto& entry : found) {
        const uint32_t id = DriverId(entry.first);
        if (m_plugins.count(id))
            continue;
        m_order.push_back(id);
        m_plugins.emplace(id, std::move(entry.second));
    }
}

uint32_t CGstCodecRegistry::Version()
{
    guint major = 0, minor = 0, micro = 0, nano = 0;
    gst_version(&major, &minor, &micro, &nano);
    return (uint32_t(major & 0xFF) << 24) | (uint32_t(minor & 0xFF) << 16) | uint32_t(micro & 0xFFFF);
}

int CGstCodecRegistry::Metric(CodecMetric which, unsigned long& count)
{
    if (!m_ready)
        return kCodecNotSupported;
    auto countWith = [this](uint32_t flag) {
        unsigned long n = 0;
        for (const auto& p : m_plugins)
            if (p.second.support & flag)
                ++n;
        return n;
    };
    switch (which) {
    case CodecMetric::Codecs:
        count = countWith(kSupportCodec);
        break;
    case CodecMetric::Converters:
        count = countWith(kSupportConverter);
        break;
    case CodecMetric::Drivers:
        count = m_plugins.size() + m_disabled;
        break;
    case CodecMetric::DisabledDrivers:
        count = m_disabled;
        break;
    case CodecMetric::Filters:
        count = countWith(kSupportFilter);
        break;
    case CodecMetric::HardwareDrivers:
        count = countWith(kSupportHardware);
        break;
    }
    return kCodecOk;
}

int CGstCodecRegistry::EnumDrivers(std::vector<CodecDriver>& drivers)
{
    drivers.clear();
    if (!m_ready)
        return kCodecInvalidParam;
    for (uint32_t id : m_order)
        drivers.push_back({id, m_plugins.at(id).support});
    return kCodecOk;
}

int CGstCodecRegistry::Details(uint32_t id, CodecDriverDetails& d)
{
    auto it = m_plugins.find(id);
    if (it == m_plugins.end())
        return kCodecInvalidHandle;
    const Plugin& p = it->second;
    d.shortName = p.name;
    d.longName = p.description;
    d.copyright = p.origin.empty() ? p.package : p.package + ", " + p.origin;
    d.licensing = p.license;
    d.features.clear();
    for (const std::string& e : p.elements)
        d.features += (d.features.empty() ? "" : " ") + e;
    d.formatTags = unsigned(p.mediaTypes.size());
    d.filterTags = p.filters;
    return kCodecOk;
}

int CGstCodecRegistry::Open(uint32_t id)
{
    auto it = m_plugins.find(id);
    if (it == m_plugins.end())
        return kCodecInvalidHandle;
    // The plugin's file is not loaded: its pad templates are in the registry.
    return kCodecOk;
}

int CGstCodecRegistry::MaxFormatSize(uint32_t id, unsigned& size)
{
    auto it = m_plugins.find(id);
    if (it == m_plugins.end())
        return kCodecInvalidHandle;
    size = 0;
    for (const std::string& m : it->second.mediaTypes)
        size = std::max(size, unsigned(m.size() + 1));
    return kCodecOk;
}

int CGstCodecRegistry::EnumFormats(uint32_t id, std::vector<CodecFormat>& formats)
{
    formats.clear();
    auto it = m_plugins.find(id);
    if (it == m_plugins.end())
        return kCodecInvalidHandle;
    int tag = 0;
    for (const std::string& m : it->second.mediaTypes)
        formats.push_back({++tag, m});
    return kCodecOk;
}

void CGstCodecRegistry::Close(uint32_t) { }
