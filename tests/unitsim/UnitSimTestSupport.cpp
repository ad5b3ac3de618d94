#include "UnitSimTestSupport.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>

TempFolder::TempFolder()
{
    char tmpl[] = "/tmp/unitsim-test-XXXXXX";
    const char* p = ::mkdtemp(tmpl);
    m_path = p ? p : "/tmp";
}

TempFolder::~TempFolder()
{
    std::error_code ec;
    if (m_path != "/tmp")
        std::filesystem::remove_all(m_path, ec);
}

uint16_t Sum16(const uint8_t* data, size_t n)
{
    uint32_t s = 0;
    for (size_t i = 0; i < n; ++i)
        s += data[i];
    return static_cast<uint16_t>(s);
}

Bytes Pattern(size_t n, unsigned seed)
{
    Bytes b(n);
    uint32_t x = seed * 2654435761u + 1;
    for (size_t i = 0; i < n; ++i) {
        x = x * 1103515245u + 12345u;
        b[i] = static_cast<uint8_t>(x >> 16);
    }
    return b;
}

Bytes WithSum(const Bytes& data, int sumAdjust)
{
    Bytes out = data;
    const uint16_t s = static_cast<uint16_t>(Sum16(data.data(), data.size()) + sumAdjust);
    out.push_back(static_cast<uint8_t>(s & 0xFF));
    out.push_back(static_cast<uint8_t>(s >> 8));
    return out;
}

uint32_t SectorSize(int sector)
{
    return sector < 8 ? 0x2000 : 0x10000;
}

Bytes ReadFile(const std::string& path)
{
    std::ifstream f(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>());
}

bool WriteFile(const std::string& path, const Bytes& data)
{
    std::ofstream f(path, std::ios::binary | std::ios::trunc);
    f.write(reinterpret_cast<const char*>(data.data()), static_cast<std::streamsize>(data.size()));
    return static_cast<bool>(f);
}

Bytes Concat(Bytes a, const Bytes& b)
{
    a.insert(a.end(), b.begin(), b.end());
    return a;
}
