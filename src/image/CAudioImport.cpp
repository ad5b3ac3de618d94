#include "CAudioImport.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "CNamingReport.h"
#include "cMemoryMap.h"

namespace {

std::string Format(const char* format, ...) __attribute__((format(printf, 1, 2)));
std::string Format(const char* format, ...)
{
    char text[1024];
    va_list args;
    va_start(args, format);
    std::vsnprintf(text, sizeof text, format, args);
    va_end(args);
    return text;
}

bool WriteAll(int fd, const uint8_t* data, size_t n)
{
    while (n > 0) {
        const ssize_t done = ::write(fd, data, n);
        if (done < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        data += done;
        n -= size_t(done);
    }
    return true;
}

// Header and samples into an open file, which is closed.
bool WriteUnitWav(int fd, const std::vector<uint8_t>& muLaw, int& error)
{
    uint8_t header[cMemoryMap::kWavHeaderSize];
    cMemoryMap::BuildWavHeader(uint32_t(muLaw.size()), header);
    bool ok = WriteAll(fd, header, sizeof header) && WriteAll(fd, muLaw.data(), muLaw.size());
    error = ok ? 0 : errno;
    if (::close(fd) != 0 && ok) {
        ok = false;
        error = errno;
    }
    return ok;
}

}  // namespace

CAudioImport::~CAudioImport()
{
    RemoveTemp();
}

void CAudioImport::RemoveTemp()
{
    if (!m_tempPath.empty())
        ::unlink(m_tempPath.c_str());
    m_tempPath.clear();
}

bool CAudioImport::Examine(const char* path)
{
    RemoveTemp();
    m_path = path ? path : "";
    m_failure.clear();
    m_info = CAudioFileInfo{};
    m_decodable = CAudioConverter::Probe(m_path.c_str(), m_info);
    return m_decodable && !m_info.unitFormat;
}

std::string CAudioImport::QuestionText(const char* action) const
{
    return Format("The file is %d Hz, %d-bit, %d channel(s).\n"
                  "Convert it to the unit's format (8 kHz mu-law, mono) and %s it?",
                  m_info.sampleRate, m_info.bitsPerSample, m_info.channels, action);
}

CAudioImport::Outcome CAudioImport::Convert(uint32_t maxSamples, CConvertControl* control)
{
    RemoveTemp();
    m_failure.clear();
    std::vector<uint8_t> muLaw;
    // A file that no decoder can read to its end goes to the normal import,
    // which refuses it with its own messages.
    if (!m_decodable)
        return kAsIs;
    if (!m_converter.Convert(m_path.c_str(), std::min(maxSamples, kWholeFile), muLaw, control))
        return m_converter.Stopped() ? kDeclined : kAsIs;

    const char* folder = std::getenv("TMPDIR");
    std::string name = std::string(folder && *folder ? folder : "/tmp") + "/ormid-import-XXXXXX.wav";
    const int fd = ::mkstemps(&name[0], 4);
    int error = errno;
    if (fd >= 0) {
        ::fcntl(fd, F_SETFD, FD_CLOEXEC);
        if (WriteUnitWav(fd, muLaw, error)) {
            m_tempPath = name;
            return kConverted;
        }
        ::unlink(name.c_str());
    }
    m_failure = Format("Could not write the converted audio to %s.\n%s", name.c_str(), std::strerror(error));
    return kFailed;
}

CAudioImport::Outcome CAudioImport::Prepare(const char* path, const Question& ask, IOperatorReport& report,
                                            uint32_t maxSamples, const char* action)
{
    if (!Examine(path))
        return kAsIs;
    if (!ask || !ask(QuestionText(action)))
        return kDeclined;
    const Outcome outcome = Convert(maxSamples);
    if (outcome == kFailed)
        report.ShowMessage(m_failure);
    return outcome;
}

bool CAudioImport::ImportIntoSlot(cMemoryMap& map, uint8_t slot, IOperatorReport& report) const
{
    CNamingReport naming(report, m_tempPath, m_path);
    return map.ImportSlotWav(slot, ImportPath().c_str(), naming);
}

bool CAudioImport::SaveUnitWav(const char* path, const std::vector<uint8_t>& muLaw, std::string& error)
{
    error.clear();
    if (!path || !*path) {
        error = "no file name";
        return false;
    }
    if (muLaw.size() > kWholeFile) {
        error = "too long for a WAV file";
        return false;
    }
    const std::string temp = Format("%s.%d.tmp", path, int(::getpid()));
    const int fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    int code = errno;
    bool ok = fd >= 0 && WriteUnitWav(fd, muLaw, code);
    if (ok && ::rename(temp.c_str(), path) != 0) {
        ok = false;
        code = errno;
    }
    if (!ok) {
        if (fd >= 0)
            ::unlink(temp.c_str());
        error = std::strerror(code);
    }
    return ok;
}
