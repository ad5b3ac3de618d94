#include "CAudioConverter.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <sndfile.h>

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <memory>
#include <new>

#include "CDecoderProcess.h"
#include "CUnitEncoder.h"
#include "SafeFile.h"

namespace {

constexpr sf_count_t kBlockFrames = 16384;
constexpr size_t kBlockValues = 1 << 20;    // floats per block, whatever the channel count
constexpr size_t kReserveLimit = 0x400000;  // the unit's whole memory

struct SndCloser {
    void operator()(SNDFILE* f) const { sf_close(f); }
};
using SndPtr = std::unique_ptr<SNDFILE, SndCloser>;

// Only regular files go to the decoders: a FIFO or a device would block them
// or feed them for ever. -1 when it is no regular file.
int OpenRegular(const char* path)
{
    int error = 0;
    return path ? OpenRegularFileForReading(path, error) : -1;
}

struct FdCloser {
    int fd;
    ~FdCloser()
    {
        if (fd >= 0)
            ::close(fd);
    }
};

// The decoder over an open file, which stays open.
SndPtr OpenDecoder(int fd, SF_INFO& info)
{
    info = SF_INFO{};
    if (fd < 0)
        return nullptr;
    SNDFILE* f = sf_open_fd(fd, SFM_READ, &info, SF_FALSE);
    if (f && (info.channels < 1 || info.samplerate < 1)) {
        sf_close(f);
        return nullptr;
    }
    return SndPtr(f);
}

int BitsOf(int format)
{
    switch (format & SF_FORMAT_SUBMASK) {
    case SF_FORMAT_PCM_S8:
    case SF_FORMAT_PCM_U8:
    case SF_FORMAT_ULAW:
    case SF_FORMAT_ALAW:
    case SF_FORMAT_DPCM_8:
        return 8;
    case SF_FORMAT_DWVW_12:
        return 12;
    case SF_FORMAT_ALAC_20:
        return 20;
    case SF_FORMAT_PCM_24:
    case SF_FORMAT_DWVW_24:
    case SF_FORMAT_ALAC_24:
        return 24;
    case SF_FORMAT_PCM_32:
    case SF_FORMAT_FLOAT:
    case SF_FORMAT_ALAC_32:
        return 32;
    case SF_FORMAT_DOUBLE:
        return 64;
    case SF_FORMAT_IMA_ADPCM:
    case SF_FORMAT_MS_ADPCM:
    case SF_FORMAT_VOX_ADPCM:
    case SF_FORMAT_G721_32:
        return 4;
    case SF_FORMAT_G723_24:
        return 3;
    case SF_FORMAT_G723_40:
        return 5;
    default:
        return 16;  // compressed streams decode to 16-bit samples
    }
}

// The decoders' own notes about the file, which is where a damaged stream
// shows: libsndfile reports no error when a FLAC decoder loses sync.
std::string DecoderLog(SNDFILE* file)
{
    char text[16384] = {};
    sf_command(file, SFC_GET_LOG_INFO, text, sizeof text - 1);
    return text;
}

// The first error the decoders noted after the given offset of their notes,
// in words: "ERROR : FLAC__STREAM_DECODER_ERROR_STATUS_LOST_SYNC" becomes
// "flac decoder lost sync". Empty when they noted none.
std::string DecoderReason(const std::string& notes, size_t from)
{
    const size_t at = notes.find("ERROR", from);
    if (at == std::string::npos)
        return std::string();
    std::string line = notes.substr(at, notes.find('\n', at) - at);
    const size_t colon = line.find(':');
    line = colon == std::string::npos ? std::string() : line.substr(colon + 1);
    line.erase(0, line.find_first_not_of(' '));
    while (!line.empty() && (line.back() == '\r' || line.back() == ' '))
        line.pop_back();
    const std::string flac = "FLAC__STREAM_DECODER_ERROR_STATUS_";
    if (line.compare(0, flac.size(), flac) == 0) {
        std::string words = line.substr(flac.size());
        for (char& c : words)
            c = c == '_' ? ' ' : char(std::tolower(static_cast<unsigned char>(c)));
        return "flac decoder " + words;
    }
    return line.empty() ? std::string("the audio is damaged") : line.substr(0, 200);
}

bool IsMuLawMono8k(const SF_INFO& info)
{
    return (info.format & SF_FORMAT_SUBMASK) == SF_FORMAT_ULAW && info.channels == 1 &&
           info.samplerate == CAudioConverter::kUnitRate;
}

void Describe(const SF_INFO& info, CAudioFileInfo& result)
{
    result.sampleRate = info.samplerate;
    result.bitsPerSample = BitsOf(info.format);
    result.channels = info.channels;
    result.frames = info.frames;
    result.unitFormat = (info.format & SF_FORMAT_TYPEMASK) == SF_FORMAT_WAV && IsMuLawMono8k(info);
}

}  // namespace

bool CAudioConverter::Probe(const char* path, CAudioFileInfo& result, CConvertControl* control)
{
    FdCloser file{OpenRegular(path)};
    if (file.fd < 0)
        return false;
    const CDecoderProcess::Result found = CDecoderProcess::Run(CDecoderProcess::kProbe, file.fd, 0, control);
    if (!found.ok || !found.gotInfo)
        return false;
    result = found.info;
    return true;
}

bool CAudioConverter::ProbeHere(int fd, CAudioFileInfo& result)
{
    SF_INFO info;
    SndPtr file = OpenDecoder(fd, info);
    if (!file)
        return false;
    Describe(info, result);
    return true;
}

