#include "CWaveFile.h"

#include <algorithm>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "CRiffWalker.h"
#include "LittleEndian.h"
#include "SafeFile.h"
#include "WavHeader.h"

CWaveFile::CWaveFile() = default;

CWaveFile::~CWaveFile()
{
    Close();
}

bool CWaveFile::ReadAt(uint64_t pos, void* dst, size_t n)
{
    return m_in && CRiffWalker(fileno(m_in), m_fileSize).ReadAt(pos, dst, n);
}

bool CWaveFile::OpenRead(const char* path)
{
    CloseRead();
    if (!path)
        return false;
    // Opened without blocking and checked before use, so that a FIFO or a
    // device node named as a WAV file cannot hang the caller.
    int error = 0;
    int fd = OpenRegularFileForReading(path, error);
    if (fd < 0)
        return false;
    struct stat st;
    if (fstat(fd, &st) != 0) {
        ::close(fd);
        return false;
    }
    m_in = fdopen(fd, "rb");
    if (!m_in) {
        ::close(fd);
        return false;
    }
    m_fileSize = uint64_t(st.st_size);
    const CRiffWalker walker(fd, m_fileSize);

    uint32_t riffSize = 0;
    if (!walker.IsWave(riffSize)) {
        CloseRead();
        return false;
    }
    uint64_t riffEnd = 8 + uint64_t(riffSize);
    if (riffEnd > m_fileSize)
        riffEnd = m_fileSize;

    CRiffWalker::Chunk fmtChunk;
    if (!walker.Find("fmt ", 12, riffEnd, fmtChunk)) {
        CloseRead();
        return false;
    }
    const uint64_t fmtPos = fmtChunk.dataPos;
    uint8_t fmt[16];
    if (!ReadAt(fmtPos, fmt, 16)) {
        CloseRead();
        return false;
    }
    uint16_t tag = GetLE16(fmt);
    uint16_t ext = 0;
    if (tag != 1) {
        uint8_t e[2];
        if (!ReadAt(fmtPos + 16, e, 2)) {
            CloseRead();
            return false;
        }
        ext = GetLE16(e);
        if (ext >= riffSize)
            ext = 0;
    }
    // The extension must be in the file; a short one is refused before any
    // allocation is made for it.
    if (fmtPos + 18 + ext > m_fileSize) {
        CloseRead();
        return false;
    }
    m_formatBlock.assign(18 + size_t(ext), 0);
    memcpy(m_formatBlock.data(), fmt, 16);
    PutLE16(m_formatBlock.data() + 16, ext);
    if (ext && !ReadAt(fmtPos + 18, m_formatBlock.data() + 18, ext)) {
        CloseRead();
        return false;
    }

    m_formatTag = tag;
    m_channels = GetLE16(fmt + 2);
    m_samplesPerSec = GetLE32(fmt + 4);
    m_avgBytesPerSec = GetLE32(fmt + 8);
    m_blockAlign = GetLE16(fmt + 12);
    m_bitsPerSample = GetLE16(fmt + 14);
    m_extSize = ext;

    CRiffWalker::Chunk dataChunk;
    if (!walker.Find("data", 12, riffEnd, dataChunk)) {
        CloseRead();
        return false;
    }
    const uint64_t dataPos = dataChunk.dataPos;
    const uint32_t dataSize = dataChunk.size;
    if (m_avgBytesPerSec == 0) {
        CloseRead();
        return false;
    }

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
    if (fseeko(m_in, off_t(dataPos), SEEK_SET) != 0) {
        CloseRead();
        return false;
    }
    return true;
}

uint32_t CWaveFile::BytesAvailable() const
{
    if (!m_in || m_dataPos >= m_fileSize)
        return 0;
    uint64_t inFile = m_fileSize - m_dataPos;
    return inFile < m_remaining ? uint32_t(inFile) : m_remaining;
}

unsigned CWaveFile::Read(void* buffer, unsigned max)
{
    if (!m_in || !buffer)
        return 0;
    unsigned n = max < m_remaining ? max : m_remaining;
    m_remaining -= n;
    if (n == 0)
        return 0;
    size_t got = fread(buffer, 1, n, m_in);
    m_dataPos += got;
    if (got != n)
        return 0;
    m_bytesRead += n;
    return n;
}

void CWaveFile::CloseRead()
{
    if (m_in)
        fclose(m_in);
    m_in = nullptr;
    m_formatBlock.clear();
    m_formatBlock.shrink_to_fit();
    m_fileSize = 0;
    m_dataPos = 0;
}

bool CWaveFile::OpenWrite(const char* path, uint16_t formatTag, uint32_t samplesPerSec, uint16_t bitsPerSample,
                          uint16_t channels)
{
    if (m_out)
        return true;
    if (!path)
        return false;
    // The file is replaced once complete (CAtomicFile): never a FIFO, a
    // device or a folder, and a failed write leaves the old file as it was.
    m_out.reset(new CAtomicFile);
    if (!m_out->Open(path, kWavHeaderBytes)) {
        m_out.reset();
        return false;
    }
    m_writtenFormat = WavFormat{formatTag, channels, samplesPerSec, bitsPerSample};
    m_complete = false;
    return true;
}

unsigned CWaveFile::Write(const void* data, unsigned length)
{
    if (!m_out || !data || length == 0)
        return 0;
    // The file is complete after one Write; a second would leave sizes that
    // do not match the data. Sizes must also fit the 32-bit RIFF fields.
    if (m_complete || length > UINT32_MAX - 37)
        return 0;
    uint8_t header[kWavHeaderBytes];
    BuildWavHeader(header, m_writtenFormat, length, WavPad::kOddData);
    const uint8_t pad = 0;
    if (!m_out->Reserve(WavFileBytes(length, WavPad::kOddData)) || !m_out->Write(header, sizeof header) ||
        !m_out->Write(data, length) || ((length & 1) && !m_out->Write(&pad, 1))) {
        FailWrite();
        return 0;
    }
    m_complete = true;
    return length;
}

void CWaveFile::FailWrite()
{
    if (m_out)
        m_out->Abort();
    m_out.reset();
}

int CWaveFile::CloseWrite()
{
    CloseRead();
    if (!m_out)
        return 0;
    bool ok = true;
    if (!m_complete) {
        // No audio: the header alone.
        uint8_t header[kWavHeaderBytes];
        BuildWavHeader(header, m_writtenFormat, 0, WavPad::kOddData);
        ok = m_out->Write(header, sizeof header);
    }
    ok = ok && m_out->Commit();
    m_error = ok ? 0 : m_out->Error();
    m_out.reset();
    return ok ? 1 : 0;
}

void CWaveFile::Close()
{
    CloseRead();
    if (m_out)
        m_out->Abort();
    m_out.reset();
}
