#include "CWaveFile.h"

#include <algorithm>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

uint16_t le16(const uint8_t* p) { return uint16_t(p[0] | (p[1] << 8)); }
uint32_t le32(const uint8_t* p) { return uint32_t(p[0]) | (uint32_t(p[1]) << 8) | (uint32_t(p[2]) << 16) | (uint32_t(p[3]) << 24); }
void put16(uint8_t* p, uint16_t v) { p[0] = uint8_t(v); p[1] = uint8_t(v >> 8); }
void put32(uint8_t* p, uint32_t v) { for (int i = 0; i < 4; ++i) p[i] = uint8_t(v >> (8 * i)); }

} // namespace

CWaveFile::CWaveFile() = default;

CWaveFile::~CWaveFile() { Close(); }

bool CWaveFile::ReadAt(uint64_t pos, void* dst, size_t n)
{
    if (pos > m_fileSize || n > m_fileSize - pos) return false;
    if (fseeko(m_in, off_t(pos), SEEK_SET) != 0) return false;
    return fread(dst, 1, n, m_in) == n;
}

// Looks for chunk `id` between `from` and `end`. Chunks are padded to even
// sizes as RIFF prescribes; a file written without the pad byte is recognised,
// as the unit image's import recognises it, by a chunk id that starts right
// after the data where the padded position would not. Every step moves
// forward by at least 8 bytes, so the walk ends on any input.
bool CWaveFile::FindChunk(const char id[4], uint64_t from, uint64_t end, uint64_t& dataPos, uint32_t& size)
{
    uint64_t pos = from;
    while (pos + 8 <= end) {
        uint8_t hdr[8];
        if (!ReadAt(pos, hdr, 8)) return false;
        uint32_t sz = le32(hdr + 4);
        if (memcmp(hdr, id, 4) == 0) {
            dataPos = pos + 8;
            size = sz;
            return true;
        }
        pos += 8 + uint64_t(sz);
        if (sz & 1) {
            auto isId = [](const uint8_t* p) {
                return std::all_of(p, p + 4, [](uint8_t c) { return c >= 0x20 && c < 0x7F; });
            };
            uint8_t peek[4];
            // A pad byte is 0, never part of an id; where the padded position
            // would read as an id too (a size whose low byte is printable),
            // the id at the unpadded position wins.
            const bool unpadded = ReadAt(pos, peek, 4) && isId(peek);
            if (!unpadded) pos += 1;
        }
    }
    return false;
}

bool CWaveFile::OpenRead(const char* path)
{
    CloseRead();
    if (!path) return false;
    // Opened without blocking and checked before use, so that a FIFO or a
    // device node named as a WAV file cannot hang the caller.
    int fd = ::open(path, O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return false;
    struct stat st;
    if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) { ::close(fd); return false; }
    fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    m_in = fdopen(fd, "rb");
    if (!m_in) { ::close(fd); return false; }
    m_fileSize = uint64_t(st.st_size);

    uint8_t riff[12];
    if (!ReadAt(0, riff, 12) || memcmp(riff, "RIFF", 4) != 0 || memcmp(riff + 8, "WAVE", 4) != 0) {
        CloseRead();
        return false;
    }
    uint32_t riffSize = le32(riff + 4);
    uint64_t riffEnd = 8 + uint64_t(riffSize);
    if (riffEnd > m_fileSize) riffEnd = m_fileSize;

    uint64_t fmtPos = 0;
    uint32_t fmtSize = 0;
    if (!FindChunk("fmt ", 12, riffEnd, fmtPos, fmtSize)) { CloseRead(); return false; }
    uint8_t fmt[16];
    if (!ReadAt(fmtPos, fmt, 16)) { CloseRead(); return false; }
    uint16_t tag = le16(fmt);
    uint16_t ext = 0;
    if (tag != 1) {
        uint8_t e[2];
        if (!ReadAt(fmtPos + 16, e, 2)) { CloseRead(); return false; }
        ext = le16(e);
        if (ext >= riffSize) ext = 0;
    }
    // The extension must be in the file; a short one is refused before any
    // allocation is made for it.
    if (fmtPos + 18 + ext > m_fileSize) { CloseRead(); return false; }
    m_formatBlock.assign(18 + size_t(ext), 0);
    memcpy(m_formatBlock.data(), fmt, 16);
    put16(m_formatBlock.data() + 16, ext);
    if (ext && !ReadAt(fmtPos + 18, m_formatBlock.data() + 18, ext)) { CloseRead(); return false; }

    m_formatTag = tag;
    m_channels = le16(fmt + 2);
    m_samplesPerSec = le32(fmt + 4);
    m_avgBytesPerSec = le32(fmt + 8);
    m_blockAlign = le16(fmt + 12);
    m_bitsPerSample = le16(fmt + 14);
    m_extSize = ext;

    uint64_t dataPos = 0;
    uint32_t dataSize = 0;
    if (!FindChunk("data", 12, riffEnd, dataPos, dataSize)) { CloseRead(); return false; }
    if (m_avgBytesPerSec == 0) { CloseRead(); return false; }

    m_dataPos = dataPos;
    m_dataSize = dataSize;
    m_remaining = dataSize;
    m_bytesRead = 0;
    // The duration counts the audio that is there, not what the header
    // claims: a data chunk cut short (or lying about its size) must not keep
    // a player waiting for bytes that never come. A tiny byte rate can make
    // the duration exceed 32 bits: it saturates.
    const uint64_t present = std::min<uint64_t>(dataSize, dataPos < m_fileSize ? m_fileSize - dataPos : 0);
    const uint64_t ms = present * 1000 / m_avgBytesPerSec;
    m_durationMs = ms > UINT32_MAX ? UINT32_MAX : uint32_t(ms);
    if (fseeko(m_in, off_t(dataPos), SEEK_SET) != 0) { CloseRead(); return false; }
    return true;
}

