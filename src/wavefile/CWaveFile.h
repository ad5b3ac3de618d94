// RIFF WAVE reader and writer shared by the program and the audio library.
// Reads any format a file declares and reports it; callers decide what they
// accept. Safe on hostile files: every size is checked against the file.
#pragma once

#include <cstdint>
#include <cstdio>
#include <memory>
#include <vector>

#include "CAtomicFile.h"
#include "WavHeader.h"

class CWaveFile {
public:
    CWaveFile();
    ~CWaveFile();
    CWaveFile(const CWaveFile&) = delete;
    CWaveFile& operator=(const CWaveFile&) = delete;

    // Read side.
    bool OpenRead(const char* path);
    unsigned Read(void* buffer, unsigned max);
    void CloseRead();
    bool IsReadOpen() const { return m_in != nullptr; }

    uint16_t FormatTag() const { return m_formatTag; }
    uint16_t Channels() const { return m_channels; }
    uint32_t SamplesPerSec() const { return m_samplesPerSec; }
    uint32_t AvgBytesPerSec() const { return m_avgBytesPerSec; }
    uint16_t BlockAlign() const { return m_blockAlign; }
    uint16_t BitsPerSample() const { return m_bitsPerSample; }
    uint32_t DataSize() const { return m_dataSize; }
    // Milliseconds of the audio bytes present in the file (at most DataSize()).
    uint32_t DurationMs() const { return m_durationMs; }
    uint32_t Remaining() const { return m_remaining; }
    uint32_t BytesRead() const { return m_bytesRead; }
    // Data bytes physically present in the file from the current position;
    // never more than Remaining(). Size buffers by this, not by DataSize(),
    // so that a file claiming 4 GB of data cannot make anyone allocate it.
    uint32_t BytesAvailable() const;
    // The format block as read: 18 bytes plus the extension.
    const std::vector<uint8_t>& FormatBlock() const { return m_formatBlock; }
    uint16_t ExtensionSize() const { return m_extSize; }

    // Write side: OpenWrite, one Write, CloseWrite. A second Write before
    // CloseWrite is refused (0). The file is replaced atomically when
    // CloseWrite succeeds; until then (and after any failure, or Close
    // without CloseWrite) the old file at the path stays as it was.
    bool OpenWrite(const char* path, uint16_t formatTag, uint32_t samplesPerSec, uint16_t bitsPerSample,
                   uint16_t channels);
    unsigned Write(const void* data, unsigned length);
    int CloseWrite();
    bool IsWriteOpen() const { return m_out != nullptr; }
    // The system's reason for the last failed CloseWrite (0 when none).
    int WriteError() const { return m_error; }

    void Close();

private:
    bool ReadAt(uint64_t pos, void* dst, size_t n);
    void FailWrite();

    FILE* m_in = nullptr;
    uint64_t m_fileSize = 0;
    uint64_t m_dataPos = 0;  // file offset of the next data byte
    std::vector<uint8_t> m_formatBlock;
    uint16_t m_formatTag = 0;
    uint16_t m_channels = 0;
    uint32_t m_samplesPerSec = 0;
    uint32_t m_avgBytesPerSec = 0;
    uint16_t m_blockAlign = 0;
    uint16_t m_bitsPerSample = 0;
    uint16_t m_extSize = 0;
    uint32_t m_dataSize = 0;
    uint32_t m_remaining = 0;
    uint32_t m_bytesRead = 0;
    uint32_t m_durationMs = 0;

    std::unique_ptr<CAtomicFile> m_out;
    WavFormat m_writtenFormat{};
    bool m_complete = false;  // the one Write has been made
    int m_error = 0;
};
