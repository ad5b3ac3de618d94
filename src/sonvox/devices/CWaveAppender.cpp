#include "CWaveAppender.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "LittleEndian.h"
#include "SafeFile.h"
#include "WavHeader.h"

namespace {

void MakeHeader(uint8_t* h, const SoundFormat& f)
{
    BuildWavHeader(h, WavFormat{1, f.channels, f.samplesPerSec, f.bitsPerSample}, 0, WavPad::kOddData);
}

// Opens a regular file as a stream without ever blocking in open(): a FIFO
// or device named as the device's file is refused. Null when it cannot be.
FILE* OpenRegularStream(const std::string& path, int flags, const char* mode, bool& notRegular)
{
    int error = 0;
    const int fd = OpenRegularFile(path.c_str(), flags, error);
    notRegular = fd < 0 && (error == EINVAL || error == EISDIR);
    if (fd < 0)
        return nullptr;
    FILE* f = fdopen(fd, mode);
    if (!f)
        ::close(fd);
    return f;
}

}  // namespace

bool CWaveAppender::Open(const std::string& path, const SoundFormat& format)
{
    Close();
    uint8_t want[44];
    MakeHeader(want, format);

    // Continue a file we wrote before in the same format.
    bool notRegular = false;
    if (FILE* f = OpenRegularStream(path, O_RDWR, "r+b", notRegular)) {
        uint8_t have[44];
        bool same = fread(have, 1, 44, f) == 44 && memcmp(have, want, 4) == 0 && memcmp(have + 8, want + 8, 28) == 0 &&
                    memcmp(have + 36, want + 36, 4) == 0;
        if (same && fseek(f, 0, SEEK_END) == 0) {
            long size = ftell(f);
            uint32_t data = GetLE32(have + 40);
            if (size >= 44 && uint64_t(44) + data <= uint64_t(size)) {
                m_file = f;
                m_dataSize = data;
                return true;
            }
        }
        fclose(f);
    }
    if (notRegular)
        return false;
    m_file = OpenRegularStream(path, O_RDWR | O_CREAT, "w+b", notRegular);
    if (!m_file)
        return false;
    if (ftruncate(fileno(m_file), 0) != 0) {
        Close();
        return false;
    }
    m_dataSize = 0;
    if (fwrite(want, 1, 44, m_file) != 44 || fflush(m_file) != 0) {
        Close();
        return false;
    }
    return true;
}

bool CWaveAppender::Append(const uint8_t* data, uint32_t length)
{
    if (!m_file)
        return false;
    if (length == 0)
        return true;
    // A pad byte from the last append, if any, is overwritten.
    if (fseek(m_file, long(44 + m_dataSize), SEEK_SET) != 0)
        return false;
    if (fwrite(data, 1, length, m_file) != length)
        return false;
    m_dataSize += length;
    if (m_dataSize & 1) {
        uint8_t pad = 0;
        if (fwrite(&pad, 1, 1, m_file) != 1)
            return false;
    }
    return WriteSizes();
}

bool CWaveAppender::WriteSizes()
{
    uint8_t b[4];
    PutLE32(b, 36 + m_dataSize + (m_dataSize & 1));
    if (fseek(m_file, 4, SEEK_SET) != 0 || fwrite(b, 1, 4, m_file) != 4)
        return false;
    PutLE32(b, m_dataSize);
    if (fseek(m_file, 40, SEEK_SET) != 0 || fwrite(b, 1, 4, m_file) != 4)
        return false;
    return fflush(m_file) == 0;
}

void CWaveAppender::Close()
{
    if (m_file)
        fclose(m_file);
    m_file = nullptr;
    m_dataSize = 0;
}
