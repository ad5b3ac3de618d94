#include "UnitName.h"

#include <cstdint>

namespace {

bool IsControl(uint32_t c)
{
    return c < 0x20 || (c >= 0x7F && c <= 0x9F);
}

// Decodes one character at text[at]; a malformed sequence yields one byte
// as 0xFFFFFFFF.
uint32_t NextCodePoint(const std::string& text, size_t& at)
{
    const auto byte = [&](size_t i) { return uint8_t(text[i]); };
    const uint8_t lead = byte(at);
    if (lead < 0x80) {
        ++at;
        return lead;
    }
    size_t extra = 0;
    uint32_t c = 0, min = 0;
    if ((lead & 0xE0) == 0xC0) {
        extra = 1, c = lead & 0x1F, min = 0x80;
    } else if ((lead & 0xF0) == 0xE0) {
        extra = 2, c = lead & 0x0F, min = 0x800;
    } else if ((lead & 0xF8) == 0xF0) {
        extra = 3, c = lead & 0x07, min = 0x10000;
    } else {
        ++at;
        return 0xFFFFFFFF;
    }
    if (at + extra >= text.size()) {
        ++at;
        return 0xFFFFFFFF;
    }
    for (size_t i = 1; i <= extra; ++i) {
        if ((byte(at + i) & 0xC0) != 0x80) {
            ++at;
            return 0xFFFFFFFF;
        }
        c = (c << 6) | (byte(at + i) & 0x3F);
    }
    if (c < min || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) {
        ++at;
        return 0xFFFFFFFF;
    }
    at += extra + 1;
    return c;
}

}  // namespace

UnitName UnitNameFromUtf8(const std::string& utf8, size_t maxChars)
{
    UnitName name;
    size_t at = 0;
    while (at < utf8.size()) {
        const uint32_t c = NextCodePoint(utf8, at);
        if (name.latin1.size() >= maxChars) {
            name.cut = true;
            break;
        }
        if (c == 0xFFFFFFFF || c > 0xFF) {
            name.replaced = true;
            name.latin1 += '?';
        } else if (IsControl(c)) {
            name.control = true;
            name.latin1 += '?';
        } else {
            name.latin1 += char(uint8_t(c));
        }
    }
    return name;
}

std::string UnitNameToUtf8(const char* latin1)
{
    std::string text;
    if (!latin1)
        return text;
    for (const char* p = latin1; *p; ++p) {
        const uint8_t c = uint8_t(*p);
        if (IsControl(c)) {
            text += '?';
        } else if (c < 0x80) {
            text += char(c);
        } else {
            text += char(0xC0 | (c >> 6));
            text += char(0x80 | (c & 0x3F));
        }
    }
    return text;
}