std::string CAudioConverter::LogText() const
{
    char text[1024];
    std::snprintf(text, sizeof text,
                  "Converted %s (%d Hz, %d-bit, %d channel(s)) to %zu samples of 8 kHz mu-law%s; "
                  "%llu samples clamped at full scale",
                  m_path.c_str(), m_info.sampleRate, m_info.bitsPerSample, m_info.channels, m_samples,
                  m_truncated ? " (cut short)" : "", static_cast<unsigned long long>(m_clamped));
    return text;
}

bool CAudioConverter::Convert(const char* path, uint32_t maxSamples, std::vector<uint8_t>& out,
                              CConvertControl* control)
{
    out.clear();
    Reset();
    m_path = path ? path : "";
    FdCloser file{OpenRegular(path)};
    if (file.fd < 0) {
        m_error = "no decoder can read the file";
        return false;
    }
    // The decoders run in a helper process: whatever a damaged file does to
    // them, this program only hears why the file could not be read.
    CDecoderProcess::Result done = CDecoderProcess::Run(CDecoderProcess::kConvert, file.fd, maxSamples, control);
    if (done.gotInfo)
        m_info = done.info;
    m_stopped = done.stopped;
    if (!done.ok) {
        m_error = done.error.empty() ? "no decoder can read the file" : done.error;
        return false;
    }
    out.swap(done.samples);
    m_clamped = done.clamped;
    m_truncated = done.truncated;
    m_samples = out.size();
    return true;
}

void CAudioConverter::Reset()
{
    m_clamped = 0;
    m_truncated = false;
    m_stopped = false;
    m_error.clear();
    m_info = CAudioFileInfo{};
    m_samples = 0;
}

bool CAudioConverter::ConvertHere(int fd, uint32_t maxSamples, std::vector<uint8_t>& out, CConvertControl* control)
{
    out.clear();
    Reset();
    SF_INFO info;
    SndPtr file = OpenDecoder(fd, info);
    if (!file) {
        m_error = "no decoder can read the file";
        return false;
    }
    Describe(info, m_info);
    const size_t openingNotes = DecoderLog(file.get()).size();
    // Room for the announced length up front, within the cap and within what
    // a unit holds: a header may announce anything.
    const double expected = info.frames > 0 ? double(info.frames) * kUnitRate / info.samplerate + 16 : 0;
    out.reserve(size_t(std::min<double>({expected, double(maxSamples), double(kReserveLimit)})));

    auto full = [&] {
        if (out.size() < maxSamples)
            return false;
        m_truncated = true;
        return true;
    };
    // Between blocks: tell the watcher how far, and hear whether to stop.
    sf_count_t framesRead = 0;
    auto carryOn = [&](sf_count_t frames) {
        framesRead += frames;
        if (!control)
            return true;
        // Of the file, or of the cap when that comes first.
        sf_count_t permille = sf_count_t(out.size() * 1000 / std::max<uint32_t>(maxSamples, 1));
        if (info.frames > 0)
            permille = std::max(permille, framesRead * 1000 / info.frames);
        control->permille.store(int(std::min<sf_count_t>(1000, permille)));
        if (!control->stop.load())
            return true;
        m_stopped = true;
        m_error = "stopped";
        out.clear();
        return false;
    };

    if (IsMuLawMono8k(info)) {
        // Already the unit's audio in some other container: the codes as they are.
        uint8_t block[kBlockFrames];
        while (!full()) {
            const sf_count_t want = std::min<sf_count_t>(kBlockFrames, sf_count_t(maxSamples - out.size()));
            const sf_count_t got = sf_read_raw(file.get(), block, want);
            if (got <= 0)
                break;
            out.insert(out.end(), block, block + got);
            if (!carryOn(got))
                return false;
        }
    } else {
        CUnitEncoder encoder(out, maxSamples);
        if (!encoder.Start(info.samplerate, info.channels, m_error))
            return false;
        const sf_count_t blockFrames =
            std::min<sf_count_t>(kBlockFrames, sf_count_t(kBlockValues / size_t(info.channels)));
        std::vector<float> frames(size_t(blockFrames) * size_t(info.channels));
        while (!full()) {
            const sf_count_t got = sf_readf_float(file.get(), frames.data(), blockFrames);
            if (got <= 0)
                break;
            if (!encoder.Feed(frames.data(), size_t(got), m_error) || !carryOn(got))
                return false;
        }
        const bool drained = encoder.Finish(m_error);
        m_clamped = encoder.Clamped();
        if (!drained)
            return false;
        full();
    }

    if (sf_error(file.get()) != SF_ERR_NO_ERROR) {
        m_error = sf_strerror(file.get());
        out.clear();
        return false;
    }
    // A damaged stream (a FLAC file with a broken frame, a cut-off file) ends
    // the decoder early, or fills the gap, without an error: a message with a
    // hole in it is no success. An MP3 file's length is only an estimate, so
    // it cannot be held to it.
    if (!m_truncated && info.frames > 0 && framesRead < info.frames &&
        (info.format & SF_FORMAT_TYPEMASK) != SF_FORMAT_MPEG) {
        m_error = "the audio ends before the length the file announces";
        out.clear();
        return false;
    }
    const std::string reason = DecoderReason(DecoderLog(file.get()), openingNotes);
    if (!reason.empty()) {
        m_error = reason;
        out.clear();
        return false;
    }
    m_samples = out.size();
    return true;
}