uint32_t CWaveFile::BytesAvailable() const
{
    if (!m_in || m_dataPos >= m_fileSize) return 0;
    uint64_t inFile = m_fileSize - m_dataPos;
    return inFile < m_remaining ? uint32_t(inFile) : m_remaining;
}

unsigned CWaveFile::Read(void* buffer, unsigned max)
{
    if (!m_in || !buffer) return 0;
    unsigned n = max < m_remaining ? max : m_remaining;
    m_remaining -= n;
    if (n == 0) return 0;
    size_t got = fread(buffer, 1, n, m_in);
    m_dataPos += got;
    if (got != n) return 0;
    m_bytesRead += n;
    return n;
}

void CWaveFile::CloseRead()
{
    if (m_in) fclose(m_in);
    m_in = nullptr;
    m_formatBlock.clear();
    m_formatBlock.shrink_to_fit();
    m_fileSize = 0;
    m_dataPos = 0;
}

bool CWaveFile::OpenWrite(const char* path, uint16_t formatTag, uint32_t samplesPerSec,
                          uint16_t bitsPerSample, uint16_t channels)
{
    if (m_out) return true;
    if (!path) return false;
    // Like reading: never blocking in open(), and only a regular file, which
    // is emptied once it is known to be one.
    int fd = ::open(path, O_WRONLY | O_CREAT | O_NONBLOCK | O_NOCTTY | O_CLOEXEC, 0666);
    if (fd < 0) return false;
    struct stat st;
    if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || ftruncate(fd, 0) != 0) { ::close(fd); return false; }
    fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    m_out = fdopen(fd, "wb");
    if (!m_out) { ::close(fd); return false; }
    uint16_t blockAlign = uint16_t(bitsPerSample * channels / 8);
    uint8_t hdr[44];
    memcpy(hdr, "RIFF", 4);
    put32(hdr + 4, 36);
    memcpy(hdr + 8, "WAVEfmt ", 8);
    put32(hdr + 16, 16);
    put16(hdr + 20, formatTag);
    put16(hdr + 22, channels);
    put32(hdr + 24, samplesPerSec);
    put32(hdr + 28, samplesPerSec * blockAlign);
    put16(hdr + 32, blockAlign);
    put16(hdr + 34, bitsPerSample);
    memcpy(hdr + 36, "data", 4);
    put32(hdr + 40, 0);
    memcpy(m_writtenFormat, hdr + 20, 16);
    m_complete = false;
    m_riffSizePos = 4;
    m_dataSizePos = 40;
    if (fwrite(hdr, 1, sizeof hdr, m_out) != sizeof hdr) { FailWrite(); return false; }
    return true;
}

unsigned CWaveFile::Write(const void* data, unsigned length)
{
    if (!m_out || !data || length == 0) return 0;
    // The file is complete after one Write; a second would leave sizes that
    // do not match the data. Sizes must also fit the 32-bit RIFF fields.
    if (m_complete || length > UINT32_MAX - 37) return 0;
    if (fwrite(data, 1, length, m_out) != length) { FailWrite(); return 0; }
    if (length & 1) {
        const uint8_t pad = 0;
        if (fwrite(&pad, 1, 1, m_out) != 1) { FailWrite(); return 0; }
    }
    uint8_t v[4];
    put32(v, length);
    if (fseek(m_out, m_dataSizePos, SEEK_SET) != 0 || fwrite(v, 1, 4, m_out) != 4) { FailWrite(); return 0; }
    put32(v, 36 + length + (length & 1));
    if (fseek(m_out, m_riffSizePos, SEEK_SET) != 0 || fwrite(v, 1, 4, m_out) != 4) { FailWrite(); return 0; }
    if (fseek(m_out, 0, SEEK_END) != 0 || fflush(m_out) != 0) { FailWrite(); return 0; }
    m_complete = true;
    return length;
}

void CWaveFile::FailWrite()
{
    if (m_out) fclose(m_out);
    m_out = nullptr;
}

int CWaveFile::CloseWrite()
{
    CloseRead();
    if (!m_out) return 0;
    int rc = fclose(m_out) == 0 ? 1 : 0;
    m_out = nullptr;
    return rc;
}

void CWaveFile::Close()
{
    CloseRead();
    CloseWrite();
}
